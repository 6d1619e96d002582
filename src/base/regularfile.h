#pragma once

#include "base/message.h"
#include "base/platform.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The one way files of the application folder and contents pages of the archive are taken in: only regular
// files, never waiting on one, never more than their kind can sensibly hold.
namespace marovex {

// A file that cannot be taken in or written; the message names the file and what is wrong.
class FileError : public MessageError {
public:
    using MessageError::MessageError;
};

// Whether the last component of a path may be a symbolic link. The program's own files (the commit
// record, temporaries) are never links, so a link in their place is refused; what a user may link
// (settings, history, language files, archive pages) is followed.
enum class Links { Follow, Refuse };

// Limits by kind of file: far above anything real, low enough that a wrong file cannot eat the memory.
inline constexpr std::size_t kSettingsFileLimit = std::size_t(64) << 20; // mvx.ini and language files
inline constexpr std::size_t kRecordFileLimit = std::size_t(64) << 10;   // the commit record
inline constexpr std::size_t kPageFileLimit = std::size_t(256) << 20;    // a contents page of the archive

// One file opened for reading, and only when it is a regular file. Opening never waits (a FIFO would wait
// for a writer for ever), and the kind is taken from what was opened, so nothing swapped in after a check
// slips by.
class RegularFile {
public:
    // Nothing when there is no such file (with Links::Follow, a link to nothing counts as none). FileError
    // naming the file when it is something else than a regular file or cannot be opened. `shown` names the
    // file in messages when another one (a pending replacement) is read in its place.
    static std::optional<RegularFile> open(const std::filesystem::path& file, Links links,
                                           const std::filesystem::path& shown = {});
    RegularFile(RegularFile&&) noexcept = default;
    RegularFile& operator=(RegularFile&&) noexcept = default;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The size when it was opened; a file may still grow or shrink while it is read.
    std::uint64_t size() const { return m_size; }
    // Up to `size` bytes into `buffer`; 0 at the end. FileError naming the file when reading fails.
    std::size_t read(char* buffer, std::size_t size);
    // Hands the open file to the caller; for readers that map or read at offsets.
    platform::FileHandle releaseHandle() { return std::move(m_file); }

private:
    RegularFile(std::filesystem::path path, platform::FileHandle file, std::uint64_t size);

    std::filesystem::path m_path;
    platform::FileHandle m_file;
    std::uint64_t m_size = 0;
};

// The whole file in `buffer` (which only grows, so that many files can share one piece of memory), as a
// view of it; nothing when there is no such file. FileError when it is no regular file, cannot be read, or
// holds more than `limit` bytes (also when it grows past them while it is read).
std::optional<std::string_view> readRegularFile(const std::filesystem::path& file, std::string& buffer,
                                                std::size_t limit, Links links);
std::optional<std::string> readRegularFile(const std::filesystem::path& file, std::size_t limit, Links links);

// --- Messages about files ------------------------------------------------------------------------------

// "<file>: cannot read: not a regular file (a FIFO)"; `writing` says "cannot replace" instead.
Message notRegularFileMessage(const std::filesystem::path& file, platform::FileKind kind, bool writing);
// "<file>: cannot read: the file is larger than 64 MiB"
Message tooLargeMessage(const std::filesystem::path& file, std::size_t limit);
// "<file>: cannot read: <the system's reason>"
Message cannotReadMessage(const std::filesystem::path& file, int error);
// "<folder>: cannot read the folder: <the system's reason>"
Message unreadableFolderMessage(const std::filesystem::path& folder, int error);
// "<file>: cannot write: <the system's reason>"
Message cannotWriteMessage(const std::filesystem::path& file, int error);
// "<file>: cannot replace: <the system's reason>"
Message cannotReplaceMessage(const std::filesystem::path& file, int error);
// "<file>: cannot replace: the file is write-protected"
Message writeProtectedMessage(const std::filesystem::path& file);
// "<record>: a damaged commit record was discarded and nothing was renamed (<why>)"
Message damagedRecordMessage(const std::filesystem::path& record, const Message& why);

} // namespace marovex
