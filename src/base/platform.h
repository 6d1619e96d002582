#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every call the core and the companion make to the operating system, behind one small interface with a
// POSIX and a Windows implementation (platform_posix.cpp, platform_win.cpp). Errors are errno codes on
// both systems (the Windows side translates its own), so that messages name reasons the same way.
namespace marovex::platform {

enum class FileKind : unsigned char {
    Regular,
    Directory,
    Link,
    Fifo,
    CharDevice,
    BlockDevice,
    Socket,
    Other
};

// What says that a file is still the one seen before: the same file (device and file number) with the
// same size and times.
struct FileIdentity {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0, changedNs = 0; // since the epoch
    bool operator==(const FileIdentity&) const = default;
};

struct FileStatus {
    FileKind kind = FileKind::Other;
    FileIdentity identity;
    bool ownerWritable = true; // the owner's write bit; on Windows, no read-only attribute
};

// Whether an error means that there is no such file (the name or a folder on its way is missing).
bool isMissing(int error);

// An open file (or folder) of the system, closed with its owner. Empty after a failed open.
class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() { close(); }
    FileHandle(FileHandle&& other) noexcept : m_native(other.m_native) { other.m_native = kInvalid; }
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // A descriptor on POSIX, a HANDLE on Windows.
    static FileHandle adopt(std::intptr_t native) {
        FileHandle h;
        h.m_native = native;
        return h;
    }
    std::intptr_t native() const { return m_native; }
    bool valid() const { return m_native != kInvalid; }
    explicit operator bool() const { return valid(); }
    // The error of closing (a write-back failure shows there); 0 when fine or nothing was open.
    int close();

private:
    static constexpr std::intptr_t kInvalid = -1; // also INVALID_HANDLE_VALUE
    std::intptr_t m_native = kInvalid;
};

// --- Looking at files ------------------------------------------------------------------------------------

// The status of what `path` names; with `followLinks` false, a symbolic link itself. Nothing with `error`
// set when it cannot be looked at.
std::optional<FileStatus> statusOf(const std::filesystem::path& path, bool followLinks, int& error);
std::optional<FileStatus> statusOf(const FileHandle& file, int& error);
// statusOf for a path as pathKey gives it, without making a path of it (for many files in a row).
std::optional<FileStatus> statusOfKey(const std::string& key, bool followLinks, int& error);
// Whether this process may write the file (the owner's protection aside). True when that cannot be told.
bool mayWrite(const std::filesystem::path& file);

// --- Reading and writing ---------------------------------------------------------------------------------

// Opens for reading without ever waiting (a FIFO would wait for a writer) and without taking a terminal.
// With `followLinks` false a symbolic link in the last place fails with ELOOP. The file stays replaceable
// and removable while it is open.
FileHandle openForReading(const std::filesystem::path& path, bool followLinks, int& error);
// Makes a new file, read and write, failing with EEXIST when anything has the name (a dangling link too).
FileHandle createNew(const std::filesystem::path& path, int& error);
// Up to `size` bytes at the file's position; 0 at the end, -1 with `error` set.
std::int64_t readSome(const FileHandle& file, char* buffer, std::size_t size, int& error);
// Up to `size` bytes at `offset` (fewer only at the end), without moving the position; -1 on an error.
std::int64_t readAt(const FileHandle& file, void* buffer, std::size_t size, std::uint64_t offset);
// All of `size` bytes at `offset`.
bool writeAt(const FileHandle& file, const void* data, std::size_t size, std::uint64_t offset);
// All bytes at the file's position; false with `error` set.
bool writeAll(const FileHandle& file, const char* data, std::size_t size, int& error);
bool setSize(const FileHandle& file, std::uint64_t size);
// `size` bytes from one file into another at the given offsets, in the kernel where it can.
bool copyRange(const FileHandle& from, std::uint64_t fromOffset, const FileHandle& to, std::uint64_t toOffset,
               std::size_t size);
// Flushes a file's content to the disk; the error, or 0.
int flush(const FileHandle& file);
// Flushes the file at `path` (never through a link); the error, or 0.
int flushFile(const std::filesystem::path& path);
// Flushes a folder's entries (a rename in it), where the system has such a thing.
void flushFolder(const std::filesystem::path& folder);

// --- Replacing and removing ------------------------------------------------------------------------------

// Puts `from` in the place of `to` in one step: a reader sees the old file or the new one, even one that
// holds the old file open. The error, or 0.
int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);
// As replaceFile, for a file this process itself holds open, which Windows does not let a rename take the
// place of: there the held file moves aside to `aside` first and is deleted after the new one took its
// name. For caches alone: a crash between the two steps leaves no file under the name.
int replaceHeldFile(const std::filesystem::path& from, const std::filesystem::path& to,
                    const std::filesystem::path& aside);
// Removes a file (or a link, never what it names); the error, or 0.
int removeFile(const std::filesystem::path& path);
// Removes a folder when it is empty.
void removeEmptyFolder(const std::filesystem::path& folder);

// --- Mapping ---------------------------------------------------------------------------------------------

// Whether a file with a mapped view cannot be replaced or removed (Windows): such mappings are then kept
// only as long as it takes to copy what they show.
#if defined(_WIN32)
inline constexpr bool kMappedFilesBlockReplace = true;
#else
inline constexpr bool kMappedFilesBlockReplace = false;
#endif

// Bytes of an open file mapped for reading, from any offset (the system's alignment is dealt with here).
// The file cannot be replaced on Windows while a view of it lives.
class MappedView {
public:
    MappedView() = default;
    static MappedView map(const FileHandle& file, std::uint64_t offset, std::size_t size);
    ~MappedView() { unmap(); }
    MappedView(MappedView&& other) noexcept;
    MappedView& operator=(MappedView&& other) noexcept;
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    const char* data() const { return m_data; }
    bool valid() const { return m_data != nullptr; }
    void unmap();

private:
    void* m_base = nullptr;
    std::size_t m_size = 0;
    const char* m_data = nullptr;
    std::intptr_t m_mapping = 0; // the mapping object on Windows
};

// --- The application folder's lock -----------------------------------------------------------------------

// Who holds a lock: the process number and its command line (program name without its folder), either
// may be empty when it cannot be told.
struct LockHolder {
    std::string process;
    std::string commandLine;
};

// A lock on a folder itself that dies with its process and adds no file to the folder: flock() on the
// folder on POSIX; on Windows a named kernel object keyed on the folder's volume and file number.
class FolderLockHandle {
public:
    FolderLockHandle() = default;
    ~FolderLockHandle() { release(); }
    FolderLockHandle(FolderLockHandle&& other) noexcept;
    FolderLockHandle& operator=(FolderLockHandle&& other) noexcept;
    FolderLockHandle(const FolderLockHandle&) = delete;
    FolderLockHandle& operator=(const FolderLockHandle&) = delete;

    bool held() const { return m_lock.valid(); }
    void release();

    // Takes the lock without waiting. When another holds it, `busy` is set and `holder` says who, when it
    // can be told; any other failure sets `error`.
    static FolderLockHandle tryLock(const std::filesystem::path& folder, bool& busy,
                                    std::optional<LockHolder>& holder, int& error);

private:
    FileHandle m_lock;
    FileHandle m_note; // Windows: the holder's name, readable by others
    void* m_noteView = nullptr;
};

// --- Watching folders ------------------------------------------------------------------------------------

// Reports changes of watched folders' entries as they happen (inotify; ReadDirectoryChangesW). See
// base/folderwatch.h, which is built on it.
class DirectoryWatcher {
public:
    DirectoryWatcher();
    ~DirectoryWatcher();
    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

    bool available() const;
    int add(const std::filesystem::path& folder);
    struct Change {
        int watch = -1;
        std::string name; // UTF-8 on Windows
        bool folderGone = false;
    };
    bool take(std::vector<Change>& changes);
    bool mountsChanged();
    static bool reportsEveryChange(const std::filesystem::path& folder);

private:
    struct State;
    std::unique_ptr<State> d;
};

// --- Paths as text --------------------------------------------------------------------------------------

// Where a path meets text (settings, messages, stored names, the command line) it is UTF-8 on both systems;
// these two are the only crossings.
inline std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(
        std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}
inline std::string pathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The text a path is kept under (the text store's keys, compared as bytes): the native bytes where they
// are bytes, UTF-8 on Windows.
#if defined(_WIN32)
inline std::string pathKey(const std::filesystem::path& path) {
    return pathToUtf8(path);
}
#else
inline const std::string& pathKey(const std::filesystem::path& path) {
    return path.native();
}
#endif

// --- The companion's console -----------------------------------------------------------------------------

// The program's arguments after its name, as UTF-8 whatever the system's code page (Windows takes them
// from the wide command line; elsewhere they are the bytes given).
std::vector<std::string> commandLineArguments(int argc, char** argv);
// The running program's own file.
std::filesystem::path executablePath(const char* argv0);
// Standard output and error as the companion uses them: UTF-8 text shown as such by a console, and the
// terminal's escape sequences (the progress line) understood.
void prepareConsole();
// Standard output passes bytes as they are, line ends untranslated (a dump).
void binaryStandardOutput();
#if defined(_WIN32)
// A command line that CommandLineToArgvW splits back into these UTF-8 words.
std::wstring commandLine(const std::vector<std::string>& words);
#endif

// --- The process -----------------------------------------------------------------------------------------

unsigned long processId();
// Starts `program` with one argument, detached from this process (not waited for, its standard streams
// on nothing), and returns 0, or the error number of a program that could not be started. A POSIX script
// without its interpreter line runs in the shell, as a shell would run it.
int startDetached(const std::filesystem::path& program, const std::string& argument);
// Ends the process at once, as a kill would (tests of what a crash leaves).
[[noreturn]] void endAbruptly();
// Lowers the calling thread's priority, for work done behind the user's back.
void lowerThreadPriority();
// Keeps asynchronous signals away from the calling thread (POSIX), so they reach the main thread.
void blockSignalsInThisThread();
// Whether standard error is a terminal (a console on Windows).
bool stderrIsTerminal();

// Ctrl+C, for as long as a hook lives: `handler` runs (in a signal handler on POSIX, on a thread of the
// system's on Windows, so it may only set atomics) and returns whether it dealt with it; false lets the
// default happen, which ends the program. Hooks nest; the last one made is asked.
class InterruptHook {
public:
    using Handler = bool (*)();
    explicit InterruptHook(Handler handler);
    ~InterruptHook();
    InterruptHook(const InterruptHook&) = delete;
    InterruptHook& operator=(const InterruptHook&) = delete;

private:
    Handler m_previous;
    struct Saved;
    std::unique_ptr<Saved> m_saved;
};

} // namespace marovex::platform
