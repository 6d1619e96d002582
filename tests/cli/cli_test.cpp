#include "base/applock.h"
#include "catalogue/catalogue.h"
#include "archivegen/archivegen.h"
#include "support/clirun.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <cstdio>
#include <random>
#include <set>
#include <thread>
#if !defined(_WIN32)
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace marovex;
using marovex::test::TempDir;

namespace {

using test::CliRun;
constexpr auto cli = test::runCli;

std::string appDir(const TempDir& dir) { return "--app-dir " + (dir / "app").string(); }

TEST(Cli, InitMakesEmptyTablesAndRefusesToReplaceThemWithoutForce) {
    TempDir dir;
    CliRun r = cli(dir, appDir(dir) + " init");
    ASSERT_EQ(r.status, 0) << r.err;
    RecordTable t;
    catalogue::openArticleTable(t, dir / "app" / "mvx.dat", {});
    EXPECT_EQ(t.rowCount(), 0);
    t.append();
    t.setText("Statia", "keep me");
    t.post();
    t.close();

    r = cli(dir, appDir(dir) + " init");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("mvx.dat"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    t.open();
    EXPECT_EQ(t.rowCount(), 1);
    t.discard();

    r = cli(dir, appDir(dir) + " init --force");
    EXPECT_EQ(r.status, 0) << r.err;
    t.open();
    EXPECT_EQ(t.rowCount(), 0);
}

TEST(Cli, DumpWritesJsonLinesAndCsvInNaturalOrViewOrder) {
    TempDir dir;
    ASSERT_EQ(cli(dir, appDir(dir) + " init").status, 0);
    RecordTable t;
    catalogue::openArticleTable(t, dir / "app" / "mvx.dat", {});
    for (int i : {2, 1}) {
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Type", i);
        t.setText("Number", catalogue::padIssueNumber("7"));
        t.setText("Statia", i == 2 ? "Статья \"в кавычках\", с запятой" : "Первая");
        t.setInt("Find", 0);
        t.setInt("Npp", i);
        t.post();
    }
    t.close();

    CliRun r = cli(dir, appDir(dir) + " dump");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"Kod\":0,\"Izb1\":null,\"Izb\":null,\"Type\":2,\"Number\":\"  7\",\"Tem\":null,"
              "\"Statia\":\"Статья \\\"в кавычках\\\", с запятой\",\"Find\":0,\"Link\":null,\"Npp\":2}\n"
              "{\"Kod\":0,\"Izb1\":null,\"Izb\":null,\"Type\":1,\"Number\":\"  7\",\"Tem\":null,"
              "\"Statia\":\"Первая\",\"Find\":0,\"Link\":null,\"Npp\":1}\n");

    // The view order is what the application shows at start-up: natural before any settings file, the
    // standard order without "state_save", the saved order and filter with it.
    r = cli(dir, appDir(dir) + " dump --order view --format csv");
    EXPECT_NE(r.out.find("Статья"), std::string::npos);
    EXPECT_LT(r.out.find("Статья"), r.out.find("Первая"));
    test::writeFile(dir / "app" / "mvx.ini", "[interface]\r\nstate_index=Statia\r\n");
    r = cli(dir, appDir(dir) + " dump --order view --format csv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Kod,Izb1,Izb,Type,Number,Tem,Statia,Find,Link,Npp\r\n"
                     "0,,,1,\"  7\",,Первая,0,,1\r\n"
                     "0,,,2,\"  7\",,\"Статья \"\"в кавычках\"\", с запятой\",0,,2\r\n");
    test::writeFile(dir / "app" / "mvx.ini", "[interface]\r\nstate_save=1\r\nstate_index=Statia\r\nstate_filter=1\r\n");
    r = cli(dir, appDir(dir) + " dump --order view --format csv");
    EXPECT_EQ(r.out, "Kod,Izb1,Izb,Type,Number,Tem,Statia,Find,Link,Npp\r\n") << "no topic row keeps a row in view";
    test::writeFile(dir / "app" / "mvx.ini", "[interface]\r\nstate_save=1\r\nstate_index=Statia\r\n");
    r = cli(dir, appDir(dir) + " dump --order view --format csv");
    EXPECT_LT(r.out.find("Первая"), r.out.find("Статья")) << "А before С by title";

    r = cli(dir, appDir(dir) + " dump --table topics");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

void writeSettings(const TempDir& dir, const std::filesystem::path& archive) {
    test::writeFile(dir / "app" / "mvx.ini", "[options]\r\ndbdir=" + archive.string() +
                                                 "\r\nkelvra GOLD=1\r\nkelvra Release=1\r\nkelvra=1\r\n");
}

int articleRows(const TempDir& dir) {
    RecordTable t;
    catalogue::openArticleTable(t, dir / "app" / "mvx.dat", {});
    return t.rowCount();
}

// A generated archive and an empty application folder whose settings name it.
gen::GenSummary prepareApp(const TempDir& dir, int issues, int articlesPerIssue) {
    gen::GenOptions options;
    options.out = dir / "archive";
    options.issues = issues;
    options.articlesPerIssue = articlesPerIssue;
    options.contentsOnly = true;
    const auto summary = gen::GenerateArchive(options);
    EXPECT_EQ(cli(dir, appDir(dir) + " init").status, 0);
    writeSettings(dir, options.out);
    return summary;
}

TEST(Cli, IndexBuildsTheCatalogueThatDumpShows) {
    TempDir dir;
    const auto summary = prepareApp(dir, 6, 20);

    CliRun r = cli(dir, appDir(dir) + " index");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("KELVRA-GOLD"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Done: 6 issues read"), std::string::npos) << r.err;
    EXPECT_EQ(articleRows(dir), int(summary.articles));

    r = cli(dir, appDir(dir) + " index");
    EXPECT_NE(r.err.find("Done: 0 issues read, 0 articles added"), std::string::npos) << r.err;
    r = cli(dir, appDir(dir) + " dump --table topics --format csv");
    EXPECT_EQ(r.out.rfind("Tem,Key\r\n", 0), 0u);
    EXPECT_NE(r.out.find(",true"), std::string::npos);
}

TEST(Cli, InterruptFinishesTheIssueInHandAndWritesTheCatalogue) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::signals;
#else
    TempDir dir;
    const auto summary = prepareApp(dir, 300, 30);

    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(err[1], STDERR_FILENO);
        ::close(err[0]);
        const std::string app = (dir / "app").string();
        ::execl(MAROVEX_CLI_PATH, MAROVEX_CLI_PATH, "--app-dir", app.c_str(), "index", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(err[1]);
    // Interrupt as soon as the first issue is reported.
    std::string output;
    char c;
    while (::read(err[0], &c, 1) == 1) {
        output += c;
        if (c == '\n') break;
    }
    ::kill(child, SIGINT);
    char buffer[4096];
    for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;) output.append(buffer, size_t(n));
    ::close(err[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("Stopped: "), std::string::npos) << output;
    const int rows = articleRows(dir);
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, int(summary.articles));
    // Whole issues only: a new-issues run completes the catalogue to exactly what a full run gives.
    ASSERT_EQ(cli(dir, appDir(dir) + " index").status, 0);
    EXPECT_EQ(articleRows(dir), int(summary.articles));
#endif
}

std::unique_ptr<test::Child> startCli(const TempDir& dir, const std::vector<std::string>& args,
                                      const char* extraEnv = nullptr, const std::filesystem::path& errors = {}) {
    std::vector<std::string> all = {MAROVEX_CLI_PATH, "--app-dir", (dir / "app").string()};
    all.insert(all.end(), args.begin(), args.end());
    return std::make_unique<test::Child>(all, errors, extraEnv);
}

// What a reader sees of the catalogue pair: the dumps of both tables.
std::string pairSeen(const TempDir& dir) {
    const CliRun articles = cli(dir, appDir(dir) + " dump");
    const CliRun topics = cli(dir, appDir(dir) + " dump --table topics");
    if (articles.status != 0 || topics.status != 0) return "unreadable: " + articles.err + topics.err;
    return articles.out + "\n--\n" + topics.out;
}

TEST(Cli, AKilledFullRunLeavesTheOldPairOrTheNewPairAndNoLeftovers) {
    TempDir dir;
    prepareApp(dir, 150, 30);
    ASSERT_EQ(cli(dir, appDir(dir) + " index --full").status, 0);
    const std::string oldPair = pairSeen(dir);
    const auto app = dir / "app";
    for (const char* f : {"mvx.dat", "subjects.dat"}) std::filesystem::copy_file(app / f, dir / f);
    auto restoreOld = [&] {
        for (const char* f : {"mvx.dat", "subjects.dat"}) {
            std::filesystem::remove(app / f); // MinGW's copy_file does not overwrite
            std::filesystem::copy_file(dir / f, app / f);
        }
    };
    // The new run indexes one edition only, so both of its tables differ from the old ones.
    test::writeFile(app / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() + "\r\nkelvra GOLD=0\r\nkelvra Release=1\r\nkelvra=0\r\n");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(cli(dir, appDir(dir) + " index --full").status, 0);
    const auto runTime = std::chrono::steady_clock::now() - started;
    const std::string newPair = pairSeen(dir);
    ASSERT_NE(oldPair, newPair);

    auto leftovers = [&] {
        std::vector<std::string> extra;
        for (const auto& e : std::filesystem::directory_iterator(app)) {
            const std::string name = e.path().filename().string();
            if (name != "mvx.dat" && name != "subjects.dat" && name != "mvx.ini") extra.push_back(name);
        }
        return extra;
    };
    std::mt19937 random(20261209);
    int sawOld = 0, sawNew = 0;
    for (int trial = 0; trial < 24; ++trial) {
        restoreOld();
        // The first trial is killed right after the first file of the pair has been replaced.
        const auto child = startCli(dir, {"index", "--full"}, trial == 0 ? "MAROVEX_TEST_KILL_AFTER_FIRST_RENAME=1" : nullptr);
        ASSERT_TRUE(child->started());
        if (trial > 0) {
            std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::microseconds>(
                runTime * std::uniform_real_distribution<double>(0.0, 1.3)(random)));
            child->kill();
        }
        child->wait();
        const std::string seen = pairSeen(dir);
        ASSERT_TRUE(seen == oldPair || seen == newPair) << "trial " << trial << ": " << seen.substr(0, 300);
        (seen == oldPair ? sawOld : sawNew)++;
        if (trial == 0) {
            EXPECT_EQ(seen, newPair) << "the decided change is the one seen";
        }
        // The next writer completes or discards what the killed one left, and removes its leftovers.
        ASSERT_EQ(cli(dir, appDir(dir) + " index").status, 0);
        EXPECT_EQ(pairSeen(dir), seen) << "trial " << trial;
        EXPECT_EQ(leftovers(), std::vector<std::string>{}) << "trial " << trial;
    }
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
}

TEST(Cli, OneWriterAtATimeAndARefusedFolderChangesNothing) {
    TempDir dir;
    prepareApp(dir, 300, 30);
    // The second starts once the first has indexed an issue, and so holds the folder, however busy the
    // machine is.
    const auto progress = dir / "first.err";
    const auto first = startCli(dir, {"index", "--full"}, nullptr, progress);
    auto started = [&] {
        std::error_code ec;
        const auto size = std::filesystem::file_size(progress, ec);
        return !ec && size > 0;
    };
    for (int i = 0; i < 3000 && !started(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto second = startCli(dir, {"index", "--full"});
    EXPECT_EQ(std::multiset<int>({first->wait(), second->wait()}), std::multiset<int>({0, 1}));
    const int rows = articleRows(dir);
    EXPECT_GT(rows, 0);

    // While the folder is held, the refusal names it and the holder.
    {
        const AppFolderLock held = AppFolderLock::acquire(dir / "app");
        const CliRun r = cli(dir, appDir(dir) + " index");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find((dir / "app").string() + ": the application folder is in use by"), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("marovex_core_tests"), std::string::npos) << r.err;
        EXPECT_EQ(cli(dir, appDir(dir) + " dump --table topics").status, 0) << "reading needs no lock";
    }

    // A missing archive folder: exit 1, the folder named, the catalogue untouched.
    const std::string before = test::readFile(dir / "app" / "mvx.dat");
    writeSettings(dir, dir / "no-such-archive");
    const CliRun r = cli(dir, appDir(dir) + " index --full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find((dir / "no-such-archive").string() + ": the archive folder does not exist"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::readFile(dir / "app" / "mvx.dat"), before);
}

TEST(Cli, WrongUsageAndDamagedFilesGiveTheirExitStatus) {
    TempDir dir;
    EXPECT_EQ(cli(dir, appDir(dir)).status, 2);
    EXPECT_EQ(cli(dir, appDir(dir) + " frobnicate").status, 2);
    EXPECT_EQ(cli(dir, appDir(dir) + " dump --format xml").status, 2);
    EXPECT_EQ(cli(dir, appDir(dir) + " dump --table").status, 2);
    EXPECT_EQ(cli(dir, "--app-dir").status, 2);

    CliRun r = cli(dir, appDir(dir) + " dump");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("file not found"), std::string::npos) << r.err;

    test::writeFile(dir / "app" / "mvx.dat", std::string(3000, '\x7f'));
    r = cli(dir, appDir(dir) + " dump");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find((dir / "app" / "mvx.dat").string()), std::string::npos) << r.err;
    EXPECT_EQ(test::readFile(dir / "app" / "mvx.dat"), std::string(3000, '\x7f'));
}

} // namespace
