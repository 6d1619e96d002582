#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace marovex {

// Raised when another process writes the application folder.
class FolderLocked : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The one-writer lock of an application folder: an operating-system lock on a small file in the folder,
// which dies with its process, so a killed writer never leaves the folder locked. The application holds it
// for its whole run, the companion's writing commands for theirs; reading needs none.
class AppFolderLock {
public:
    AppFolderLock() = default;
    // Takes the lock for `who` (for example "marovex-cli index"). Another holder raises FolderLocked naming
    // the folder and the holder; a folder where no lock file can be made raises std::runtime_error.
    static AppFolderLock acquire(const std::filesystem::path& folder, std::string_view who);
    ~AppFolderLock();
    AppFolderLock(AppFolderLock&& other) noexcept;
    AppFolderLock& operator=(AppFolderLock&& other) noexcept;
    AppFolderLock(const AppFolderLock&) = delete;
    AppFolderLock& operator=(const AppFolderLock&) = delete;

    bool held() const { return m_fd >= 0; }
    void release();

    static constexpr std::string_view kFileName = ".mvx.lock";

private:
    int m_fd = -1;
};

} // namespace marovex
