#include "indexer/indexrun.h"

#include "base/cp1251.h"
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
        dynamic_cast<const StoreAborted*>(&e) ? Message(msg::RowNotStored, {}) : MessageOf(e);
    if (page.empty() || what.english().rfind(page.string(), 0) == 0) return what;
    return Message(msg::PageError, {PathValue(page), Nested(what)});
}

} // namespace

Message CheckArchiveFolder(const std::string& folder) {
    if (folder.empty()) return Message(msg::NoArchiveFolder, {});
    const fs::path root = ArchiveFolderPath(folder);
    std::error_code ec;
    const fs::file_status status = fs::status(root, ec);
    if (!fs::exists(status)) return Message(msg::ArchiveFolderMissing, {PathValue(root)});
    if (!fs::is_directory(status)) return Message(msg::ArchiveFolderNotAFolder, {PathValue(root)});
    fs::directory_iterator probe(root, ec);
    if (ec) return Message(msg::ArchiveFolderUnreadable, {PathValue(root), Reason(ec.value())});
    return {};
}

IndexResult RunIndexing(RecordTable& articles, RecordTable& topics, const IndexSettings& settings,
                        bool fullRun, const std::atomic<bool>& stop, const IndexReports& reports) {
    IndexResult result;
    // A folder that is missing or cannot be listed would read as an empty archive and empty the catalogue.
    if (Message refused = CheckArchiveFolder(settings.archiveFolder); !refused.empty()) {
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
        if (fullRun) parser.ClearTablesForFullRun();
        const std::array<std::string, 3> prefixes = PrefixesCp1251(settings.prefixes);
        const std::array<int, 3> order = EditionOrder(prefixes);
        const fs::path root = ArchiveFolderPath(settings.archiveFolder);

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
            const std::string name = cp1251::fromFileName(it->path().filename().string());
            const int edition = EditionOf(name, prefixes, order);
            if (edition == 0 || !settings.enabled[size_t(edition - 1)]) continue;
            folders.push_back({it->path(), ClassifyEntry(name, prefixes, order)});
        }
        for (Folder& folder : folders)
            if (folder.entry && !parser.IssueIndexed(folder.entry->edition, folder.entry->number)) {
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
            if (!entry || folder.toRead == SIZE_MAX || parser.IssueIndexed(entry->edition, entry->number))
                continue;

            if (reports.progress) reports.progress(cp1251::toUtf8(entry->upperName));
            issueStart = outArticles.rowCount();
            page = folder.path;
            for (const fs::path& file : reader.openIssue(folder.toRead)) {
                page = file;
                parser.ParsePreparedPage(entry->edition, entry->number, reader.next());
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
            throw MessageError(Message(msg::ArchiveFolderUnreadable, {PathValue(root), Reason(ec.value())}));
        page.clear();
        parser.FinishRun();
        result.completed = true;
    } catch (const std::exception& e) {
        result.error = runError(page, e);
    }
    result.rowsAdded = parser.rowsAdded();

    if (result.completed && fullRun) {
        // The new tables come with the final orders FinishRun gave them.
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
            parser.FinishRun();
        } catch (const std::exception& e) {
            result.error = Message(msg::ErrorThenError, {Nested(result.error), Nested(MessageOf(e))});
        }
    }
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
    const std::array<std::string, 3> prefixes = PrefixesCp1251(settings.prefixes);
    const std::array<int, 3> order = EditionOrder(prefixes);
    int count = 0;
    std::error_code ec;
    for (fs::directory_iterator it(ArchiveFolderPath(settings.archiveFolder), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!isFolder(*it)) continue;
        const auto entry =
            ClassifyEntry(cp1251::fromFileName(it->path().filename().string()), prefixes, order);
        if (entry && settings.enabled[size_t(entry->edition - 1)] &&
            seen.insert(issueKey(entry->edition, entry->number)).second)
            ++count;
    }
    return count;
}

} // namespace marovex::indexer
