#include "app/mainsession.h"
#include "catalogue/catalogue.h"
#include "search/history.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace marovex;
using marovex::test::TempDir;

namespace {

// What start-up asked of the window, as steps; and what the window holds at the close.
struct FakeWindow {
    std::vector<std::string> calls, information, errors, historyList;
    std::map<std::string, std::string> texts;
    bool searchEndEnabled = false;
    int selected = -2;

    void show(const Startup& s) {
        if (s.catalogueOpen) calls.push_back("preparePane");
        if (s.settings) calls.push_back(s.settings->viewPane ? "pane on" : "pane off");
        if (!s.texts.empty()) calls.push_back("text");
        for (const TextAssignment& a : s.texts)
            texts[std::string(a.component)] = a.text;
        if (s.state) calls.push_back("restoreState");
        if (s.history) {
            calls.push_back("setHistory");
            historyList = *s.history;
        }
        searchEndEnabled = s.searchResultsEnd;
        if (s.selectFirstHistoryEntry) {
            calls.push_back("select0");
            selected = 0;
        }
        for (const Notice& n : s.notices)
            (n.kind == Notice::Kind::Error ? errors : information).push_back(n.message.english());
    }
};

void startUp(MainSession& s, FakeWindow& w) {
    w.show(s.startUp());
}

// The close as the window asks for it; true when the run may end.
bool shutDown(MainSession& s, FakeWindow& w) {
    Closing closing;
    closing.history = w.historyList;
    const auto closed = s.shutDown(closing);
    for (const Message& m : closed.notes)
        w.errors.push_back(m.english());
    if (closed.error) w.errors.push_back(closed.error->english());
    return !closed.error;
}

struct ArticleSpec {
    std::string title;
    std::optional<int> izb;
    int find = 0;
};

void makeCatalogue(const std::filesystem::path& dir, const std::vector<ArticleSpec>& rows) {
    std::vector<test::ArticleSpec> catalogueRows;
    for (const auto& r : rows) {
        test::ArticleSpec s{3, "1", "", r.title};
        s.kod = 0;
        s.izb1 = 0;
        s.izb = r.izb;
        s.find = r.find;
        catalogueRows.push_back(s);
    }
    test::WriteCatalogue(dir, catalogueRows);
}

std::map<std::string, std::string> snapshot(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        files[e.path().filename().string()] = test::readFile(e.path());
    return files;
}

std::optional<int> izbOf(const std::filesystem::path& dir, const std::string& title) {
    RecordTable t;
    catalogue::openArticleTable(t, dir / "mvx.dat", {});
    EXPECT_TRUE(t.locate("Statia", {title}));
    return t.isNull("Izb") ? std::nullopt : std::optional<int>(t.asInt("Izb"));
}

TEST(Startup, MissingArticleFileIsReportedAloneAndNothingIsWritten) {
    TempDir dir;
    const auto before = snapshot(dir.path());
    {
        MainSession s(dir.path());
        FakeWindow w;
        startUp(s, w);
        ASSERT_EQ(w.information.size(), 1u);
        EXPECT_EQ(w.information[0], "File not found : \r" + (dir / "mvx.dat").string());
        EXPECT_TRUE(s.startupFailed());
        EXPECT_TRUE(w.calls.empty()) << "later steps ran";
        EXPECT_TRUE(shutDown(s, w));
        EXPECT_TRUE(s.closeTopicTable().empty());
    }
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(Startup, MissingTopicFileIsReportedAndTheArticleFileIsNotRewritten) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", 5}});
    std::filesystem::remove(dir / "subjects.dat");
    const auto before = snapshot(dir.path());
    {
        MainSession s(dir.path());
        s.ini.state_save = true;
        FakeWindow w;
        startUp(s, w);
        ASSERT_EQ(w.information.size(), 1u);
        EXPECT_EQ(w.information[0], "File not found : \r" + (dir / "subjects.dat").string());
        EXPECT_TRUE(shutDown(s, w));
        s.closeTopicTable();
    }
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(Startup, DamagedCatalogueFileEndsTheRunLikeAMissingOne) {
    TempDir dir;
    makeCatalogue(dir.path(), {});
    test::writeFile(dir / "mvx.dat", "this is not a table");
    test::writeFile(dir / "search.dat", "old\r\n");
    const auto before = snapshot(dir.path());
    {
        MainSession s(dir.path());
        FakeWindow w;
        startUp(s, w);
        ASSERT_EQ(w.information.size(), 1u);
        EXPECT_NE(w.information[0].find((dir / "mvx.dat").string()), std::string::npos);
        EXPECT_TRUE(s.startupFailed());
        EXPECT_TRUE(shutDown(s, w));
        s.closeTopicTable();
    }
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(Startup, StepsRunInTheirOrder) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", std::nullopt}});
    writeSearchHistory(dir / "search.dat", {"first", "second"});
    test::writeFile(dir / "mvx.ini", "[options]\r\ndbdir=D:\\Kelvra\\\r\n[interface]\r\nlocal=test.lng\r\n"
                                     "select_browser=1\r\n");
    test::writeFile(dir / "Locale" / "test.lng", "[MVX Language File]\r\nLanguageName=Test\r\n5=Quit\r\n");
    MainSession s(dir.path());
    FakeWindow w;
    startUp(s, w);
    EXPECT_EQ(w.calls, (std::vector<std::string>{"preparePane", "pane on", "text", "restoreState",
                                                 "setHistory", "select0"}));
    EXPECT_EQ(w.texts["ElMenuItem9"], "Quit");
    EXPECT_EQ(s.archiveFolder, "D:\\Kelvra");
    EXPECT_EQ(s.ini.local, "test.lng");
    EXPECT_EQ(w.historyList, (std::vector<std::string>{"first", "second"}));
    EXPECT_FALSE(w.searchEndEnabled);
    EXPECT_TRUE(w.information.empty());
}

TEST(Startup, WithoutASettingsFileEverythingKeepsItsInitialState) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", std::nullopt}});
    MainSession s(dir.path());
    FakeWindow w;
    startUp(s, w);
    EXPECT_EQ(w.calls, (std::vector<std::string>{"preparePane", "select0"}));
    EXPECT_FALSE(s.ini.state_save);
    EXPECT_EQ(s.ini.select_browser, 0);
    EXPECT_EQ(s.archiveFolder, "");
}

TEST(Startup, ABadColourTextInTheSettingsIsReportedAndTheWindowOpens) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", 5}});
    test::writeFile(dir / "mvx.ini", "[interface]\r\ncolor_htm_fon=Blau\r\n");
    MainSession s(dir.path());
    FakeWindow w;
    startUp(s, w);
    ASSERT_EQ(w.errors.size(), 1u);
    EXPECT_NE(w.errors[0].find("Blau"), std::string::npos) << w.errors[0];
    EXPECT_FALSE(s.startupFailed());
    EXPECT_EQ(s.articles().asInt("Izb"), 5) << "the remaining steps were skipped";
}

TEST(Startup, AConversionErrorSkipsTheRestButTheWindowOpensAndClosesWithoutWritingOverWhatWasNotRead) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", 5}, {"b", std::nullopt}});
    // The grid's colour is read with the window's state, after the settings and the language.
    test::writeFile(dir / "mvx.ini", "[interface]\r\nstate_save=1\r\ncolor_table=Blau\r\nstate_filter=1\r\n");
    writeSearchHistory(dir / "search.dat", {"kept"});
    const auto before = snapshot(dir.path());
    {
        MainSession s(dir.path());
        FakeWindow w;
        startUp(s, w);
        ASSERT_EQ(w.errors.size(), 1u);
        EXPECT_NE(w.errors[0].find("Blau"), std::string::npos);
        EXPECT_EQ(w.calls, (std::vector<std::string>{"preparePane", "pane on"}));
        EXPECT_FALSE(s.articles().filtered());
        EXPECT_FALSE(s.startupFailed());
        EXPECT_EQ(s.articles().asInt("Izb"), 5)
            << "the remembered row is not restored after the failing step";
        // The close neither marks a second row nor writes the unread state and history over the files.
        EXPECT_TRUE(shutDown(s, w)) << "the window closes normally afterwards";
        EXPECT_TRUE(s.closeTopicTable().empty());
    }
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(Startup, ASearchMatchBecomesCurrentAndEnablesTheEndOfResults) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", std::nullopt}, {"b", std::nullopt, -1}, {"c", std::nullopt, -1}});
    MainSession s(dir.path());
    FakeWindow w;
    startUp(s, w);
    EXPECT_TRUE(w.searchEndEnabled);
    EXPECT_EQ(s.articles().asText("Statia"), "b");
}

TEST(Shutdown, TheRememberedRowComesBackWithItsFavouriteMark) {
    for (std::optional<int> mark : {std::optional<int>(-1), std::optional<int>(), std::optional<int>(0)}) {
        TempDir dir;
        makeCatalogue(dir.path(), {{"a", std::nullopt}, {"b", mark}, {"c", -1}});
        {
            test::writeFile(dir / "mvx.ini", "[interface]\r\nstate_save=1\r\n");
            MainSession s(dir.path());
            FakeWindow w;
            startUp(s, w);
            ASSERT_TRUE(s.articles().locate("Statia", {std::string("b")}));
            ASSERT_TRUE(shutDown(s, w));
            ASSERT_TRUE(s.closeTopicTable().empty());
        }
        EXPECT_EQ(izbOf(dir.path(), "b"), mark.value_or(0) + 5);
        {
            MainSession s(dir.path());
            FakeWindow w;
            startUp(s, w);
            EXPECT_EQ(s.articles().asText("Statia"), "b");
            EXPECT_EQ(s.articles().asInt("Izb") == -1, mark == -1);
            // Another row is current at this shutdown: only it carries the offset afterwards.
            ASSERT_TRUE(s.articles().locate("Statia", {std::string("a")}));
            EXPECT_TRUE(shutDown(s, w));
        }
        EXPECT_EQ(izbOf(dir.path(), "b").value_or(0), mark.value_or(0));
        EXPECT_EQ(izbOf(dir.path(), "a"), 5);
        EXPECT_EQ(izbOf(dir.path(), "c"), -1);
    }
}

TEST(Shutdown, WithoutStateSaveNoMarkChangesAndTheFileIsNotRewritten) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", std::nullopt}, {"b", -1}});
    const auto before = test::fileNumber(dir / "mvx.dat");
    {
        MainSession s(dir.path());
        FakeWindow w;
        startUp(s, w);
        s.articles().last();
        EXPECT_TRUE(shutDown(s, w));
    }
    EXPECT_EQ(test::fileNumber(dir / "mvx.dat"), before);
    EXPECT_EQ(izbOf(dir.path(), "b"), -1);
    EXPECT_EQ(izbOf(dir.path(), "a"), std::nullopt);
}

TEST(Startup, Izb5WinsOverIzb4) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"four", 4}, {"five", 5}});
    MainSession s(dir.path());
    FakeWindow w;
    startUp(s, w);
    EXPECT_EQ(s.articles().asText("Statia"), "five");
    EXPECT_EQ(s.articles().asInt("Izb"), 0);
    ASSERT_TRUE(s.articles().locate("Statia", {std::string("four")}));
    EXPECT_EQ(s.articles().asInt("Izb"), 4);
}

TEST(Shutdown, PendingEditIsStoredAndHistoryWrittenEvenWhenEmpty) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", std::nullopt}});
    {
        MainSession s(dir.path());
        FakeWindow w;
        startUp(s, w);
        s.articles().first();
        ASSERT_TRUE(s.articles().edit());
        s.articles().setInt("Izb", -1);
        EXPECT_TRUE(shutDown(s, w));
    }
    EXPECT_EQ(izbOf(dir.path(), "a"), -1);
    EXPECT_NE(test::readFile(dir / "mvx.ini").find("WindowState=3"), std::string::npos) << "no state written";
    ASSERT_TRUE(std::filesystem::exists(dir / "search.dat"));
    EXPECT_EQ(test::readFile(dir / "search.dat"), "");
}

TEST(Shutdown, AFailedWriteOfTheArticleTableKeepsTheWindowOpenAndARetryAddsTheOffsetOnce) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", -1}});
    test::writeFile(dir / "mvx.ini", "[interface]\r\nstate_save=1\r\n");
    MainSession s(dir.path());
    FakeWindow w;
    startUp(s, w);
    // Block the replacement of the file: a non-empty folder where the file was.
    std::filesystem::remove(dir / "mvx.dat");
    std::filesystem::create_directories(dir / "mvx.dat" / "x");
    EXPECT_FALSE(shutDown(s, w));
    ASSERT_EQ(w.errors.size(), 1u);
    EXPECT_NE(w.errors[0].find("mvx.dat"), std::string::npos);
    std::filesystem::remove_all(dir / "mvx.dat");
    EXPECT_TRUE(shutDown(s, w));
    EXPECT_EQ(izbOf(dir.path(), "a"), 4);
}

TEST(Shutdown, ARetriedCloseRemembersTheRowCurrentWhenItSucceedsAndAFailedOneKeepsTheMarks) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"fav", -1}, {"plain", std::nullopt}});
    test::writeFile(dir / "mvx.ini", "[interface]\r\nstate_save=1\r\n");
    MainSession s(dir.path());
    FakeWindow w;
    startUp(s, w);
    ASSERT_TRUE(s.articles().locate("Statia", {std::string("fav")}));
    std::filesystem::remove(dir / "mvx.dat");
    std::filesystem::create_directories(dir / "mvx.dat" / "x");
    ASSERT_FALSE(shutDown(s, w));
    EXPECT_NE(w.errors.at(0).find("the previous catalogue was kept"), std::string::npos) << w.errors[0];
    EXPECT_EQ(w.errors[0].find(".tmp-"), std::string::npos) << "names a temporary file: " << w.errors[0];
    EXPECT_EQ(s.articles().asInt("Izb"), -1) << "the favourite reads as one while the window stays open";
    std::filesystem::remove_all(dir / "mvx.dat");
    ASSERT_TRUE(s.articles().locate("Statia", {std::string("plain")}));
    ASSERT_TRUE(shutDown(s, w));
    EXPECT_EQ(izbOf(dir.path(), "fav"), -1);
    EXPECT_EQ(izbOf(dir.path(), "plain"), 5);
}

TEST(Shutdown, AnEditThatCannotBeStoredIsReportedOnce) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", std::nullopt}});
    {
        FakeWindow w;
        MainSession s(dir.path(), [&w](const std::string& m) { w.information.push_back(m); });
        startUp(s, w);
        s.articles().first();
        ASSERT_TRUE(s.articles().edit());
        s.articles().setInt("Npp", 70000); // a 16-bit field cannot hold it
        EXPECT_TRUE(shutDown(s, w));
        EXPECT_EQ(
            std::count(w.information.begin(), w.information.end(), std::string(catalogue::kDuplicateRecords)),
            1);
    }
    EXPECT_EQ(izbOf(dir.path(), "a"), std::nullopt);
}

TEST(Startup, ASecondInstanceIsRefusedAndWritesNothing) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"a", std::nullopt}});
    MainSession first(dir.path());
    FakeWindow w1;
    startUp(first, w1);
    ASSERT_FALSE(first.startupFailed());
    const auto before = snapshot(dir.path());
    {
        MainSession second(dir.path());
        second.ini.state_save = true;
        FakeWindow w2;
        startUp(second, w2);
        ASSERT_EQ(w2.information.size(), 1u);
        EXPECT_NE(w2.information[0].find(dir.path().string() + ": the application folder is in use by"),
                  std::string::npos)
            << w2.information[0];
        EXPECT_TRUE(second.startupFailed());
        EXPECT_TRUE(shutDown(second, w2));
        EXPECT_TRUE(second.closeTopicTable().empty());
    }
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_TRUE(shutDown(first, w1));
}

TEST(Startup, AnInterruptedPairWriteIsCompletedAndLeftoversRemoved) {
    TempDir dir;
    makeCatalogue(dir.path(), {{"old", std::nullopt}});
    // A writer killed after deciding its change: the new pair waits in temporaries named by the record.
    const auto newArticles = dir / ".mvx.dat.tmp-99-0", newTopics = dir / ".subjects.dat.tmp-99-1";
    std::filesystem::create_directories(dir / "new");
    makeCatalogue(dir / "new", {{"new", std::nullopt}});
    std::filesystem::rename(dir / "new" / "mvx.dat", newArticles);
    std::filesystem::rename(dir / "new" / "subjects.dat", newTopics);
    test::writeFile(
        dir / ".mvx.commit",
        "marovex replace 1\n.mvx.dat.tmp-99-0\tmvx.dat\n.subjects.dat.tmp-99-1\tsubjects.dat\nend\n");
    test::writeFile(dir / ".mvx.dat.tmp-98-7", "a killed write's leftover");
    {
        MainSession s(dir.path());
        FakeWindow w;
        startUp(s, w);
        ASSERT_FALSE(s.startupFailed()) << w.information.at(0);
        EXPECT_TRUE(s.articles().locate("Statia", {std::string("new")}));
        EXPECT_TRUE(shutDown(s, w));
    }
    for (const char* gone :
         {".mvx.commit", ".mvx.dat.tmp-99-0", ".subjects.dat.tmp-99-1", ".mvx.dat.tmp-98-7"})
        EXPECT_FALSE(std::filesystem::exists(dir / gone)) << gone;

    // An incomplete record is discarded: the old pair stays.
    test::writeFile(dir / ".mvx.commit", "marovex replace 1\n.mvx.dat.tmp-5-0\tmvx.dat\n");
    test::writeFile(dir / ".mvx.dat.tmp-5-0", "half");
    MainSession s(dir.path());
    FakeWindow w;
    startUp(s, w);
    EXPECT_TRUE(s.articles().locate("Statia", {std::string("new")}));
    EXPECT_FALSE(std::filesystem::exists(dir / ".mvx.commit"));
    EXPECT_FALSE(std::filesystem::exists(dir / ".mvx.dat.tmp-5-0"));
}

TEST(SearchHistory, LinesAreWindows1251WithCrLfAndAnyLineEndIsRead) {
    TempDir dir;
    const auto file = dir / "search.dat";
    // Entries are UTF-8 in memory; what the code page cannot hold is written as "?".
    writeSearchHistory(file, {"Привет", "two words", "", "a\r\nb", "中"});
    EXPECT_EQ(test::readFile(file), "\xcf\xf0\xe8\xe2\xe5\xf2\r\ntwo words\r\n\r\na  b\r\n?\r\n");
    EXPECT_EQ(readSearchHistory(file), (std::vector<std::string>{"Привет", "two words", "", "a  b", "?"}));
    test::writeFile(file, "unix\nold mac\rlast");
    EXPECT_EQ(readSearchHistory(file), (std::vector<std::string>{"unix", "old mac", "last"}));
    test::writeFile(file, "");
    EXPECT_TRUE(readSearchHistory(file).empty());
    // Only what the history and the search box can hold is read: an entry longer than the box is cut, and
    // a CR LF split across reads still ends one line.
    std::string big = std::string(65535, 'x') + "\r\n";
    for (int i = 0; i < 100000; ++i)
        big += std::string(10, 'x') + "\r\n";
    test::writeFile(file, big);
    auto lines = readSearchHistory(file);
    ASSERT_EQ(lines.size(), kHistoryCapacity);
    EXPECT_EQ(lines[0].size(), kSearchTextCapacity);
    EXPECT_EQ(lines[1], std::string(10, 'x'));
    big.clear();
    for (char c = 'a'; c < 'a' + 30; ++c)
        big += std::string(kSearchTextCapacity + 1 + size_t(c), c) + "\r\n";
    test::writeFile(file, big);
    lines = readSearchHistory(file);
    ASSERT_EQ(lines.size(), kHistoryCapacity);
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i] == std::string(kSearchTextCapacity, char('a' + i))) << "entry " << i;
}

} // namespace
