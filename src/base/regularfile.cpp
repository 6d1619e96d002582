#include "base/regularfile.h"

#include <cerrno>
#include <cstring>

namespace marovex {

namespace {

std::string sizeText(std::size_t bytes) {
    if (bytes % (std::size_t(1) << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes % (std::size_t(1) << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

} // namespace

Message notRegularFileMessage(const std::filesystem::path& file, platform::FileKind kind, bool writing) {
    return Message(writing ? msg::NotRegularFileToReplace : msg::NotRegularFile,
                   {pathValue(file), fileKind(kind)});
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

RegularFile::RegularFile(std::filesystem::path path, platform::FileHandle file, std::uint64_t size)
    : m_path(std::move(path)), m_file(std::move(file)), m_size(size) {}

std::optional<RegularFile> RegularFile::open(const std::filesystem::path& path, Links links,
                                             const std::filesystem::path& shown) {
    using platform::FileKind;
    const std::filesystem::path& file = shown.empty() ? path : shown;
    // A look first, so that no device is ever opened (opening some has effects of its own) ...
    int err = 0;
    std::optional<platform::FileStatus> info = platform::statusOf(path, links == Links::Follow, err);
    if (!info) {
        if (platform::isMissing(err)) return std::nullopt;
        throw FileError(cannotReadMessage(file, err));
    }
    if (info->kind != FileKind::Regular) throw FileError(notRegularFileMessage(file, info->kind, false));
    // ... then what is opened is checked again, since the name may have been given to something else
    // meanwhile. Without blocking, a FIFO swapped in cannot hold the open up.
    platform::FileHandle opened = platform::openForReading(path, links == Links::Follow, err);
    if (!opened) {
        if (platform::isMissing(err)) return std::nullopt;
        if (err == ELOOP && links == Links::Refuse)
            throw FileError(notRegularFileMessage(file, FileKind::Link, false));
        throw FileError(cannotReadMessage(file, err));
    }
    info = platform::statusOf(opened, err);
    if (!info) throw FileError(cannotReadMessage(file, err));
    if (info->kind != FileKind::Regular) throw FileError(notRegularFileMessage(file, info->kind, false));
    return RegularFile(file, std::move(opened),
                       info->identity.size > 0 ? std::uint64_t(info->identity.size) : 0);
}

std::size_t RegularFile::read(char* buffer, std::size_t size) {
    int err = 0;
    const std::int64_t n = platform::readSome(m_file, buffer, size, err);
    if (n < 0) throw FileError(cannotReadMessage(m_path, err));
    return std::size_t(n);
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
