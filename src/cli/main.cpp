// marovex-cli: the command-line companion. It works on the same files with the same core as the application.
#include "catalogue/catalogue.h"
#include "catalogue/tabledump.h"

#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace marovex;

namespace {

constexpr int kOk = 0, kError = 1, kUsage = 2;

const char* const kUsageText =
    "usage: marovex-cli [--app-dir DIR] init [--force]\n"
    "       marovex-cli [--app-dir DIR] dump [--table articles|topics] [--format jsonl|csv] [--order natural|view]\n";

int usage(const std::string& problem) {
    std::cerr << "marovex-cli: " << problem << "\n" << kUsageText;
    return kUsage;
}

fs::path executableFolder(const char* argv0) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) self = fs::absolute(argv0, ec);
    return self.parent_path();
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
    if (!force && !ifMissing) {
        for (auto name : {catalogue::kArticleFile, catalogue::kTopicFile}) {
            std::error_code ec;
            if (fs::exists(appDir / name, ec)) {
                std::cerr << "marovex-cli: " << (appDir / name).string()
                          << " already exists; use --force to replace it with an empty table\n";
                return kError;
            }
        }
    }
    std::error_code ec;
    fs::create_directories(appDir, ec);
    for (const auto& written : catalogue::createEmptyCatalogue(appDir, force))
        if (!ifMissing) std::cerr << "created " << written.string() << "\n";
    return kOk;
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

    RecordTable t;
    if (table == "articles") {
        catalogue::openArticleTable(t, appDir / catalogue::kArticleFile, {});
        t.setSortKeys(order == "view" ? catalogue::kStandardOrder : catalogue::kNaturalOrder);
    } else {
        catalogue::openTopicTable(t, appDir / catalogue::kTopicFile);
        if (order == "natural") t.setSortKeys(catalogue::kNaturalOrder);
    }
    dumpTable(t, format == "csv" ? DumpFormat::Csv : DumpFormat::Jsonl, std::cout);
    t.discard();
    std::cout.flush();
    return std::cout ? kOk : kError;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    fs::path appDir;
    size_t i = 0;
    if (i < args.size() && args[i] == "--app-dir") {
        if (i + 1 >= args.size()) return usage("--app-dir needs a folder");
        appDir = args[i + 1];
        i += 2;
    } else if (i < args.size() && args[i].rfind("--app-dir=", 0) == 0) {
        appDir = args[i].substr(10);
        ++i;
    }
    if (appDir.empty()) appDir = executableFolder(argv[0]);
    if (i >= args.size()) return usage("no command given");
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + long(i) + 1, args.end());
    try {
        if (command == "init") return runInit(appDir, rest);
        if (command == "dump") return runDump(appDir, rest);
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
