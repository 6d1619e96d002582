#include "benchsupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace marovex::bench {

void report(const std::string& name, double value, double target, const std::string& unit) {
    const double ratio = target > 0 ? value / target : 0;
    std::printf("%-52s %10.4f %-5s (target <= %.4f %s, ratio %.2f)%s\n", name.c_str(), value, unit.c_str(),
                target, unit.c_str(), ratio, ratio > 1.0 ? "  MISSED" : "");
    std::fflush(stdout);
}

double residentMegabytes() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return double(resident) * 4096.0 / (1024.0 * 1024.0);
}

std::filesystem::path dataDir() {
    if (const char* env = std::getenv("MAROVEX_BENCH_DATA")) return env;
    auto dir = std::filesystem::temp_directory_path() / "marovex-bench";
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace marovex::bench
