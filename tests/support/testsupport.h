#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marovex::test {

// A fresh folder under the system temporary folder, removed with everything in it when destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

std::string readFile(const std::filesystem::path& file);
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

} // namespace marovex::test
