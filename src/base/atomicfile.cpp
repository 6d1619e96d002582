#include "base/atomicfile.h"

#include "base/regularfile.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

namespace marovex {

namespace {

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
}

[[noreturn]] void fail(const std::filesystem::path& temp, const std::filesystem::path& file, msg::Key what,
                       int err) {
    platform::removeFile(temp);
    throw FileError(Message(what, {pathValue(file), errorReason(err)}));
}

void syncFolder(const std::filesystem::path& folder) {
    platform::flushFolder(folder);
}

} // namespace

std::filesystem::path temporaryBeside(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    return folderOf(file) / ("." + platform::pathToUtf8(file.filename()) + ".tmp-" +
                             std::to_string(platform::processId()) + "-" + std::to_string(counter++));
}

NewTemporary createTemporaryBeside(const std::filesystem::path& file) {
    // Names are predictable, so anyone who may write the folder can plant a link under the next one:
    // O_EXCL refuses any existing name, a dangling link included, and O_NOFOLLOW makes sure of it.
    constexpr int kTries = 100;
    int err = EEXIST;
    for (int i = 0; i < kTries && err == EEXIST; ++i) {
        std::filesystem::path temp = temporaryBeside(file);
        platform::FileHandle made = platform::createNew(temp, err);
        if (made) return {std::move(temp), std::move(made)};
    }
    throw FileError(cannotWriteMessage(file, err));
}

void checkReplaceable(const std::filesystem::path& file) {
    int err = 0;
    const std::optional<platform::FileStatus> info = platform::statusOf(file, true, err);
    if (!info) {
        if (platform::isMissing(err)) return;
        throw FileError(cannotReplaceMessage(file, err));
    }
    if (info->kind != platform::FileKind::Regular)
        throw FileError(notRegularFileMessage(file, info->kind, true));
    // The owner's write bit counts even for the superuser, who may write anything: it is how a user
    // protects a file.
    if (!info->ownerWritable || !platform::mayWrite(file)) throw FileError(writeProtectedMessage(file));
}

void replaceWith(const std::filesystem::path& temp, const std::filesystem::path& file) {
    if (const int err = platform::flushFile(temp); err != 0) fail(temp, file, msg::CannotWrite, err);
    if (const int err = platform::replaceFile(temp, file); err != 0)
        fail(temp, file, msg::CannotReplace, err);
    syncFolder(folderOf(file));
}

void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
    checkReplaceable(file);
    NewTemporary temp = createTemporaryBeside(file);
    int err = 0;
    if (!platform::writeAll(temp.file, bytes.data(), bytes.size(), err)) {
        temp.file.close();
        fail(temp.path, file, msg::CannotWrite, err);
    }
    if (const int closeErr = temp.file.close(); closeErr != 0)
        fail(temp.path, file, msg::CannotWrite, closeErr);
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
        int err = 0;
        const std::optional<platform::FileStatus> info =
            platform::statusOf(folderOf(record) / platform::pathFromUtf8(pair.first), false, err);
        if (info && info->kind != platform::FileKind::Regular) {
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
            platform::removeFile(r.temp);
    };
    std::string text(kRecordHeader);
    text += '\n';
    try {
        for (const auto& r : replacements) {
            if (folderOf(r.temp) != folderOf(record) || folderOf(r.file) != folderOf(record))
                throw FileError(Message(msg::NotInRecordFolder, {pathValue(r.file), pathValue(record)}));
            checkReplaceable(r.file);
            if (const int err = platform::flushFile(r.temp); err != 0)
                throw FileError(cannotWriteMessage(r.file, err));
            text += platform::pathToUtf8(r.temp.filename()) + '\t' + platform::pathToUtf8(r.file.filename()) +
                    '\n';
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
        if (const int err = platform::replaceFile(r.temp, r.file); err != 0)
            throw FileError(Message(msg::ReplaceLeftForNextWriter, {pathValue(r.file), errorReason(err)}));
        if (i == 0 && std::getenv("MAROVEX_TEST_KILL_AFTER_FIRST_RENAME")) platform::endAbruptly();
    }
    syncFolder(folderOf(record));
    platform::removeFile(record);
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
            if (!std::filesystem::exists(
                    std::filesystem::symlink_status(folder / platform::pathFromUtf8(temp), ec)))
                continue;
            if (const int err = platform::replaceFile(folder / platform::pathFromUtf8(temp),
                                                      folder / platform::pathFromUtf8(file));
                err != 0)
                throw FileError(
                    Message(msg::CannotCompleteWrite, {pathValue(folder / file), errorReason(err)}));
        }
        syncFolder(folder);
    } else {
        result.discarded = damagedRecordMessage(record, parsed->damage);
    }
    if (const int err = platform::removeFile(record); err != 0 && err != ENOENT)
        throw FileError(Message(msg::CannotRemove, {pathValue(record), errorReason(err)}));
    syncFolder(folder);
    return result;
}

std::filesystem::path pendingReplacementOf(const std::filesystem::path& record,
                                           const std::filesystem::path& file,
                                           const std::vector<std::string>& files) {
    if (const std::optional<CommitRecord> parsed = readRecord(record, files)) {
        for (const auto& [temp, target] : parsed->pairs) {
            std::error_code ec;
            const auto candidate = folderOf(record) / platform::pathFromUtf8(temp);
            if (target == platform::pathToUtf8(file.filename()) &&
                std::filesystem::is_regular_file(std::filesystem::symlink_status(candidate, ec)))
                return candidate;
        }
    }
    return file;
}

void removeLeftoverTemporaries(const std::filesystem::path& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isTemporaryName(platform::pathToUtf8(it->path().filename()))) continue;
        // What a killed writer leaves is a regular file; anything else under such a name was planted (a
        // link, a FIFO, a device node) and only its name goes. A folder may hold what someone keeps: it
        // goes only when empty. Each call refuses the other kind, should the entry change in between.
        std::error_code typeEc;
        const auto type = it->symlink_status(typeEc).type();
        if (typeEc) continue;
        if (type == std::filesystem::file_type::directory)
            platform::removeEmptyFolder(it->path());
        else
            platform::removeFile(it->path());
    }
}

} // namespace marovex
