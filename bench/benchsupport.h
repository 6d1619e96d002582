#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace marovex::bench {

// Prints one figure with its target: "name: 0.123 s (target <= 0.500 s, ratio 0.25)".
// A ratio above 1 means the target is missed; the program still goes on.
void report(const std::string& name, double value, double target, const std::string& unit);

// Resident memory of this process in megabytes (from /proc).
double residentMegabytes();

// A line of /proc/self/status ("VmRSS:", "VmHWM:") in megabytes; 0 when absent.
double statusMegabytes(const char* field);

// Writes an application folder's catalogue of `rows` articles (Russian titles and topics, some favourites
// and search hits) and a topic table with every topic used. With `rememberedRow`, the middle row carries
// the position mark of the last shutdown.
void makeArticleCatalogue(const std::filesystem::path& dir, int rows, unsigned seed, bool rememberedRow);

// A folder for generated benchmark data, outside the repository; MAROVEX_BENCH_DATA overrides it.
std::filesystem::path dataDir();

class Stopwatch {
public:
    Stopwatch() : m_start(std::chrono::steady_clock::now()) {}
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }
    void restart() { m_start = std::chrono::steady_clock::now(); }

private:
    std::chrono::steady_clock::time_point m_start;
};

} // namespace marovex::bench
