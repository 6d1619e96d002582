#include "base/atomicfile.h"

#include "base/regularfile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace marovex {

namespace {

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
}

[[noreturn]] void fail(const std::filesystem::path& temp, const std::filesystem::path& file, msg::Key what,
                       int err) {
    ::unlink(temp.c_str());
    throw FileError(Message(what, {pathValue(file), errorReason(err)}));
}

void syncFolder(const std::filesystem::path& folder) {
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

std::filesystem::path temporaryBeside(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    return folderOf(file) / ("." + file.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                             std::to_string(counter++));
}

NewTemporary createTemporaryBeside(const std::filesystem::path& file) {
    // Names are predictable, so anyone who may write the folder can plant a link under the next one:
    // O_EXCL refuses any existing name, a dangling link included, and O_NOFOLLOW makes sure of it.
    constexpr int kTries = 100;
    int err = EEXIST;
    for (int i = 0; i < kTries && err == EEXIST; ++i) {
        std::filesystem::path temp = temporaryBeside(file);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) return {std::move(temp), fd};
        err = errno;
    }
    throw FileError(cannotWriteMessage(file, err));
}

void checkReplaceable(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return;
        throw FileError(cannotReplaceMessage(file, errno));
    }
    if (!S_ISREG(info.st_mode)) throw FileError(notRegularFileMessage(file, info.st_mode, true));
    // The owner's write bit counts even for the superuser, who may write anything: it is how a user
    // protects a file.
    if ((info.st_mode & S_IWUSR) == 0 ||
        (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES))
        throw FileError(writeProtectedMessage(file));
}

void replaceWith(const std::filesystem::path& temp, const std::filesystem::path& file) {
    const int fd = ::open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) fail(temp, file, msg::CannotWrite, errno);
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        fail(temp, file, msg::CannotWrite, err);
    }
    ::close(fd);
    if (::rename(temp.c_str(), file.c_str()) != 0) fail(temp, file, msg::CannotReplace, errno);
    syncFolder(folderOf(file));
}

void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
    checkReplaceable(file);
    const NewTemporary temp = createTemporaryBeside(file);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(temp.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(temp.fd);
            fail(temp.path, file, msg::CannotWrite, err);
        }
        done += size_t(n);
    }
    if (::close(temp.fd) != 0) fail(temp.path, file, msg::CannotWrite, errno);
    replaceWith(temp.path, file);
}

namespace {

constexpr std::string_view kRecordHeader = "marovex replace 1";
constexpr std::string_view kRecordEnd = "end";

// A temporaryBeside name: "." + file name + ".tmp-" + process + "-" + counter.
bool isTemporaryName(const std::string& name) {
    const size_t tmp = name.rfind(".tmp-");
    if (name.size() < 2 || name[0] != '.' || tmp == std::string::npos || tmp < 2) return false;
    const std::string tail = name.substr(tmp + 5);
    const size_t dash = tail.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (i != dash && (tail[i] < '0' || tail[i] > '9')) return false;
    return true;
}

// Whether `temp` is a name temporaryBeside gives for `file`.
bool isTemporaryOf(const std::string& temp, const std::string& file) {
    const std::string stem = "." + file + ".tmp-";
    return temp.size() > stem.size() && temp.compare(0, stem.size(), stem) == 0 &&
           temp.find('.', stem.size()) == std::string::npos && isTemporaryName(temp);
}

// The record's sound pairs, with each temporary that is still there being a regular file of our own (a
// link never is), or the record read as damaged. Nothing when there is no record.
std::optional<CommitRecord> readRecord(const std::filesystem::path& record,
                                       const std::vector<std::string>& files) {
    const std::optional<std::string> bytes = readRegularFile(record, kRecordFileLimit, Links::Refuse);
    if (!bytes) return std::nullopt;
    CommitRecord parsed = parseCommitRecord(*bytes, files);
    for (const auto& pair : parsed.pairs) {
        struct stat info {};
        if (::lstat((folderOf(record) / pair.first).c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            parsed.damage = Message(msg::RecordTemporaryNotRegular, {textValue(pair.first)});
            parsed.pairs.clear();
            break;
        }
    }
    return parsed;
}

} // namespace

CommitRecord parseCommitRecord(std::string_view bytes, const std::vector<std::string>& files) {
    CommitRecord out;
    auto damaged = [&](Message why) {
        out.pairs.clear();
        out.damage = std::move(why);
        return out;
    };
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < bytes.size();) {
        const size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) return damaged(Message(msg::RecordIncomplete, {}));
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    if (lines.empty() || lines.front() != kRecordHeader) return damaged(Message(msg::RecordForeign, {}));
    if (lines.back() != kRecordEnd) return damaged(Message(msg::RecordIncomplete, {}));
    if (lines.size() < 3) return damaged(Message(msg::RecordNamesNothing, {}));
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return damaged(Message(msg::RecordBadLine, {}));
        std::string temp(line.substr(0, tab)), file(line.substr(tab + 1));
        bool known = false;
        for (const std::string& f : files)
            known = known || f == file;
        if (!known) return damaged(Message(msg::RecordNamesOther, {textValue(file)}));
        if (!isTemporaryOf(temp, file))
            return damaged(Message(msg::RecordNotTemporaryOf, {textValue(temp), textValue(file)}));
        for (const auto& pair : out.pairs)
            if (pair.second == file) return damaged(Message(msg::RecordNamesTwice, {textValue(file)}));
        out.pairs.emplace_back(std::move(temp), std::move(file));
    }
    return out;
}

void replaceTogether(const std::vector<Replacement>& replacements, const std::filesystem::path& record) {
    auto removeTemps = [&] {
        for (const auto& r : replacements)
            ::unlink(r.temp.c_str());
    };
    std::string text(kRecordHeader);
    text += '\n';
    try {
        for (const auto& r : replacements) {
            if (folderOf(r.temp) != folderOf(record) || folderOf(r.file) != folderOf(record))
                throw FileError(Message(msg::NotInRecordFolder, {pathValue(r.file), pathValue(record)}));
            checkReplaceable(r.file);
            const int fd = ::open(r.temp.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            const int err = fd < 0 ? errno : (::fsync(fd) == 0 ? 0 : errno);
            if (fd >= 0) ::close(fd);
            if (err != 0) throw FileError(cannotWriteMessage(r.file, err));
            text += r.temp.filename().string() + '\t' + r.file.filename().string() + '\n';
        }
        text += kRecordEnd;
        text += '\n';
        writeFileAtomically(record, text);
    } catch (...) {
        removeTemps();
        throw;
    }
    // From here on the change is decided: a crash is completed by the next writer.
    for (size_t i = 0; i < replacements.size(); ++i) {
        const auto& r = replacements[i];
        if (::rename(r.temp.c_str(), r.file.c_str()) != 0)
            throw FileError(Message(msg::ReplaceLeftForNextWriter, {pathValue(r.file), errorReason(errno)}));
        if (i == 0 && std::getenv("MAROVEX_TEST_KILL_AFTER_FIRST_RENAME")) ::raise(SIGKILL);
    }
    syncFolder(folderOf(record));
    ::unlink(record.c_str());
    syncFolder(folderOf(record));
}

InterruptedReplace finishInterruptedReplace(const std::filesystem::path& record,
                                            const std::vector<std::string>& files) {
    InterruptedReplace result;
    const std::optional<CommitRecord> parsed = readRecord(record, files);
    if (!parsed) return result;
    result.found = true;
    const auto folder = folderOf(record);
    if (parsed->damage.empty()) {
        for (const auto& [temp, file] : parsed->pairs) {
            std::error_code ec;
            if (std::filesystem::exists(std::filesystem::symlink_status(folder / temp, ec)) &&
                ::rename((folder / temp).c_str(), (folder / file).c_str()) != 0)
                throw FileError(
                    Message(msg::CannotCompleteWrite, {pathValue(folder / file), errorReason(errno)}));
        }
        syncFolder(folder);
    } else {
        result.discarded = damagedRecordMessage(record, parsed->damage);
    }
    if (::unlink(record.c_str()) != 0 && errno != ENOENT)
        throw FileError(Message(msg::CannotRemove, {pathValue(record), errorReason(errno)}));
    syncFolder(folder);
    return result;
}

std::filesystem::path pendingReplacementOf(const std::filesystem::path& record,
                                           const std::filesystem::path& file,
                                           const std::vector<std::string>& files) {
    if (const std::optional<CommitRecord> parsed = readRecord(record, files)) {
        for (const auto& [temp, target] : parsed->pairs) {
            std::error_code ec;
            const auto candidate = folderOf(record) / temp;
            if (target == file.filename().string() &&
                std::filesystem::is_regular_file(std::filesystem::symlink_status(candidate, ec)))
                return candidate;
        }
    }
    return file;
}

void removeLeftoverTemporaries(const std::filesystem::path& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isTemporaryName(it->path().filename().string())) continue;
        // What a killed writer leaves is a regular file; anything else under such a name was planted (a
        // link, a FIFO, a device node) and only its name goes. A folder may hold what someone keeps: it
        // goes only when empty. Each call refuses the other kind, should the entry change in between.
        std::error_code typeEc;
        const auto type = it->symlink_status(typeEc).type();
        if (typeEc) continue;
        if (type == std::filesystem::file_type::directory)
            ::rmdir(it->path().c_str());
        else
            ::unlink(it->path().c_str());
    }
}

} // namespace marovex
