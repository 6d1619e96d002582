#include "indexer/indexrun.h"

#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "base/cp1251.h"
#include "indexer/pageparser.h"
#include "indexer/pagereader.h"

#include <cerrno>
#include <cstring>
#include <unordered_set>

namespace fs = std::filesystem;

namespace marovex::indexer {

namespace {

bool isFolder(const fs::directory_entry& entry) {
    std::error_code ec;
    return entry.is_directory(ec) && !ec;
}

} // namespace

IndexResult RunIndexing(RecordTable& articles, RecordTable& topics, const IndexSettings& settings, bool fullRun,
                        const std::atomic<bool>& stop, const IndexReports& reports) {
    IndexResult result;
    // Rows are added in natural order with every row visible; the final order is set at the end.
    articles.post();
    articles.setFiltered(false);
    articles.setSortKeys(catalogue::kNaturalOrder);
    PageParser parser(articles, topics);
    try {
        if (fullRun) parser.ClearTablesForFullRun();
        const std::array<int, 3> order = EditionOrder(settings.prefixes);
        const fs::path root = ArchiveFolderPath(settings.archiveFolder);
        CaseInsensitivePaths paths;
        PageReader reader;

        std::error_code ec;
        fs::directory_iterator it(root, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            if (!isFolder(*it)) continue;
            const std::string realName = it->path().filename().string();
            const std::string name = cp1251::fromUtf8(realName);
            const int edition = EditionOf(name, settings.prefixes, order);
            if (edition == 0 || !settings.enabled[size_t(edition - 1)]) continue;
            if (stop.load()) {
                result.stopped = true;
                break;
            }
            const auto entry = ClassifyEntry(name, settings.prefixes, order);
            if (!entry || parser.IssueIndexed(entry->edition, entry->number)) continue;

            if (reports.progress) reports.progress(entry->upperName);
            ++result.issues;
            const fs::path entryFolder = it->path();
            std::vector<fs::path> files;
            for (const auto& page : kIssuePages) {
                std::vector<std::string> primary = page;
                if (!entry->innerName.empty()) primary.insert(primary.begin(), entry->innerName);
                auto file = paths.resolve(entryFolder, primary);
                if (!file) {
                    std::vector<std::string> nested = page;
                    nested.insert(nested.begin(), entry->upperName);
                    file = paths.resolve(entryFolder, nested);
                }
                if (file) files.push_back(std::move(*file));
            }
            // Each page is read and prepared on a second thread while the one before is parsed.
            reader.start(files);
            for (size_t i = 0; i < files.size(); ++i)
                parser.ParsePreparedPage(entry->edition, entry->number, reader.next());
        }
        parser.FinishRun();
        result.completed = true;
    } catch (const StoreAborted&) {
        result.error = "a row could not be stored";
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    result.rowsAdded = parser.rowsAdded();
    return result;
}

int CountIssuesToIndex(const RecordTable& articles, const IndexSettings& settings, bool fullRun) {
    std::unordered_set<std::string> seen;
    if (!fullRun) {
        const int type = articles.field("Type"), number = articles.field("Number");
        for (int i = 0; i < articles.rowCount(); ++i) {
            const RowRef r = articles.rowAt(i);
            seen.insert(issueKey(r.asInt(type), cp1251::fromUtf8(r.storedText(number))));
        }
    }
    const std::array<int, 3> order = EditionOrder(settings.prefixes);
    int count = 0;
    std::error_code ec;
    for (fs::directory_iterator it(ArchiveFolderPath(settings.archiveFolder), ec), end; !ec && it != end; it.increment(ec)) {
        if (!isFolder(*it)) continue;
        const auto entry = ClassifyEntry(cp1251::fromUtf8(it->path().filename().string()), settings.prefixes, order);
        if (entry && settings.enabled[size_t(entry->edition - 1)] &&
            seen.insert(issueKey(entry->edition, entry->number)).second)
            ++count;
    }
    return count;
}

} // namespace marovex::indexer
