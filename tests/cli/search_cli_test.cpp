#include "archivegen/archivegen.h"
#include "base/applock.h"
#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "search/fulltext.h"
#include "search/history.h"
#include "search/textstore.h"
#include "support/clirun.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

using namespace marovex;
using marovex::test::TempDir;

namespace {

using SearchRun = test::CliRun;

SearchRun searchCli(const TempDir& dir, const std::string& args) {
    return test::runCli(dir, "--app-dir " + (dir / "app").string() + " " + args);
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
    EXPECT_EQ(readSearchHistory(dir / "app" / "search.dat"), std::vector<std::string>{"мир"});
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

TEST(CliSearch, UnreadableFilesAreNamedAfterTheResultAndTheSearchSucceeds) {
    TempDir dir;
    prepare(dir);
    const auto pub = dir / "archive" / "Kelvra-Gold7" / "pub";
    std::filesystem::remove(pub / "b.htm");
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::symlinks;
#else
    std::filesystem::create_symlink("b.htm", pub / "b.htm"); // can never be read

    const SearchRun r = searchCli(dir, "search --scope texts мир");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(marks(dir), (std::vector<int>{-1, 0, -1}));
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    const size_t found = r.err.find("Found: 2\n"), named = r.err.find("1 article file could not be read");
    ASSERT_NE(found, std::string::npos) << r.err;
    ASSERT_NE(named, std::string::npos) << r.err;
    EXPECT_LT(found, named);
    EXPECT_NE(r.err.find((pub / "b.htm").string(), named), std::string::npos) << r.err;
#endif
}

// A generated archive indexed and searched by the companion: every file a row links to is found, those whose
// names are Windows-1251 bytes on disk too.
TEST(CliSearch, AGeneratedArchiveHasNoFileItCannotFindNotEvenOneNamedInWindows1251) {
    TempDir dir;
    gen::GenOptions options;
    options.out = dir / "archive";
    options.issues = 3;
    options.articlesPerIssue = 5;
    gen::GenerateArchive(options);
    ASSERT_EQ(searchCli(dir, "init").status, 0);
    test::writeFile(dir / "app" / "mvx.ini", "[options]\r\ndbdir=" + options.out.string() +
                                                 "\r\nkelvra GOLD=1\r\nkelvra Release=1\r\nkelvra=1\r\n");
    ASSERT_EQ(searchCli(dir, "index").status, 0);
    for (const char* word : gen::kRawNameWords) {
        const SearchRun r = searchCli(dir, std::string("search --scope texts ") + word);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("Found: 3\n"), std::string::npos) << r.err; // one in each edition
        EXPECT_EQ(r.err.find("could not be read"), std::string::npos) << r.err;
    }
}

// Searches killed at random moments, while the store is filled, brought up to date, or made anew after
// damage, never leave a store whose answer differs from the plain walk's.
TEST(CliSearch, AKilledSearchNeverLeavesAStoreThatAnswersWrongly) {
    TempDir dir;
    ASSERT_EQ(searchCli(dir, "init").status, 0);
    test::writeFile(dir / "app" / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() + "\r\n");
    std::mt19937 rng(21);
    const std::vector<std::string> pieces = {"мир ", "война ", "<b>",   "</b>", "&nbsp;", "мирный ",
                                             "<p>",  "труд ",  "&amp;", "МИР,", "w",      "a "};
    auto randomPage = [&] {
        std::string page;
        for (int k = 30 + int(rng() % 400); k > 0; --k)
            page += pieces[rng() % pieces.size()];
        return cp1251::fromUtf8(page);
    };
    std::vector<std::filesystem::path> files;
    {
        RecordTable t;
        catalogue::openArticleTable(t, dir / "app" / "mvx.dat", {});
        for (int i = 0; i < 400; ++i) {
            const std::string number = std::to_string(1 + i % 8), link = std::to_string(i) + ".htm";
            files.push_back(dir / "archive" / ("Kelvra-Gold" + number) / "pub" / link);
            std::filesystem::create_directories(files.back().parent_path());
            test::writeFile(files.back(), randomPage());
            t.append();
            t.setInt("Kod", 0);
            t.setInt("Type", 1);
            t.setText("Number", catalogue::padIssueNumber(number));
            t.setText("Statia", "Статья");
            t.setText("Link", link);
            t.setInt("Find", 0);
            t.setInt("Npp", i);
            t.post();
        }
        t.close();
    }
    // The store keeps only texts of files that have not changed for a while.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));

    const std::vector<std::string> words = {"мир", "мирный", "мир война", "а", "труд"};
    // The plain walk's marks, on a copy of the catalogue.
    auto expected = [&](const std::string& word) {
        std::filesystem::create_directories(dir / "ref");
        std::filesystem::remove(dir / "ref" / "mvx.dat"); // MinGW's copy_file does not overwrite
        std::filesystem::copy_file(dir / "app" / "mvx.dat", dir / "ref" / "mvx.dat");
        RecordTable t;
        catalogue::openArticleTable(t, dir / "ref" / "mvx.dat", {});
        search::FullTextJob job;
        job.text = word;
        job.archiveFolder = (dir / "archive").string();
        job.prefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
        job.useStore = false;
        std::atomic<bool> stop{false};
        EXPECT_TRUE(search::runFullTextSearch(t, job, stop, {}).error.empty());
        t.setSortKeys("");
        std::vector<int> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.asInt("Find"));
        return out;
    };
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(searchCli(dir, "search --scope texts мир").status, 0);
    const auto clean = std::chrono::steady_clock::now() - started;

    const std::filesystem::path store = dir / "app" / std::string(search::kTextStoreFile);
    int killed = 0;
    // The kill comes at a random moment of a search's time; a search that ended before it shortens the
    // moments to come, so that a loaded machine still has most searches killed.
    double reach = 1.0;
    for (int round = 0; round < 64 && (round < 16 || killed < 5); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        if (round % 4 == 0) std::filesystem::remove(store); // filled anew
        if (round % 4 == 1 && std::filesystem::exists(store)) {
            std::string bytes = test::readFile(store);
            bytes[rng() % bytes.size()] ^= 0x5A;
            test::writeFile(store, bytes);
        }
        if (round % 4 == 2) // changed texts are read again
            for (int k = 0; k < 20; ++k)
                test::writeFile(files[rng() % files.size()], randomPage());
        const std::string word = words[rng() % words.size()];
        test::Child search({MAROVEX_CLI_PATH, "--app-dir", (dir / "app").string(), "search", "--scope", "texts", word});
        ASSERT_TRUE(search.started());
        std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::microseconds>(
            clean * reach * double(rng() % 1000) / 1000.0));
        search.kill();
        const bool wasKilled = search.wait() == -1;
        killed += wasKilled;
        if (!wasKilled) reach /= 2;

        const std::string check = words[rng() % words.size()];
        const SearchRun r = searchCli(dir, "search --scope texts '" + check + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(marks(dir), expected(check)) << check;
    }
    EXPECT_GE(killed, 5); // searches were killed before they ended
    // The last search left a whole store and no temporary file.
    EXPECT_EQ(test::readFile(store).substr(0, 8), "MVXTEXTS");
    for (const auto& e : std::filesystem::directory_iterator(dir / "app"))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
}
