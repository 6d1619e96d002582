#include "viewer/opening.h"

#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "catalogue/recordtable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace marovex;
using namespace marovex::viewer;
using marovex::test::TempDir;
namespace fs = std::filesystem;

namespace {

class RecordingConversation final : public Conversation {
public:
    explicit RecordingConversation(std::vector<std::string>& log) : m_log(log) {}
    void connect(std::string_view, std::string_view topic) override {
        m_log.push_back("connect " + std::string(topic));
    }
    void request(std::string_view item) override { m_log.push_back("request " + std::string(item)); }
    void close() override {}

private:
    std::vector<std::string>& m_log;
};

// The main window as the opening sees it; every call lands in one log.
struct RecordingHooks final : ViewerHooks {
    bool pane = true;
    std::vector<std::string> log;

    bool embeddedBrowserPresent() override { return pane; }
    void navigate(const fs::path& file) override { log.push_back("navigate " + platform::pathToUtf8(file)); }
    void shellOpen(const fs::path& file, ShellFallback fallback) override {
        log.push_back((fallback == ShellFallback::ShowInApplication ? "shell or here " : "shell ") +
                      platform::pathToUtf8(file));
    }
    void showMessage(MessageIcon icon, const std::string& text) override {
        log.push_back((icon == MessageIcon::Error ? "error " : "info ") + text);
    }
    void setCaption(const std::string& caption) override { log.push_back("caption " + caption); }
    void toggleFavourite() override { log.push_back("favourite"); }
    std::unique_ptr<Conversation> newConversation(const std::string& program) override {
        log.push_back("browser " + program);
        return std::make_unique<RecordingConversation>(log);
    }
};

class OpeningTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(app.path());
        settings.appDir = app.path();
        settings.archiveFolder = archive.path().string();
        settings.editionPrefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
        settings.fileNotFoundText = "Не найден файл ";
        test::writeFile(app / "msie.exe", "");
        test::writeFile(app / "opera.exe", "");
        settings.msieProgram = (app / "msie.exe").string();
        settings.operaProgram = (app / "opera.exe").string();
    }
    // With the system's separators, as the opening joins the parts.
    std::string path(const std::string& relative) const {
        return platform::pathToUtf8(archive.path() / platform::pathFromUtf8(relative).make_preferred());
    }
    // The frame copy's base for an ASCII path in the archive: a file URL, or on Windows the path itself.
    std::string baseHref(const std::string& relative) const {
#if defined(_WIN32)
        return "file:\\\\" + path(relative);
#else
        return "file://" + path(relative);
#endif
    }
    std::string appPath(const std::string& relative) const {
        return platform::pathToUtf8(app.path() / platform::pathFromUtf8(relative).make_preferred());
    }
    // What a lookup that ignores letter case gives: the name as it lies on disk where the system tells
    // names apart by case, the name as asked where the system itself ignores case (Windows).
    std::string found([[maybe_unused]] const std::string& onDisk, [[maybe_unused]] const std::string& asked) const {
#if defined(_WIN32)
        return path(asked);
#else
        return path(onDisk);
#endif
    }

    TempDir archive, app;
    OpenSettings settings;
    RecordingHooks hooks;
    const ArticleRow gold7{1, "  7", "a/b.HTML"};
};

} // namespace

TEST_F(OpeningTest, MissingContentsPageListsTheThreeCandidatesInOrder) {
    openCurrentRow("Type", gold7, settings, hooks);
    EXPECT_EQ(hooks.log,
              (std::vector<std::string>{"error Не найден файл \r" + path("Kelvra-Gold7/index.htm") + "\r" +
                                        path("Kelvra-Gold7/Kelvra-Gold7/index.htm") + "\r" +
                                        path("Kelvra-Gold7.zip/Kelvra-Gold7/index.htm")}));
}

// The row gives its link as the table holds it, in UTF-8; the name on disk differs in letter case.
TEST_F(OpeningTest, ACyrillicLinkFindsItsArticleIgnoringLetterCase) {
    test::writeFile(archive / "Kelvra-Gold7/pub/СТАТЬЯ.htm", "<html></html>");
    openCurrentRow("Statia", {1, "  7", "статья.htm"}, settings, hooks);
    EXPECT_EQ(hooks.log, (std::vector<std::string>{"navigate " + found("Kelvra-Gold7/pub/СТАТЬЯ.htm", "Kelvra-Gold7/pub/статья.htm"),
                                                   "caption Marovex v2.0   [ Kelvra №  7 ]"}));
}

TEST_F(OpeningTest, ContentsPageGoesToTheChosenViewer) {
    // Only the archive-named candidate holds the page, in other letter case.
    test::writeFile(archive / "KELVRA-GOLD7.ZIP/kelvra-gold7/Index.HTM", "<html></html>");
    const std::string page = found("KELVRA-GOLD7.ZIP/kelvra-gold7/Index.HTM", "Kelvra-Gold7.zip/Kelvra-Gold7/index.htm");

    openCurrentRow("Number", gold7, settings, hooks);
    EXPECT_EQ(hooks.log,
              (std::vector<std::string>{"navigate " + page, "caption Marovex v2.0   [ Kelvra №  7 ]"}));

    for (Viewer choice : {Viewer::Pane, Viewer::DefaultBrowser, Viewer(9)}) {
        hooks.log.clear();
        hooks.pane = choice == Viewer::DefaultBrowser; // 1 and 9 without the pane fall back
        settings.viewerChoice = choice;
        openCurrentRow("Type", gold7, settings, hooks);
        EXPECT_EQ(hooks.log, (std::vector<std::string>{"shell " + page})) << int(choice);
    }

    hooks.log.clear();
    settings.frame = true; // plays no part for contents pages
    settings.viewerChoice = Viewer::Opera;
    openCurrentRow("Type", gold7, settings, hooks);
    EXPECT_EQ(hooks.log,
              (std::vector<std::string>{"browser " + (app / "opera.exe").string(), "connect WWW_OpenURL",
                                        "request " + page + ",,0xFFFFFFFF,0x3,,,"}));
    EXPECT_FALSE(fs::exists(app / "index.htm"));
}

TEST_F(OpeningTest, ColumnsOtherThanThePageColumnsOpenNothing) {
    test::writeFile(archive / "Kelvra-Gold7/index.htm", "x");
    openCurrentRow("Tem", gold7, settings, hooks);
    openCurrentRow("type", gold7, settings, hooks);
    EXPECT_TRUE(hooks.log.empty());
    openCurrentRow("Izb", gold7, settings, hooks);
    EXPECT_EQ(hooks.log, (std::vector<std::string>{"favourite"}));
}

TEST_F(OpeningTest, FrameCopyOfTheNestedIssueGoesToMsie) {
    const std::string frameset =
        "<HTML><HEAD><TITLE>7</TITLE>\n</Head>\r<FRAMESET><FRAME SRC=\"frame/left.htm\">\r\n"
        "<FRAME SRC=\"FRAME/MAIN.HTM\"><frame src=\"Frame/Main.htm\"></FRAMESET></HTML>";
    test::writeFile(archive / "Kelvra-Gold7/Kelvra-Gold7/index.htm", frameset);
    test::writeFile(archive / "Kelvra-Gold7/Kelvra-Gold7/pub/a/b.HTML", "<html></html>");
    settings.frame = true;
    settings.viewerChoice = Viewer::Msie;

    openCurrentRow("Statia", gold7, settings, hooks);
    const fs::path copy = app / "index.htm";
    EXPECT_EQ(hooks.log,
              (std::vector<std::string>{"browser " + (app / "msie.exe").string(), "connect WWW_Activate",
                                        "request 0xFFFFFFFF,0xFFFFFFFF", "connect WWW_OpenURL",
                                        "request " + copy.string() + ",,0xFFFFFFFF"}));
    EXPECT_EQ(test::readFile(copy),
              "<HTML><HEAD><TITLE>7</TITLE>\r\n<BASE HREF=\"" + baseHref("Kelvra-Gold7/Kelvra-Gold7/index.htm") +
                  "\"></Head>\r\n<FRAMESET><FRAME SRC=\"frame/left.htm\">\r\n"
                  "<FRAME SRC=\"pub/a/b.HTML\"><frame src=\"pub/a/b.HTML\"></FRAMESET></HTML>\r\n");

    // The pane shows the article itself, but the copy is still written when due.
    fs::remove(copy);
    hooks.log.clear();
    settings.viewerChoice = Viewer::Pane;
    openCurrentRow("Statia", gold7, settings, hooks);
    EXPECT_EQ(hooks.log,
              (std::vector<std::string>{"navigate " + path("Kelvra-Gold7/Kelvra-Gold7/pub/a/b.HTML"),
                                        "caption Marovex v2.0   [ Kelvra №  7 ]"}));
    EXPECT_TRUE(fs::exists(copy));

    // Without the pane an HTML article goes to the default handler as its frame copy.
    hooks.log.clear();
    hooks.pane = false;
    openCurrentRow("Statia", gold7, settings, hooks);
    EXPECT_EQ(hooks.log, (std::vector<std::string>{"shell " + copy.string()}));
}

// The archive was written where letter case does not matter: the copy's main frame names the article as it
// lies on disk, escaped so that no name can add markup. A symbolic link out of the issue folder is missing.
TEST_F(OpeningTest, FrameCopyNamesTheArticleAsOnDiskAndNothingLeavesTheIssueFolder) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::quoteInName;
#else
    test::writeFile(archive / "Kelvra-Gold7/index.htm", "<head></head><frame src=\"frame/main.htm\">");
    test::writeFile(archive / "Kelvra-Gold7/PUB/A/B.html", "");
    test::writeFile(archive / "Kelvra-Gold7/PUB/q\" onload=\"x&y#z.htm", "");
    settings.frame = true;
    settings.viewerChoice = Viewer::DefaultBrowser;
    auto mainFrame = [&] {
        const std::string copy = test::readFile(app / "index.htm");
        return copy.substr(copy.rfind("<frame src="));
    };
    openCurrentRow("Statia", gold7, settings, hooks); // the link "a/b.HTML"
    EXPECT_EQ(mainFrame(), "<frame src=\"PUB/A/B.html\">\r\n");
    openCurrentRow("Statia", {1, "  7", "q\" onload=\"x&y#z.htm"}, settings, hooks);
    EXPECT_EQ(mainFrame(), "<frame src=\"PUB/q&quot; onload=&quot;x&amp;y%23z.htm\">\r\n");
    // A name kept as Windows-1251 bytes, which its link writes with an escape, as a browser would decode it.
    test::writeFile(archive / "Kelvra-Gold7/PUB/b\x98.htm", "");
    openCurrentRow("Statia", {1, "  7", "b%98.htm"}, settings, hooks);
    EXPECT_EQ(mainFrame(), "<frame src=\"PUB/b\x98.htm\">\r\n");

    fs::remove_all(archive / "Kelvra-Gold7/PUB/A");
    test::writeFile(archive / "outside.htm", "secret");
    fs::create_directory_symlink(archive.path(), archive / "Kelvra-Gold7/PUB/A");
    fs::create_symlink(archive / "outside.htm", archive / "Kelvra-Gold7/PUB/link.htm");
    for (const char* link : {"a/outside.htm", "link.htm"}) {
        hooks.log.clear();
        openCurrentRow("Statia", {1, "  7", link}, settings, hooks);
        ASSERT_EQ(hooks.log.size(), 1u) << link;
        EXPECT_EQ(hooks.log[0].rfind("error ", 0), 0u) << hooks.log[0];
    }
#endif
}

TEST_F(OpeningTest, FrameCopyWithoutHeadEndIsTheLinesUnchanged) {
    test::writeFile(archive / "Kelvra-Gold7/index.htm",
                    "<frameset>\n<frame src=\"frame/main.htm\">\r</frameset>");
    test::writeFile(archive / "Kelvra-Gold7/pub/a/b.HTML", "");
    settings.frame = true;
    settings.viewerChoice = Viewer::DefaultBrowser;
    openCurrentRow("Statia", gold7, settings, hooks);
    EXPECT_EQ(hooks.log, (std::vector<std::string>{"shell " + (app / "index.htm").string()}));
    EXPECT_EQ(test::readFile(app / "index.htm"),
              "<frameset>\r\n<frame src=\"frame/main.htm\">\r\n</frameset>\r\n");
}

TEST_F(OpeningTest, BaseOfTheFrameCopyIsAnEscapedFileUrl) {
#if defined(_WIN32)
    // The browser there takes the path itself, in the page's Windows-1251.
    const std::string text = frameCopyText("<head></head>", platform::pathFromUtf8("C:\\k\\Выпуск 7\\index.htm"), "x.htm");
    EXPECT_EQ(text, "<head><BASE HREF=\"file:\\\\C:\\k\\" + cp1251::fromUtf8("Выпуск") + " 7\\index.htm\"></head>\r\n");
#else
    const std::string text = frameCopyText("<head></head>", "/k/Выпуск 7\"/index.htm", "x.htm");
    EXPECT_EQ(text, "<head><BASE HREF=\"file:///k/%D0%92%D1%8B%D0%BF%D1%83%D1%81%D0%BA%207%22/index.htm\">"
                    "</head>\r\n");
#endif
}

TEST_F(OpeningTest, FileThatIsNoHtmlArticleGoesToTheDefaultHandlerWithoutFrameCopy) {
    test::writeFile(archive / "Kelvra-Gold7/index.htm", "<head></head>");
    test::writeFile(archive / "Kelvra-Gold7/pub/doc.pdf", "%PDF");
    settings.frame = true;
    for (Viewer choice : {Viewer::Pane, Viewer::Msie, Viewer::Opera}) {
        hooks.log.clear();
        settings.viewerChoice = choice;
        openCurrentRow("Statia", {1, "  7", "doc.pdf"}, settings, hooks);
        EXPECT_EQ(hooks.log, (std::vector<std::string>{"shell " + path("Kelvra-Gold7/pub/doc.pdf")}))
            << int(choice);
    }
    EXPECT_FALSE(fs::exists(app / "index.htm"));
}

TEST_F(OpeningTest, LinkLeavingTheIssueFolderIsNeverOpened) {
    test::writeFile(archive / "Kelvra-Gold7/pub/ok.htm", "");
    test::writeFile(archive / "secret.htm", "");
    for (const std::string& link :
         {std::string("../../secret.htm"), path("secret.htm"), std::string("C:secret.htm")}) {
        hooks.log.clear();
        openCurrentRow("Statia", {1, "  7", link}, settings, hooks);
        ASSERT_EQ(hooks.log.size(), 1u) << link;
        EXPECT_EQ(hooks.log[0].rfind("error Не найден файл \r" + path("Kelvra-Gold7/pub/"), 0), 0u)
            << hooks.log[0];
    }
}

TEST_F(OpeningTest, UnreadableIssuePageStopsBeforeAnyViewer) {
    test::writeFile(archive / "Kelvra-Gold7/pub/a/b.HTML", "");
    settings.frame = true;
    EXPECT_THROW(openCurrentRow("Statia", gold7, settings, hooks), std::runtime_error);
    EXPECT_TRUE(hooks.log.empty());
}

TEST_F(OpeningTest, PopupItemLeavesTheViewerChoiceAlsoAfterAnError) {
    test::writeFile(archive / "Kelvra-Gold7/index.htm", "");
    settings.operaProgram.clear();
    try {
        openCurrentRowInOpera("Type", gold7, settings, hooks);
        ADD_FAILURE() << "no error for a missing Opera";
    } catch (const BrowserMissing& e) {
        EXPECT_EQ(e.message().key, msg::BrowserNotSet);
    }
    openCurrentRowInDefaultBrowser("Type", gold7, settings, hooks);
    openCurrentRow("Type", gold7, settings, hooks);
    EXPECT_EQ(hooks.log, (std::vector<std::string>{"shell " + path("Kelvra-Gold7/index.htm"),
                                                   "navigate " + path("Kelvra-Gold7/index.htm"),
                                                   "caption Marovex v2.0   [ Kelvra №  7 ]"}));
}

TEST_F(OpeningTest, EmptyRowLooksForTheBareArchiveFolder) {
    test::writeFile(archive / "index.htm", "");
    openCurrentRow("Type", ArticleRow{}, settings, hooks);
    EXPECT_EQ(hooks.log, (std::vector<std::string>{"navigate " + path("index.htm"),
                                                   "caption Marovex v2.0   [ Kelvra № ]"}));
}

TEST_F(OpeningTest, HelpPagesOpenFromTheApplicationFolder) {
    test::writeFile(app / "Help/help.html", "");
    openHelp(settings, hooks);
    openWhatsNew(settings, hooks);
    EXPECT_EQ(hooks.log,
              (std::vector<std::string>{"shell or here " + appPath("Help/help.html"),
                                        "info Не найден файл  \r" + appPath("Help/new.html")}));
}

TEST(OpeningPieces, HtmlArticleTest) {
    for (const char* link : {"a/b.HTML", "a.htm", "x.shtml", "x.xhtml", "a.b\\c.Htm"})
        EXPECT_TRUE(isHtmlArticle(link)) << link;
    for (const char* link : {"doc.pdf", "a.txt", "noext", "dir.htm\\file", "dir.htm/file", "c.htm:x", ""})
        EXPECT_FALSE(isHtmlArticle(link)) << link;
}

TEST(OpeningPieces, OnlyTextsAboveASingleBlankAreHighlighted) {
    for (const char* t : {"a", " a", "  ", "\xE0"})
        EXPECT_TRUE(shouldHighlight(t)) << t;
    for (const char* t : {"", " ",
                          "\x1F"
                          "abc",
                          "\t"})
        EXPECT_FALSE(shouldHighlight(t)) << t;
}

TEST(OpeningPieces, FavouriteToggleAndTheEmptyRow) {
    RecordTable articles;
    catalogue::openEmptyArticleTable(articles);
    const ArticleRow empty = currentArticleRow(articles);
    EXPECT_EQ(empty.type, 0);
    EXPECT_EQ(empty.number, "");
    toggleFavourite(articles); // nothing to toggle, and no row made
    EXPECT_TRUE(articles.isEmpty());

    articles.append();
    articles.setInt("Type", 2);
    articles.setText("Number", " 12");
    articles.setText("Link", "Статья.htm");
    articles.post();
    EXPECT_EQ(currentArticleRow(articles).link, "Статья.htm");
    toggleFavourite(articles);
    EXPECT_EQ(articles.asInt("Izb"), -1);
    toggleFavourite(articles);
    EXPECT_EQ(articles.asInt("Izb"), 0);
}
