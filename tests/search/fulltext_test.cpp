#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "search/findcommand.h"
#include "search/fulltext.h"
#include "search/fulltextcache.h"
#include "search/textstore.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

using namespace marovex;
using namespace marovex::search;
using marovex::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string w(std::string_view utf8) {
    return cp1251::fromUtf8(utf8);
}

struct Article {
    int type = 1;
    std::string number; // as typed; padded when stored
    std::string title;  // UTF-8
    std::string link;
    int find = 0;
};

void fill(RecordTable& t, const std::vector<Article>& rows) {
    catalogue::openEmptyArticleTable(t);
    int n = 0;
    for (const Article& a : rows) {
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Type", a.type);
        t.setText("Number", catalogue::padIssueNumber(a.number));
        t.setText("Statia", a.title);
        t.setText("Link", a.link);
        t.setInt("Find", a.find);
        t.setInt("Npp", n++);
        t.post();
    }
}

std::vector<int> marks(RecordTable& t) {
    t.setSortKeys("");
    std::vector<int> out;
    for (t.first(); !t.eof(); t.next())
        out.push_back(t.asInt("Find"));
    return out;
}

// A page in the archive, written as Windows-1251.
void page(const TempDir& dir, const std::string& relative, std::string_view utf8) {
    const fs::path file = dir / "archive" / test::diskName(relative);
    fs::create_directories(file.parent_path());
    test::writeFile(file, w(utf8));
}

// Rows of `count` articles in issue 7 of the first edition, each with a page "0.htm", "1.htm", ... that
// says "мир" when its number divides by `peaceEvery` and "война" otherwise.
std::vector<Article> issueSeven(const TempDir& dir, int count, int peaceEvery) {
    std::vector<Article> rows;
    for (int i = 0; i < count; ++i) {
        page(dir, "Kelvra-Gold7/pub/" + std::to_string(i) + ".htm",
             i % peaceEvery ? "<p>война</p>" : "<p>мир</p>");
        rows.push_back({1, "7", "Статья", std::to_string(i) + ".htm"});
    }
    return rows;
}

FullTextJob job(const TempDir& dir, std::string_view text, SearchOptions options = {}) {
    FullTextJob j;
    j.text = std::string(text);
    j.options = options;
    j.archiveFolder = (dir / "archive").string();
    j.prefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
    j.threads = 2;
    return j;
}

} // namespace

TEST(ArticleFiles, SearchableKindsByExtension) {
    for (const char* link : {"a.htm", "a.HTML", "dir/a.Htm", "a.txt", "a.rtf", "a.shtml", "a.htm ", "a.ht",
                             "a.sh", "a.t", "a.b.htm"})
        EXPECT_TRUE(isSearchableKind(link)) << link;
    for (const char* link :
         {"a.pdf", "a.doc", "noext", "", "a. htm", "a.htm\\b", "a.htm:b", "a.xhtml", "a.htmx"})
        EXPECT_FALSE(isSearchableKind(link)) << link;
    EXPECT_EQ(linkExtension("dir.v1\\file"), "");
    EXPECT_EQ(linkExtension("a.HtM "), ".htm");
}

TEST(ArticleFiles, TextFolderFirstThenTheIssueFolderCandidatesIgnoringCase) {
    TempDir dir;
    page(dir, "Gold7/pub/a.htm", "text folder");
    page(dir, "Kelvra-Gold7/pub/a.htm", "plain issue folder");
    page(dir, "Kelvra-Gold7/pub/b.htm", "plain only");
    page(dir, "kelvra-release12/kelvra-release12/PUB/Sub/C.HTM", "nested, other case");
    page(dir, "Kelvra5.zip/Kelvra5/pub/d.htm", "archive-named");
    page(dir, "Kelvra5/pub/e.htm/inner.htm", "e.htm is a folder here");
    page(dir, "Kelvra5.zip/Kelvra5/pub/e.htm", "the file is in the next candidate");
    page(dir, "Kelvra-Gold7/secret.htm", "outside pub");
    ArticleFiles files((dir / "archive").string(), {"Kelvra-Gold", "Kelvra-Release", "Kelvra"});
    std::string bytes;

    ASSERT_TRUE(files.read(1, "  7", "a.htm", bytes));
    EXPECT_EQ(bytes, w("text folder"));
    ASSERT_TRUE(files.read(1, "  7", "b.htm", bytes));
    EXPECT_EQ(bytes, w("plain only"));
    ASSERT_TRUE(files.read(2, " 12", "sub\\c.htm", bytes));
    EXPECT_EQ(bytes, w("nested, other case"));
    ASSERT_TRUE(files.read(3, "  5", "d.htm", bytes));
    ASSERT_TRUE(files.read(3, "  5", "e.htm", bytes));
    EXPECT_EQ(bytes, w("the file is in the next candidate"));

    EXPECT_FALSE(files.read(1, "  7", "../secret.htm", bytes));
    EXPECT_FALSE(files.read(1, "  7", "/etc/passwd", bytes));
    EXPECT_FALSE(files.read(1, "  7", "c:\\x.htm", bytes));
    // Escapes are decoded into a name, never into a way out of the folder or a name cut short.
    EXPECT_FALSE(files.read(1, "  7", "..%2Fsecret.htm", bytes));
    EXPECT_FALSE(files.read(1, "  7", "b.htm%00.txt", bytes));
    EXPECT_FALSE(files.read(1, "  8", "a.htm", bytes));
    EXPECT_FALSE(files.read(4, "  7", "a.htm", bytes));
}

TEST(FullTextSearch, MarksTitlesAndTextsReadingOnlyWhatIsNeeded) {
    TempDir dir;
    page(dir, "Kelvra-Gold7/pub/title.htm", "мир");
    page(dir, "Kelvra-Gold7/pub/text.htm", "<p>Война и <b>мир</b></p>");
    page(dir, "Kelvra-Gold7/pub/doc.pdf", "мир");
    page(dir, "Kelvra-Gold7/pub/untitled.htm", "мир");
    page(dir, "Kelvra-Release12/pub/upper.HTML", "<script>мир</script>ми&nbsp;р");
    page(dir, "Kelvra-Release12/pub/tagged.Htm", "<i>МИР</i>");
    RecordTable t;
    fill(t, {
                {2, "12", "Второй", "upper.HTML", -1},
                {1, "7", "Про мир", "title.htm", 0},
                {1, "7", "Роман", "text.htm", 0},
                {1, "7", "Документ", "doc.pdf", -1},
                {1, "7", "", "untitled.htm", -1},
                {2, "12", "Третий", "tagged.Htm", 0},
                {2, "12", "Нет файла", "missing.htm", -1},
                {2, "12", "Наружу", "../up.htm", -1},
            });
    std::vector<std::string> issues;
    int finished = 0;
    std::atomic<bool> stop{false};
    FullTextReports reports;
    reports.progress = [&](const FindProgress& p) {
        issues.push_back(p.number);
        EXPECT_EQ(p.rows, 8);
    };
    reports.finish = [&] { ++finished; };
    const FullTextResult r = runFullTextSearch(t, job(dir, "мир"), stop, reports);
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.hits, 3);
    EXPECT_EQ(r.visited, 8);
    EXPECT_EQ(r.filesRead,
              3); // the title match, the .pdf and the untitled row read nothing; missing is missing
    EXPECT_EQ(finished, 1);
    // Walk order: edition, then issue.
    EXPECT_EQ(issues, (std::vector<std::string>{"  7", "  7", "  7", "  7", " 12", " 12", " 12", " 12"}));
    EXPECT_EQ(marks(t), (std::vector<int>{0, -1, -1, 0, 0, -1, 0, 0}));
    // Files that are not there are named where they would lie.
    const std::string pub12 = platform::pathToUtf8((dir / "archive/Kelvra-Release12/pub").make_preferred()) +
                              char(fs::path::preferred_separator);
    EXPECT_EQ(unreadableFilesMessage(r).english(),
              "2 article files could not be read and were searched as not containing the text: " + pub12 +
                  "missing.htm (no such file or folder); " + pub12 +
                  "../up.htm (the link leads out of the issue folder).");

    // Letter case and whole words reach the file test too.
    stop = false;
    EXPECT_EQ(runFullTextSearch(t, job(dir, "мир", {true, false}), stop, {}).hits, 2);
    EXPECT_EQ(runFullTextSearch(t, job(dir, "Войн", {false, true}), stop, {}).hits, 0);
    EXPECT_FALSE(stop.load());
}

TEST(FullTextSearch, CancelAndCloseStopAfterTheRowInHandAndTheNextSearchWalksAll) {
    TempDir dir;
    std::vector<Article> rows;
    for (int i = 0; i < 10; ++i) {
        page(dir, "Kelvra-Gold7/pub/" + std::to_string(i) + ".htm", i % 2 ? "мир" : "война");
        rows.push_back({1, "7", "Статья", std::to_string(i) + ".htm", i < 5 ? 0 : -1});
    }
    RecordTable t;
    fill(t, rows);
    for (bool closeBox : {false, true}) {
        std::atomic<bool> stop{false};
        FindDialogState dialog(stop);
        bool closed = false;
        FullTextReports reports;
        reports.progress = [&](const FindProgress& p) {
            if (p.row != 3) return;
            if (closeBox)
                EXPECT_FALSE(dialog.mayClose()); // refused while the worker runs
            else
                dialog.cancel();
            EXPECT_FALSE(dialog.mayClose()); // a cancel followed by the close box still waits for the end
        };
        reports.finish = [&] {
            dialog.finish();
            closed = dialog.mayClose();
        };
        const FullTextResult r = runFullTextSearch(t, job(dir, "мир"), stop, reports);
        EXPECT_TRUE(closed);
        EXPECT_FALSE(stop.load());
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(r.visited, 4);
        EXPECT_EQ(r.hits, 2);
        EXPECT_EQ(marks(t), (std::vector<int>{0, -1, 0, -1, 0, -1, -1, -1, -1, -1}));

        // The next search starts with the flag false and walks every row.
        const FullTextResult all = runFullTextSearch(t, job(dir, "мир"), stop, {});
        EXPECT_EQ(all.visited, 10);
        EXPECT_EQ(all.hits, 5);
        EXPECT_EQ(marks(t), (std::vector<int>{0, -1, 0, -1, 0, -1, 0, -1, 0, -1}));
        for (int i = 5; i < 10; ++i) { // back to the earlier marks for the second round
            t.moveTo(i);
            t.edit();
            t.setInt("Find", -1);
            t.post();
        }
    }
}

TEST(FullTextSearch, AnEmptyTableEndsAtOnce) {
    TempDir dir;
    RecordTable t;
    fill(t, {});
    std::atomic<bool> stop{false};
    int progress = 0, finished = 0;
    const FullTextResult r = runFullTextSearch(
        t, job(dir, "мир"), stop, {[&](const FindProgress&) { ++progress; }, [&] { ++finished; }});
    EXPECT_EQ(r.hits, 0);
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(progress, 0);
    EXPECT_EQ(finished, 1);
}

TEST(ArticleFiles, AFileWhoseRealPathLeavesItsIssueFolderIsRefused) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::symlinks;
#else
    TempDir dir;
    page(dir, "Kelvra-Gold7/pub/plain.htm", "мир");
    page(dir, "Kelvra-Gold7/pics/inside.htm", "мир внутри");
    page(dir, "Kelvra-Gold77/pub/sibling.htm", "мир рядом"); // shares the issue folder's name as a prefix
    page(dir, "outside/secret.htm", "мир снаружи");
    page(dir, "Kelvra-Release3/elsewhere/x.htm", "мир");
    const fs::path pub = dir / "archive/Kelvra-Gold7/pub";
    fs::create_symlink("../pics/inside.htm", pub / "inside.htm");
    fs::create_symlink("../../outside/secret.htm", pub / "secret.htm");
    fs::create_symlink("../../Kelvra-Gold77/pub/sibling.htm", pub / "sibling.htm");
    fs::create_directories(pub / "sub");
    fs::create_symlink("../../../outside", pub / "sub/out");               // a folder on the way leads out
    fs::create_symlink("../outside", dir / "archive/Kelvra-Release3/pub"); // the "pub" folder itself
    ArticleFiles files((dir / "archive").string(), {"Kelvra-Gold", "Kelvra-Release", "Kelvra"});
    std::string bytes;

    ASSERT_TRUE(files.read(1, "  7", "plain.htm", bytes));
    ASSERT_TRUE(files.read(1, "  7", "inside.htm", bytes)); // a link that stays in the issue folder
    EXPECT_EQ(bytes, w("мир внутри"));
    for (const auto& [type, number, link] :
         {std::tuple{1, "  7", "secret.htm"}, std::tuple{1, "  7", "sibling.htm"},
          std::tuple{1, "  7", "sub/out/secret.htm"}, std::tuple{2, "  3", "secret.htm"}}) {
        try {
            const bool read = files.read(type, number, link, bytes);
            ADD_FAILURE() << link << (read ? " was read" : " was not found");
        } catch (const ArticleReadError& e) {
            EXPECT_NE(std::string(e.what()).find("its real path leaves the issue folder"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_TRUE(indexer::realPathInside(dir / "archive/Kelvra-Gold7", pub / "inside.htm"));
    EXPECT_TRUE(indexer::realPathInside(dir / "archive/Kelvra-Gold7/",
                                        dir / "archive/Kelvra-Gold7/pub/../pub/plain.htm"));
    EXPECT_FALSE(
        indexer::realPathInside(dir / "archive/Kelvra-Gold7", dir / "archive/Kelvra-Gold77/pub/sibling.htm"));
    EXPECT_FALSE(indexer::realPathInside(dir / "archive/Kelvra-Gold7", pub / "secret.htm"));
#endif
}

TEST(FullTextSearch, UnreadableFilesArePassedByAndNamedAfterTheResultATableErrorEndsTheWalk) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::symlinks;
#else
    TempDir dir;
    page(dir, "Kelvra-Gold7/pub/a.htm", "мир");
    page(dir, "Kelvra-Gold7/pub/c.htm", "мир");
    page(dir, "outside/secret.htm", "мир");
    const fs::path pub = dir / "archive/Kelvra-Gold7/pub";
    for (const char* loop : {"loop1.htm", "loop2.htm", "loop3.htm", "loop4.htm", "loop5.htm", "loop6.htm"})
        fs::create_symlink(loop, pub / loop); // exists, can never be read
    fs::create_symlink("../../outside/secret.htm", pub / "secret.htm");
    std::vector<Article> rows = {{1, "7", "A", "a.htm", 0},
                                 {1, "7", "B", "loop1.htm", -1},
                                 {1, "7", "B2", "LOOP1.htm", -1},
                                 {1, "7", "S", "secret.htm", -1}};
    for (const char* loop : {"loop2.htm", "loop3.htm", "loop4.htm", "loop5.htm", "loop6.htm"})
        rows.push_back({1, "7", "L", loop, 0});
    rows.push_back({1, "7", "C", "c.htm", 0});
    RecordTable t;
    fill(t, rows);
    t.setSortKeys(catalogue::kStandardOrder);
    std::vector<std::string> history, shown;
    std::string remembered;
    int finished = 0;
    std::atomic<bool> stop{false};
    FindHooks hooks;
    hooks.runFullText = [&](const FullTextJob& j) {
        return runFullTextSearch(t, j, stop, {{}, [&] { ++finished; }});
    };
    hooks.showResult = [&](int hits, bool) { shown.push_back("result " + std::to_string(hits)); };
    hooks.showProblem = [&](const Message& m) { shown.push_back(m.english()); };
    FindRequest request;
    request.boxText = "мир";
    request.scope = FindScope::TitlesAndTexts;
    request.archiveFolder = (dir / "archive").string();
    request.prefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
    const FindOutcome outcome = runSearch(t, history, remembered, request, hooks);
    EXPECT_EQ(outcome.hits, 2);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(marks(t), (std::vector<int>{-1, 0, 0, 0, 0, 0, 0, 0, 0, -1}));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "result 2");
    // Seven files (the link written in two cases is one file), the first five named, the rest counted.
    const std::string& m = shown[1];
    EXPECT_EQ(m.rfind("7 article files could not be read", 0), 0u) << m;
    EXPECT_NE(m.find((pub / "loop1.htm").string() + " ("), std::string::npos) << m;
    EXPECT_NE(m.find((pub / "secret.htm").string() + " (its real path leaves the issue folder)"),
              std::string::npos)
        << m;
    EXPECT_EQ(m.find("loop5.htm"), std::string::npos) << m;
    EXPECT_NE(m.find("and 2 more."), std::string::npos) << m;
    EXPECT_TRUE(unreadableFilesMessage({}).empty());

    // A table without the fields the walk needs.
    RecordTable foreign;
    foreign.setFields({{"Statia", FieldType::WideText, 200}});
    foreign.openEmpty();
    foreign.append();
    foreign.setText("Statia", "мир");
    foreign.post();
    const FullTextResult r = runFullTextSearch(foreign, job(dir, "мир"), stop, {});
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(stop.load());
#endif
}

TEST(FullTextSearch, TheStoreLiesBesideTheCatalogueAndKeepsOnlyTextsOfFilesThatHaveSettled) {
    TempDir dir;
    page(dir, "Kelvra-Gold7/pub/a.htm", "<p>мир</p>");
    RecordTable t;
    fill(t, {});
    t.setFileName(dir / "mvx.dat"); // the catalogue of an application folder
    t.append();
    t.setInt("Kod", 0);
    t.setInt("Type", 1);
    t.setText("Number", "  7");
    t.setText("Statia", "A");
    t.setText("Link", "a.htm");
    t.setInt("Find", 0);
    t.setInt("Npp", 0);
    t.post();
    std::atomic<bool> stop{false};
    // Just written: a change within the clock's tick could leave its identity as it is, so it is read
    // again next time.
    FullTextJob j = job(dir, "мир");
    EXPECT_EQ(runFullTextSearch(t, j, stop, {}).hits, 1);
    FullTextResult r = runFullTextSearch(t, j, stop, {});
    EXPECT_EQ(r.hits, 1);
    EXPECT_EQ(r.filesFromStore, 0);
    j.storeSettle = std::chrono::seconds(0);
    runFullTextSearch(t, j, stop, {});
    r = runFullTextSearch(t, j, stop, {});
    EXPECT_EQ(r.hits, 1);
    EXPECT_EQ(r.filesFromStore, 1);
    EXPECT_TRUE(fs::is_regular_file(dir / std::string(kTextStoreFile)));
    j.useStore = false;
    EXPECT_EQ(runFullTextSearch(t, j, stop, {}).filesFromStore, 0);
}

// A window keeps a cache between searches: a later search looks only at the files of rows that a change
// touched, and marks exactly as a walk that reads every file. Changes between two searches: a file written
// in place, one replaced by a rename, one removed, one added, one appearing in an earlier candidate folder,
// and a whole issue folder moved to another candidate place. A file reached through a symbolic link is looked
// for every time.
TEST(FullTextCache, ALaterSearchLooksOnlyAtWhatChangedAndMarksAsThePlainWalk) {
    TempDir dir;
    std::vector<Article> rows = issueSeven(dir, 12, 3);
    page(dir, "Kelvra-Release12/pub/Upper.HTM", "мир");
    page(dir, "Kelvra-Release12/pub/target.htm", "мир");
    page(dir, "Kelvra-Release12/pub/twice.htm", "мир");
    page(dir, "Kelvra-Release12/pub/sub/deep.htm", "мир");
    page(dir, "Kelvra-Release12/pub/\xC0\xC1\xC2.htm", "война"); // names kept as Windows-1251 bytes
    page(dir, "Kelvra-Release12/pub/b\x98.htm", "война");
    const fs::path pub12 = dir / "archive/Kelvra-Release12/pub";
#if defined(_WIN32) // no link to make: a copy stands in for it, which is looked at only when it changes
    fs::copy_file(pub12 / "target.htm", pub12 / "linked.htm");
    const int always = 0;
#else
    fs::create_symlink("target.htm", pub12 / "linked.htm");
    const int always = 1; // the symbolic link
#endif
    fs::create_hard_link(pub12 / "twice.htm", dir / "archive/second-name.htm");
    for (const char* link :
         {"upper.htm", "linked.htm", "twice.htm", "sub\\deep.htm", "absent.htm", "АБВ.htm", "b%98.htm"})
        rows.push_back({2, "12", "Статья", link});
    RecordTable t;
    fill(t, rows);
    std::atomic<bool> stop{false};
    FullTextCache cache;
    auto check = [&](const std::string& phase, int lookedFor) {
        SCOPED_TRACE(phase);
        FullTextJob plain = job(dir, "мир");
        plain.useStore = false;
        ASSERT_TRUE(runFullTextSearch(t, plain, stop, {}).error.empty());
        const std::vector<int> expected = marks(t);
        FullTextJob cached = job(dir, "мир");
        cached.storeFile = dir / "app" / std::string(kTextStoreFile);
        cached.storeSettle = std::chrono::seconds(0);
        cached.cache = &cache;
        cache.waitForFill(); // where the files lie is learnt as their texts are kept
        const FullTextResult r = runFullTextSearch(t, cached, stop, {});
        EXPECT_TRUE(r.error.empty()) << r.error;
        EXPECT_EQ(marks(t), expected);
        EXPECT_EQ(r.filesLookedFor, lookedFor);
    };
    fs::create_directories(dir / "app");
    check("first search", 19);
    check("nothing changed", always);
    const fs::path pub7 = dir / "archive/Kelvra-Gold7/pub";
    test::writeFile(pub7 / "1.htm", w("<p>мир</p>"));  // written in place
    test::writeFile(pub12 / "target.htm", w("война")); // what the symbolic link leads to
#if defined(_WIN32)
    test::writeFile(pub12 / "linked.htm", w("война"));
    check("two files written", 2);
#else
    check("one file written", always + 1);
#endif
    test::writeFile(pub7 / "new.tmp", w("война"));
    fs::rename(pub7 / "0.htm", pub7 / "old.htm");
    fs::rename(pub7 / "new.tmp", pub7 / "0.htm"); // replaced by a rename
    fs::remove(pub7 / "3.htm");
    page(dir, "Kelvra-Release12/pub/absent.htm", "мир"); // a row's file appears
    check("replaced, removed, added", always + 3);
    page(dir, "Gold7/pub/4.htm", "мир"); // the text folder comes first
    check("a file in an earlier candidate folder", always + 12);
    test::writeFile(pub12 / test::diskName("\xC0\xC1\xC2.htm"), w("мир"));
    test::writeFile(pub12 / test::diskName("b\x98.htm"), w("мир")); // the one its link names "b%98.htm"
    check("files named in Windows-1251 written", always + 2);
    fs::create_directories(dir / "archive/Kelvra-Release12.zip");
    fs::rename(dir / "archive/Kelvra-Release12", dir / "archive/Kelvra-Release12.zip/Kelvra-Release12");
    check("an issue folder moved", 7);
    test::writeFile(pub12.parent_path().parent_path() /
                        "Kelvra-Release12.zip/Kelvra-Release12/pub/sub/deep.htm",
                    w("война"));
    check("a file in a folder below pub", always + 1);
    check("nothing changed again", always);
}

// The cache keeps the texts after the walk. A search that begins before that is done ends it: the texts
// kept so far are saved and answer, the others are read again, and closing saves what was kept too.
TEST(FullTextCache, ASearchDuringTheFillEndsItAndAnswersFromWhatWasKept) {
    TempDir dir;
    RecordTable t;
    fill(t, issueSeven(dir, 6, 2));
    const fs::path store = dir / "app" / std::string(kTextStoreFile);
    fs::create_directories(store.parent_path());
    std::atomic<bool> stop{false};
    FullTextJob j = job(dir, "мир");
    j.storeFile = store;
    j.storeSettle = std::chrono::seconds(0);
    auto search = [&](FullTextCache& cache) {
        j.cache = &cache;
        const FullTextResult r = runFullTextSearch(t, j, stop, {});
        EXPECT_EQ(r.hits, 3);
        EXPECT_EQ(marks(t), (std::vector<int>{-1, 0, -1, 0, -1, 0}));
        return r.filesFromStore;
    };
    {
        FullTextCache cache;
        cache.pauseFillAfter(2);
        EXPECT_EQ(search(cache), 0);
        EXPECT_FALSE(fs::exists(store)); // nothing saved while the fill waits
        EXPECT_EQ(search(cache), 2);
        EXPECT_EQ(search(cache), 4);
    } // closed while its fill waits
    EXPECT_EQ(TextStore(store, {}).size(), 6u);
    FullTextCache cache;
    EXPECT_EQ(search(cache), 6);
    test::writeFile(dir / "archive/Kelvra-Gold7/pub/0.htm", w("<p>мир и война</p>"));
    EXPECT_EQ(search(cache), 5);
    cache.waitForFill();
    EXPECT_EQ(search(cache), 6);
}

// A store that cannot be written for want of space goes at once, so that the cache never keeps the space the
// catalogue needs: here the application folder is a small file system of its own (in a child process with
// a mount namespace of its own) that the texts cannot fit into.
TEST(FullTextCache, AFillThatRunsOutOfSpaceLeavesNothingAndTheCatalogueIsWrittenAfterIt) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::mounts;
#else
    TempDir dir;
    std::mt19937 rng(28);
    std::vector<test::ArticleSpec> rows;
    for (int i = 0; i < 300; ++i) {
        // Letters at random hardly compress: 6 MB of texts for a folder of 512 KiB.
        std::string text(20000, ' ');
        for (char& c : text)
            c = rng() % 6 ? char('a' + rng() % 26) : ' ';
        page(dir, "Kelvra-Gold7/pub/" + std::to_string(i) + ".htm", i % 3 ? text : text + " мир");
        rows.push_back({1, "7", "", "Статья", std::to_string(i) + ".htm"});
    }
    const fs::path app = dir / "app";
    fs::create_directories(app);
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    const test::BoundedRun run = test::RunBounded(
        [&]() -> std::string {
            auto put = [](const char* file, const std::string& text) {
                const int fd = ::open(file, O_WRONLY);
                const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
                if (fd >= 0) ::close(fd);
                return ok;
            };
            if (::unshare(CLONE_NEWNS) != 0 &&
                !(::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 && put("/proc/self/setgroups", "deny") &&
                  put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                  put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")))
                return "skip";
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", app.c_str(), "tmpfs", 0, "size=512k") != 0)
                return "skip";
            test::WriteCatalogue(app, rows);
            auto freeBytes = [&] {
                struct statvfs v {};
                ::statvfs(app.c_str(), &v);
                return std::uint64_t(v.f_bavail) * v.f_frsize;
            };
            // What else the user keeps there fills the disk but for room to write the catalogue again.
            test::writeFile(app / "other", std::string(freeBytes() - 128 * 1024, 'x'));
            const std::uint64_t room = freeBytes();
            RecordTable articles, topics;
            catalogue::openArticleTable(articles, app / "mvx.dat", {});
            catalogue::openTopicTable(topics, app / "subjects.dat");
            FullTextCache cache;
            FullTextJob j = job(dir, "мир");
            j.storeFile = app / std::string(kTextStoreFile);
            j.storeSettle = std::chrono::seconds(0);
            j.cache = &cache;
            std::atomic<bool> stop{false};
            std::string problems;
            for (int k = 0; k < 2; ++k) {
                const FullTextResult r = runFullTextSearch(articles, j, stop, {});
                cache.waitForFill();
                if (r.hits != 100) problems += "search " + std::to_string(k) + " found " + std::to_string(r.hits) + "; ";
                for (const auto& e : fs::directory_iterator(app))
                    if (e.path().filename().string().starts_with(".texts")) problems += e.path().string() + " left; ";
                if (freeBytes() + 16 * 1024 < room)
                    problems += std::to_string(room - freeBytes()) + " bytes kept from the disk; ";
            }
            catalogue::closeCatalogue(articles, topics); // raises when the disk is still full
            RecordTable written;
            catalogue::openArticleTable(written, app / "mvx.dat", {});
            if (!written.locate("Find", {FieldValue{std::int32_t(-1)}})) problems += "marks not written; ";
            return problems;
        },
        std::chrono::seconds(60), 1024 * 1024);
    if (run.output == "skip") GTEST_SKIP() << "no file system can be mounted here";
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.output, "");
#endif
}

// What the user made of the store's two files is left as it is: a folder, a FIFO (never opened, so never
// waited on) or a write-protected file. The search answers all the same, keeps nothing, and a program that
// searches again and again says why once.
TEST(TextStore, StoreFilesThatMustNotBeReplacedAreLeftAloneAndNamedOnce) {
    TempDir dir;
    RecordTable t;
    fill(t, issueSeven(dir, 6, 2));
    const fs::path app = dir / "app", store = app / std::string(kTextStoreFile);
    const fs::path additions = app / std::string(kTextStoreAdditions);
    fs::create_directories(app);
    std::atomic<bool> stop{false};
    FullTextJob j = job(dir, "мир");
    j.storeFile = store;
    j.storeSettle = std::chrono::seconds(0);
    runFullTextSearch(t, j, stop, {});
    const std::string kept = test::readFile(store);
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read;
    fs::perms protectedAs{};
    struct Case {
        const char* name;
        std::function<void()> make;
        fs::path file;
    };
    const std::vector<Case> cases = {
#if !defined(_WIN32) // FIFOs and links are POSIX's alone
        {"a FIFO as the store", [&] { ASSERT_EQ(::mkfifo(store.c_str(), 0644), 0); }, store},
        {"a FIFO as its additions", [&] { ASSERT_EQ(::mkfifo(additions.c_str(), 0644), 0); }, additions},
        {"a link to a FIFO",
         [&] {
             ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
             fs::create_symlink(dir / "fifo", store);
         },
         store},
#endif
        {"a folder", [&] { fs::create_directory(store); }, store},
        {"a protected store",
         [&] {
             test::writeFile(store, kept);
             fs::permissions(store, readOnly);
             protectedAs = fs::status(store).permissions();
         },
         store},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const fs::path& f : {store, additions, dir / "fifo"}) {
            if (fs::exists(fs::symlink_status(f))) fs::permissions(f, fs::perms::owner_all, fs::perm_options::add);
            fs::remove_all(f);
        }
        if (c.file != store) test::writeFile(store, kept);
        c.make();
        const fs::file_type type = fs::symlink_status(c.file).type();
        test::writeFile(dir / "archive/Kelvra-Gold7/pub/1.htm", w("<p>мир</p>")); // a text to keep
        FullTextCache cache;
        j.cache = &cache;
        for (int k = 0; k < 2; ++k) {
            const FullTextResult r = runFullTextSearch(t, j, stop, {});
            cache.waitForFill();
            EXPECT_EQ(r.hits, 4);
            if (k == 0)
                EXPECT_NE(r.storeProblem.english().find(c.file.string()), std::string::npos) << r.storeProblem;
            else
                EXPECT_TRUE(r.storeProblem.empty()) << "said twice: " << r.storeProblem;
        }
        EXPECT_EQ(fs::symlink_status(c.file).type(), type);
        if (type == fs::file_type::regular) {
            EXPECT_TRUE(test::readFile(c.file) == kept);
            EXPECT_EQ(fs::status(c.file).permissions(), protectedAs);
        }
        for (const auto& e : fs::directory_iterator(app))
            EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
        test::writeFile(dir / "archive/Kelvra-Gold7/pub/1.htm", w("<p>война</p>"));
    }
}

// Every spelling of one archive folder finds its files under one name, so the store keeps each text once;
// texts of another archive folder are dropped when the store is written.
TEST(TextStore, EverySpellingOfTheArchiveFolderSharesItsTexts) {
    TempDir dir;
    RecordTable t;
    fill(t, issueSeven(dir, 4, 2));
    const fs::path store = dir / "app" / std::string(kTextStoreFile);
    fs::create_directories(store.parent_path());
    std::atomic<bool> stop{false};
    const std::string folder = (dir / "archive").string();
#if defined(_WIN32) // no link to make there
    const std::vector<std::string> spellings = {folder, folder + "/", folder + "/./",
                                                (dir / "app/../archive").string()};
#else
    fs::create_directory_symlink(dir / "archive", dir / "alias");
    const std::vector<std::string> spellings = {folder, (dir / "alias").string(), folder + "/", folder + "/./",
                                                (dir / "alias/../archive").string()};
#endif
    int fromStore = 0; // the first search reads every file
    for (const std::string& spelling : spellings) {
        SCOPED_TRACE(spelling);
        FullTextJob j = job(dir, "мир");
        j.archiveFolder = spelling;
        j.storeFile = store;
        j.storeSettle = std::chrono::seconds(0);
        const FullTextResult r = runFullTextSearch(t, j, stop, {});
        EXPECT_EQ(r.hits, 2);
        EXPECT_EQ(r.filesFromStore, fromStore);
        EXPECT_EQ(TextStore(store, {}).size(), 4u);
        fromStore = 4;
    }
    // Another archive: the copy's texts replace the first one's.
    fs::copy(dir / "archive", dir / "copy", fs::copy_options::recursive);
    FullTextJob j = job(dir, "мир");
    j.archiveFolder = (dir / "copy").string();
    j.storeFile = store;
    j.storeSettle = std::chrono::seconds(0);
    EXPECT_EQ(runFullTextSearch(t, j, stop, {}).hits, 2);
    EXPECT_EQ(TextStore(store, {}).size(), 4u);
    EXPECT_EQ(runFullTextSearch(t, j, stop, {}).filesFromStore, 4);
}

TEST(FindDialog, ProgressLines) {
    EXPECT_EQ(findIssueLine(w("Выпуск №"), "  7"), w("\"Kelvrania\" Выпуск №  7"));
    EXPECT_EQ(findHitsLine(w("Найдено публикаций : "), 12), w("Найдено публикаций : 12"));
}
