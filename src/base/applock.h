#pragma once

#include "base/message.h"
#include "base/platform.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace marovex {

// Raised when another process writes the application folder.
class FolderLocked : public MessageError {
public:
    using MessageError::MessageError;
};

// The one-writer lock of an application folder: an operating-system lock on the folder itself, which dies
// with its process, so a killed writer never leaves the folder locked, and which adds no file to it. The
// application holds it for its whole run, the companion's writing commands for theirs; reading needs none.
class AppFolderLock {
public:
    AppFolderLock() = default;
    // Takes the lock. Another holder raises FolderLocked naming the folder and the holder's command line; a
    // folder that cannot be opened raises std::runtime_error.
    static AppFolderLock acquire(const std::filesystem::path& folder);
    AppFolderLock(AppFolderLock&&) noexcept = default;
    AppFolderLock& operator=(AppFolderLock&&) noexcept = default;
    AppFolderLock(const AppFolderLock&) = delete;
    AppFolderLock& operator=(const AppFolderLock&) = delete;

    bool held() const { return m_lock.held(); }
    void release() { m_lock.release(); }

private:
    platform::FolderLockHandle m_lock;
};

} // namespace marovex
