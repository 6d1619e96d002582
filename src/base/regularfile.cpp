#include "base/regularfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marovex {

namespace {

std::string sizeText(std::size_t bytes) {
    if (bytes % (std::size_t(1) << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes % (std::size_t(1) << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

} // namespace

Message notRegularFileMessage(const std::filesystem::path& file, unsigned mode, bool writing) {
    return Message(writing ? msg::NotRegularFileToReplace : msg::NotRegularFile,
                   {pathValue(file), fileKind(mode)});
}

Message tooLargeMessage(const std::filesystem::path& file, std::size_t limit) {
    return Message(msg::FileTooLarge, {pathValue(file), textValue(sizeText(limit))});
}

Message cannotReadMessage(const std::filesystem::path& file, int error) {
    return Message(msg::CannotRead, {pathValue(file), errorReason(error)});
}

Message unreadableFolderMessage(const std::filesystem::path& folder, int error) {
    return Message(msg::CannotReadFolder, {pathValue(folder), errorReason(error)});
}

Message cannotWriteMessage(const std::filesystem::path& file, int error) {
    return Message(msg::CannotWrite, {pathValue(file), errorReason(error)});
}

Message cannotReplaceMessage(const std::filesystem::path& file, int error) {
    return Message(msg::CannotReplace, {pathValue(file), errorReason(error)});
}

Message writeProtectedMessage(const std::filesystem::path& file) {
    return Message(msg::WriteProtected, {pathValue(file)});
}

Message damagedRecordMessage(const std::filesystem::path& record, const Message& why) {
    return Message(msg::DamagedCommitRecord, {pathValue(record), nested(why)});
}

RegularFile::RegularFile(std::filesystem::path path, int fd, std::uint64_t size)
    : m_path(std::move(path)), m_fd(fd), m_size(size) {}

RegularFile::~RegularFile() {
    if (m_fd >= 0) ::close(m_fd);
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : m_path(std::move(other.m_path)), m_fd(other.m_fd), m_size(other.m_size) {
    other.m_fd = -1;
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_path = std::move(other.m_path);
        m_fd = other.m_fd;
        m_size = other.m_size;
        other.m_fd = -1;
    }
    return *this;
}

std::optional<RegularFile> RegularFile::open(const std::filesystem::path& path, Links links,
                                             const std::filesystem::path& shown) {
    const std::filesystem::path& file = shown.empty() ? path : shown;
    // A look first, so that no device is ever opened (opening some has effects of its own) ...
    struct stat info {};
    const int looked = links == Links::Follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    if (looked != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) return std::nullopt;
        throw FileError(cannotReadMessage(file, err));
    }
    if (!S_ISREG(info.st_mode)) throw FileError(notRegularFileMessage(file, info.st_mode, false));
    // ... then what is opened is checked again, since the name may have been given to something else
    // meanwhile. Without blocking, a FIFO swapped in cannot hold the open up.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY |
                                            (links == Links::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) return std::nullopt;
        if (err == ELOOP && links == Links::Refuse)
            throw FileError(notRegularFileMessage(file, S_IFLNK, false));
        throw FileError(cannotReadMessage(file, err));
    }
    if (::fstat(fd, &info) != 0) {
        const int err = errno;
        ::close(fd);
        throw FileError(cannotReadMessage(file, err));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        throw FileError(notRegularFileMessage(file, info.st_mode, false));
    }
    return RegularFile(file, fd, info.st_size > 0 ? std::uint64_t(info.st_size) : 0);
}

int RegularFile::releaseDescriptor() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

std::size_t RegularFile::read(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n >= 0) return std::size_t(n);
        if (errno != EINTR) throw FileError(cannotReadMessage(m_path, errno));
    }
}

std::optional<std::string_view> readRegularFile(const std::filesystem::path& file, std::string& buffer,
                                                std::size_t limit, Links links) {
    std::optional<RegularFile> f = RegularFile::open(file, links);
    if (!f) return std::nullopt;
    if (f->size() > limit) throw FileError(tooLargeMessage(file, limit));
    // One byte more than the size, so that a file read whole is seen to end by a read giving nothing.
    const std::size_t room = std::size_t(f->size()) + 1;
    if (buffer.size() < room) buffer.resize(room);
    std::size_t got = 0;
    for (;;) {
        if (got == buffer.size()) {
            if (got > limit) throw FileError(tooLargeMessage(file, limit));
            buffer.resize(std::min(buffer.size() * 2 + 4096, limit + 1));
        }
        const std::size_t n = f->read(buffer.data() + got, buffer.size() - got);
        if (n == 0) break;
        got += n;
    }
    if (got > limit) throw FileError(tooLargeMessage(file, limit));
    return std::string_view(buffer.data(), got);
}

std::optional<std::string> readRegularFile(const std::filesystem::path& file, std::size_t limit,
                                           Links links) {
    std::string buffer;
    const std::optional<std::string_view> bytes = readRegularFile(file, buffer, limit, links);
    if (!bytes) return std::nullopt;
    buffer.resize(bytes->size());
    return buffer;
}

} // namespace marovex
