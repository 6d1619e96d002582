#include "../../fuzz/textops_reference.h" // the step-by-step page preparation, shared with the fuzz targets
#include "archivegen/archivegen.h"
#include "catalogue/catalogue.h"
#include "base/cp1251.h"
#include "indexer/pageparser.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace marovex;
using namespace marovex::indexer;
namespace fs = std::filesystem;

namespace {

struct Row {
    std::string tem, statia, link;
    int npp;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << "{" << r.tem << "|" << r.statia << "|" << r.link << "|" << r.npp << "}";
}

class PageParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue::openEmptyArticleTable(articles);
        catalogue::openEmptyTopicTable(topics);
        parser.emplace(articles, topics);
    }

    // Pages are written here in UTF-8 and handed to the parser in Windows-1251, as they lie in the archive.
    void parse(int edition, const std::string& number, const std::string& utf8Page) {
        parseBytes(edition, number, cp1251::fromUtf8(utf8Page));
    }
    void parseBytes(int edition, const std::string& number, std::string_view page) {
        parser->parsePreparedPage(edition, number, preparePage(page, prepared));
    }

    std::vector<Row> rows() {
        std::vector<Row> out;
        for (int i = 0; i < articles.rowCount(); ++i) {
            const RowRef r = articles.rowAt(i);
            out.push_back({r.asText(articles.field("Tem")), r.asText(articles.field("Statia")),
                           r.asText(articles.field("Link")), r.asInt(articles.field("Npp"))});
        }
        return out;
    }

    RecordTable articles, topics;
    std::optional<PageParser> parser;
    std::string prepared;
};

TEST_F(PageParserTest, HeadingsGiveTheTopicsOfTheLinksAfterThem) {
    parse(1, " 05",
          "<html><body>Материалы<br>\r\n<b>Новости</b><br>\r\n<a href=\"../pub/a.htm\">A</a><br>\r\n"
          "<a href=\"../pub/b.htm\">B</a><br>\r\n<b>Софт</b><br>\r\n<a href=\"../pub/c.htm\">C</a></body></html>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"Новости", "A", "a.htm", 0}, {"Новости", "B", "b.htm", 1},
                                        {"Софт", "C", "c.htm", 2}}));
    articles.first();
    EXPECT_EQ(articles.asInt("Type"), 1);
    EXPECT_EQ(articles.asText("Number"), " 05");
    EXPECT_TRUE(articles.isNull("Izb"));
    EXPECT_EQ(articles.asInt("Izb1"), 0);
    EXPECT_EQ(articles.asInt("Find"), 0);
    EXPECT_EQ(articles.asInt("Kod"), 0);
}

TEST_F(PageParserTest, ALinkRepeatedOnALaterPageAddsItsTitleToTheFirstRow) {
    parse(3, "  7", "<html><body><a href=\"../pub/Soft/X.htm\">Слева</a>");
    parse(3, "  7", "Материалы <b>Тема</b> <a href=\"../pub/y.htm\">Y</a> <a href=\"../pub/soft/x.HTM\">Справа</a>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"", "Слева Справа", "Soft/X.htm", 0}, {"Тема", "Y", "y.htm", 0}}));
    // Another issue with the same link is another article.
    parse(3, "  8", "<html><body><a href=\"../pub/Soft/X.htm\">Другой</a>");
    EXPECT_EQ(articles.rowCount(), 3);
}

TEST_F(PageParserTest, CapitalMarkersAreFoundAndOnlyLowerCaseAnchorTagsEndATitle) {
    parse(1, "  1",
          "Материалы <b>T</b> <A HREF=\"../pub/p.htm\"><FONT color=red>Первая</FONT></A> и хвост "
          "<a href=\"../pub/q.htm\">Вторая</a>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"T", "Первая и хвост", "p.htm", 0}, {"T", "Вторая", "q.htm", 1}}));
}

TEST_F(PageParserTest, DroppedLinksMakeNoRowButUseUpTheirNumber) {
    parse(1, "  1",
          "Материалы <b>T</b> <a href=\"../pub/\">пусто</a> <a href=\"../pub/a>pb\">gt-p</a> "
          "<a href=\"../pub/ok.htm\">ok</a>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"T", "ok", "ok.htm", 2}}));
}

TEST_F(PageParserTest, EmptyBoldHeadingGivesAnEmptyTopic) {
    parse(1, "  1", "Материалы <b>Софт</b> <a href=\"../pub/x.htm\">X</a> <b></b> <a href=\"../pub/y.htm\">Y</a>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"Софт", "X", "x.htm", 0}, {"", "Y", "y.htm", 1}}));
}

TEST_F(PageParserTest, ALinkBeforeTheFirstHeadingDelaysTheHeading) {
    parse(1, "  1", "Материалы <a href=\"../pub/x.htm\">X</a> <b>Софт</b><br> <a href=\"../pub/y.htm\">Y</a>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"", "X", "x.htm", 0}, {"Софт", "Y", "y.htm", 1}}));
}

TEST_F(PageParserTest, WithoutATagAfterTheHeadingTheDelayedTopicNeverApplies) {
    parse(1, "  1", "Материалы <a href=\"../pub/x.htm\">X</a> <b>Софт</b> <a href=\"../pub/y.htm\">Y</a>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"", "X", "x.htm", 0}, {"", "Y", "y.htm", 1}}));
}

TEST_F(PageParserTest, ReleasePagesHaveNoTopics) {
    parse(1, "  1", "Материалы <b>Старая</b> <a href=\"../pub/a.htm\">A</a>");
    parse(2, "  1", "Материалы <b>Новости</b> <a href=\"../pub/b.htm\">B</a>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"Старая", "A", "a.htm", 0}, {"", "B", "b.htm", 0}}));
    EXPECT_EQ(parser->currentTopic(), "");
}

TEST_F(PageParserTest, ThePreviousPagesTopicCarriesIntoAPageWithoutHeadings) {
    parse(1, "  1", "Материалы <b>Железо</b> <a href=\"../pub/a.htm\">A</a>");
    parse(1, "  2", "<html><body><a href=\"../pub/b.htm\">B</a>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"Железо", "A", "a.htm", 0}, {"Железо", "B", "b.htm", 0}}));
}

TEST_F(PageParserTest, AddressesAndTitlesAreDecoded) {
    parse(1, "  1",
          "Материалы <b> &laquo;Игры&raquo; </b> <a href=\"../pub/soft/My%20Page.htm\">Tom &amp; Jerry\r\n"
          "  &quot;2&quot;</a> <a href=\"../pub/i.htm\"><img src=x.gif></a> после картинки </a>");
    EXPECT_EQ(rows(), (std::vector<Row>{{"\"Игры\"", "Tom & Jerry \"2\"", "soft/My Page.htm", 0},
                                        {"\"Игры\"", "после картинки", "i.htm", 1}}));
}

TEST_F(PageParserTest, ALinkWithoutAClosingQuoteEndsThePage) {
    parse(1, "  1", "Материалы <b>T</b> <a href=\"../pub/a.htm\">A</a> <a href=\"../pub/broken.htm>B</a> "
                    "<a href=\"../pub/c.htm\">C</a>");
    // The second marker's address runs to the next quote; from there on the rest is read as usual.
    ASSERT_GE(articles.rowCount(), 1);
    EXPECT_EQ(rows()[0], (Row{"T", "A", "a.htm", 0}));
    parse(1, "  2", "<html><body><a href=\"../pub/open-ended");
    EXPECT_EQ(parser->rowsAdded(), articles.rowCount());
    parse(1, "  3", "<html><body><a href=\"../pub/x.htm\"> no end of title");
    EXPECT_EQ(rows().back(), (Row{"T", "no end of title", "x.htm", 0}));
}

TEST_F(PageParserTest, AHeadingWithoutAnEndLeavesTheLinksBeforeItAlone) {
    parse(1, "  1", "Материалы <b>Софт</b> <a href=\"../pub/a.htm\">A</a> <b>Без конца");
    parse(1, "  2", "Материалы <b>Тема</b> <a href=\"../pub/b.htm\">B</a> <b");
    EXPECT_EQ(rows(), (std::vector<Row>{{"Софт", "A", "a.htm", 0}, {"Тема", "B", "b.htm", 0}}));
}

TEST_F(PageParserTest, BytesAfterANulAreIgnoredAndControlCharactersAreBlanks) {
    std::string page = cp1251::fromUtf8("Материалы <b>T</b> <a href=\"../pub/a.htm\">A\tB\r\nC</a>");
    page += std::string("\0<a href=\"../pub/b.htm\">hidden</a>", 34);
    parseBytes(1, "  1", page);
    EXPECT_EQ(rows(), (std::vector<Row>{{"T", "A B C", "a.htm", 0}}));
}

TEST_F(PageParserTest, LongValuesAreCutToTheirFields) {
    const std::string title(250, 'x');
    const std::string topic(80, 'y');
    parse(1, "  1", "Материалы <b>" + topic + "</b> <a href=\"../pub/a.htm\">" + title + "</a>");
    articles.first();
    EXPECT_EQ(articles.asText("Statia"), std::string(200, 'x'));
    EXPECT_EQ(articles.asText("Tem"), std::string(55, 'y'));
    parser->finishRun();
    topics.first();
    EXPECT_EQ(topics.asText("Tem"), std::string(55, 'y'));
}

TEST_F(PageParserTest, PreparePageNormalisesLineBreaks) {
    EXPECT_EQ(preparePage("a\r\nb\rc\nd"), "a  b  c  d  ");
    EXPECT_EQ(preparePage(""), "");
    EXPECT_EQ(preparePage("x\n"), "x  ");
    EXPECT_EQ(preparePage(std::string("ab\0cd", 5)), "ab  ");

    // The one-pass preparation against the step-by-step form: line breaks of every kind at every place of
    // a block (pairs split across blocks among them), on pages of every length, in one buffer reused from
    // the longest page to the shortest, and on full-size generated pages.
    const std::string pieces[] = {"\r",
                                  "\n",
                                  "\r\n",
                                  "\n\r",
                                  "\t",
                                  "\x1d",
                                  "\x1e",
                                  "\x1f",
                                  "\x01",
                                  "\xff",
                                  "ab",
                                  "<a href=\"x\">",
                                  std::string(1, '\0'),
                                  "0123456789abcdef"};
    unsigned seed = 7;
    std::vector<std::string> pages;
    for (int round = 0; round < 400; ++round) {
        std::string page;
        // Dense pages and sparse ones, where a block holds one break at most and takes a quick path.
        const unsigned sparseness = round % 2 ? 4 : 40;
        for (int i = round % 90 * 3; i > 0; --i) {
            seed = seed * 1103515245u + 12345u;
            const unsigned k = (seed >> 8) % (std::size(pieces) * sparseness);
            page += k < std::size(pieces) ? pieces[k] : "x";
        }
        pages.push_back(page);
    }
    test::TempDir dir;
    gen::GenOptions options;
    options.out = dir / "arc";
    options.issues = 3;
    options.articlesPerIssue = 20;
    options.contentsOnly = options.fullSizeContents = true;
    gen::GenerateArchive(options);
    for (const auto& e : fs::recursive_directory_iterator(dir / "arc"))
        if (e.is_regular_file() && e.path().filename() != "index.htm")
            pages.push_back(test::readFile(e.path()));
    std::sort(pages.begin(), pages.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    ASSERT_GT(pages.front().size(), 100'000u);
    std::string buffer;
    for (const std::string& page : pages)
        ASSERT_EQ(preparePage(page, buffer), fuzzref::preparePage(page)) << page.substr(0, 200);
}

TEST_F(PageParserTest, FinishRunAddsEachNewTopicOnceAndKeepsExistingKeys) {
    topics.append();
    topics.setText("Tem", "Софт");
    topics.setBool("Key", false);
    topics.post();
    parse(1, "  1", "Материалы <b>Софт</b> <a href=\"../pub/a.htm\">A</a> <a href=\"../pub/b.htm\">B</a> "
                    "<b>figa</b> <a href=\"../pub/c.htm\">C</a> <b>Железо</b> <a href=\"../pub/d.htm\">D</a>");
    parser->finishRun();
    std::vector<std::pair<std::string, bool>> got;
    for (topics.first(); !topics.eof(); topics.next()) got.emplace_back(topics.asText("Tem"), topics.asBool("Key"));
    EXPECT_EQ(got, (std::vector<std::pair<std::string, bool>>{{"Железо", true}, {"Софт", false}, {"figa", true}}))
        << "Russian order puts Cyrillic before Latin";
    EXPECT_EQ(articles.sortKeys(), "Find;Type;Number;Npp");
}

TEST_F(PageParserTest, FinishRunOnEmptyTablesLeavesOneEmptyTopic) {
    parser->finishRun();
    EXPECT_EQ(articles.rowCount(), 0);
    ASSERT_EQ(topics.rowCount(), 1);
    topics.first();
    EXPECT_EQ(topics.asText("Tem"), "");
    EXPECT_TRUE(topics.asBool("Key"));
}

TEST_F(PageParserTest, SequenceNumbersWrapAsSixteenBitNumbers) {
    std::string page = "Материалы <b>T</b>";
    for (int i = 0; i < 32770; ++i) page += "<a href=\"../pub/\">-</a>";
    page += "<a href=\"../pub/last.htm\">L</a>";
    parse(1, "  1", page);
    ASSERT_EQ(articles.rowCount(), 1);
    articles.first();
    EXPECT_EQ(articles.asInt("Npp"), -32766);
}

TEST_F(PageParserTest, AFiftyMegabytePageIsParsedInOnePass) {
    // Long stretches of text, tags and headings between the links: a parser that searched the whole
    // remaining page for every link, or copied it, would take hours here.
    std::string filler = cp1251::fromUtf8("<p>Текст статьи <br> без ссылок и <i>заголовков</i>. ");
    std::string block;
    while (block.size() < 50000) block += filler;
    std::string page = cp1251::fromUtf8("<html>Материалы ");
    page.reserve(51'000'000);
    int links = 0;
    for (int i = 0; page.size() < 50'000'000; ++i, ++links) {
        if (i % 100 == 0) page += "<b>Topic " + std::to_string(i / 100) + "</b>";
        page += "<a href=\"../pub/p" + std::to_string(i) + ".htm\">Title " + std::to_string(i) + "</a>";
        page += block;
    }
    parseBytes(1, "  1", page);
    ASSERT_EQ(articles.rowCount(), links);
    articles.last();
    const int last = articles.rowCount() - 1;
    EXPECT_EQ(articles.asText("Statia"), "Title " + std::to_string(last));
    EXPECT_EQ(articles.asText("Tem"), "Topic " + std::to_string(last / 100));
}

TEST_F(PageParserTest, GarbageNeverHangsOrCrashes) {
    unsigned seed = 1;
    const std::string pieces[] = {"<b>", "<B ", "</b>", "<a href=\"../pub/", "\"", ">", "<", "</a>", "<a",
                                  "Материалы", " ", "x", "&amp;", "&", "\r\n", std::string(1, '\0'), "\xff"};
    for (int round = 0; round < 300; ++round) {
        std::string page;
        for (int i = 0; i < 60; ++i) {
            seed = seed * 1103515245u + 12345u;
            page += pieces[(seed >> 8) % std::size(pieces)];
        }
        parseBytes(1 + round % 3, "  1", page);
    }
    parser->finishRun();
    // Whatever came out keeps the table's invariants: a link on every row, a topic row for every topic.
    std::set<std::string> topicNames;
    for (int i = 0; i < topics.rowCount(); ++i) topicNames.insert(topics.rowAt(i).asText(0));
    for (int i = 0; i < articles.rowCount(); ++i) {
        const RowRef r = articles.rowAt(i);
        EXPECT_FALSE(r.asText(articles.field("Link")).empty());
        EXPECT_TRUE(topicNames.count(r.asText(articles.field("Tem"))));
    }
}

} // namespace
