#include "base/applock.h"
#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "search/history.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/wait.h>

using namespace marovex;
using marovex::test::TempDir;

namespace {

struct SearchRun {
    int status;
    std::string out, err;
};

SearchRun searchCli(const TempDir& dir, const std::string& args) {
    const auto outFile = dir / "cli.out", errFile = dir / "cli.err";
    const std::string command = std::string(MAROVEX_CLI_PATH) + " --app-dir " + (dir / "app").string() + " " +
                                args + " >" + outFile.string() + " 2>" + errFile.string() + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::readFile(outFile), test::readFile(errFile)};
}

std::vector<int> marks(const TempDir& dir) {
    RecordTable t;
    catalogue::openArticleTable(t, dir / "app" / "mvx.dat", {});
    std::vector<int> out;
    for (t.first(); !t.eof(); t.next())
        out.push_back(t.asInt("Find"));
    return out;
}

// An application folder whose catalogue lists three articles of issue 7 of the Gold edition.
void prepare(const TempDir& dir) {
    ASSERT_EQ(searchCli(dir, "init").status, 0);
    test::writeFile(dir / "app" / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() + "\r\n");
    const auto pub = dir / "archive" / "Kelvra-Gold7" / "pub";
    std::filesystem::create_directories(pub);
    test::writeFile(pub / "a.htm", cp1251::fromUtf8("<p>Война и мир</p>"));
    test::writeFile(pub / "b.htm", cp1251::fromUtf8("мирный договор"));
    RecordTable t;
    catalogue::openArticleTable(t, dir / "app" / "mvx.dat", {});
    int n = 0;
    for (const char* link : {"a.htm", "b.htm", "c.htm"}) {
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Type", 1);
        t.setText("Number", "  7");
        t.setText("Statia", n == 2 ? "Про мир" : "Статья");
        t.setText("Link", link);
        t.setInt("Find", 0);
        t.setInt("Npp", n++);
        t.post();
    }
    t.close();
}

} // namespace

TEST(CliSearch, MarksRowsPrintsThemAndKeepsTheHistory) {
    TempDir dir;
    prepare(dir);

    SearchRun r = searchCli(dir, "search --scope texts --words '  мир  '");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Found: 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Kelvra-Gold 7"), std::string::npos) << r.err; // progress, one line per issue
    EXPECT_EQ(marks(dir), (std::vector<int>{-1, 0, -1}));
    EXPECT_NE(r.out.find("\"Link\":\"a.htm\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Link\":\"c.htm\""), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    EXPECT_EQ(readSearchHistory(dir / "app" / "search.dat"),
              std::vector<std::string>{cp1251::fromUtf8("мир")});
    EXPECT_NE(test::readFile(dir / "app" / "mvx.ini").find("text_search=" + cp1251::fromUtf8("мир")),
              std::string::npos);

    r = searchCli(dir, "search мир");
    EXPECT_NE(r.err.find("Found: 1"), std::string::npos) << r.err;
    EXPECT_EQ(marks(dir), (std::vector<int>{0, 0, -1}));
    EXPECT_EQ(readSearchHistory(dir / "app" / "search.dat").size(), 1u); // the newest entry is not repeated
}

TEST(CliSearch, WrongUsageAndASecondWriterAreRefused) {
    TempDir dir;
    prepare(dir);
    EXPECT_EQ(searchCli(dir, "search").status, 2);
    EXPECT_EQ(searchCli(dir, "search --scope all мир").status, 2);
    EXPECT_EQ(searchCli(dir, "search мир труд").status, 2);
    EXPECT_EQ(searchCli(dir, "search --fast мир").status, 2);

    const AppFolderLock lock = AppFolderLock::acquire(dir / "app");
    const SearchRun r = searchCli(dir, "search мир");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find((dir / "app").string()), std::string::npos) << r.err;
    EXPECT_EQ(marks(dir), (std::vector<int>{0, 0, 0}));
}
