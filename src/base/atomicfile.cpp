#include "base/atomicfile.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
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

namespace marovex {

namespace {

constexpr std::string_view kRecordHeader = "marovex replace 1";
constexpr std::string_view kRecordEnd = "end";

void syncFolder(const std::filesystem::path& folder) {
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

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

// The (temporary, file) name pairs of a complete record; nothing when the record is missing or damaged.
std::optional<std::vector<std::pair<std::string, std::string>>> readRecord(const std::filesystem::path& record) {
    std::ifstream in(record, std::ios::binary);
    if (!in) return std::nullopt;
    std::string line;
    if (!std::getline(in, line) || line != kRecordHeader) return std::vector<std::pair<std::string, std::string>>{};
    std::vector<std::pair<std::string, std::string>> pairs;
    while (std::getline(in, line)) {
        if (line == kRecordEnd) return pairs;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab + 1 == line.size() || line.find('/') != std::string::npos)
            break;
        pairs.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return std::vector<std::pair<std::string, std::string>>{}; // incomplete: discarded
}

} // namespace

void replaceTogether(const std::vector<Replacement>& replacements, const std::filesystem::path& record) {
    auto removeTemps = [&] {
        for (const auto& r : replacements) ::unlink(r.temp.c_str());
    };
    std::string text(kRecordHeader);
    text += '\n';
    for (const auto& r : replacements) {
        if (folderOf(r.temp) != folderOf(record) || folderOf(r.file) != folderOf(record)) {
            removeTemps();
            throw std::runtime_error(r.file.string() + ": cannot replace: not in the folder of " + record.string());
        }
        const int fd = ::open(r.temp.c_str(), O_RDONLY | O_CLOEXEC);
        const int err = fd < 0 ? errno : (::fsync(fd) == 0 ? 0 : errno);
        if (fd >= 0) ::close(fd);
        if (err != 0) {
            removeTemps();
            throw std::runtime_error(r.file.string() + ": cannot write: " + std::strerror(err));
        }
        text += r.temp.filename().string() + '\t' + r.file.filename().string() + '\n';
    }
    text += kRecordEnd;
    text += '\n';
    try {
        writeFileAtomically(record, text);
    } catch (...) {
        removeTemps();
        throw;
    }
    // From here on the change is decided: a crash is completed by the next writer.
    for (size_t i = 0; i < replacements.size(); ++i) {
        const auto& r = replacements[i];
        if (::rename(r.temp.c_str(), r.file.c_str()) != 0)
            throw std::runtime_error(r.file.string() + ": cannot replace: " + std::strerror(errno) +
                                     " (the change is completed when the folder is next opened for writing)");
        if (i == 0 && std::getenv("MAROVEX_TEST_KILL_AFTER_FIRST_RENAME")) ::raise(SIGKILL);
    }
    syncFolder(folderOf(record));
    ::unlink(record.c_str());
    syncFolder(folderOf(record));
}

bool FinishInterruptedReplace(const std::filesystem::path& record) {
    std::error_code ec;
    if (!std::filesystem::exists(record, ec)) return false;
    const auto pairs = readRecord(record);
    const auto folder = folderOf(record);
    if (pairs) {
        for (const auto& [temp, file] : *pairs) {
            if (std::filesystem::exists(folder / temp, ec) &&
                ::rename((folder / temp).c_str(), (folder / file).c_str()) != 0)
                throw std::runtime_error((folder / file).string() + ": cannot complete an interrupted write: " +
                                         std::strerror(errno));
        }
        syncFolder(folder);
    }
    if (::unlink(record.c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error(record.string() + ": cannot remove: " + std::strerror(errno));
    syncFolder(folder);
    return true;
}

std::filesystem::path PendingReplacementOf(const std::filesystem::path& record, const std::filesystem::path& file) {
    if (const auto pairs = readRecord(record)) {
        for (const auto& [temp, target] : *pairs) {
            std::error_code ec;
            const auto candidate = folderOf(record) / temp;
            if (target == file.filename().string() && std::filesystem::exists(candidate, ec)) return candidate;
        }
    }
    return file;
}

void RemoveLeftoverTemporaries(const std::filesystem::path& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (isTemporaryName(it->path().filename().string()) && it->is_regular_file(typeEc))
            std::filesystem::remove(it->path(), typeEc);
    }
}

} // namespace marovex
