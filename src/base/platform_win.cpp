// The platform layer on Windows.
#include "base/platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which they build on.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace marovex::platform {

namespace {

HANDLE handleOf(const FileHandle& h) {
    return reinterpret_cast<HANDLE>(h.native());
}

FileHandle adoptHandle(HANDLE h) {
    return FileHandle::adopt(reinterpret_cast<std::intptr_t>(h));
}

// The errno code for the system's last error, so that messages name reasons as they do on POSIX.
int lastError() {
    switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_CANT_RESOLVE_FILENAME:
        return ELOOP;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    default:
        return EIO;
    }
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::int64_t nanosecondsSinceEpoch(std::int64_t fileTime) {
    // 100-nanosecond steps since 1601.
    return (fileTime - 116444736000000000LL) * 100;
}

bool isLinkTag(DWORD tag) {
    return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

HANDLE openPath(const std::filesystem::path& path, DWORD access, bool followLinks, DWORD extraFlags = 0) {
    return ::CreateFileW(
        path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT) | extraFlags, nullptr);
}

std::string utf8(const wchar_t* text, std::size_t size) {
    if (size == 0) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, int(size), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(std::max(n, 0)), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, text, int(size), out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace

bool isMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        m_native = other.m_native;
        other.m_native = kInvalid;
    }
    return *this;
}

int FileHandle::close() {
    if (!valid()) return 0;
    const BOOL ok = ::CloseHandle(reinterpret_cast<HANDLE>(m_native));
    m_native = kInvalid;
    return ok ? 0 : lastError();
}

// --- Looking at files ------------------------------------------------------------------------------------

std::optional<FileStatus> statusOf(const FileHandle& file, int& error) {
    FileStatus s;
    const HANDLE h = handleOf(file);
    switch (::GetFileType(h)) {
    case FILE_TYPE_CHAR:
        s.kind = FileKind::CharDevice;
        return s;
    case FILE_TYPE_PIPE:
        s.kind = FileKind::Fifo;
        return s;
    case FILE_TYPE_DISK:
        break;
    default:
        s.kind = FileKind::Other;
        return s;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandle(h, &info) ||
        !::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
        error = lastError();
        return std::nullopt;
    }
    s.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Directory : FileKind::Regular;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
            isLinkTag(tag.ReparseTag))
            s.kind = FileKind::Link;
    }
    s.identity.device = info.dwVolumeSerialNumber;
    s.identity.inode = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    s.identity.size = std::int64_t((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    s.identity.modifiedNs = nanosecondsSinceEpoch(basic.LastWriteTime.QuadPart);
    s.identity.changedNs = nanosecondsSinceEpoch(basic.ChangeTime.QuadPart);
    s.ownerWritable = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    return s;
}

std::optional<FileStatus> statusOf(const std::filesystem::path& path, bool followLinks, int& error) {
    // Only the attributes are asked for, so nothing is really opened: no device acts, no pipe connects.
    const FileHandle h = adoptHandle(openPath(path, FILE_READ_ATTRIBUTES, followLinks));
    if (!h) {
        error = lastError();
        return std::nullopt;
    }
    return statusOf(h, error);
}

std::optional<FileStatus> statusOfKey(const std::string& key, bool followLinks, int& error) {
    return statusOf(pathFromUtf8(key), followLinks, error);
}

bool mayWrite(const std::filesystem::path&) {
    // Access lists are the file system's business: a refused write says so itself.
    return true;
}

// --- Reading and writing ---------------------------------------------------------------------------------

FileHandle openForReading(const std::filesystem::path& path, bool followLinks, int& error) {
    FileHandle h = adoptHandle(openPath(path, GENERIC_READ, followLinks));
    if (!h) {
        error = lastError();
        return h;
    }
    if (!followLinks) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (::GetFileInformationByHandleEx(handleOf(h), FileAttributeTagInfo, &tag, sizeof tag) &&
            (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && isLinkTag(tag.ReparseTag)) {
            h.close();
            error = ELOOP;
        }
    }
    return h;
}

FileHandle createNew(const std::filesystem::path& path, int& error) {
    FileHandle h =
        adoptHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h) error = lastError();
    return h;
}

std::int64_t readSome(const FileHandle& file, char* buffer, std::size_t size, int& error) {
    DWORD got = 0;
    const DWORD asked = DWORD(std::min<std::size_t>(size, 1u << 30));
    if (!::ReadFile(handleOf(file), buffer, asked, &got, nullptr)) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_HANDLE_EOF || e == ERROR_BROKEN_PIPE) return 0;
        error = lastError();
        return -1;
    }
    return got;
}

std::int64_t readAt(const FileHandle& file, void* buffer, std::size_t size, std::uint64_t offset) {
    auto* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset + done);
        at.OffsetHigh = DWORD((offset + done) >> 32);
        DWORD got = 0;
        const DWORD asked = DWORD(std::min<std::size_t>(size - done, 1u << 30));
        if (!::ReadFile(handleOf(file), p + done, asked, &got, &at)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) break;
            return -1;
        }
        if (got == 0) break;
        done += got;
    }
    return std::int64_t(done);
}

bool writeAt(const FileHandle& file, const void* data, std::size_t size, std::uint64_t offset) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD put = 0;
        const DWORD asked = DWORD(std::min<std::size_t>(size, 1u << 30));
        if (!::WriteFile(handleOf(file), p, asked, &put, &at) || put == 0) return false;
        p += put, size -= put, offset += put;
    }
    return true;
}

bool writeAll(const FileHandle& file, const char* data, std::size_t size, int& error) {
    while (size > 0) {
        DWORD put = 0;
        const DWORD asked = DWORD(std::min<std::size_t>(size, 1u << 30));
        if (!::WriteFile(handleOf(file), data, asked, &put, nullptr)) {
            error = lastError();
            return false;
        }
        data += put, size -= put;
    }
    return true;
}

bool setSize(const FileHandle& file, std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = LONGLONG(size);
    return ::SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool copyRange(const FileHandle& from, std::uint64_t fromOffset, const FileHandle& to, std::uint64_t toOffset,
               std::size_t size) {
    std::string buffer(size, '\0');
    return readAt(from, buffer.data(), size, fromOffset) == std::int64_t(size) &&
           writeAt(to, buffer.data(), size, toOffset);
}

int flush(const FileHandle& file) {
    return ::FlushFileBuffers(handleOf(file)) ? 0 : lastError();
}

int flushFile(const std::filesystem::path& path) {
    const FileHandle h = adoptHandle(openPath(path, GENERIC_WRITE, false));
    if (!h) return lastError();
    return flush(h);
}

void flushFolder(const std::filesystem::path&) {
    // Renames are written through (MOVEFILE_WRITE_THROUGH); a folder has nothing of its own to flush.
}

// --- Replacing and removing ------------------------------------------------------------------------------

namespace {

// The rename of a file held open elsewhere that Windows 10 allows (the holders keep the old file, as on
// POSIX); older systems and Wine refuse the request.
bool renamePosixStyle(const std::filesystem::path& from, const std::filesystem::path& to) {
    const FileHandle file = adoptHandle(openPath(from, DELETE | SYNCHRONIZE, false));
    if (!file) return false;
    const std::wstring target = std::filesystem::absolute(to).wstring();
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    const DWORD flags = 0x1 | 0x2; // FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS
    std::memcpy(info, &flags, sizeof flags);
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.data(), target.size() * sizeof(wchar_t));
    return ::SetFileInformationByHandle(handleOf(file), FILE_INFO_BY_HANDLE_CLASS(22) /* FileRenameInfoEx */,
                                        info, DWORD(buffer.size())) != 0;
}

} // namespace

int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    const int err = lastError();
    if ((err == EACCES || err == EBUSY) && renamePosixStyle(from, to)) return 0;
    // A file held open by a reader (shared for deletion, as this layer opens every file) may still be
    // replaced in one step where a plain rename is refused.
    if ((err == EACCES || err == EBUSY) &&
        ::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return 0;
    return err;
}

int replaceHeldFile(const std::filesystem::path& from, const std::filesystem::path& to,
                    const std::filesystem::path& aside) {
    const int err = replaceFile(from, to);
    if (err != EACCES && err != EBUSY) return err;
    // Held open (shared for deletion, as this layer opens every file), the file may still be renamed,
    // though nothing may take its name; deleted, it goes when its last handle closes.
    if (!::MoveFileExW(to.c_str(), aside.c_str(), 0)) return err;
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const int failed = lastError();
        ::MoveFileExW(aside.c_str(), to.c_str(), 0);
        return failed;
    }
    ::DeleteFileW(aside.c_str());
    return 0;
}

int removeFile(const std::filesystem::path& path) {
    if (::DeleteFileW(path.c_str())) return 0;
    const int err = lastError();
    // A link to a folder is removed as a folder, without touching what it names.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && ::RemoveDirectoryW(path.c_str()))
        return 0;
    return err;
}

void removeEmptyFolder(const std::filesystem::path& folder) {
    ::RemoveDirectoryW(folder.c_str());
}

// --- Mapping ---------------------------------------------------------------------------------------------

MappedView MappedView::map(const FileHandle& file, std::uint64_t offset, std::size_t size) {
    MappedView v;
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    const std::uint64_t granularity = system.dwAllocationGranularity;
    const std::uint64_t start = offset / granularity * granularity;
    const std::size_t length = std::size_t(offset - start) + size;
    const HANDLE mapping = ::CreateFileMappingW(handleOf(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return v;
    void* base = ::MapViewOfFile(mapping, FILE_MAP_READ, DWORD(start >> 32), DWORD(start), length);
    if (!base) {
        ::CloseHandle(mapping);
        return v;
    }
    v.m_base = base;
    v.m_size = length;
    v.m_data = static_cast<const char*>(base) + (offset - start);
    v.m_mapping = reinterpret_cast<std::intptr_t>(mapping);
    return v;
}

MappedView::MappedView(MappedView&& other) noexcept
    : m_base(other.m_base), m_size(other.m_size), m_data(other.m_data), m_mapping(other.m_mapping) {
    other.m_base = nullptr;
    other.m_data = nullptr;
    other.m_mapping = 0;
}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
    if (this != &other) {
        unmap();
        std::swap(m_base, other.m_base);
        std::swap(m_size, other.m_size);
        std::swap(m_data, other.m_data);
        std::swap(m_mapping, other.m_mapping);
    }
    return *this;
}

void MappedView::unmap() {
    if (m_base) ::UnmapViewOfFile(m_base);
    if (m_mapping) ::CloseHandle(reinterpret_cast<HANDLE>(m_mapping));
    m_base = nullptr;
    m_data = nullptr;
    m_mapping = 0;
}

// --- The folder lock -------------------------------------------------------------------------------------

namespace {

constexpr std::size_t kNoteSize = 4096;

// This process as the lock's holder names it: the process number, then the command line with the
// program's folder left out, each ended by a zero byte.
std::string holderNote() {
    std::string note = std::to_string(::GetCurrentProcessId());
    note += '\0';
    int argc = 0;
    if (LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc)) {
        for (int i = 0; i < argc; ++i) {
            std::wstring arg = argv[i];
            if (i == 0) {
                const std::size_t slash = arg.find_last_of(L"\\/");
                if (slash != std::wstring::npos) arg = arg.substr(slash + 1);
            } else {
                note += ' ';
            }
            note += utf8(arg.data(), arg.size());
        }
        ::LocalFree(argv);
    }
    note.resize(std::min(note.size(), kNoteSize - 1));
    note += '\0';
    return note;
}

} // namespace

FolderLockHandle::FolderLockHandle(FolderLockHandle&& other) noexcept
    : m_lock(std::move(other.m_lock)), m_note(std::move(other.m_note)), m_noteView(other.m_noteView) {
    other.m_noteView = nullptr;
}

FolderLockHandle& FolderLockHandle::operator=(FolderLockHandle&& other) noexcept {
    if (this != &other) {
        release();
        m_lock = std::move(other.m_lock);
        m_note = std::move(other.m_note);
        std::swap(m_noteView, other.m_noteView);
    }
    return *this;
}

void FolderLockHandle::release() {
    if (m_noteView) ::UnmapViewOfFile(m_noteView);
    m_noteView = nullptr;
    m_note.close();
    m_lock.close();
}

FolderLockHandle FolderLockHandle::tryLock(const std::filesystem::path& folder, bool& busy,
                                           std::optional<LockHolder>& holder, int& error) {
    FolderLockHandle lock;
    busy = false;
    // The folder's identity names the lock, so that every spelling of its path (a drive letter, a share, a
    // different letter case) meets the same one.
    int err = 0;
    std::optional<FileStatus> status;
    {
        const FileHandle dir = adoptHandle(openPath(folder, FILE_READ_ATTRIBUTES, true));
        if (!dir) {
            error = lastError();
            return lock;
        }
        status = statusOf(dir, err);
    }
    if (!status || status->kind != FileKind::Directory) {
        error = status ? ENOTDIR : err;
        return lock;
    }
    wchar_t name[96];
    ::swprintf(name, sizeof name / sizeof name[0], L"Local\\marovex-folder-%08llx-%016llx",
               static_cast<unsigned long long>(status->identity.device),
               static_cast<unsigned long long>(status->identity.inode));
    // The object exists while a holder lives (its handles close with its process): whoever makes it holds
    // the lock, also against a second attempt in the same process.
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name);
    if (!mutex) {
        error = lastError();
        return lock;
    }
    std::wstring noteName = std::wstring(name) + L"-holder";
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        busy = true;
        error = EWOULDBLOCK;
        if (const HANDLE note = ::OpenFileMappingW(FILE_MAP_READ, FALSE, noteName.c_str())) {
            if (const auto* view =
                    static_cast<const char*>(::MapViewOfFile(note, FILE_MAP_READ, 0, 0, kNoteSize))) {
                const std::string process(view, ::strnlen(view, kNoteSize));
                const char* rest = view + std::min(process.size() + 1, kNoteSize - 1);
                std::string commandText(rest, ::strnlen(rest, std::size_t(view + kNoteSize - rest)));
                if (!process.empty()) holder = LockHolder{process, std::move(commandText)};
                ::UnmapViewOfFile(view);
            }
            ::CloseHandle(note);
        }
        return lock;
    }
    lock.m_lock = adoptHandle(mutex);
    // Who holds it, for the message another program shows; the lock stands without it.
    if (const HANDLE note = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kNoteSize,
                                                 noteName.c_str())) {
        lock.m_note = adoptHandle(note);
        if (void* view = ::MapViewOfFile(note, FILE_MAP_WRITE, 0, 0, kNoteSize)) {
            const std::string text = holderNote();
            std::memcpy(view, text.data(), text.size());
            lock.m_noteView = view;
        }
    }
    return lock;
}

// --- Watching folders ------------------------------------------------------------------------------------
//
// One handle per folder tree, not per folder: a watch of the whole tree (ReadDirectoryChangesW with its
// subtree) reports each change with its path from the tree's top, and the folders added inside it are
// watches of their own without a handle or a buffer of their own. Thousands of folders would otherwise hold
// thousands of handles, pending reads and 64 KiB buffers. Windows does not report a watched folder moved
// away, so the top of each tree is looked up by its path again at every take(); a folder inside is gone when
// it, or a folder above it, is reported removed or renamed.

namespace {

constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                           FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                           FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_CREATION |
                           FILE_NOTIFY_CHANGE_SECURITY;

using Identity = std::pair<std::uint64_t, std::uint64_t>; // volume, file index

// Whether the folder is being deleted (its last handle closing will remove it) or has been: the name may
// still lead to it meanwhile. Some systems count no links for a folder, so only a count that fell to 0 says.
std::uint32_t linksOf(HANDLE h, bool& deleted) {
    FILE_STANDARD_INFO info{};
    if (!::GetFileInformationByHandleEx(h, FileStandardInfo, &info, sizeof info)) return 0;
    deleted = info.DeletePending;
    return info.NumberOfLinks;
}

std::optional<Identity> folderIdentity(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return Identity(info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

// The folder's path as the file system spells it, links resolved, without the "\\?\" prefix.
std::wstring finalPath(HANDLE h) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFinalPathNameByHandleW(h, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(n);
    }
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

// The long spelling of a path that may hold short (8.3) names, or nothing when it no longer exists.
std::wstring longPath(const std::wstring& path) {
    const std::wstring asked = L"\\\\?\\" + path;
    std::wstring found(asked.size() + MAX_PATH, L'\0');
    const DWORD n = ::GetLongPathNameW(asked.c_str(), found.data(), DWORD(found.size()));
    if (n == 0 || n >= found.size()) return {};
    found.resize(n);
    return found.rfind(L"\\\\?\\", 0) == 0 ? found.substr(4) : found;
}

// Names compare as the file system compares them: ignoring case.
std::wstring caseKey(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), DWORD(text.size()));
    return text;
}

struct Tree {
    std::filesystem::path path; // as added: the top must still be found there
    std::wstring final;         // its path as the file system spells it
    std::wstring top;           // and as a key
    Identity identity;
    std::uint32_t links = 0;
    HANDLE folder = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    alignas(DWORD) char buffer[64 * 1024];
    bool pending = false;

    bool start() {
        ::ResetEvent(overlapped.hEvent);
        pending = ::ReadDirectoryChangesW(folder, buffer, sizeof buffer, TRUE, kChanges, nullptr, &overlapped,
                                          nullptr) != 0;
        return pending;
    }
    ~Tree() {
        if (folder != INVALID_HANDLE_VALUE) {
            if (pending) {
                ::CancelIoEx(folder, &overlapped);
                DWORD ignored = 0;
                ::GetOverlappedResult(folder, &overlapped, &ignored, TRUE);
            }
            ::CloseHandle(folder);
        }
        if (overlapped.hEvent) ::CloseHandle(overlapped.hEvent);
    }
};

} // namespace

struct DirectoryWatcher::State {
    std::map<int, std::unique_ptr<Tree>> trees; // by the watch of their top
    // Every watch by its tree's top and its path below it (a key; empty for the top), and what it watches.
    std::map<std::pair<int, std::wstring>, int> byPlace;
    struct Watch {
        int tree;
        std::wstring place;
        Identity identity;
    };
    std::map<int, Watch> watches;
    int next = 1;
    DWORD drives = 0;
    bool drivesKnown = false;

    // Reports the watches of `tree` at `place` and below it as gone and forgets them.
    void end(int tree, const std::wstring& place, std::vector<Change>& changes) {
        for (auto it = byPlace.lower_bound({tree, place}); it != byPlace.end() && it->first.first == tree;) {
            const std::wstring& p = it->first.second;
            if (p.compare(0, place.size(), place) != 0) break;
            if (place.empty() || p.size() == place.size() || p[place.size()] == L'\\') {
                changes.push_back({it->second, {}, true});
                watches.erase(it->second);
                it = byPlace.erase(it);
            } else {
                ++it;
            }
        }
    }
};

DirectoryWatcher::DirectoryWatcher() : d(std::make_unique<State>()) {
    mountsChanged(); // the first call reports the drives as new
}

DirectoryWatcher::~DirectoryWatcher() = default;

bool DirectoryWatcher::available() const {
    return true;
}

int DirectoryWatcher::add(const std::filesystem::path& folder) {
    const HANDLE h = openPath(folder, FILE_LIST_DIRECTORY, true, FILE_FLAG_OVERLAPPED);
    if (h == INVALID_HANDLE_VALUE) return -1;
    auto tree = std::make_unique<Tree>();
    tree->folder = h; // closes it whatever becomes of it
    const std::optional<Identity> identity = folderIdentity(h);
    const std::wstring key = caseKey(finalPath(h));
    if (!identity || key.empty()) return -1;

    // Inside a tree already watched (the deepest one): a watch of its own without a handle.
    int within = -1;
    std::wstring place;
    for (const auto& [top, t] : d->trees) {
        if (key.size() < t->top.size() || key.compare(0, t->top.size(), t->top) != 0) continue;
        if (key.size() > t->top.size() && key[t->top.size()] != L'\\' && t->top.back() != L'\\') continue;
        std::wstring below = key.substr(t->top.size());
        if (!below.empty() && below.front() == L'\\') below.erase(0, 1);
        if (within < 0 || below.size() <= place.size()) { // the newest of equals: an older may be stale
            within = top;
            place = std::move(below);
        }
    }
    if (within >= 0) {
        const auto known = d->byPlace.find({within, place});
        if (known != d->byPlace.end() && d->watches.at(known->second).identity == *identity)
            return known->second;
        // Another folder standing where a watched one stood (changes were lost meanwhile) gets a new watch;
        // a new top gets a tree of its own, and take() ends the old one.
        if (!place.empty()) {
            if (known != d->byPlace.end()) {
                d->watches.erase(known->second);
                d->byPlace.erase(known);
            }
            const int id = d->next++;
            d->watches[id] = {within, place, *identity};
            d->byPlace[{within, place}] = id;
            return id;
        }
    }

    tree->path = folder;
    tree->final = finalPath(h);
    tree->top = key;
    tree->identity = *identity;
    bool deleted = false;
    tree->links = linksOf(h, deleted);
    if (deleted) return -1;
    tree->overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!tree->overlapped.hEvent || !tree->start()) return -1;
    const int id = d->next++;
    d->trees.emplace(id, std::move(tree));
    d->watches[id] = {id, {}, *identity};
    d->byPlace[{id, {}}] = id;
    return id;
}

bool DirectoryWatcher::take(std::vector<Change>& changes) {
    bool complete = true;
    for (auto it = d->trees.begin(); it != d->trees.end();) {
        const int top = it->first;
        Tree& t = *it->second;
        bool gone = false;
        // Waiting (for no time) rather than only asking lets a completion that is due arrive first.
        while (t.pending && ::WaitForSingleObject(t.overlapped.hEvent, 0) == WAIT_OBJECT_0) {
            DWORD bytes = 0;
            const bool read = ::GetOverlappedResult(t.folder, &t.overlapped, &bytes, FALSE);
            const DWORD error = read ? ERROR_SUCCESS : ::GetLastError();
            if (error == ERROR_IO_INCOMPLETE) break;
            t.pending = false;
            if (error == ERROR_NOTIFY_ENUM_DIR || error == ERROR_OPERATION_ABORTED || (read && bytes == 0)) {
                // More changes than the buffer holds, or the read ended with the thread that started it:
                // changes were dropped, as with inotify's overflow.
                complete = false;
            } else if (!read) {
                // The folder went away (or can no longer be read): its watches have ended.
                gone = true;
                break;
            } else {
                for (DWORD pos = 0;;) {
                    const auto* n = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(t.buffer + pos);
                    std::wstring name(n->FileName, n->FileNameLength / sizeof(wchar_t));
                    if (name.find(L'~') != std::wstring::npos) {
                        // A change may be reported under a short (8.3) name, which no caller knows.
                        const std::wstring full = longPath(t.final + L'\\' + name);
                        if (full.size() > t.final.size() + 1 && full.compare(0, t.final.size(), t.final) == 0)
                            name = full.substr(t.final.size() + 1);
                        else
                            complete = false; // gone already: the name it had cannot be told
                    }
                    const std::size_t slash = name.rfind(L'\\');
                    const std::wstring folder = caseKey(slash == std::wstring::npos ? std::wstring()
                                                                                   : name.substr(0, slash));
                    if (const auto w = d->byPlace.find({top, folder}); w != d->byPlace.end()) {
                        const std::size_t leaf = slash == std::wstring::npos ? 0 : slash + 1;
                        changes.push_back({w->second, utf8(name.data() + leaf, name.size() - leaf), false});
                    }
                    if (n->Action == FILE_ACTION_REMOVED || n->Action == FILE_ACTION_RENAMED_OLD_NAME)
                        d->end(top, caseKey(name), changes);
                    if (n->NextEntryOffset == 0) break;
                    pos += n->NextEntryOffset;
                }
            }
            if (!t.start()) {
                gone = true;
                break;
            }
        }
        bool deleted = false;
        const std::uint32_t links = linksOf(t.folder, deleted);
        if (!gone && ((links == 0 && t.links > 0) || deleted)) gone = true;
        if (!gone) {
            // Moved away, removed or replaced: the path no longer leads to the folder watched.
            const HANDLE now = openPath(t.path, FILE_READ_ATTRIBUTES, true);
            gone = now == INVALID_HANDLE_VALUE || folderIdentity(now) != t.identity;
            if (now != INVALID_HANDLE_VALUE) ::CloseHandle(now);
        }
        if (gone) {
            d->end(top, {}, changes);
            it = d->trees.erase(it);
        } else {
            ++it;
        }
    }
    return complete;
}

bool DirectoryWatcher::mountsChanged() {
    // A drive that comes or goes hides or reveals folders without a change being reported in them.
    const DWORD drives = ::GetLogicalDrives();
    const bool changed = !d->drivesKnown || drives != d->drives;
    d->drives = drives;
    d->drivesKnown = true;
    return changed;
}

bool DirectoryWatcher::reportsEveryChange(const std::filesystem::path& folder) {
    wchar_t volume[MAX_PATH + 1];
    if (!::GetVolumePathNameW(folder.c_str(), volume, MAX_PATH + 1)) return false;
    // Local disks only: a network share may change elsewhere without a word.
    const UINT type = ::GetDriveTypeW(volume);
    return type == DRIVE_FIXED || type == DRIVE_REMOVABLE || type == DRIVE_RAMDISK;
}

// --- The process -----------------------------------------------------------------------------------------

std::wstring commandLine(const std::vector<std::string>& words) {
    std::wstring line;
    for (const std::string& word : words) {
        if (!line.empty()) line += L' ';
        line += L'"';
        // Backslashes double only before a quote, which is escaped.
        std::size_t slashes = 0;
        for (const wchar_t c : pathFromUtf8(word).wstring()) {
            if (c == L'\\') {
                ++slashes;
            } else {
                if (c == L'"') line.append(slashes + 1, L'\\');
                slashes = 0;
            }
            line += c;
        }
        line.append(slashes, L'\\');
        line += L'"';
    }
    return line;
}

int startDetached(const std::filesystem::path& program, const std::string& argument) {
    std::wstring line = commandLine({pathToUtf8(program), argument});
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &start, &process))
        return lastError();
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return 0;
}

unsigned long processId() {
    return ::GetCurrentProcessId();
}

void endAbruptly() {
    ::TerminateProcess(::GetCurrentProcess(), 137);
    std::_Exit(137);
}

void lowerThreadPriority() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

void blockSignalsInThisThread() {
    // Ctrl+C reaches a console program on a thread of its own, never this one.
}

bool stderrIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// --- Ctrl+C ----------------------------------------------------------------------------------------------

namespace {

std::atomic<InterruptHook::Handler> g_handler{nullptr};

BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    const InterruptHook::Handler handler = g_handler.load();
    // FALSE passes it on to the system's handler, which ends the program.
    return handler && handler() ? TRUE : FALSE;
}

} // namespace

struct InterruptHook::Saved {};

InterruptHook::InterruptHook(Handler handler) : m_previous(g_handler.exchange(handler)) {
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptHook::~InterruptHook() {
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    g_handler.store(m_previous);
}

// --- The companion's console -----------------------------------------------------------------------------

std::vector<std::string> commandLineArguments(int, char**) {
    // main's narrow arguments are in the ANSI code page, which cannot hold every name.
    std::vector<std::string> args;
    int argc = 0;
    if (LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc)) {
        for (int i = 1; i < argc; ++i)
            args.push_back(utf8(argv[i], std::wcslen(argv[i])));
        ::LocalFree(argv);
    }
    return args;
}

std::filesystem::path executablePath(const char*) {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (n < name.size()) {
            name.resize(n);
            return std::filesystem::path(name);
        }
        name.resize(name.size() * 2);
    }
}

void prepareConsole() {
    ::SetConsoleOutputCP(CP_UTF8);
    for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE h = ::GetStdHandle(stream);
        DWORD mode = 0;
        if (::GetConsoleMode(h, &mode)) ::SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
    // Text written through the C library goes out as the bytes it is (UTF-8), not translated again.
    _setmode(_fileno(stderr), _O_BINARY);
}

void binaryStandardOutput() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

} // namespace marovex::platform
