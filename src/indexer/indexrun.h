#pragma once

#include "base/message.h"

#include "catalogue/recordtable.h"

#include <array>
#include <atomic>
#include <functional>
#include <string>

namespace marovex::indexer {

// What a run needs from the settings: the archive folder, the edition switches and the edition prefixes,
// by edition code 1 to 3.
struct IndexSettings {
    std::string archiveFolder;
    std::array<bool, 3> enabled = {false, false, false};
    std::array<std::string, 3> prefixes;
};

struct IndexReports {
    // Before an issue entry's pages are read: its upper-case name.
    std::function<void(const std::string& entryName)> progress;
};

struct IndexResult {
    // false: the run was refused or an error ended it. A full run then leaves both tables as they were; a
    // run for new issues keeps the issues completed before the error, with their topics.
    bool completed = false;
    bool stopped = false; // the stop flag ended the walk early
    int issues = 0;       // issue entries read
    int rowsAdded = 0;
    Message error;
};

// The body of an indexing run: the walk of the archive folder, the parsing of each new issue's pages, and
// the final topic list and order. The stop flag is read before each issue entry of an enabled edition; the
// issue in hand is always finished. The article table is left in the order "Find;Type;Number;Npp" with its
// filter off. Only this function touches the tables while it runs. An archive folder that cannot be walked
// is refused before anything changes (see checkArchiveFolder).
IndexResult runIndexing(RecordTable& articles, RecordTable& topics, const IndexSettings& settings,
                        bool fullRun, const std::atomic<bool>& stop, const IndexReports& reports);

// Why a run over this archive folder (as the settings give it) must not start: it is not set,
// does not exist, is not a folder or cannot be listed. Empty when the folder can be walked.
Message checkArchiveFolder(const std::string& folder);

// How many issue entries a run would read, without reading any page (for a progress bar).
int countIssuesToIndex(const RecordTable& articles, const IndexSettings& settings, bool fullRun);

} // namespace marovex::indexer
