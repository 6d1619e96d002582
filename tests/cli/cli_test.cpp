#include "catalogue/catalogue.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

using namespace marovex;
using marovex::test::TempDir;

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun cli(const TempDir& dir, const std::string& args) {
    const auto outFile = dir / "cli.out", errFile = dir / "cli.err";
    const std::string command = std::string(MAROVEX_CLI_PATH) + " " + args + " >" + outFile.string() + " 2>" +
                                errFile.string() + " </dev/null";
    const int raw = std::system(command.c_str());
    CliRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::readFile(outFile), test::readFile(errFile)};
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return r;
}

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

    r = cli(dir, appDir(dir) + " dump --order view --format csv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Kod,Izb1,Izb,Type,Number,Tem,Statia,Find,Link,Npp\r\n"
                     "0,,,1,\"  7\",,Первая,0,,1\r\n"
                     "0,,,2,\"  7\",,\"Статья \"\"в кавычках\"\", с запятой\",0,,2\r\n");

    r = cli(dir, appDir(dir) + " dump --table topics");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
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
