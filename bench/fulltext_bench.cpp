// Full-text search over generated article files, against grep over the same files (warm cache), and the
// title search over 200,000 rows.
#include "base/cp1251.h"
#include "benchsupport.h"
#include "catalogue/catalogue.h"
#include "search/findcommand.h"
#include "search/fulltext.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

using namespace marovex;
using marovex::bench::Stopwatch;
namespace fs = std::filesystem;

namespace {

const std::array<std::string, 3> kPrefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
constexpr int kArticlesPerIssue = 100;

// Windows-1251 words of the pages; the two searched words are added apart.
const std::vector<std::string> kVocabulary = [] {
    std::vector<std::string> v;
    for (const char* s :
         {"статья",  "номер", "выпуск", "автор",  "программа", "система",   "данные",   "файл",  "версия",
          "Windows", "сеть",  "диск",   "память", "процессор", "игра",      "новости",  "обзор", "тест",
          "драйвер", "код",   "мир",    "Россия", "Москва",    "компьютер", "интернет", "сайт",  "почта"})
        v.push_back(cp1251::fromUtf8(s));
    return v;
}();
const std::string kRareWord = cp1251::fromUtf8("квазистатика"); // in 1% of the files
const std::string kCommonWord = cp1251::fromUtf8("Келврания");  // in every file

std::string makePage(std::mt19937& rng, size_t size, bool rare) {
    std::string page = "<html><head><title>" + kVocabulary[rng() % kVocabulary.size()] +
                       "</title>\r\n<style>p { margin: 0 }</style></head>\r\n<body>\r\n";
    const size_t commonAt = size / 4 + rng() % (size / 2);
    const size_t rareAt = rng() % size;
    bool commonDone = false, rareDone = !rare;
    while (page.size() < size) {
        page += "<p>";
        for (int k = 0; k < 12; ++k) {
            page += kVocabulary[rng() % kVocabulary.size()];
            page += rng() % 9 == 0 ? "&nbsp;" : rng() % 11 == 0 ? ", " : " ";
        }
        if (!commonDone && page.size() >= commonAt) page += "<b>" + kCommonWord + "</b> ", commonDone = true;
        if (!rareDone && page.size() >= rareAt) page += kRareWord + " ", rareDone = true;
        page += "</p>\r\n";
    }
    if (!commonDone) page += kCommonWord;
    if (!rareDone) page += kRareWord;
    return page + "</body></html>\r\n";
}

struct Shape {
    std::string name;
    int files;
    size_t minSize, maxSize;
};

// Generated once and kept between runs; a stamp file marks a finished tree.
fs::path generate(const Shape& shape) {
    const fs::path dir = bench::dataDir() / ("fulltext-" + shape.name);
    const fs::path stamp = dir.string() + ".done";
    if (fs::exists(stamp)) return dir;
    fs::remove_all(dir);
    std::printf("generating %d article files into %s ...\n", shape.files, dir.c_str());
    std::fflush(stdout);
    std::mt19937 rng(42);
    for (int i = 0; i < shape.files; ++i) {
        const int issue = i / kArticlesPerIssue;
        const int type = 1 + issue % 3;
        const fs::path pub = dir / (kPrefixes[size_t(type - 1)] + std::to_string(issue / 3 + 1)) / "pub";
        if (i % kArticlesPerIssue == 0) fs::create_directories(pub);
        const size_t size = shape.minSize + rng() % (shape.maxSize - shape.minSize + 1);
        std::ofstream(pub / (std::to_string(i % kArticlesPerIssue) + ".htm"), std::ios::binary)
            << makePage(rng, size, i % 100 == 37);
    }
    std::ofstream(stamp) << "done\n";
    return dir;
}

void fillTable(RecordTable& t, int files) {
    catalogue::openEmptyArticleTable(t);
    for (int i = 0; i < files; ++i) {
        const int issue = i / kArticlesPerIssue;
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Type", 1 + issue % 3);
        t.setText("Number", catalogue::padIssueNumber(std::to_string(issue / 3 + 1)));
        t.setText("Statia", "Статья номер " + std::to_string(i));
        t.setText("Link", std::to_string(i % kArticlesPerIssue) + ".htm");
        t.setInt("Find", 0);
        t.setInt("Npp", i % kArticlesPerIssue);
        t.post();
    }
}

double grepSeconds(const fs::path& dir, const std::string& word) {
    const std::string command = "LC_ALL=C grep -rlFi '" + word + "' '" + dir.string() + "' >/dev/null";
    Stopwatch sw;
    if (std::system(command.c_str()) != 0) std::printf("  grep failed\n");
    return sw.seconds();
}

double searchSeconds(RecordTable& t, const fs::path& dir, const std::string& word, int& hits) {
    search::FullTextJob job;
    job.text = word;
    job.archiveFolder = dir.string();
    job.prefixes = kPrefixes;
    std::atomic<bool> stop{false};
    int shown = 0;
    Stopwatch sw;
    const auto r =
        search::RunFullTextSearch(t, job, stop, {[&](const search::FindProgress&) { ++shown; }, {}});
    const double s = sw.seconds();
    if (!r.error.empty()) std::printf("  error: %s\n", r.error.c_str());
    hits = r.hits;
    return s;
}

} // namespace

int main() {
    const std::vector<Shape> shapes = {{"small", 100000, 2000, 6000}, {"large", 20000, 28000, 32000}};
    for (const Shape& shape : shapes) {
        const fs::path dir = generate(shape);
        RecordTable t;
        fillTable(t, shape.files);
        for (const auto& [word, label, target] :
             {std::tuple{kRareWord, "1% of files", 1.5}, std::tuple{kCommonWord, "every file", 3.0}}) {
            grepSeconds(dir, word); // warm the cache
            int hits = 0;
            searchSeconds(t, dir, word, hits);
            // Best of three for both, so that a stray disturbance on a shared machine does not decide.
            double grep = 1e9, ours = 1e9;
            for (int k = 0; k < 3; ++k) {
                grep = std::min(grep, grepSeconds(dir, word));
                ours = std::min(ours, searchSeconds(t, dir, word, hits));
            }
            std::printf("%s, word in %s: %d hits, full-text search %.3f s, grep %.3f s\n", shape.name.c_str(),
                        label, hits, ours, grep);
            bench::report("full-text search / grep, " + shape.name + " files, word in " + label, ours / grep,
                          target, "x");
        }
    }

    RecordTable t;
    catalogue::openEmptyArticleTable(t);
    std::mt19937 rng(3);
    for (int i = 0; i < 200000; ++i) {
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Type", 1 + i % 3);
        t.setText("Number", catalogue::padIssueNumber(std::to_string(1 + i / 300)));
        std::string title;
        for (int k = 0; k < 6; ++k)
            title += cp1251::toUtf8(kVocabulary[rng() % kVocabulary.size()]) + " ";
        t.setText("Statia", title);
        t.setInt("Find", 0);
        t.setInt("Npp", i % 100);
        t.post();
    }
    t.setSortKeys(catalogue::kStandardOrder);
    std::vector<std::string> history;
    std::string remembered;
    search::FindRequest request;
    request.boxText = cp1251::fromUtf8("мир");
    request.options.wholeWords = true;
    double best = 1e9;
    int hits = 0;
    for (int k = 0; k < 3; ++k) {
        Stopwatch sw;
        hits = search::RunSearch(t, history, remembered, request, {}).hits;
        best = std::min(best, sw.seconds());
    }
    std::printf("title search over 200000 rows: %d hits\n", hits);
    bench::report("title search, 200000 rows", best, 0.1, "s");
}
