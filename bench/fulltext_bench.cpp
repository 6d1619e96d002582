// Full-text search over generated article files, against grep over the same files (warm cache): the plain
// walk, then the walk with the text store (the first search that fills it, later searches, a search after
// 1% of the files changed, the store's size and the memory a search takes), and the title search and the
// title-and-text search answered from the store over 200,000 rows.
#include "base/cp1251.h"
#include "benchsupport.h"
#include "catalogue/catalogue.h"
#include "search/findcommand.h"
#include "search/fulltext.h"
#include "search/fulltextcache.h"
#include "search/textstore.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>

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
const std::string kRareWord = cp1251::fromUtf8("квазистатика");   // in 1% of the files
const std::string kCommonWord = cp1251::fromUtf8("Келврания");    // in every file
const std::string kOtherRareWord = cp1251::fromUtf8("азистатик"); // a part of the rare word

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

// `rows` rows over the first `files` files (a file may serve several rows).
void fillTable(RecordTable& t, int files, int rows = 0) {
    catalogue::openEmptyArticleTable(t);
    for (int r = 0; r < std::max(files, rows); ++r) {
        const int i = r % files;
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

// One full-text search; with `store`, through the text store in that file, and with `cache` as the window
// searches (the cache it keeps between searches), begun after the texts the last search left are kept.
// `peakMegabytes` takes the largest resident size seen during the walk.
double searchSeconds(RecordTable& t, const fs::path& dir, const std::string& word, int& hits,
                     const fs::path& store = {}, double* peakMegabytes = nullptr, int* fromStore = nullptr,
                     search::FullTextCache* cache = nullptr) {
    search::FullTextJob job;
    job.text = cp1251::toUtf8(word);
    job.archiveFolder = dir.string();
    job.prefixes = kPrefixes;
    job.useStore = !store.empty();
    job.storeFile = store;
    job.cache = cache;
    std::atomic<bool> stop{false};
    int shown = 0;
    if (cache) cache->waitForFill();
    Stopwatch sw;
    const auto r = search::runFullTextSearch(t, job, stop,
                                             {[&](const search::FindProgress&) {
                                                  if (peakMegabytes && ++shown % 4096 == 0)
                                                      *peakMegabytes = std::max(*peakMegabytes,
                                                                                bench::residentMegabytes());
                                              },
                                              {}});
    const double s = sw.seconds();
    if (!r.error.empty()) std::printf("  error: %s\n", r.error.english().c_str());
    hits = r.hits;
    if (fromStore) *fromStore = r.filesFromStore;
    return s;
}

void removeStore(const fs::path& store) {
    fs::remove(store);
    fs::remove(fs::path(store).replace_extension(".add"));
}

// Bytes of the files under a folder: as they take space on disk (whole blocks) and as they are long.
std::pair<double, double> treeBytes(const fs::path& dir) {
    double disk = 0, apparent = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        struct stat st {};
        if (e.is_regular_file() && ::stat(e.path().c_str(), &st) == 0) {
            disk += double(st.st_blocks) * 512;
            apparent += double(st.st_size);
        }
    }
    return {disk, apparent};
}

// Rewrites 1% of the files (every hundredth, starting at `round`) with a different ending: a comment
// appended, or taken away again, so that the tree keeps its size from run to run.
void changeOnePercent(const fs::path& dir, int files, int round) {
    const std::string mark = "<!-- changed -->\r\n";
    for (int i = round % 100; i < files; i += 100) {
        const int issue = i / kArticlesPerIssue;
        const fs::path file = dir / (kPrefixes[size_t(issue % 3)] + std::to_string(issue / 3 + 1)) / "pub" /
                              (std::to_string(i % kArticlesPerIssue) + ".htm");
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        if (bytes.size() >= mark.size() && bytes.compare(bytes.size() - mark.size(), mark.size(), mark) == 0)
            bytes.resize(bytes.size() - mark.size());
        else
            bytes += mark;
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
}

// The text store over the 100,000 small files, beside grep.
void storeFigures(const fs::path& dir, int files) {
    const fs::path store = bench::dataDir() / "fulltext-store" / std::string(search::kTextStoreFile);
    fs::create_directories(store.parent_path());
    RecordTable t;
    fillTable(t, files);
    int hits = 0, fromStore = 0;
    double peak = 0;

    auto grepBest = [&](const std::string& word) {
        grepSeconds(dir, word); // warm the cache
        double best = 1e9;
        for (int k = 0; k < 3; ++k)
            best = std::min(best, grepSeconds(dir, word));
        return best;
    };

    // The first search: each try starts without a store, in a window just opened. It answers, then the
    // window keeps the texts in the background. The window keeps the last try's cache for the searches
    // after it.
    const double grepRare = grepBest(kRareWord);
    double plain = 1e9;
    for (int k = 0; k < 3; ++k)
        plain = std::min(plain, searchSeconds(t, dir, kRareWord, hits));
    double first = 1e9, filled = 1e9;
    std::unique_ptr<search::FullTextCache> cache;
    for (int k = 0; k < 3; ++k) {
        cache.reset(); // a closing window saves what it kept
        removeStore(store);
        cache = std::make_unique<search::FullTextCache>();
        Stopwatch sw;
        first = std::min(first, searchSeconds(t, dir, kRareWord, hits, store, &peak, nullptr, cache.get()));
        cache->waitForFill();
        filled = std::min(filled, sw.seconds());
        peak = std::max(peak, bench::residentMegabytes());
    }
    std::printf("store, first search, word in 1%% of files: %d hits, answered in %.3f s (plain walk %.3f s), "
                "store filled %.3f s after it began; grep %.3f s\n",
                hits, first, plain, filled, grepRare);
    bench::report("text store: first search / grep, rare word", first / grepRare, 1.5, "x");
    bench::report("text store: first search / plain walk", first / plain, 1.3, "x");
    std::printf("  for information: answered and the store filled / grep: %.2f x\n", filled / grepRare);

    const auto [diskBytes, apparentBytes] = treeBytes(dir);
    double storeBytes = 0;
    for (const fs::path& file : {store, fs::path(store).replace_extension(".add")}) {
        std::error_code ec;
        if (const auto size = fs::file_size(file, ec); !ec) storeBytes += double(size);
    }
    std::printf("store %.1f MB; article files %.1f MB on disk, %.1f MB long\n", storeBytes / 1e6,
                diskBytes / 1e6, apparentBytes / 1e6);
    bench::report("text store size / article files on disk", storeBytes / diskBytes, 0.6, "x");
    bench::report("text store size / article files' length", storeBytes / apparentBytes, 0.6, "x");

    // A later search looks at every file's identity once (one lstat each: a change through a hard link made
    // meanwhile is reported to no watch), about 0.13x grep here; the targets leave room above that floor.
    for (const auto& [word, label, target] : {std::tuple{kOtherRareWord, "another rare word", 0.2},
                                              std::tuple{kCommonWord, "word in every file", 0.5}}) {
        const double grep = grepBest(word);
        double ours = 1e9, companion = 1e9;
        for (int k = 0; k < 3; ++k)
            ours = std::min(ours, searchSeconds(t, dir, word, hits, store, &peak, &fromStore, cache.get()));
        std::printf("store, later search, %s: %d hits (%d from the store), %.3f s, grep %.3f s\n", label,
                    hits, fromStore, ours, grep);
        bench::report(std::string("text store: later search / grep, ") + label, ours / grep, target, "x");
        // The companion is a new process each time: the store is loaded and every file looked at. (Its
        // memory is not the window's: this process holds the window's cache beside it.)
        for (int k = 0; k < 3; ++k)
            companion = std::min(companion, searchSeconds(t, dir, word, hits, store));
        std::printf("  for information: the companion's search (no cache kept), %s: %.3f s, %.2f x grep\n",
                    label, companion, companion / grep);
    }

    double changed = 1e9, companionChanged = 1e9;
    for (int k = 0; k < 3; ++k) {
        changeOnePercent(dir, files, 50 + k);
        changed =
            std::min(changed, searchSeconds(t, dir, kRareWord, hits, store, &peak, &fromStore, cache.get()));
    }
    const double grepChanged = grepBest(kRareWord);
    std::printf(
        "store, search after 1%% of the files changed: %d hits (%d from the store), %.3f s, grep %.3f s\n",
        hits, fromStore, changed, grepChanged);
    bench::report("text store: search after 1% changed / grep", changed / grepChanged, 0.3, "x");
    for (int k = 0; k < 3; ++k) {
        changeOnePercent(dir, files, 53 + k);
        companionChanged = std::min(companionChanged, searchSeconds(t, dir, kRareWord, hits, store));
    }
    std::printf("  for information: the companion's search after 1%% changed: %.3f s, %.2f x grep\n",
                companionChanged, companionChanged / grepChanged);
    bench::report("text store: resident memory during a search", peak, 200, "MB");

    // Last, as it makes the store anew each time: the companion fills it as it reads.
    cache.reset();
    double companionFirst = 1e9;
    for (int k = 0; k < 3; ++k) {
        removeStore(store);
        companionFirst = std::min(companionFirst, searchSeconds(t, dir, kRareWord, hits, store));
    }
    std::printf("  for information: the companion's first search (fills the store as it reads): %.3f s, "
                "%.2f x grep\n",
                companionFirst, companionFirst / grepRare);
}

// The main window's title-and-text search over 200,000 rows (two rows for each of the 100,000 files),
// answered from the store, after an earlier search of the same window.
void titleAndTextFigure(const fs::path& dir, int files) {
    const fs::path store = bench::dataDir() / "fulltext-store" / std::string(search::kTextStoreFile);
    RecordTable t;
    fillTable(t, files, 200000);
    int hits = 0;
    search::FullTextCache cache;
    // Files changed within the settle time are not kept in the store; the earlier figures just changed some.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    searchSeconds(t, dir, kRareWord, hits, store, nullptr, nullptr, &cache); // the window's earlier search
    cache.waitForFill();
    t.setSortKeys(catalogue::kStandardOrder);
    std::vector<std::string> history;
    std::string remembered;
    search::FindRequest request;
    request.boxText = cp1251::toUtf8(kOtherRareWord);
    request.scope = search::FindScope::TitlesAndTexts;
    request.archiveFolder = dir.string();
    request.prefixes = kPrefixes;
    request.cache = &cache;
    search::FindHooks hooks;
    hooks.runFullText = [&](const search::FullTextJob& j) {
        search::FullTextJob job = j;
        job.storeFile = store;
        std::atomic<bool> stop{false};
        return search::runFullTextSearch(t, job, stop, {});
    };
    double best = 1e9;
    for (int k = 0; k < 3; ++k) {
        Stopwatch sw;
        hits = search::runSearch(t, history, remembered, request, hooks).hits;
        best = std::min(best, sw.seconds());
    }
    std::printf("title-and-text search over 200000 rows from the store: %d hits\n", hits);
    bench::report("title-and-text search, 200000 rows, from the store", best, 0.25, "s");
}

// The first search alone, with its processor time (user and system, both threads), which a busy machine
// disturbs less than the elapsed time: for comparing changes to how the store is filled.
void firstSearchOnly(const fs::path& dir, int files) {
    const fs::path store = bench::dataDir() / "fulltext-store" / std::string(search::kTextStoreFile);
    fs::create_directories(store.parent_path());
    RecordTable t;
    fillTable(t, files);
    int hits = 0;
    auto cpuSeconds = [] {
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    };
    searchSeconds(t, dir, kRareWord, hits); // warm the page cache
    for (const int kind : {0, 1, 2, 0, 1, 2, 0, 1, 2}) {
        removeStore(store);
        search::FullTextCache cache;
        double cpu0 = cpuSeconds();
        const double s = kind == 1   ? searchSeconds(t, dir, kRareWord, hits, store, nullptr, nullptr, &cache)
                         : kind == 2 ? searchSeconds(t, dir, kRareWord, hits, store)
                                     : searchSeconds(t, dir, kRareWord, hits);
        std::printf("%s: %.3f s elapsed, %.3f s processor\n",
                    kind == 1   ? "first search, the window's"
                    : kind == 2 ? "first search, the companion's (fills the store as it reads)"
                                : "plain walk",
                    s, cpuSeconds() - cpu0);
        if (kind == 1) {
            cpu0 = cpuSeconds();
            Stopwatch sw;
            cache.waitForFill();
            std::printf("  then the window fills the store: %.3f s elapsed, %.3f s processor\n", sw.seconds(),
                        cpuSeconds() - cpu0);
        }
    }
}

} // namespace

// With the argument "store", only the text store's figures; with "first", only the first search's times.
int main(int argc, char** argv) {
    const std::vector<Shape> shapes = {{"small", 100000, 2000, 6000}, {"large", 20000, 28000, 32000}};
    if (argc > 1 && std::string_view(argv[1]) == "first") {
        firstSearchOnly(generate(shapes[0]), shapes[0].files);
        return 0;
    }
    // The store first, while this process is small, so that its resident memory is the search's.
    storeFigures(generate(shapes[0]), shapes[0].files);
    titleAndTextFigure(generate(shapes[0]), shapes[0].files);
    if (argc > 1 && std::string_view(argv[1]) == "store") return 0;
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
    request.boxText = "мир";
    request.options.wholeWords = true;
    double best = 1e9;
    int hits = 0;
    for (int k = 0; k < 3; ++k) {
        Stopwatch sw;
        hits = search::runSearch(t, history, remembered, request, {}).hits;
        best = std::min(best, sw.seconds());
    }
    std::printf("title search over 200000 rows: %d hits\n", hits);
    bench::report("title search, 200000 rows", best, 0.1, "s");
}
