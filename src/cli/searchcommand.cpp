// marovex-cli search: the main window's search on the catalogue, with the marks written back.
#include "cli/commands.h"

#include "app/settings.h"
#include "base/applock.h"
#include "base/atomicfile.h"
#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "catalogue/tabledump.h"
#include "cli/interrupts.h"
#include "search/findcommand.h"
#include "search/history.h"

#include "base/platform.h"

#include <algorithm>
#include <atomic>
#include <iostream>

namespace fs = std::filesystem;
using namespace marovex;

namespace {

constexpr int kOk = 0, kError = 1, kUsage = 2;

std::atomic<bool> g_searchStop{false};

bool onSearchInterrupt() {
    g_searchStop.store(true);
    return true;
}

int searchUsage(const std::string& problem) {
    std::cerr << "marovex-cli: " << problem << "\n"
              << "usage: marovex-cli [--app-dir DIR] search [--scope titles|texts] [--case] [--words] TEXT\n";
    return kUsage;
}

// Ctrl+C asks the walk to stop like "Отмена" for as long as this lives: the row in hand is finished and the
// marks made so far are kept.
class InterruptStops {
public:
    InterruptStops() : m_hook(onSearchInterrupt) {}

private:
    platform::InterruptHook m_hook;
};

// Progress of a full-text walk as `index` shows it: a bar on a terminal, otherwise one line per issue.
class ProgressPrinter {
public:
    ProgressPrinter() : m_terminal(platform::stderrIsTerminal()) {}
    ~ProgressPrinter() {
        if (m_terminal && m_shown) std::cerr << "\n";
    }
    ProgressPrinter(const ProgressPrinter&) = delete;
    ProgressPrinter& operator=(const ProgressPrinter&) = delete;

    void show(const search::FindProgress& p, int type) {
        const size_t digits = std::min(p.number.find_first_not_of(' '), p.number.size());
        const std::string issue = catalogue::editionDisplayText(type) + " " + p.number.substr(digits);
        if (!m_terminal) {
            if (issue != m_lastIssue) std::cerr << issue << "\n";
            m_lastIssue = issue;
            return;
        }
        // Redrawing on every row would cost more than the search itself.
        const int percent = p.rows > 0 ? (p.row + 1) * 100 / p.rows : 100;
        if (issue == m_lastIssue && percent == m_lastPercent) return;
        m_lastIssue = issue;
        m_lastPercent = percent;
        m_shown = true;
        constexpr int width = 30;
        const int filled = p.rows > 0 ? std::min(width, (p.row + 1) * width / p.rows) : width;
        std::cerr << "\r[" << std::string(size_t(filled), '#') << std::string(size_t(width - filled), ' ')
                  << "] " << p.row + 1 << "/" << p.rows << " " << issue << ", found " << p.hits << "\x1b[K"
                  << std::flush;
    }

private:
    bool m_terminal;
    bool m_shown = false;
    int m_lastPercent = -1;
    std::string m_lastIssue;
};

} // namespace

int runSearch(const fs::path& appDir, const std::vector<std::string>& args) {
    search::FindRequest request;
    bool haveText = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--scope") {
            if (i + 1 >= args.size()) return searchUsage("--scope needs a value");
            const std::string& scope = args[++i];
            if (scope == "titles")
                request.scope = search::FindScope::Titles;
            else if (scope == "texts")
                request.scope = search::FindScope::TitlesAndTexts;
            else
                return searchUsage("--scope must be titles or texts");
        } else if (a == "--case") {
            request.options.caseSensitive = true;
        } else if (a == "--words") {
            request.options.wholeWords = true;
        } else if (a == "--") {
            if (i + 2 != args.size() || haveText) return searchUsage("search takes one TEXT");
            request.boxText = args[++i];
            haveText = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return searchUsage("unknown option for search: " + a);
        } else {
            if (haveText) return searchUsage("search takes one TEXT; quote a text with blanks");
            request.boxText = a;
            haveText = true;
        }
    }
    if (!haveText) return searchUsage("search needs a TEXT");
    if (request.boxText.empty()) {
        std::cerr << "Nothing searched: the text is empty\n";
        return kOk;
    }

    AppFolderLock lock = AppFolderLock::acquire(appDir);
    prepareFolder(appDir);
    // Everything the search writes is checked first, so that a refusal comes before the first write.
    std::error_code ec;
    checkReplaceable(appDir / catalogue::kArticleFile);
    checkReplaceable(appDir / catalogue::kHistoryFile);
    if (fs::exists(settingsFilePath(appDir), ec)) checkReplaceable(settingsFilePath(appDir));
    SettingsRecord rec;
    loadSettings(appDir, rec);
    ArchiveAccess access;
    readAccess(appDir, access);
    request.archiveFolder = access.folder;
    request.prefixes = rec.name_kelvra;

    RecordTable articles;
    catalogue::openArticleTable(articles, appDir / catalogue::kArticleFile,
                                [](const std::string& m) { std::cerr << "marovex-cli: " << m << "\n"; });
    articles.setSortKeys(catalogue::kStandardOrder);

    const fs::path historyFile = appDir / catalogue::kHistoryFile;
    std::vector<std::string> history;
    if (fs::exists(historyFile, ec)) history = readSearchHistory(historyFile);

    search::FindHooks hooks;
    ProgressPrinter printer;
    hooks.runFullText = [&](const search::FullTextJob& job) {
        InterruptStops interrupts;
        search::FullTextReports reports;
        // The edition of the row in hand, for the progress line; the walk order is fixed by the worker.
        const int typeField = articles.field("Type");
        reports.progress = [&](const search::FindProgress& p) { printer.show(p, articles.asInt(typeField)); };
        return search::runFullTextSearch(articles, job, g_searchStop, reports);
    };
    std::string remembered;
    search::FindOutcome outcome;
    std::string failure;
    try {
        outcome = search::runSearch(articles, history, remembered, request, hooks);
    } catch (const search::SearchFailed& e) {
        // The marks made before the error stay, as in the window.
        failure = e.what();
        outcome = e.outcome();
    }

    // The rows that carry the mark, in the order the window shows them.
    const int findField = articles.field("Find");
    articles.setFilterPredicate(
        [findField](const RowRef& row) { return row.asInt(findField) == catalogue::kFound; });
    articles.setFiltered(true);
    platform::binaryStandardOutput();
    dumpTable(articles, DumpFormat::Jsonl, std::cout);
    std::cout.flush();
    articles.setFiltered(false);
    std::atomic<bool> lateStop{false}; // the marks are all made: a first Ctrl+C lets them be written
    const cli::InterruptDeferral writing(lateStop);
    articles.close();
    writeSearchHistory(historyFile, history);
    // The remembered text drives the window's highlighting; a missing settings file is not made here, as
    // its absence means defaults left alone rather than the defaults of an empty file.
    if (fs::exists(settingsFilePath(appDir), ec)) {
        IniFile ini = openSettingsFile(appDir);
        settings::write(ini, settings::keys::text_search, remembered);
    }

    std::cerr << (outcome.stopped ? "Stopped. " : "") << "Found: " << outcome.hits << "\n";
    // Files that could not be read end nothing: they are named after the result, which stands.
    for (const Message* problem : {&outcome.unreadableMessage, &outcome.storeMessage})
        if (!problem->empty()) std::cerr << "marovex-cli: " << problem->english() << "\n";
    if (!failure.empty()) {
        std::cerr << "marovex-cli: " << failure << "\n";
        return kError;
    }
    return std::cout ? kOk : kError;
}
