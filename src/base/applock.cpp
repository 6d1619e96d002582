#include "base/applock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace marovex {

AppFolderLock AppFolderLock::acquire(const std::filesystem::path& folder, std::string_view who) {
    const auto file = folder / kFileName;
    // flock() belongs to the open file, so a second open in the same process is refused too.
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error(folder.string() + ": cannot lock the application folder: " + std::strerror(errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        char holder[256] = {};
        const ssize_t n = ::pread(fd, holder, sizeof holder - 1, 0);
        ::close(fd);
        if (err != EWOULDBLOCK)
            throw std::runtime_error(folder.string() + ": cannot lock the application folder: " + std::strerror(err));
        std::string name = n > 0 ? std::string(holder, size_t(n)) : std::string("another program");
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        throw FolderLocked(folder.string() + ": the application folder is in use by " + name +
                           "; try again when it has finished");
    }
    const std::string text = std::string(who) + " (process " + std::to_string(::getpid()) + ")\n";
    if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, text.data(), text.size(), 0);
    AppFolderLock lock;
    lock.m_fd = fd;
    return lock;
}

AppFolderLock::~AppFolderLock() { release(); }

AppFolderLock::AppFolderLock(AppFolderLock&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

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
    // The holder's name stays in the file; it is only read while the lock is held.
    ::close(m_fd);
    m_fd = -1;
}

} // namespace marovex
