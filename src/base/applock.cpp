#include "base/applock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace marovex {

namespace {

// Who holds the lock on the folder: the command line of the process that /proc/locks names for the
// folder's inode. Empty when that cannot be told.
std::optional<Message> holderOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
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
        return shown.empty() ? Message(msg::HolderProcess, {textValue(pid)})
                             : Message(msg::HolderNamed, {textValue(shown), textValue(pid)});
    }
    return std::nullopt;
}

} // namespace

AppFolderLock AppFolderLock::acquire(const std::filesystem::path& folder) {
    // The lock is taken on the folder itself, so it creates no file there. flock() belongs to the open
    // file, so a second open in the same process is refused too, and the lock dies with its process.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw MessageError(Message(msg::CannotLockFolder, {pathValue(folder), errorReason(errno)}));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        const std::optional<Message> holder = err == EWOULDBLOCK ? holderOf(fd) : std::nullopt;
        ::close(fd);
        if (err != EWOULDBLOCK)
            throw MessageError(Message(msg::CannotLockFolder, {pathValue(folder), errorReason(err)}));
        throw FolderLocked(
            Message(msg::FolderLocked,
                    {pathValue(folder), nested(holder ? *holder : Message(msg::AnotherProgram, {}))}));
    }
    AppFolderLock lock;
    lock.m_fd = fd;
    return lock;
}

AppFolderLock::~AppFolderLock() {
    release();
}

AppFolderLock::AppFolderLock(AppFolderLock&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

AppFolderLock& AppFolderLock::operator=(AppFolderLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void AppFolderLock::release() {
    if (m_fd < 0) return;
    ::close(m_fd);
    m_fd = -1;
}

} // namespace marovex
