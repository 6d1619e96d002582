#pragma once

#include "base/platform.h"
#include "catalogue/recordtable.h"
#include "search/titlesearch.h"

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace marovex::search {
class FullTextCache;
}

// The full-text search: the worker body that walks the article table, tests titles and article files and
// writes the marks, and what its progress dialog shows.
namespace marovex::search {

// --- Article files ------------------------------------------------------------------------------------

// The extension of a `Link` (Windows-1251): the text from its last full stop on, unless a backslash or a
// colon follows that full stop; blanks around it removed and Latin letters made lower case.
std::string linkExtension(std::string_view link);

// Whether a row's article file is read at all: its extension is a substring of
// ".txt .rtf .htm .html .shtm .shtml" (so ".ht", ".sh" and ".t" pass too); an empty one never is.
bool isSearchableKind(std::string_view link);

// The "pub" folders an article of an issue may lie in, relative to the archive folder (Windows-1251 names,
// matched ignoring case), in the order they are tried: the text folder, then the issue folder candidates.
// None for an edition code outside 1 to 3.
std::vector<std::vector<std::string>> pubFolderCandidates(int type, std::string_view shortNumber,
                                                          const std::array<std::string, 3>& prefixes);

// An article file that exists but cannot be read, or whose real path leaves its issue folder; the message
// names the file and the reason.
class ArticleReadError : public MessageError {
public:
    ArticleReadError(const std::filesystem::path& file, Message::Value reason)
        : MessageError(Message(msg::ArticleUnreadable, {pathValue(file), reason})),
          m_file(platform::pathToUtf8(file)), m_reason(std::move(reason)) {}
    const std::string& file() const { return m_file; }
    const Message::Value& reason() const { return m_reason; }

private:
    std::string m_file;
    Message::Value m_reason;
};

// Finds and reads the article file of a row. The file is looked for first in the text folder: the archive
// folder, the edition word ("Gold", "Release", "kelvra") directly followed by the short issue number, then
// "pub" and the link. When it is not there, in the issue folder candidates that opening an article uses
// (plain, nested, ".zip" form), each followed by "pub" and the link. Every name is matched ignoring letter
// case. A link that leaves the issue folder is never read, and a file found whose real path (symbolic links
// followed) leaves it is refused as unreadable. Safe to use from several threads at once.
class ArticleFiles {
public:
    // `archiveFolder` and the prefixes (by edition code 1 to 3) as the settings hold them.
    ArticleFiles(std::string_view archiveFolder, const std::array<std::string, 3>& prefixes);
    ~ArticleFiles();
    ArticleFiles(const ArticleFiles&) = delete;
    ArticleFiles& operator=(const ArticleFiles&) = delete;

    // Reads the article file of (Type, Number, Link) into `bytes` (Windows-1251 texts) and returns true;
    // false (with `bytes` left in any state) when there is no such file (a folder or a device does not
    // count). A file that is there but cannot be read raises ArticleReadError.
    bool read(int type, std::string_view number, std::string_view link, std::string& bytes);

    // The path read(...) would read, or an empty path (tests and diagnostics).
    std::filesystem::path locate(int type, std::string_view number, std::string_view link);
    // Where the file of a row that is not found would lie, to name it: the link in the issue's first "pub"
    // folder, or in its plain issue folder when it has none; a link that leaves the issue folder as written.
    std::filesystem::path missingPath(int type, std::string_view number, std::string_view link);

    // For the text store: finds the file as read(...) does and returns its path with the file's status in
    // `st`. With `lookFirst` the file is only looked at where that decides; `read` tells whether it was read
    // (`bytes` filled); `linked`, whether a symbolic link stood where a file was looked for. Raises
    // ArticleReadError as read(...) does.
    bool examine(int type, std::string_view number, std::string_view link, std::filesystem::path& path,
                 platform::FileStatus& st, std::string& bytes, bool lookFirst, bool& read,
                 bool* linked = nullptr);
    // Reads a file examine(...) found, with its status when opened; false when it is no longer a file (or,
    // with `noLink`, is a symbolic link now).
    bool readFound(const std::filesystem::path& path, std::string& bytes, platform::FileStatus& st,
                   bool noLink = false);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// --- The worker -----------------------------------------------------------------------------------------

struct FullTextJob {
    std::string text; // the compacted search text
    SearchOptions options;
    std::string archiveFolder;           // setting `dbdir`
    std::array<std::string, 3> prefixes; // edition prefixes by code 1 to 3
    int threads = 0;                     // threads reading files, the worker's own included; 0: one per core
    // The text store (search/textstore.h). Empty: the one beside the article table's file (the application
    // folder) when the table has a file, none otherwise. The caller holds the application folder's lock.
    std::filesystem::path storeFile;
    bool useStore = true;
    std::chrono::nanoseconds storeSettle = std::chrono::seconds(2); // TextStore::Options::settle
    // What a program that searches again and again keeps between searches (search/fulltextcache.h): the
    // store stays loaded, and files that did not change are not looked at. Null: each search on its own.
    FullTextCache* cache = nullptr;
};

// What `showProgress` needs, before each row is examined.
struct FindProgress {
    int row = 0;        // 0-based position in the walk
    int rows = 0;       // rows the walk may visit
    std::string number; // the row's `Number` as stored (leading blanks kept)
    int hits = 0;       // rows marked so far
};

// Both callbacks run on the worker's thread; a window carries them to its own thread and lets the worker
// wait until they return.
struct FullTextReports {
    std::function<void(const FindProgress&)> progress; // `showProgress`
    // `finishSearch`: the last step of the body, also after an error. Without it the body puts the stop
    // flag back to false itself.
    std::function<void()> finish;
};

struct FullTextResult {
    int hits = 0;
    int visited = 0;        // rows examined
    int filesRead = 0;      // article files whose text the walk tested, from the file or from the text store
    int filesFromStore = 0; // of those, the ones answered by the store without reading the file
    // With the store: rows whose file was looked for in the archive; with a cache, only those it did not
    // know.
    int filesLookedFor = 0;
    bool stopped = false; // the stop flag ended the walk early
    Message error;        // not empty: a table error ended the walk
    // Article files that could not be read, or that rows whose files are read link to but that are found
    // nowhere (a link that leaves the issue folder included): their rows count as not matching their texts
    // and the walk goes on. How many (each file once) and the first few, each as "file (reason)".
    int unreadableCount = 0;
    std::vector<Message> unreadable;
    // Why the text store keeps nothing (TextsNotKept); with a cache, only the first time in its life.
    Message storeProblem;
};

// How many unreadable files FullTextResult names.
inline constexpr std::size_t kUnreadableNamed = 5;

// The message shown after the result when files could not be read (empty when none): one sentence naming
// the first few and how many in all.
Message unreadableFilesMessage(const FullTextResult& result);

// The body of `SearchWorker`. Walks the article table in the order "Type;Number" (the caller has switched
// the filter off); the stop flag is read before every row. Each row is marked -1 when its title matches or,
// failing that, its article file contains the text, and 0 otherwise; a stopped walk leaves the rows it did
// not reach as they were. Files are read on several threads ahead of the walk, but marks, hits and the
// reports follow the rows one by one on the calling thread. An unreadable file, or one found nowhere, is
// counted and passed by. With a text store, texts of unchanged files are taken from it and the store is
// brought up to date before the finish report. Never raises: an error ends the walk with `error` set, the
// row in hand unchanged.
FullTextResult runFullTextSearch(RecordTable& articles, const FullTextJob& job, std::atomic<bool>& stop,
                                 const FullTextReports& reports);

// --- The progress dialog of a full-text search ------------------------------------------------------------

// The issue in hand: the magazine's name in quotes, interface text 14 and `Number` as stored.
std::string findIssueLine(std::string_view text14, std::string_view number);
// The hits so far: interface text 74 directly followed by the hit count.
std::string findHitsLine(std::string_view text74, int hits);

// The stop flag as the dialog drives it; used on the user-interface thread only. The dialog closes only
// after the worker's end step, whatever was pressed before: a cancel followed by the close box must not let
// the window come back while the worker still writes the table.
class FindDialogState {
public:
    explicit FindDialogState(std::atomic<bool>& stop) : m_stop(stop) {}
    // The Cancel button: the worker stops after the row it is on.
    void cancel() { m_stop.store(true); }
    // `finishSearch`'s first step, before it closes the dialog.
    void finish() {
        m_stop.store(true);
        m_finished = true;
    }
    // `shutDown`: true lets the dialog close and puts the flag back to false; while the worker runs the
    // close is refused and the worker asked to stop.
    bool mayClose() {
        if (m_finished) {
            m_stop.store(false);
            return true;
        }
        m_stop.store(true);
        return false;
    }
    bool finished() const { return m_finished; }

private:
    std::atomic<bool>& m_stop;
    bool m_finished = false;
};

} // namespace marovex::search
