#include "benchsupport.h"

#include "catalogue/catalogue.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>

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

double statusMegabytes(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::string(field).size())) / 1024.0;
    return 0;
}

void makeArticleCatalogue(const std::filesystem::path& dir, int rows, unsigned seed, bool rememberedRow) {
    std::mt19937 rng(seed);
    static const char* const words[] = {"обзор", "новости", "программа", "железо",    "игра",
                                        "сеть",  "система", "память",    "процессор", "драйвер",
                                        "тест",  "звук",    "советы",    "почта"};
    catalogue::createEmptyCatalogue(dir, true);
    RecordTable t;
    catalogue::openArticleTable(t, dir / "mvx.dat", {});
    std::set<std::string> topics;
    for (int i = 0; i < rows; ++i) {
        const std::string topic = std::string(words[rng() % 14]) + " " + std::to_string(rng() % 300);
        topics.insert(topic);
        std::string title;
        for (int w = 0; w < 6; ++w)
            title += std::string(w ? " " : "") + words[rng() % 14];
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Izb1", 0);
        t.setInt("Izb", rememberedRow && i == rows / 2 ? 5 : i % 50 == 0 ? -1 : 0);
        t.setInt("Type", 1 + i % 3);
        t.setText("Number", catalogue::padIssueNumber(std::to_string(1 + (i / 100) % 999)));
        t.setText("Tem", topic);
        t.setText("Statia", title);
        t.setInt("Find", i % 997 == 0 ? -1 : 0);
        t.setText("Link", "pub/" + std::to_string(i) + ".htm");
        t.setInt("Npp", i % 120);
        t.post();
    }
    t.close();
    RecordTable topicTable;
    catalogue::openTopicTable(topicTable, dir / "subjects.dat");
    for (const std::string& topic : topics) {
        topicTable.append();
        topicTable.setText("Tem", topic);
        topicTable.post();
    }
    topicTable.close();
}

std::filesystem::path dataDir() {
    if (const char* env = std::getenv("MAROVEX_BENCH_DATA")) return env;
    auto dir = std::filesystem::temp_directory_path() / "marovex-bench";
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace marovex::bench
