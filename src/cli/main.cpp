// marovex-cli: the command-line companion. It works on the same files with the same core as the application.
#include "app/inifile.h"
#include "app/settings.h"
#include "base/applock.h"
#include "base/platform.h"
#include "base/regularfile.h"
#include "catalogue/articleview.h"
#include "catalogue/catalogue.h"
#include "catalogue/tabledump.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "indexer/indexrun.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace marovex;

namespace {

constexpr int kOk = 0, kError = 1, kUsage = 2;

const char* const kUsageText =
    "usage: marovex-cli [--app-dir DIR] init [--force]\n"
    "       marovex-cli [--app-dir DIR] index [--full]\n"
    "       marovex-cli [--app-dir DIR] dump [--table articles|topics] [--format jsonl|csv] [--order "
    "natural|view]\n"
    "       marovex-cli [--app-dir DIR] search [--scope titles|texts] [--case] [--words] TEXT\n";

int usage(const std::string& problem) {
    std::cerr << "marovex-cli: " << problem << "\n" << kUsageText;
    return kUsage;
}

fs::path executableFolder(const char* argv0) {
    return platform::executablePath(argv0).parent_path();
}

// For a command that does not read the settings file: names it on standard error when no program could
// read it (the application and the other commands refuse it), while the command's own work stands.
void warnUnreadableSettings(const fs::path& appDir) {
    try {
        RegularFile::open(settingsFilePath(appDir), Links::Follow);
    } catch (const std::exception& e) {
        std::cerr << "marovex-cli: warning: " << e.what() << "\n";
    }
}

int runInit(const fs::path& appDir, const std::vector<std::string>& args) {
    bool force = false, ifMissing = false;
    for (const auto& a : args) {
        if (a == "--force")
            force = true;
        else if (a == "--if-missing") // used by the build: fill in what is absent, quietly
            ifMissing = true;
        else
            return usage("unknown option for init: " + a);
    }
    std::error_code ec;
    fs::create_directories(appDir, ec);
    const AppFolderLock lock = AppFolderLock::acquire(appDir);
    prepareFolder(appDir);
    // A catalogue file that is there but is no regular file is neither kept nor replaced: the folder would
    // be left without a catalogue.
    for (auto name : {catalogue::kArticleFile, catalogue::kTopicFile}) {
        int err = 0;
        const fs::path file = appDir / name;
        const std::optional<platform::FileStatus> info = platform::statusOf(file, true, err);
        if (info && info->kind != platform::FileKind::Regular)
            throw FileError(notRegularFileMessage(file, info->kind, true));
    }
    if (force) catalogue::checkCatalogueReplaceable(appDir);
    if (!force && !ifMissing) {
        for (auto name : {catalogue::kArticleFile, catalogue::kTopicFile}) {
            std::error_code ec;
            if (fs::exists(appDir / name, ec)) {
                std::cerr << "marovex-cli: " << platform::pathToUtf8(appDir / name)
                          << " already exists; use --force to replace it with an empty table\n";
                return kError;
            }
        }
    }
    for (const auto& written : catalogue::createEmptyCatalogue(appDir, force))
        if (!ifMissing) std::cerr << "created " << platform::pathToUtf8(written) << "\n";
    warnUnreadableSettings(appDir);
    return kOk;
}

int runIndex(const fs::path& appDir, const std::vector<std::string>& args) {
    bool full = false;
    for (const auto& a : args) {
        if (a == "--full")
            full = true;
        else
            return usage("unknown option for index: " + a);
    }
    // Settings are read as the application reads them: the archive folder and switches from the file,
    // the edition prefixes from the settings record.
    SettingsRecord rec;
    loadSettings(appDir, rec);
    ArchiveAccess access;
    readAccess(appDir, access);
    indexer::IndexSettings settings;
    settings.archiveFolder = access.folder;
    settings.enabled = {access.gold, access.release, access.plain};
    settings.prefixes = rec.name_kelvra;

    if (const Message refused = indexer::checkArchiveFolder(settings.archiveFolder); !refused.empty()) {
        std::cerr << "marovex-cli: " << refused.english() << "\n";
        return kError;
    }

    const AppFolderLock lock = AppFolderLock::acquire(appDir);
    prepareFolder(appDir);
    // Refused now rather than after the whole run.
    catalogue::checkCatalogueReplaceable(appDir);
    RecordTable articles, topics;
    catalogue::openArticleTable(articles, appDir / catalogue::kArticleFile,
                                [](const std::string& m) { std::cerr << "marovex-cli: " << m << "\n"; });
    catalogue::openTopicTable(topics, appDir / catalogue::kTopicFile);

    const bool terminal = platform::stderrIsTerminal();
    const int total = terminal ? indexer::countIssuesToIndex(articles, settings, full) : 0;
    int done = 0;
    indexer::IndexReports reports;
    reports.progress = [&](const std::string& name) {
        ++done;
        if (!terminal) {
            std::cerr << name << "\n";
            return;
        }
        constexpr int width = 30;
        const int filled = total > 0 ? std::min(width, done * width / total) : 0;
        std::cerr << "\r[" << std::string(size_t(filled), '#') << std::string(size_t(width - filled), ' ')
                  << "] " << done << "/" << total << " " << name << "\x1b[K" << std::flush;
    };

    // Ctrl+C asks the run to stop like the Stop button: the issue in hand is finished and everything is
    // kept, so the interrupt stays deferred until the catalogue is written.
    std::atomic<bool> stop{false};
    const cli::InterruptDeferral interrupts(stop);
    const indexer::IndexResult result = indexer::runIndexing(articles, topics, settings, full, stop, reports);
    if (terminal && done > 0) std::cerr << "\n";

    const int rows = articles.rowCount();
    const int topicRows = topics.rowCount();
    // After an error the run has left the tables as they should be kept (see runIndexing); only what
    // changed is written, both files as one change.
    catalogue::closeCatalogue(articles, topics);
    if (!result.completed && full) {
        std::cerr << "Ended by an error: the catalogue was kept as it was (" << rows << " articles and "
                  << topicRows << " topics)\n";
    } else {
        std::cerr << (result.completed ? (result.stopped ? "Stopped: " : "Done: ")
                                       : "Ended by an error: issues read before it were kept: ")
                  << result.issues << " issues read, " << result.rowsAdded
                  << " articles added; the catalogue holds " << rows << " articles and " << topicRows
                  << " topics\n";
    }
    if (!result.completed) {
        std::cerr << "marovex-cli: " << result.error.english() << "\n";
        return kError;
    }
    return kOk;
}

// The order and filter the application shows the article table in at start-up: nothing without a settings
// file; otherwise the saved sort column and filter when "state_save" is on, the standard order when not.
void applyStartupView(const fs::path& appDir, RecordTable& articles, RecordTable& topics) {
    const auto iniFile = settingsFilePath(appDir);
    std::error_code ec;
    if (!fs::exists(iniFile, ec)) return;
    const IniFile ini(iniFile);
    if (!settings::read(ini, settings::keys::state_save)) {
        articles.setSortKeys(catalogue::kStandardOrder);
        return;
    }
    std::string column = settings::read(ini, settings::keys::state_index);
    if (column.size() > settings::keys::kStateIndexLength) column.resize(settings::keys::kStateIndexLength);
    if (settings::read(ini, settings::keys::state_filter)) {
        const auto topicFile = appDir / catalogue::kTopicFile;
        catalogue::openTopicTable(topics, topicFile, catalogue::catalogueFileForReading(topicFile));
        catalogue::switchFilter(articles, *catalogue::bindTopicFilter(articles, topics), true);
    }
    catalogue::restoreSortColumn(articles, column);
}

int runDump(const fs::path& appDir, const std::vector<std::string>& args) {
    std::string table = "articles", format = "jsonl", order = "natural";
    for (size_t i = 0; i < args.size(); ++i) {
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        if (args[i] == "--table") {
            if (!value(table)) return usage("--table needs a value");
        } else if (args[i] == "--format") {
            if (!value(format)) return usage("--format needs a value");
        } else if (args[i] == "--order") {
            if (!value(order)) return usage("--order needs a value");
        } else {
            return usage("unknown option for dump: " + args[i]);
        }
    }
    if (table != "articles" && table != "topics") return usage("--table must be articles or topics");
    if (format != "jsonl" && format != "csv") return usage("--format must be jsonl or csv");
    if (order != "natural" && order != "view") return usage("--order must be natural or view");

    const bool readsSettings = table == "articles" && order == "view";
    if (!readsSettings) warnUnreadableSettings(appDir);
    RecordTable t, filterTopics;
    // Reading needs no lock and changes nothing; a pair replacement that was decided but not finished is
    // read as its new files.
    if (table == "articles") {
        const auto file = appDir / catalogue::kArticleFile;
        catalogue::openArticleTable(t, file, {}, catalogue::catalogueFileForReading(file));
        t.setSortKeys(catalogue::kNaturalOrder);
        if (readsSettings) applyStartupView(appDir, t, filterTopics);
    } else {
        const auto file = appDir / catalogue::kTopicFile;
        catalogue::openTopicTable(t, file, catalogue::catalogueFileForReading(file));
        if (order == "natural") t.setSortKeys(catalogue::kNaturalOrder);
    }
    // The rows' bytes as they are: CSV's CR LF is written by the dump itself.
    platform::binaryStandardOutput();
    dumpTable(t, format == "csv" ? DumpFormat::Csv : DumpFormat::Jsonl, std::cout);
    t.discard();
    std::cout.flush();
    return std::cout ? kOk : kError;
}

} // namespace

void prepareFolder(const fs::path& appDir) {
    if (const Message note = catalogue::prepareFolderForWriting(appDir); !note.empty())
        std::cerr << "marovex-cli: " << note.english() << "\n";
}

int main(int argc, char** argv) {
    platform::prepareConsole();
    const std::vector<std::string> args = platform::commandLineArguments(argc, argv);
    fs::path appDir;
    size_t i = 0;
    if (i < args.size() && args[i] == "--app-dir") {
        if (i + 1 >= args.size()) return usage("--app-dir needs a folder");
        appDir = platform::pathFromUtf8(args[i + 1]);
        i += 2;
    } else if (i < args.size() && args[i].rfind("--app-dir=", 0) == 0) {
        appDir = platform::pathFromUtf8(std::string_view(args[i]).substr(10));
        ++i;
    }
    if (appDir.empty()) appDir = executableFolder(argv[0]);
    if (i >= args.size()) return usage("no command given");
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + long(i) + 1, args.end());
    try {
        if (command == "init") return runInit(appDir, rest);
        if (command == "dump") return runDump(appDir, rest);
        if (command == "index") return runIndex(appDir, rest);
        if (command == "search") return runSearch(appDir, rest);
        if (command == "--help" || command == "-h") {
            std::cout << kUsageText;
            return kOk;
        }
        return usage("unknown command: " + command);
    } catch (const std::exception& e) {
        std::cerr << "marovex-cli: " << e.what() << "\n";
        return kError;
    }
}
