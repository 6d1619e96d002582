// Indexing runs over generated archives of 1,000 and 10,000 issues (contents pages only): full run, run for
// new issues only, linear growth, memory.
#include "benchsupport.h"
#include "catalogue/catalogue.h"
#include "archivegen/archivegen.h"
#include "indexer/indexrun.h"

#include <cstdio>
#include <fstream>

using namespace marovex;
using marovex::bench::Stopwatch;
namespace fs = std::filesystem;

namespace {

// Generated once and kept between runs; a stamp file marks a finished tree.
fs::path archive(int issues) {
    const fs::path dir = bench::dataDir() / ("archive-" + std::to_string(issues) + "-contents");
    const fs::path stamp = dir.string() + ".done";
    if (!fs::exists(stamp)) {
        fs::remove_all(dir);
        std::printf("generating %d issues into %s ...\n", issues, dir.c_str());
        std::fflush(stdout);
        gen::GenOptions options;
        options.out = dir;
        options.seed = 2024;
        options.issues = issues;
        options.articlesPerIssue = 100;
        options.contentsOnly = true;
        const auto summary = gen::GenerateArchive(options);
        std::printf("  %llu articles in %d issues, %.1f MB\n", (unsigned long long)summary.articles, summary.issues,
                    double(summary.bytes) / 1e6);
        std::ofstream(stamp) << "done\n";
    }
    return dir;
}

struct Run {
    double seconds;
    int rows;
};

Run indexRun(RecordTable& articles, RecordTable& topics, const fs::path& root, bool full) {
    indexer::IndexSettings settings;
    settings.archiveFolder = root.string();
    settings.enabled = {true, true, true};
    settings.prefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
    std::atomic<bool> stop{false};
    Stopwatch sw;
    const auto result = indexer::RunIndexing(articles, topics, settings, full, stop, {});
    const double seconds = sw.seconds();
    if (!result.completed) std::printf("  run failed: %s\n", result.error.c_str());
    return {seconds, articles.rowCount()};
}

} // namespace

int main() {
    const fs::path small = archive(1000);
    const fs::path large = archive(10000);

    RecordTable articles, topics;
    catalogue::openEmptyArticleTable(articles);
    catalogue::openEmptyTopicTable(topics);
    const double baseline = bench::residentMegabytes();

    indexRun(articles, topics, small, true); // warms the file cache
    const Run full = indexRun(articles, topics, small, true);
    std::printf("  %d articles\n", full.rows);
    bench::report("full run, 1,000 issues (warm cache)", full.seconds, 3.0, "s");
    bench::report("resident memory after the run", bench::residentMegabytes() - baseline, 250, "MB");
    const Run incremental = indexRun(articles, topics, small, false);
    bench::report("new issues only, 1,000 indexed issues", incremental.seconds, 0.5, "s");

    RecordTable bigArticles, bigTopics;
    catalogue::openEmptyArticleTable(bigArticles);
    catalogue::openEmptyTopicTable(bigTopics);
    articles.discard();
    topics.discard();
    indexRun(bigArticles, bigTopics, large, true); // warms the file cache
    const Run big = indexRun(bigArticles, bigTopics, large, true);
    std::printf("  %d articles\n", big.rows);
    bench::report("full run, 10,000 issues: time / 1,000-issue time", big.seconds / full.seconds, 11.0, "x");
    std::printf("  (10,000 issues took %.3f s)\n", big.seconds);
    return 0;
}
