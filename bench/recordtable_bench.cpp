// Record table engine on a catalogue of 200,000 articles: open, write back, sort, filter, locate, memory.
#include "benchsupport.h"
#include "catalogue/catalogue.h"

#include <cstdio>
#include <random>
#include <unordered_set>

using namespace marovex;
using marovex::bench::Stopwatch;

namespace {

constexpr int kRows = 200000;
constexpr int kTopics = 400;

std::string russianWords(std::mt19937& rng, int words) {
    static const char* const vocabulary[] = {"обзор",  "новости", "программа", "железо",  "игра",    "сеть",
                                             "система", "память", "процессор", "Windows", "драйвер", "тест",
                                             "ёмкость", "Linux",  "советы",    "интервью", "почта",  "звук"};
    std::string s;
    for (int i = 0; i < words; ++i) {
        if (i) s += ' ';
        s += vocabulary[rng() % std::size(vocabulary)];
    }
    return s;
}

void makeCatalogue(const std::filesystem::path& file) {
    std::mt19937 rng(42);
    std::vector<std::string> topics;
    for (int i = 0; i < kTopics; ++i) topics.push_back(russianWords(rng, 2) + " " + std::to_string(i));
    RecordTable t;
    catalogue::openEmptyArticleTable(t);
    for (int i = 0; i < kRows; ++i) {
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Izb1", 0);
        if (i % 50 == 0) t.setInt("Izb", -1);
        t.setInt("Type", 1 + i % 3);
        t.setText("Number", catalogue::padIssueNumber(std::to_string(1 + (i / 100) % 999)));
        t.setText("Tem", topics[rng() % topics.size()]);
        t.setText("Statia", russianWords(rng, 4 + int(rng() % 6)));
        t.setInt("Find", 0);
        t.setText("Link", "rubric" + std::to_string(i % 97) + "/article_" + std::to_string(i) + ".htm");
        t.setInt("Npp", i % 120);
        t.post();
    }
    t.saveToFile(file);
}

} // namespace

int main() {
    const auto file = bench::dataDir() / "bench-200k-mvx.dat";
    if (!std::filesystem::exists(file)) {
        std::printf("generating %s ...\n", file.c_str());
        makeCatalogue(file);
    }
    const double baseline = bench::residentMegabytes();

    RecordTable t;
    Stopwatch sw;
    catalogue::openArticleTable(t, file, {});
    bench::report("open 200k-row mvx.dat", sw.seconds(), 0.5, "s");
    std::printf("  rows: %d\n", t.rowCount());
    bench::report("resident memory of the loaded table", bench::residentMegabytes() - baseline, 150, "MB");

    sw.restart();
    t.setSortKeys(catalogue::kTitleOrder);
    bench::report("sort Find;Statia;Type;Number;Npp (first, keys built)", sw.seconds(), 0.3, "s");
    t.setSortKeys(catalogue::kStandardOrder);
    sw.restart();
    t.setSortKeys(catalogue::kTitleOrder);
    bench::report("sort Find;Statia;Type;Number;Npp (again)", sw.seconds(), 0.3, "s");
    sw.restart();
    t.setSortKeys(catalogue::kStandardOrder);
    bench::report("sort Find;Type;Number;Tem;Npp (first, keys built)", sw.seconds(), 0.3, "s");
    bench::report("resident memory with collation keys", bench::residentMegabytes() - baseline, 150, "MB");

    // Half the topics unticked; the predicate looks the row's topic up in a hash set.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view v) const { return std::hash<std::string_view>()(v); }
    };
    std::unordered_set<std::string, Hash, std::equal_to<>> hidden;
    const int tem = t.field("Tem");
    for (int i = 0; i < t.rowCount() && int(hidden.size()) < kTopics / 2; ++i) hidden.insert(t.rowAt(i).asText(tem));
    t.setFilterPredicate([&](const RowRef& r) { return !hidden.contains(r.storedText(tem)); });
    sw.restart();
    t.setFiltered(true);
    bench::report("topic filter on, half the topics unticked", sw.seconds(), 0.05, "s");
    std::printf("  rows shown: %d\n", t.rowCount());
    t.setFiltered(false);

    t.last();
    t.edit();
    t.setInt("Kod", 1);
    t.post();
    t.first();
    sw.restart();
    const bool found = t.locate("Kod", {FieldValue{std::int32_t(1)}});
    bench::report("locate by Kod (last row)", sw.seconds(), 0.02, "s");
    if (!found) std::printf("  locate failed!\n");
    t.edit();
    t.setInt("Kod", 0);
    t.post();

    const auto copy = bench::dataDir() / "bench-200k-copy.dat";
    sw.restart();
    t.saveToFile(copy);
    bench::report("write back 200k rows", sw.seconds(), 1.0, "s");
    std::filesystem::remove(copy);
    t.discard();
    return 0;
}
