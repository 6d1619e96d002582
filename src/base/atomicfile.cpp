#include "base/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace marovex {

namespace {

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
}

[[noreturn]] void fail(const std::filesystem::path& temp, const std::filesystem::path& file, const char* what, int err) {
    ::unlink(temp.c_str());
    throw std::runtime_error(file.string() + ": " + what + ": " + std::strerror(err));
}

} // namespace

std::filesystem::path temporaryBeside(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    return folderOf(file) /
           ("." + file.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
}

void replaceWith(const std::filesystem::path& temp, const std::filesystem::path& file) {
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(temp, file, "cannot write", errno);
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        fail(temp, file, "cannot write", err);
    }
    ::close(fd);
    if (::rename(temp.c_str(), file.c_str()) != 0) fail(temp, file, "cannot replace", errno);
    if (const int dir = ::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
    const auto temp = temporaryBeside(file);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail(temp, file, "cannot write", errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            fail(temp, file, "cannot write", err);
        }
        done += size_t(n);
    }
    if (::close(fd) != 0) fail(temp, file, "cannot write", errno);
    replaceWith(temp, file);
}

} // namespace marovex
