#pragma once

#include "base/platform.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marovex::test {

// A relative name as it lies on disk. `name` is UTF-8 or, as an archive unpacked without converting its
// names keeps them, Windows-1251 bytes: on POSIX systems those bytes are the name, on Windows the letters
// they stand for.
std::filesystem::path diskName(std::string_view name);

// A fresh folder under the system temporary folder, removed with everything in it when destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / diskName(name); }

private:
    std::filesystem::path m_path;
};

std::string readFile(const std::filesystem::path& file);
// The file's number on its volume (its inode), which a replacement changes; 0 when there is no such file.
std::uint64_t fileNumber(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, std::string_view bytes);

// One article row of a test catalogue; what is not given stays as a new row leaves it (empty).
struct ArticleSpec {
    ArticleSpec() = default;
    ArticleSpec(int type, std::string number, std::string tem, std::string title, std::string link = {})
        : type(type), number(std::move(number)), tem(std::move(tem)), title(std::move(title)),
          link(std::move(link)) {}

    int type = 1;
    std::string number = "1"; // padded as stored
    std::string tem;
    std::string title;
    std::string link;
    int find = 0;
    std::optional<int> izb;
    std::optional<int> izb1;
    std::optional<int> kod;
};

// Writes a catalogue into `dir`: mvx.dat holding `rows` in that order (Npp counting from 0) and
// subjects.dat holding `topics`, every one ticked.
void WriteCatalogue(const std::filesystem::path& dir, const std::vector<ArticleSpec>& rows,
                    const std::vector<std::string>& topics = {});

// How a child process ended under RunBounded.
struct BoundedRun {
    bool finished = false; // it ended by itself, before the deadline and within the memory bound
    int status = -1;       // its exit status; -1 when a signal ended it
    std::string output;    // what it wrote on standard output and standard error, or the body's text
    long peakKb = 0;       // the largest resident size seen, in KiB
};

// Runs a program (`argv`, standard input from /dev/null) or `body` (its text as the output) in a child
// process and watches it: a child still running after `deadline`, or growing by more than `growthKb` of
// resident memory beyond what it started with, is killed and reported as not finished. For files that
// could hang a reader (a FIFO) or feed it without end (/dev/zero).
BoundedRun RunBounded(const std::vector<std::string>& argv, std::chrono::milliseconds deadline,
                      long growthKb);
BoundedRun RunBounded(const std::function<std::string()>& body, std::chrono::milliseconds deadline,
                      long growthKb);

// A program running in the background while a test goes on, standard input and output from and to
// nothing, standard error into `errors` when one is given. `environment` ("NAME=value") is added to what
// it inherits. Killed abruptly when it is left running.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv, const std::filesystem::path& errors = {},
                   const char* environment = nullptr);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const;
    void kill(); // ends it at once, as a power cut would; nothing of it runs afterwards
    int wait();  // its exit status, or -1 when kill() ended it

private:
    struct State;
    std::unique_ptr<State> d;
};

// Why a case is not run on Windows; each skip says one of these, so the output counts and names them.
namespace notOnWindows {
inline constexpr const char* fifos = "not on Windows: it has no FIFOs, devices or /proc files to put where a file belongs";
inline constexpr const char* symlinks = "not on Windows: MinGW's library cannot make symbolic links";
inline constexpr const char* permissions =
    "not on Windows: it has no POSIX permission bits, only a read-only attribute";
inline constexpr const char* signals = "not on Windows: the case ends a child process by a POSIX signal";
inline constexpr const char* mounts = "not on Windows: the case mounts a small file system of its own";
inline constexpr const char* fileSizeLimit =
    "not on Windows: it has no per-process file size limit to make a write fail";
inline constexpr const char* shellScript = "not on Windows: the stand-in program is a shell script";
inline constexpr const char* quoteInName = "not on Windows: its names cannot hold a double quote";
inline constexpr const char* inotify = "not on Windows: the case watches the archive with inotify";
} // namespace notOnWindows

} // namespace marovex::test
