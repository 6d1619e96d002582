#include "app/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace marovex {

void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    const auto folder = file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    const auto temp = folder / ("." + file.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                                std::to_string(counter++));
    auto fail = [&](const char* what, int err) {
        ::unlink(temp.c_str());
        throw std::runtime_error(file.string() + ": " + what + ": " + std::strerror(err));
    };
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail("cannot write", errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            fail("cannot write", err);
        }
        done += size_t(n);
    }
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        fail("cannot write", err);
    }
    if (::close(fd) != 0) fail("cannot write", errno);
    if (::rename(temp.c_str(), file.c_str()) != 0) fail("cannot replace", errno);
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace marovex
