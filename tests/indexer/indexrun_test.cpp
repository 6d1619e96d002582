#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "indexer/indexrun.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <set>

using namespace marovex;
using namespace marovex::indexer;
using marovex::test::TempDir;
namespace fs = std::filesystem;

namespace {

const std::array<std::string, 3> kPrefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};

// A contents page with one heading and the given links, in Windows-1251.
std::string page(const std::string& topic, const std::vector<std::string>& links) {
    std::string html = "<html><body>Материалы<br>\r\n<b>" + topic + "</b><br>\r\n";
    for (const auto& l : links)
        html += "<a href=\"../pub/" + l + "\">Статья " + l + "</a><br>\r\n";
    return cp1251::fromUtf8(html + "</body></html>\r\n");
}

class IndexRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue::openEmptyArticleTable(articles);
        catalogue::openEmptyTopicTable(topics);
        settings.archiveFolder = dir.path().string();
        settings.enabled = {true, true, true};
        settings.prefixes = kPrefixes;
    }

    void issue(const std::string& relative, const std::string& topic, const std::vector<std::string>& links,
               const std::string& pageName = "pages/materials.htm") {
        test::writeFile(dir / relative / pageName, page(topic, links));
    }

    IndexResult run(bool full = false) {
        std::atomic<bool> stop{false};
        IndexReports reports;
        reports.progress = [this](const std::string& name) { progress.push_back(name); };
        return runIndexing(articles, topics, settings, full, stop, reports);
    }

    // "type|number|link" of every row, in the table's order.
    std::vector<std::string> rows() {
        std::vector<std::string> out;
        for (int i = 0; i < articles.rowCount(); ++i) {
            const RowRef r = articles.rowAt(i);
            out.push_back(std::to_string(r.asInt(articles.field("Type"))) + "|" +
                          r.asText(articles.field("Number")) + "|" + r.asText(articles.field("Link")));
        }
        return out;
    }

    TempDir dir;
    RecordTable articles, topics;
    IndexSettings settings;
    std::vector<std::string> progress;
};

TEST(EditionOrder, LongerPrefixesAreTriedFirstByPairwiseExchange) {
    EXPECT_EQ(editionOrder(kPrefixes), (std::array<int, 3>{2, 1, 3}));
    EXPECT_EQ(editionOrder({"ab", "cd", "efg"}), (std::array<int, 3>{3, 2, 1}));
    EXPECT_EQ(editionOrder({"a", "b", "c"}), (std::array<int, 3>{1, 2, 3}));
    EXPECT_EQ(editionOrder({"abc", "a", "ab"}), (std::array<int, 3>{1, 3, 2}));
}

TEST(ClassifyEntry, NamesGiveEditionNumberAndForm) {
    const auto order = editionOrder(kPrefixes);
    auto number = [&](const char* name) {
        auto e = classifyEntry(name, kPrefixes, order);
        return e ? std::to_string(e->edition) + ":" + e->number + ":" + e->innerName : std::string("none");
    };
    EXPECT_EQ(number("Kelvra-Gold05"), "1: 05:");
    EXPECT_EQ(number("kelvra-gold05"), "1: 05:");
    EXPECT_EQ(number("Kelvra-Release05"), "2: 05:");
    EXPECT_EQ(number("Kelvra05"), "3: 05:");
    EXPECT_EQ(number("Kelvra-Gold5"), "1:  5:");
    EXPECT_EQ(number("Kelvra-Gold1a"), "1: 1A:");
    EXPECT_EQ(number("Kelvra-Gold1234"), "1:123:");
    EXPECT_EQ(number("Kelvra-Gold05.zip"), "1: 05:KELVRA-GOLD05");
    EXPECT_EQ(number("Kelvra-Gold7.Zip.old"), "1:  7:KELVRA-GOLD7");
    EXPECT_EQ(number("Kelvra-Gold.zip"), "none");
    EXPECT_EQ(number("Kelvra-Gold"), "none");
    EXPECT_EQ(number("Kelvra-Gold 05"), "none");
    EXPECT_EQ(number("Other05"), "none");
    // The plain edition's prefix begins the others: "Kelvra-G" is an issue "-G" of it.
    EXPECT_EQ(number("Kelvra-G"), "3: -G:");
}

TEST_F(IndexRunTest, EditionsFormsAndDecoysOfTheArchiveFolder) {
    issue("Kelvra-Gold05", "Новости", {"a.htm"});
    issue("Kelvra-Release05", "Новости", {"b.htm"});
    issue("Kelvra05", "Софт", {"c.htm"});
    issue("Kelvra-Gold06.zip/Kelvra-Gold06", "Софт", {"d.htm"});
    issue("Kelvra-Gold07/Kelvra-Gold07", "Софт", {"e.htm"});
    issue("Kelvra-Gold.zip", "X", {"x1.htm"});
    issue("Kelvra-Gold", "X", {"x2.htm"});
    issue("Kelvra-Gold 09", "X", {"x3.htm"});
    test::writeFile(dir / "Kelvra-Gold08.zip", "PK\x03\x04 packed");
    test::writeFile(dir / "readme.txt", "not an issue");
    const IndexResult r = run();
    ASSERT_TRUE(r.completed) << r.error.english();
    EXPECT_FALSE(r.stopped);
    const auto all = rows();
    EXPECT_EQ(
        std::set<std::string>(all.begin(), all.end()),
        (std::set<std::string>{"1| 05|a.htm", "2| 05|b.htm", "3| 05|c.htm", "1| 06|d.htm", "1| 07|e.htm"}));
    EXPECT_EQ(std::set<std::string>(progress.begin(), progress.end()),
              (std::set<std::string>{"KELVRA-GOLD05", "KELVRA-RELEASE05", "KELVRA05", "KELVRA-GOLD06.ZIP",
                                     "KELVRA-GOLD07"}));
    EXPECT_EQ(articles.sortKeys(), "Find;Type;Number;Npp");
    // Release rows have no topic; the others have theirs, each once in the topic table.
    std::set<std::string> topicNames;
    for (int i = 0; i < topics.rowCount(); ++i)
        topicNames.insert(topics.rowAt(i).asText(0));
    EXPECT_EQ(topicNames, (std::set<std::string>{"", "Новости", "Софт"}));
}

TEST_F(IndexRunTest, NamesAreResolvedIgnoringCase) {
    test::writeFile(dir / "kelvra-gold12" / "FRAME" / "Left.HTM", page("Левая", {"l.htm"}));
    test::writeFile(dir / "kelvra-gold12" / "Pages" / "MATERIALS.htm", page("Тема", {"m.htm"}));
    test::writeFile(dir / "kelvra-gold12" / "pages" / "statii.htm", page("Тема", {"s.htm"}));
    const IndexResult r = run();
    ASSERT_TRUE(r.completed) << r.error.english();
#if defined(_WIN32) // one folder there, whose name ignores case: both pages are found
    EXPECT_EQ(articles.rowCount(), 3);
#else
    EXPECT_EQ(articles.rowCount(), 2) << "materials and statii in two folders differing in case";
#endif
    EXPECT_EQ(progress, (std::vector<std::string>{"KELVRA-GOLD12"}));
}

TEST_F(IndexRunTest, PagesAreReadInOrderAndTheNestedFormFillsGaps) {
    issue("Kelvra-Gold05", "A", {"1.htm"}, "frame/left.htm");
    issue("Kelvra-Gold05/KELVRA-GOLD05", "B", {"2.htm"}, "pages/materials.htm");
    issue("Kelvra-Gold05", "C", {"3.htm"}, "pages/statii.htm");
    ASSERT_TRUE(run().completed);
    articles.setSortKeys("");
    EXPECT_EQ(rows(), (std::vector<std::string>{"1| 05|1.htm", "1| 05|2.htm", "1| 05|3.htm"}));
}

TEST_F(IndexRunTest, ANewIssuesRunSkipsIndexedIssuesAndChangesNothingElse) {
    issue("Kelvra-Gold05", "A", {"1.htm", "2.htm"});
    ASSERT_TRUE(run().completed);
    articles.first();
    ASSERT_TRUE(articles.edit());
    articles.setInt("Izb", -1);
    articles.post();
    const auto before = rows();
    issue("Kelvra-Gold05", "A", {"1.htm", "2.htm", "new.htm"});
    issue("Kelvra-Gold06", "B", {"x.htm"});
    progress.clear();
    const IndexResult r = run();
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(progress, (std::vector<std::string>{"KELVRA-GOLD06"}));
    EXPECT_EQ(articles.rowCount(), 3);
    EXPECT_TRUE(articles.locate("Izb", {FieldValue{std::int32_t(-1)}}));

    // Nothing new: the tables stay as they are, in the indexing order.
    progress.clear();
    const int topicsBefore = topics.rowCount();
    ASSERT_TRUE(run().completed);
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(articles.rowCount(), 3);
    EXPECT_EQ(topics.rowCount(), topicsBefore);
    EXPECT_EQ(articles.sortKeys(), "Find;Type;Number;Npp");
    (void)before;
}

TEST_F(IndexRunTest, AFullRunRebuildsBothTablesAndDropsTheMarks) {
    issue("Kelvra-Gold05", "A", {"1.htm"});
    ASSERT_TRUE(run().completed);
    articles.first();
    articles.edit();
    articles.setInt("Izb", -1);
    articles.post();
    topics.first();
    topics.edit();
    topics.setBool("Key", false);
    topics.post();
    issue("Kelvra05", "B", {"3.htm", "2.htm"});
    issue("Kelvra-Gold04", "C", {"4.htm"});
    articles.setSortKeys(catalogue::kTitleOrder); // the order the window had does not survive the run
    ASSERT_TRUE(run(true).completed);
    EXPECT_EQ(rows(), (std::vector<std::string>{"1| 04|4.htm", "1| 05|1.htm", "3| 05|3.htm", "3| 05|2.htm"}));
    EXPECT_EQ(articles.sortKeys(), catalogue::kIndexedOrder);
    EXPECT_EQ(articles.position(), 0);
    EXPECT_FALSE(articles.locate("Izb", {FieldValue{std::int32_t(-1)}}));
    for (int i = 0; i < topics.rowCount(); ++i)
        EXPECT_TRUE(topics.rowAt(i).asBool(1));
    EXPECT_EQ(topics.sortKeys(), catalogue::kTopicTableOrder);
    // The rows taken over keep their order through later changes.
    articles.append();
    articles.setInt("Type", 1);
    articles.setText("Number", " 01");
    articles.setInt("Find", 0);
    articles.post();
    EXPECT_EQ(rows().front(), "1| 01|");
}

TEST_F(IndexRunTest, AFullRunOverAnEmptyArchiveLeavesOneEmptyTopic) {
    issue("Kelvra-Gold05", "A", {"1.htm"});
    ASSERT_TRUE(run().completed);
    fs::remove_all(dir / "Kelvra-Gold05");
    ASSERT_TRUE(run(true).completed);
    EXPECT_EQ(articles.rowCount(), 0);
    ASSERT_EQ(topics.rowCount(), 1);
    EXPECT_EQ(topics.rowAt(0).asText(0), "");
}

// Prefixes come from the settings in UTF-8; the folder name is matched ignoring Cyrillic letter case too, and
// the progress report names the entry in UTF-8.
TEST_F(IndexRunTest, ACyrillicPrefixFindsItsIssues) {
    settings.prefixes[0] = "Золото";
    issue("зОЛОТО05", "A", {"1.htm"});
    issue(cp1251::fromUtf8("Золото06"), "A", {"2.htm"}); // unpacked without converting its name
    ASSERT_TRUE(run().completed);
    EXPECT_EQ(rows(), (std::vector<std::string>{"1| 05|1.htm", "1| 06|2.htm"}));
    EXPECT_EQ(std::set<std::string>(progress.begin(), progress.end()),
              (std::set<std::string>{"зОЛОТО05", "Золото06"}));
    EXPECT_EQ(countIssuesToIndex(articles, settings, true), 2);
}

TEST_F(IndexRunTest, DisabledEditionsIndexNothing) {
    issue("Kelvra-Gold05", "A", {"1.htm"});
    issue("Kelvra05", "B", {"2.htm"});
    settings.enabled = {false, true, true};
    ASSERT_TRUE(run().completed);
    EXPECT_EQ(rows(), (std::vector<std::string>{"3| 05|2.htm"}));
}

TEST_F(IndexRunTest, AnArchiveFolderThatCannotBeWalkedIsRefusedBeforeAnythingChanges) {
    issue("Kelvra-Gold05", "A", {"1.htm"});
    ASSERT_TRUE(run().completed);
    test::writeFile(dir / "plain-file", "x");
    const std::pair<std::string, std::string> folders[] = {
        {(dir / "missing").string(), "does not exist"},
        {(dir / "plain-file").string(), "not a folder"},
        {"", "no archive folder is set"},
    };
    for (const auto& [folder, problem] : folders) {
        settings.archiveFolder = folder;
        const IndexResult r = run(true);
        EXPECT_FALSE(r.completed) << folder;
        EXPECT_NE(r.error.english().find(problem), std::string::npos) << r.error.english();
        EXPECT_NE(r.error.english().find(folder), std::string::npos) << r.error.english();
        EXPECT_EQ(rows(), (std::vector<std::string>{"1| 05|1.htm"})) << folder;
        EXPECT_EQ(topics.rowCount(), 1) << folder;
        EXPECT_EQ(checkArchiveFolder(folder).english(), r.error.english());
    }
    // The folder comes as the settings give it, in UTF-8: a Cyrillic name is found as it is.
    fs::create_directories(dir / "Архив" / "Kelvra-Gold06");
    EXPECT_TRUE(checkArchiveFolder((dir / "Архив").string()).empty());
}

TEST_F(IndexRunTest, ARunEndedByAnUnreadablePageKeepsWhatItShould) {
    issue("Kelvra-Gold05", "A", {"1.htm"});
    ASSERT_TRUE(run().completed);
    const std::vector<std::string> before = rows();
    // Three new issues; one has a readable first page and a folder in place of its second page.
    issue("Kelvra-Gold06", "B", {"2.htm"});
    issue("Kelvra-Gold08", "D", {"4.htm"});
    issue("Kelvra-Gold07", "C", {"3.htm"}, "frame/left.htm");
    fs::create_directories(dir / "Kelvra-Gold07" / "pages" / "materials.htm");

    // A full run keeps both tables exactly as they were, and names the page.
    IndexResult r = run(true);
    ASSERT_FALSE(r.completed);
    EXPECT_NE(r.error.english().find((dir / "Kelvra-Gold07" / "pages" / "materials.htm").string()),
              std::string::npos)
        << r.error.english();
    EXPECT_EQ(rows(), before);
    ASSERT_EQ(topics.rowCount(), 1);
    EXPECT_EQ(topics.rowAt(0).asText(topics.field("Tem")), "A");

    // A run for new issues keeps the issues it completed, with their topics, and nothing of the issue in
    // hand, which the next run then reads again.
    r = run();
    ASSERT_FALSE(r.completed);
    std::set<std::string> links, topicNames;
    for (int i = 0; i < articles.rowCount(); ++i)
        links.insert(articles.rowAt(i).asText(articles.field("Link")));
    for (int i = 0; i < topics.rowCount(); ++i)
        topicNames.insert(topics.rowAt(i).asText(topics.field("Tem")));
    EXPECT_FALSE(links.count("3.htm"));
    for (const auto& [link, topic] : {std::pair{"2.htm", "B"}, std::pair{"4.htm", "D"}})
        EXPECT_EQ(links.count(link), topicNames.count(topic))
            << link << " kept without its topic, or the reverse";
    EXPECT_EQ(articles.sortKeys(), catalogue::kIndexedOrder);
#if !defined(_WIN32)
    // A FIFO in a page's place is a page that cannot be read, not a run that hangs.
    fs::remove_all(dir / "Kelvra-Gold07" / "pages" / "materials.htm");
    ASSERT_EQ(::mkfifo((dir / "Kelvra-Gold07" / "pages" / "materials.htm").c_str(), 0644), 0);
    r = run();
    EXPECT_FALSE(r.completed);
    EXPECT_NE(r.error.english().find("not a regular file"), std::string::npos) << r.error.english();
#endif
    fs::remove_all(dir / "Kelvra-Gold07" / "pages");
    ASSERT_TRUE(run().completed);
    EXPECT_EQ(rows(), (std::vector<std::string>{"1| 05|1.htm", "1| 06|2.htm", "1| 07|3.htm", "1| 08|4.htm"}));
}

TEST_F(IndexRunTest, APageThatIsADanglingLinkIsAMissingPage) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::symlinks;
#else
    issue("Kelvra-Gold05", "A", {"1.htm"});
    fs::create_directories(dir / "Kelvra-Gold05" / "frame");
    fs::create_symlink(dir / "nowhere.htm", dir / "Kelvra-Gold05" / "frame" / "left.htm");
    fs::create_symlink(dir / "nowhere.htm",
                       dir / "Kelvra-Gold05" / "pages" / "STATII.HTM"); // found ignoring case
    const IndexResult r = run(true);
    ASSERT_TRUE(r.completed) << r.error.english();
    EXPECT_EQ(rows(), (std::vector<std::string>{"1| 05|1.htm"}));
#endif
}

TEST_F(IndexRunTest, ASecondEntryForTheSameIssueIsPassedOverOnlyWhenTheFirstGaveRows) {
    issue("Kelvra-Gold05", "A", {"1.htm"});
    issue("Kelvra-Gold05.zip/Kelvra-Gold05", "A", {"2.htm"});
    ASSERT_TRUE(run().completed);
    EXPECT_EQ(articles.rowCount(), 1);
    EXPECT_EQ(progress.size(), 1u);
}

TEST_F(IndexRunTest, TheStopFlagEndsTheWalkAfterTheIssueInHand) {
    for (int i = 10; i < 20; ++i)
        issue("Kelvra-Gold" + std::to_string(i), "A", {"a.htm", "b.htm"});
    std::atomic<bool> stop{false};
    IndexReports reports;
    int seen = 0;
    reports.progress = [&](const std::string&) {
        if (++seen == 3) stop = true;
    };
    const IndexResult r = runIndexing(articles, topics, settings, false, stop, reports);
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.issues, 3);
    EXPECT_EQ(articles.rowCount(), 6) << "the third issue is finished with all its links";
    EXPECT_GE(topics.rowCount(), 1);
}

TEST_F(IndexRunTest, TheArchiveIsOnlyRead) {
    issue("Kelvra-Gold05", "A", {"1.htm"});
    issue("Kelvra-Gold06.zip/Kelvra-Gold06", "B", {"2.htm"});
    auto snapshot = [&] {
        std::map<std::string, std::pair<std::string, long long>> files;
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            files[e.path().string()] = {e.is_regular_file() ? test::readFile(e.path()) : "",
                                        (long long)fs::last_write_time(e.path()).time_since_epoch().count()};
        return files;
    };
    const auto before = snapshot();
    for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        fs::permissions(e.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    ASSERT_TRUE(run().completed);
    EXPECT_EQ(articles.rowCount(), 2);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(IndexRunTest, HostileFolderContentsNeitherCrashNorHang) {
    issue("Kelvra-Gold05", "A", {"1.htm"});
    // A link loop, a dangling link, a name of 255 bytes, a name that is not UTF-8, a folder where a page
    // should be, and a page of binary garbage.
#if !defined(_WIN32) // the links are POSIX's alone
    fs::create_directory_symlink(dir.path(), dir / "Kelvra-Gold40");
    fs::create_symlink(dir / "nowhere", dir / "Kelvra-Gold41");
    fs::create_symlink(dir / "Kelvra-Gold42", dir / "Kelvra-Gold42");
#endif
    const std::string longName = "Kelvra-Gold43" + std::string(255 - 13, 'x');
    issue(longName, "L", {"long.htm"});
    issue("Kelvra-Gold44\xff\xfe", "N", {"bytes.htm"});
    fs::create_directories(dir / "Kelvra-Gold45" / "pages" / "materials.htm");
    std::string garbage;
    for (int i = 0; i < 100000; ++i)
        garbage += char((i * 7919) % 256);
    test::writeFile(dir / "Kelvra-Gold46" / "pages" / "materials.htm", garbage);
    const IndexResult r = run();
    // The folder in place of a page cannot be read: that ends the run, as any unreadable page does.
    if (!r.completed) {
        EXPECT_NE(r.error.english().find("materials.htm"), std::string::npos) << r.error.english();
    }
    std::set<std::string> links;
    for (int i = 0; i < articles.rowCount(); ++i)
        links.insert(articles.rowAt(i).asText(articles.field("Link")));
    EXPECT_TRUE(links.count("1.htm") || !r.completed);
    fs::remove_all(dir / "Kelvra-Gold45");
    articles.emptyTable();
    const IndexResult again = run();
    ASSERT_TRUE(again.completed) << again.error;
    links.clear();
    for (int i = 0; i < articles.rowCount(); ++i)
        links.insert(articles.rowAt(i).asText(articles.field("Link")));
    EXPECT_TRUE(links.count("1.htm"));
    EXPECT_TRUE(links.count("long.htm"));
    EXPECT_TRUE(links.count("bytes.htm"));
}

} // namespace
