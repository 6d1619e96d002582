// The platform layer on Linux and other POSIX systems.
#include "base/platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__linux__)
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#endif

namespace marovex::platform {

namespace {

int fd(const FileHandle& h) {
    return int(h.native());
}

std::int64_t nanoseconds(const struct timespec& t) {
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileKind kindOf(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG:
        return FileKind::Regular;
    case S_IFDIR:
        return FileKind::Directory;
    case S_IFLNK:
        return FileKind::Link;
    case S_IFIFO:
        return FileKind::Fifo;
    case S_IFCHR:
        return FileKind::CharDevice;
    case S_IFBLK:
        return FileKind::BlockDevice;
    case S_IFSOCK:
        return FileKind::Socket;
    default:
        return FileKind::Other;
    }
}

FileStatus statusFrom(const struct stat& st) {
    FileStatus s;
    s.kind = kindOf(st.st_mode);
    s.identity = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::int64_t(st.st_size),
                  nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
    s.ownerWritable = (st.st_mode & S_IWUSR) != 0;
    return s;
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
    const int rc = ::close(int(m_native));
    m_native = kInvalid;
    return rc == 0 ? 0 : errno;
}

std::optional<FileStatus> statusOfKey(const std::string& key, bool followLinks, int& error) {
    struct stat st {};
    if ((followLinks ? ::stat(key.c_str(), &st) : ::lstat(key.c_str(), &st)) != 0) {
        error = errno;
        return std::nullopt;
    }
    return statusFrom(st);
}

std::optional<FileStatus> statusOf(const std::filesystem::path& path, bool followLinks, int& error) {
    return statusOfKey(path.native(), followLinks, error);
}

std::optional<FileStatus> statusOf(const FileHandle& file, int& error) {
    struct stat st {};
    if (::fstat(fd(file), &st) != 0) {
        error = errno;
        return std::nullopt;
    }
    return statusFrom(st);
}

bool mayWrite(const std::filesystem::path& file) {
    return !(::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES);
}

FileHandle openForReading(const std::filesystem::path& path, bool followLinks, int& error) {
    const int f =
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW));
    if (f < 0) error = errno;
    return FileHandle::adopt(f);
}

FileHandle createNew(const std::filesystem::path& path, int& error) {
    const int f = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (f < 0) error = errno;
    return FileHandle::adopt(f);
}

std::int64_t readSome(const FileHandle& file, char* buffer, std::size_t size, int& error) {
    for (;;) {
        const ssize_t n = ::read(fd(file), buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

std::int64_t readAt(const FileHandle& file, void* buffer, std::size_t size, std::uint64_t offset) {
    auto* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd(file), p + done, size - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += std::size_t(got);
    }
    return std::int64_t(done);
}

bool writeAt(const FileHandle& file, const void* data, std::size_t size, std::uint64_t offset) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::pwrite(fd(file), p, size, off_t(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put, size -= std::size_t(put), offset += std::uint64_t(put);
    }
    return true;
}

bool writeAll(const FileHandle& file, const char* data, std::size_t size, int& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd(file), data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += n, size -= std::size_t(n);
    }
    return true;
}

bool setSize(const FileHandle& file, std::uint64_t size) {
    return ::ftruncate(fd(file), off_t(size)) == 0;
}

bool copyRange(const FileHandle& from, std::uint64_t fromOffset, const FileHandle& to, std::uint64_t toOffset,
               std::size_t n) {
#if defined(__linux__)
    while (n > 0) {
        loff_t in = loff_t(fromOffset), out = loff_t(toOffset);
        const ssize_t done = ::copy_file_range(fd(from), &in, fd(to), &out, n, 0);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) break;
        fromOffset += std::uint64_t(done), toOffset += std::uint64_t(done), n -= size_t(done);
    }
#endif
    if (n == 0) return true;
    std::string buffer(n, '\0');
    return readAt(from, buffer.data(), n, fromOffset) == std::int64_t(n) &&
           writeAt(to, buffer.data(), n, toOffset);
}

int flush(const FileHandle& file) {
    return ::fsync(fd(file)) == 0 ? 0 : errno;
}

int flushFile(const std::filesystem::path& path) {
    const int f = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (f < 0) return errno;
    const int err = ::fsync(f) == 0 ? 0 : errno;
    ::close(f);
    return err;
}

void flushFolder(const std::filesystem::path& folder) {
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int replaceHeldFile(const std::filesystem::path& from, const std::filesystem::path& to,
                    const std::filesystem::path&) {
    return replaceFile(from, to);
}

int removeFile(const std::filesystem::path& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

void removeEmptyFolder(const std::filesystem::path& folder) {
    ::rmdir(folder.c_str());
}

// --- Mapping ---------------------------------------------------------------------------------------------

MappedView MappedView::map(const FileHandle& file, std::uint64_t offset, std::size_t size) {
    MappedView v;
    const std::uint64_t page = std::uint64_t(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset / page * page;
    const std::size_t length = std::size_t(offset - start) + size;
    void* base = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd(file), off_t(start));
    if (base == MAP_FAILED) return v;
    v.m_base = base;
    v.m_size = length;
    v.m_data = static_cast<const char*>(base) + (offset - start);
    return v;
}

MappedView::MappedView(MappedView&& other) noexcept
    : m_base(other.m_base), m_size(other.m_size), m_data(other.m_data), m_mapping(other.m_mapping) {
    other.m_base = nullptr;
    other.m_data = nullptr;
}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
    if (this != &other) {
        unmap();
        std::swap(m_base, other.m_base);
        std::swap(m_size, other.m_size);
        std::swap(m_data, other.m_data);
    }
    return *this;
}

void MappedView::unmap() {
    if (m_base) ::munmap(m_base, m_size);
    m_base = nullptr;
    m_data = nullptr;
}

// --- The folder lock -------------------------------------------------------------------------------------

namespace {

// Who holds the lock on the folder: the command line of the process that /proc/locks names for the
// folder's inode.
std::optional<LockHolder> holderOf(int f) {
#if defined(__linux__)
    struct stat st {};
    if (::fstat(f, &st) != 0) return std::nullopt;
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, inode;
        fields >> number >> kind;
        if (kind == "->") fields >> kind; // a waiter
        fields >> mode >> access >> pid >> inode;
        if (kind != "FLOCK" || inode != id) continue;
        std::ifstream cmdline("/proc/" + pid + "/cmdline", std::ios::binary);
        std::string args((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        std::string shown;
        for (size_t start = 0; start < args.size();) {
            const size_t end = std::min(args.find('\0', start), args.size());
            std::string arg = args.substr(start, end - start);
            if (shown.empty()) arg = arg.substr(arg.rfind('/') == std::string::npos ? 0 : arg.rfind('/') + 1);
            if (!shown.empty()) shown += ' ';
            shown += arg;
            start = end + 1;
        }
        return LockHolder{pid, shown};
    }
#else
    (void)f;
#endif
    return std::nullopt;
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
    m_lock.close();
}

FolderLockHandle FolderLockHandle::tryLock(const std::filesystem::path& folder, bool& busy,
                                           std::optional<LockHolder>& holder, int& error) {
    // flock() belongs to the open file, so a second open in the same process is refused too.
    FolderLockHandle lock;
    busy = false;
    const int f = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (f < 0) {
        error = errno;
        return lock;
    }
    FileHandle handle = FileHandle::adopt(f);
    if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
        error = errno;
        busy = error == EWOULDBLOCK;
        if (busy) holder = holderOf(f);
        return lock;
    }
    lock.m_lock = std::move(handle);
    return lock;
}

// --- Watching folders ------------------------------------------------------------------------------------

#if defined(__linux__)

namespace {

constexpr std::uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                   IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;

} // namespace

struct DirectoryWatcher::State {
    int fd = -1;
    int mounts = -1;
};

DirectoryWatcher::DirectoryWatcher() : d(std::make_unique<State>()) {
    d->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    d->mounts = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    mountsChanged(); // the first poll reports the table as new
}

DirectoryWatcher::~DirectoryWatcher() {
    if (d->fd >= 0) ::close(d->fd);
    if (d->mounts >= 0) ::close(d->mounts);
}

bool DirectoryWatcher::available() const {
    return d->fd >= 0;
}

int DirectoryWatcher::add(const std::filesystem::path& folder) {
    if (d->fd < 0) return -1;
    const int wd = ::inotify_add_watch(d->fd, folder.c_str(), kChanges | IN_ONLYDIR);
    return wd >= 0 ? wd : -1;
}

bool DirectoryWatcher::take(std::vector<Change>& changes) {
    if (d->fd < 0) return false;
    bool complete = true;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(d->fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (errno != EAGAIN) complete = false;
            break;
        }
        if (n == 0) break;
        for (ssize_t pos = 0; pos + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + pos);
            pos += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                complete = false;
                continue;
            }
            Change c;
            c.watch = e->wd;
            if (e->len > 0) c.name.assign(e->name, ::strnlen(e->name, e->len));
            c.folderGone = (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) != 0;
            // A moved folder stays watched where it went; the caller watches its path anew.
            if (e->mask & IN_MOVE_SELF) ::inotify_rm_watch(d->fd, e->wd);
            changes.push_back(std::move(c));
        }
    }
    return complete;
}

bool DirectoryWatcher::mountsChanged() {
    if (d->mounts < 0) return true;
    // The kernel flags the table's file when a mount comes or goes, and the poll that sees it clears it.
    pollfd p{d->mounts, POLLPRI, 0};
    const int n = ::poll(&p, 1, 0);
    return n != 0 && (n < 0 || (p.revents & (POLLPRI | POLLERR | POLLNVAL)) != 0);
}

bool DirectoryWatcher::reportsEveryChange(const std::filesystem::path& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0) return false;
    // Local file systems only: whatever is not known here is taken for one that may change unreported.
    static constexpr std::uint32_t kLocal[] = {
        0xEF53,     // ext2, ext3, ext4
        0x58465342, // xfs
        0x9123683E, // btrfs
        0x01021994, // tmpfs
        0x858458F6, // ramfs
        0xF2F52010, // f2fs
        0x2FC12FC1, // zfs
        0xCA451A4E, // bcachefs
        0x3153464A, // jfs
        0x52654973, // reiserfs
        0x4D44,     // msdos, vfat
        0x2011BAB0, // exfat
        0x5346544E, // ntfs
        0x7366746E, // ntfs3
        0x9660,     // iso9660
        0x15013346, // udf
        0x482B,     // hfsplus
        0x794C7630, // overlay
        0x73717368, // squashfs
        0xE0F5E1E2, // erofs
        0x3434,     // nilfs2
    };
    const auto type = std::uint32_t(fs.f_type);
    return std::find(std::begin(kLocal), std::end(kLocal), type) != std::end(kLocal);
}

#else

// Elsewhere no changes are reported, and callers look at every file themselves.
struct DirectoryWatcher::State {};
DirectoryWatcher::DirectoryWatcher() : d(std::make_unique<State>()) {}
DirectoryWatcher::~DirectoryWatcher() = default;
bool DirectoryWatcher::available() const {
    return false;
}
int DirectoryWatcher::add(const std::filesystem::path&) {
    return -1;
}
bool DirectoryWatcher::take(std::vector<Change>&) {
    return false;
}
bool DirectoryWatcher::mountsChanged() {
    return true;
}
bool DirectoryWatcher::reportsEveryChange(const std::filesystem::path&) {
    return false;
}

#endif

// --- The process -----------------------------------------------------------------------------------------

// A child starts the program and ends at once, so only the child is waited for and the browser is
// never a child left to reap; the program's own failure to start comes back through a pipe that its
// successful start closes. Between fork and exec only async-signal-safe calls are made.
int startDetached(const std::filesystem::path& program, const std::string& argument) {
    const char* argv[] = {program.c_str(), argument.c_str(), nullptr};
    // A script without its interpreter line runs in the shell, as a shell would run it.
    const char* script[] = {"sh", program.c_str(), argument.c_str(), nullptr};
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return errno;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        const pid_t browser = ::fork();
        if (browser == 0) {
            ::setsid();
            const int null = ::open("/dev/null", O_RDWR);
            for (int fd = 0; fd < 3 && null >= 0; ++fd)
                ::dup2(null, fd);
            ::execv(program.c_str(), const_cast<char* const*>(argv));
            if (errno == ENOEXEC) ::execv("/bin/sh", const_cast<char* const*>(script));
        }
        const int error = browser <= 0 ? errno : 0;
        if (error != 0) (void)!::write(report[1], &error, sizeof error);
        ::_exit(0);
    }
    int error = child < 0 ? errno : 0;
    ::close(report[1]);
    if (child > 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        ssize_t got = 0;
        while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        if (got != ssize_t(sizeof error)) error = 0;
    }
    ::close(report[0]);
    return error;
}

unsigned long processId() {
    return static_cast<unsigned long>(::getpid());
}

void endAbruptly() {
    ::raise(SIGKILL);
    std::_Exit(137);
}

void lowerThreadPriority() {
#if defined(__linux__)
    // Linux gives each thread a nice value of its own.
    ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 10);
#endif
}

void blockSignalsInThisThread() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

// --- Ctrl+C ----------------------------------------------------------------------------------------------

namespace {

std::atomic<InterruptHook::Handler> g_handler{nullptr};

extern "C" void onInterruptSignal(int) {
    const InterruptHook::Handler handler = g_handler.load();
    if (handler && handler()) return;
    // The default action, once this handler has returned.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGINT, &fallback, nullptr);
    raise(SIGINT);
}

} // namespace

struct InterruptHook::Saved {
    struct sigaction previous {};
};

InterruptHook::InterruptHook(Handler handler)
    : m_previous(g_handler.exchange(handler)), m_saved(std::make_unique<Saved>()) {
    struct sigaction action {};
    action.sa_handler = onInterruptSignal;
    action.sa_flags = SA_RESTART; // progress output and file writes go on undisturbed
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_saved->previous);
}

InterruptHook::~InterruptHook() {
    sigaction(SIGINT, &m_saved->previous, nullptr);
    g_handler.store(m_previous);
}

// --- The companion's console -----------------------------------------------------------------------------

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

std::filesystem::path executablePath(const char* argv0) {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv0, ec);
    return self;
}

void prepareConsole() {}

void binaryStandardOutput() {}

} // namespace marovex::platform
