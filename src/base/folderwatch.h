#pragma once

#include "base/platform.h"

#include <filesystem>
#include <string>
#include <vector>

namespace marovex {

// Tells which entries of watched folders changed since it was last asked: created, removed, renamed, written
// or given other attributes. Linux (inotify) and Windows (ReadDirectoryChangesW) report these as they happen;
// elsewhere it is never available, and callers look at every file themselves.
//
// What the system does not report, callers must not trust it for: a file written through a writable memory
// mapping, a file changed through a hard link in a folder that is not watched, and file systems whose
// contents change elsewhere (network and user-space file systems: see reportsEveryChange).
class FolderWatch {
public:
    FolderWatch() = default;
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    bool available() const { return m_watcher.available(); }

    // Starts watching a folder (symbolic links followed) and returns its watch, or -1 when it cannot be
    // watched (not a folder, the system's limit of watches reached, ...). A folder already watched gives
    // its watch again.
    int add(const std::filesystem::path& folder) { return m_watcher.add(folder); }

    // `name`: the entry that changed (as the file system spells it); empty: the folder. `folderGone`: the
    // folder was removed, moved or unmounted; its watch has ended.
    using Change = platform::DirectoryWatcher::Change;
    // Appends the changes reported since the last call, without waiting. False when some were lost (the
    // system's queue overflowed, or it could not be read): then anything may have changed.
    bool take(std::vector<Change>& changes) { return m_watcher.take(changes); }

    // Whether anything was mounted or unmounted since the last call (or since construction): a mount hides
    // or reveals folders without a change being reported in them. True when it cannot be told.
    bool mountsChanged() { return m_watcher.mountsChanged(); }

    // Whether every change to files in `folder` is reported: a local file system. Network and user-space
    // file systems can change elsewhere without a word.
    static bool reportsEveryChange(const std::filesystem::path& folder) {
        return platform::DirectoryWatcher::reportsEveryChange(folder);
    }

private:
    platform::DirectoryWatcher m_watcher;
};

} // namespace marovex
