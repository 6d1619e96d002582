#include "indexer/indexrun.h"

#include "base/cp1251.h"
#include "base/platform.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "indexer/pageparser.h"
#include "indexer/pagereader.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_set>

namespace fs = std::filesystem;

namespace marovex::indexer {

namespace {

bool isFolder(const fs::directory_entry& entry) {
    std::error_code ec;
    return entry.is_directory(ec) && !ec;
}

} // namespace

namespace {

// A failure while reading or storing rows, named by the page in hand when the failure does not name it.
Message runError(const fs::path& page, const std::exception& e) {
    const Message what =
        dynamic_cast<const StoreAborted*>(&e) ? Message(msg::RowNotStored, {}) : messageOf(e);
    if (page.empty() || what.english().rfind(platform::pathToUtf8(page), 0) == 0) return what;
    return Message(msg::PageError, {pathValue(page), nested(what)});
}

} // namespace

Message checkArchiveFolder(const std::string& folder) {
    if (folder.empty()) return Message(msg::NoArchiveFolder, {});
    const fs::path root = archiveFolderPath(folder);
    std::error_code ec;
    const fs::file_status status = fs::status(root, ec);
    if (!fs::exists(status)) return Message(msg::ArchiveFolderMissing, {pathValue(root)});
    if (!fs::is_directory(status)) return Message(msg::ArchiveFolderNotAFolder, {pathValue(root)});
    fs::directory_iterator probe(root, ec);
    if (ec) return Message(msg::ArchiveFolderUnreadable, {pathValue(root), errorReason(ec.value())});
    return {};
}

IndexResult runIndexing(RecordTable& articles, RecordTable& topics, const IndexSettings& settings,
                        bool fullRun, const std::atomic<bool>& stop, const IndexReports& reports) {
    IndexResult result;
    // A folder that is missing or cannot be listed would read as an empty archive and empty the catalogue.
    if (Message refused = checkArchiveFolder(settings.archiveFolder); !refused.empty()) {
        result.error = std::move(refused);
        return result;
    }
    articles.post();

    // A full run builds the new tables beside the old ones, which it replaces only when it completes or is
    // stopped, so an error keeps the catalogue as it was.
    RecordTable newArticles, newTopics;
    if (fullRun) {
        catalogue::openEmptyArticleTable(newArticles);
        catalogue::openEmptyTopicTable(newTopics);
    }
    RecordTable& outArticles = fullRun ? newArticles : articles;
    RecordTable& outTopics = fullRun ? newTopics : topics;
    // Rows are added in natural order with every row visible; the final order is set at the end.
    outArticles.setFiltered(false);
    outArticles.setSortKeys(catalogue::kNaturalOrder);
    PageParser parser(outArticles, outTopics);
    fs::path page;       // the page in hand, for messages
    int issueStart = -1; // rows before the issue in hand; -1 between issues
    try {
        if (fullRun) parser.clearTablesForFullRun();
        const std::array<std::string, 3> prefixes = prefixesCp1251(settings.prefixes);
        const std::array<int, 3> order = editionOrder(prefixes);
        const fs::path root = archiveFolderPath(settings.archiveFolder);

        // The folders of enabled editions, in listing order, and the issues among them to read. A listing
        // that fails half-way ends the run with an error after the folders listed before it.
        struct Folder {
            fs::path path;
            std::optional<IssueEntry> entry;
            std::size_t toRead = SIZE_MAX; // its place among the issues the reader reads
        };
        std::vector<Folder> folders;
        std::vector<const Folder*> toRead;
        std::error_code ec;
        for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
            if (!isFolder(*it)) continue;
            const std::string name = cp1251::fromFileName(platform::pathToUtf8(it->path().filename()));
            const int edition = editionOf(name, prefixes, order);
            if (edition == 0 || !settings.enabled[size_t(edition - 1)]) continue;
            folders.push_back({it->path(), classifyEntry(name, prefixes, order)});
        }
        for (Folder& folder : folders)
            if (folder.entry && !parser.issueIndexed(folder.entry->edition, folder.entry->number)) {
                folder.toRead = toRead.size();
                toRead.push_back(&folder);
            }

        // The pages of the coming issues are found, read and prepared on a second thread while the issue
        // before is parsed.
        PageReader reader(toRead.size(), [&toRead](std::size_t i) {
            const Folder& folder = *toRead[i];
            // The look-ups of one issue share its folders' listings. A folder of the issue that cannot be
            // read is an error, not a missing page: the run would drop or change the issue's rows.
            CaseInsensitivePaths paths(CaseInsensitivePaths::Unreadable::Error);
            std::vector<fs::path> files;
            for (const auto& pageName : kIssuePages) {
                std::vector<std::string> primary = pageName;
                if (!folder.entry->innerName.empty())
                    primary.insert(primary.begin(), folder.entry->innerName);
                auto file = paths.resolve(folder.path, primary);
                if (!file) {
                    std::vector<std::string> nested = pageName;
                    nested.insert(nested.begin(), folder.entry->upperName);
                    file = paths.resolve(folder.path, nested);
                }
                if (file) files.push_back(std::move(*file));
            }
            return files;
        });

        constexpr size_t kSampleIssues = 20;
        const int rowsBefore = outArticles.rowCount();
        for (const Folder& folder : folders) {
            if (stop.load()) {
                result.stopped = true;
                break;
            }
            // An issue read earlier in this run under another folder name is not read again.
            const auto& entry = folder.entry;
            if (!entry || folder.toRead == SIZE_MAX || parser.issueIndexed(entry->edition, entry->number))
                continue;

            if (reports.progress) reports.progress(cp1251::toUtf8(entry->upperName));
            issueStart = outArticles.rowCount();
            page = folder.path;
            for (const fs::path& file : reader.openIssue(folder.toRead)) {
                page = file;
                parser.parsePreparedPage(entry->edition, entry->number, reader.next());
            }
            outArticles.post();
            issueStart = -1;
            ++result.issues;
            // Once some issues show how many rows an issue gives, room is made for the rest of the run at
            // once, not by doubling as rows come.
            if (result.issues == kSampleIssues && toRead.size() > kSampleIssues) {
                const double perIssue = double(outArticles.rowCount() - rowsBefore) / kSampleIssues;
                const double rest = perIssue * double(toRead.size() - kSampleIssues) * 1.05;
                const double expected = outArticles.rowCount() + rest;
                outArticles.reserve(int(std::min(expected, double(std::numeric_limits<int>::max() / 2))));
            }
        }
        if (ec)
            throw MessageError(
                Message(msg::ArchiveFolderUnreadable, {pathValue(root), errorReason(ec.value())}));
        page.clear();
        parser.finishRun();
        result.completed = true;
    } catch (const std::exception& e) {
        result.error = runError(page, e);
    }
    result.rowsAdded = parser.rowsAdded();

    if (result.completed && fullRun) {
        // The new tables come with the final orders finishRun gave them.
        articles.adoptRows(newArticles);
        topics.adoptRows(newTopics);
        articles.setFiltered(false);
        articles.first();
    } else if (!result.completed && !fullRun) {
        // The issues completed before the error stay, with their topics; nothing of the issue in hand does,
        // so the next run reads it again.
        try {
            articles.cancel();
            if (issueStart >= 0) {
                result.rowsAdded -= articles.rowCount() - issueStart;
                while (articles.rowCount() > issueStart) {
                    articles.last();
                    articles.deleteRow();
                }
            }
            parser.finishRun();
        } catch (const std::exception& e) {
            result.error = Message(msg::ErrorThenError, {nested(result.error), nested(messageOf(e))});
        }
    }
    return result;
}

int countIssuesToIndex(const RecordTable& articles, const IndexSettings& settings, bool fullRun) {
    std::unordered_set<std::string> seen;
    if (!fullRun) {
        const int type = articles.field("Type"), number = articles.field("Number");
        for (int i = 0; i < articles.rowCount(); ++i) {
            const RowRef r = articles.rowAt(i);
            seen.insert(issueKey(r.asInt(type), cp1251::fromUtf8(r.storedText(number))));
        }
    }
    const std::array<std::string, 3> prefixes = prefixesCp1251(settings.prefixes);
    const std::array<int, 3> order = editionOrder(prefixes);
    int count = 0;
    std::error_code ec;
    for (fs::directory_iterator it(archiveFolderPath(settings.archiveFolder), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!isFolder(*it)) continue;
        const auto entry =
            classifyEntry(cp1251::fromFileName(platform::pathToUtf8(it->path().filename())), prefixes, order);
        if (entry && settings.enabled[size_t(entry->edition - 1)] &&
            seen.insert(issueKey(entry->edition, entry->number)).second)
            ++count;
    }
    return count;
}

} // namespace marovex::indexer
