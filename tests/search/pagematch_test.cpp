#include "base/cp1251.h"
#include "base/textops.h"
#include "catalogue/catalogue.h"
#include "search/fulltext.h"
#include "search/pagematch.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

using namespace marovex;
using namespace marovex::search;
namespace fs = std::filesystem;

namespace {

// The page text as the plain walk builds it: the file's lines (ended by CR, LF or CR LF) joined by CR LF.
std::string joinedLines(std::string_view bytes) {
    std::string out;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') continue;
        out.append(bytes.substr(start, i - start)).append("\r\n");
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < bytes.size()) out.append(bytes.substr(start)).append("\r\n");
    return out;
}

bool plainMatch(std::string_view bytes, const std::string& word, SearchOptions o) {
    return text::PageContainsWord(joinedLines(bytes), word, o.caseSensitive, o.wholeWords);
}

bool fastMatch(std::string bytes, const std::string& word, SearchOptions o, size_t lookahead) {
    std::string scratch;
    return PageMatcher(word, o, lookahead).contains(bytes, scratch);
}

// Pieces that pages are built from: words in both cases and alphabets, every construct the normalisation
// handles in its own way, and the separators of the whole-word rule.
const std::vector<std::string> kPieces = [] {
    std::vector<std::string> p;
    for (const char* s : {"мир",
                          "Мир",
                          "МИР",
                          "мирный",
                          "труд",
                          "war",
                          "War",
                          "peace",
                          "ёлка",
                          "ЁЛКА",
                          "a",
                          "b",
                          " ",
                          " ",
                          " ",
                          "  ",
                          "\t",
                          "\r",
                          "\n",
                          "\r\n",
                          "\n\r",
                          "\x01",
                          "\x1f",
                          ",",
                          ".",
                          "(",
                          ")",
                          "«",
                          "»",
                          "\"",
                          "[",
                          "_",
                          "7",
                          "<b>",
                          "</b>",
                          "<p class=\"x\">",
                          "<",
                          ">",
                          "<br>",
                          "<BR>",
                          "<!-- c -->",
                          "<script>",
                          "</script>",
                          "<SCRIPT type=x>",
                          "</Script>",
                          "<style>",
                          "</STYLE>",
                          "&nbsp;",
                          "&NBSP;",
                          "&quot;",
                          "&laquo;",
                          "&raquo;",
                          "&amp;",
                          "&lt;",
                          "&gt;",
                          "&brvbar;",
                          "&uml;",
                          "&copy;",
                          "&",
                          "&amp;lt;",
                          "%20",
                          "%2",
                          "|",
                          "\xa0",
                          "&n",
                          "bsp;",
                          "мир&nbsp;труд",
                          "<b>мир</b>"})
        p.push_back(cp1251::fromUtf8(s));
    p.push_back(std::string(1, '\0'));
    return p;
}();

const std::vector<std::string> kWords = [] {
    std::vector<std::string> words;
    for (const char* s :
         {"мир",     "Мир",  "МИР", "мир труд", "мир  труд", "war",  "peace", "ёлка", "ЁЛКА",  "a",     "b",
          "\"мир\"", "\"",   "&",   "<",        ">",         "|",    "a&b",   "a<b",  "мир,",  "(мир)", "7",
          "br",      "nbsp", "lt;", "%20",      "a b",       " мир", "\xa0",  "_",    "script"})
        words.push_back(cp1251::fromUtf8(s));
    return words;
}();

} // namespace

TEST(PageMatcher, AgreesWithThePlainRulesOnGeneratedPages) {
    std::mt19937 rng(20240607);
    int agreed = 0, found = 0, skipped = 0;
    for (int pageNo = 0; pageNo < 3000; ++pageNo) {
        std::string page;
        const int pieces = int(rng() % 40);
        for (int i = 0; i < pieces; ++i)
            page += kPieces[rng() % kPieces.size()];
        for (int k = 0; k < 6; ++k) {
            const std::string& word = kWords[rng() % kWords.size()];
            for (int o = 0; o < 4; ++o) {
                const SearchOptions options{(o & 1) != 0, (o & 2) != 0};
                const bool expected = plainMatch(page, word, options);
                // Short look-aheads make the early part end inside the page.
                const size_t lookahead = rng() % 24;
                ASSERT_EQ(fastMatch(page, word, options, lookahead), expected)
                    << "page [" << cp1251::toUtf8(page) << "] word [" << cp1251::toUtf8(word) << "] case "
                    << options.caseSensitive << " words " << options.wholeWords << " look-ahead "
                    << lookahead;
                const PageMatcher m(word, options);
                if (!m.mayContain(page)) ++skipped;
                found += expected;
                ++agreed;
            }
        }
    }
    // The pages must exercise both answers and the early skip.
    EXPECT_GT(found, agreed / 20);
    EXPECT_GT(skipped, agreed / 5);
}

TEST(PageMatcher, AnchorLeavesOutWhatNormalisationProduces) {
    EXPECT_EQ(PageMatcher(cp1251::fromUtf8("мир труд"), {}).anchor(), cp1251::fromUtf8("труд"));
    EXPECT_EQ(PageMatcher("a&quot", {}).anchor(), "quot");
    EXPECT_EQ(PageMatcher("\"<|>", {}).anchor(), "");
    // A word made only of produced bytes can hide behind entities, so every page is examined.
    std::string page = "x&quot;y", scratch;
    EXPECT_TRUE(PageMatcher("\"", {}).mayContain(page));
    EXPECT_TRUE(PageMatcher("\"", {}).contains(page, scratch));
}

// The whole walk, threads and read-ahead included, against a plain walk of the same rules.
TEST(FullTextSearch, AgreesWithAPlainWalkOverAGeneratedArchive) {
    test::TempDir dir;
    std::mt19937 rng(7);
    RecordTable t;
    catalogue::openEmptyArticleTable(t);
    const std::vector<std::string> links = {"a.htm", "b.HTML",    "c.txt",       "d.pdf",
                                            "e",     "sub/f.htm", "missing.htm", "../g.htm"};
    for (int i = 0; i < 400; ++i) {
        const int type = 1 + int(rng() % 3);
        const std::string number = std::to_string(1 + rng() % 5);
        const std::string link = std::to_string(i) + links[rng() % links.size()];
        const std::string folder =
            std::array<std::string, 3>{"Kelvra-Gold", "Kelvra-Release", "Kelvra"}[size_t(type - 1)] + number;
        std::string page;
        for (int k = int(rng() % 30); k > 0; --k)
            page += kPieces[rng() % kPieces.size()];
        if (link.find("missing") == std::string::npos) {
            const fs::path file = dir / "archive" / folder / "pub" / link;
            fs::create_directories(file.parent_path());
            test::writeFile(file, page);
        }
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Type", type);
        t.setText("Number", catalogue::padIssueNumber(number));
        t.setText("Statia", cp1251::toUtf8(rng() % 4 ? kPieces[rng() % kPieces.size()] : std::string()));
        t.setText("Link", cp1251::toUtf8(link));
        t.setInt("Find", rng() % 2 ? -1 : 0);
        t.setInt("Npp", i);
        t.post();
    }
    for (const std::string& word : {cp1251::fromUtf8("мир"), std::string("a"), std::string("war")}) {
        for (int o = 0; o < 4; ++o) {
            FullTextJob job;
            job.text = word;
            job.options = {(o & 1) != 0, (o & 2) != 0};
            job.archiveFolder = (dir / "archive").string();
            job.prefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
            job.threads = 3;

            // The plain walk: every row in turn, the title first, then the file read whole.
            ArticleFiles files(job.archiveFolder, job.prefixes);
            std::vector<int> expected;
            int hits = 0, read = 0;
            t.setSortKeys(catalogue::kWalkOrder);
            for (t.first(); !t.eof(); t.next()) {
                const std::string title = cp1251::fromUtf8(t.asText("Statia"));
                const std::string link = cp1251::fromUtf8(t.asText("Link"));
                bool marked = TitleMatches(title, word, job.options);
                if (!marked && HasTitle(title) && IsSearchableKind(link)) {
                    const fs::path path =
                        files.locate(t.asInt("Type"), cp1251::fromUtf8(t.asText("Number")), link);
                    if (!path.empty()) {
                        ++read;
                        std::ifstream in(path, std::ios::binary);
                        std::ostringstream bytes;
                        bytes << in.rdbuf();
                        marked = plainMatch(bytes.str(), word, job.options);
                    }
                }
                expected.push_back(marked ? -1 : 0);
                hits += marked;
            }

            std::atomic<bool> stop{false};
            const FullTextResult r = RunFullTextSearch(t, job, stop, {});
            EXPECT_EQ(r.hits, hits);
            EXPECT_EQ(r.filesRead, read);
            std::vector<int> got;
            for (t.first(); !t.eof(); t.next())
                got.push_back(t.asInt("Find"));
            EXPECT_EQ(got, expected);
        }
    }
}
