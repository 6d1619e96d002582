#include "base/cp1251.h"
#include "base/textops.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "search/fulltext.h"
#include "search/fulltextcache.h"
#include "search/pagematch.h"
#include "search/textstore.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <random>
#include <set>
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
    return PageMatcher(Cp1251Text(word), o, lookahead).contains(bytes, scratch);
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
                const PageMatcher m(Cp1251Text(word), options);
                if (!m.mayContain(page)) ++skipped;
                // The text store's way: the page normalised once and kept, tested as it is, and skipped
                // when its signature lacks a letter triple of the word.
                std::string stored = page;
                normalisePageText(stored);
                ASSERT_EQ(m.matchesText(stored), expected)
                    << "stored [" << cp1251::toUtf8(stored) << "] word [" << cp1251::toUtf8(word) << "]";
                const std::vector<std::uint64_t> signature = textSignature(stored);
                if (expected) {
                    ASSERT_TRUE(
                        signatureMayContain(signature.data(), signature.size(), TextQuery(Cp1251Text(word))))
                        << "stored [" << cp1251::toUtf8(stored) << "] word [" << cp1251::toUtf8(word) << "]";
                }
                found += expected;
                ++agreed;
            }
        }
    }
    // The pages must exercise both answers and the early skip.
    EXPECT_GT(found, agreed / 20);
    EXPECT_GT(skipped, agreed / 5);
}

// Signatures are made 32 bytes at a time where the processor allows: every letter triple of any text, at any
// place and in either case, must be in them, and a text's signature must not change with its letter case.
TEST(TextSignature, HoldsEveryTripleAndIgnoresLetterCase) {
    std::array<unsigned char, 256> lower{};
    for (int c = 0; c < 256; ++c)
        lower[size_t(c)] = static_cast<unsigned char>(c);
    for (int c = 255; c >= 0; --c) // the lower form of each upper-case letter
        if (text::Fold(static_cast<unsigned char>(c)) != c)
            lower[text::Fold(static_cast<unsigned char>(c))] = c;
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        // Letters of both blocks and plain bytes, with the letters outside them in some rounds only.
        std::string text(3 + rng() % 300, '\0');
        for (char& c : text) {
            unsigned v = rng() % 256;
            if (round % 2 == 0 && (v & 0xC0) == 0x80) v ^= 0x40;
            c = static_cast<char>(v);
        }
        std::string upper = text, lowered = text;
        text::FoldUpper(upper);
        for (char& c : lowered)
            c = static_cast<char>(lower[static_cast<unsigned char>(c)]);
        const std::vector<std::uint64_t> signature = textSignature(text);
        ASSERT_EQ(textSignature(upper), signature) << round;
        ASSERT_EQ(textSignature(lowered), signature) << round;
        for (size_t i = 0; i + 3 <= text.size(); ++i)
            for (const std::string* form : {&text, &upper, &lowered})
                ASSERT_TRUE(signatureMayContain(signature.data(), signature.size(),
                                                TextQuery(Cp1251Text(form->substr(i, 3)))))
                    << round << " at " << i;
    }
}

TEST(PageMatcher, AnchorLeavesOutWhatNormalisationProduces) {
    EXPECT_EQ(PageMatcher(Cp1251Text::fromUtf8("мир труд"), {}).anchor(), cp1251::fromUtf8("труд"));
    EXPECT_EQ(PageMatcher(Cp1251Text("a&quot"), {}).anchor(), "quot");
    EXPECT_EQ(PageMatcher(Cp1251Text("\"<|>"), {}).anchor(), "");
    // A word made only of produced bytes can hide behind entities, so every page is examined.
    std::string page = "x&quot;y", scratch;
    EXPECT_TRUE(PageMatcher(Cp1251Text("\""), {}).mayContain(page));
    EXPECT_TRUE(PageMatcher(Cp1251Text("\""), {}).contains(page, scratch));
}

// The whole walk, threads and read-ahead included, against a plain walk of the same rules: without the text
// store, and with it while it fills, answers, and follows files that change, appear, go, or become
// unreadable, and after it has been damaged.
TEST(FullTextSearch, AgreesWithAPlainWalkOverAGeneratedArchive) {
    test::TempDir dir;
    std::mt19937 rng(7);
    RecordTable t;
    catalogue::openEmptyArticleTable(t);
#if defined(_WIN32) // "5../g.htm" would end a folder's name in dots, which Windows takes off
    const std::vector<std::string> links = {"a.htm", "b.HTML", "c.txt", "d.pdf", "e", "sub/f.htm", "missing.htm"};
#else
    const std::vector<std::string> links = {"a.htm", "b.HTML",    "c.txt",       "d.pdf",
                                            "e",     "sub/f.htm", "missing.htm", "../g.htm"};
#endif
    const std::array<std::string, 3> prefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
    auto randomPage = [&] {
        std::string page;
        for (int k = int(rng() % 30); k > 0; --k)
            page += kPieces[rng() % kPieces.size()];
        return page;
    };
    std::vector<fs::path> written; // the article files, for the changes below
    for (int i = 0; i < 400; ++i) {
        const int type = 1 + int(rng() % 3);
        const std::string number = std::to_string(1 + rng() % 5);
        const std::string link = std::to_string(i) + links[rng() % links.size()];
        const fs::path pub = dir / "archive" / (prefixes[size_t(type - 1)] + number) / "pub";
        const std::string page = randomPage();
        if (link.find("missing") == std::string::npos) {
            const fs::path file = pub / test::diskName(link);
            fs::create_directories(file.parent_path());
            test::writeFile(file, page);
            written.push_back(file);
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
    // Names an archive unpacked without converting them keeps as Windows-1251 bytes, and an escape a browser
    // decodes into such a byte: link, name on disk, and a word only that file holds.
    const std::array<std::array<std::string, 3>, 3> rawNames = {{
        {"\xc0\xc1\xc2.htm", "\xc0\xc1\xc2.htm", "rawfirst"},
        {"odd\x98_dir/a\x98\xff.htm", "odd\x98_dir/a\x98\xff.htm", "rawsecond"},
        {"b%98.htm", "b\x98.htm", "rawthird"},
    }};
    int npp = 400;
    for (const auto& [link, disk, word] : rawNames) {
        test::writeFile(dir / "archive/Kelvra-Gold1/pub" / test::diskName(disk), "<p>" + word + "</p>");
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Type", 1);
        t.setText("Number", catalogue::padIssueNumber("1"));
        t.setText("Statia", "raw");
        t.setText("Link", cp1251::toUtf8(link));
        t.setInt("Find", 0);
        t.setInt("Npp", npp++);
        t.post();
    }
    fs::create_directories(dir / "outside");
    test::writeFile(dir / "outside" / "g.htm", cp1251::fromUtf8("мир war a"));
    const fs::path store = dir / "app" / std::string(kTextStoreFile);
    fs::create_directories(store.parent_path());

    struct Walk {
        std::vector<int> marks;
        int hits = 0, read = 0, unreadable = 0, fromStore = 0;
    };
    // The plain walk: every row in turn, the title first, then the file read whole; a file that cannot be
    // read or is not found counts as not matching, and among the unreadable ones.
    auto plainWalk = [&](const std::string& word, SearchOptions options) {
        ArticleFiles files((dir / "archive").string(), prefixes);
        std::set<std::string> unreadable;
        Walk walk;
        t.setSortKeys(catalogue::kWalkOrder);
        for (t.first(); !t.eof(); t.next()) {
            const std::string title = cp1251::fromUtf8(t.asText("Statia"));
            const std::string link = cp1251::fromUtf8(t.asText("Link"));
            bool marked = titleMatches(title, Cp1251Text(word), options);
            if (!marked && hasTitle(title) && isSearchableKind(link)) {
                try {
                    const fs::path path =
                        files.locate(t.asInt("Type"), cp1251::fromUtf8(t.asText("Number")), link);
                    if (!path.empty()) {
                        ++walk.read;
                        marked = plainMatch(test::readFile(path), word, options);
                    } else {
                        unreadable.insert("not found: " + t.asText("Number") + "/" + link);
                    }
                } catch (const ArticleReadError& e) {
                    unreadable.insert(e.file());
                }
            }
            walk.marks.push_back(marked ? -1 : 0);
            walk.hits += marked;
        }
        walk.unreadable = int(unreadable.size());
        return walk;
    };
    FullTextCache cache; // kept across all the phases, as a window keeps it
    auto searchWalk = [&](const std::string& word, SearchOptions options, bool withStore, bool withCache) {
        FullTextJob job;
        job.text = cp1251::toUtf8(word);
        job.options = options;
        job.archiveFolder = (dir / "archive").string();
        job.prefixes = prefixes;
        job.threads = 3;
        job.useStore = withStore;
        job.storeFile = store;
        job.storeSettle = std::chrono::seconds(0);
        job.cache = withCache ? &cache : nullptr;
        std::atomic<bool> stop{false};
        const FullTextResult r = runFullTextSearch(t, job, stop, {});
        EXPECT_TRUE(r.error.empty()) << r.error;
        Walk walk{{}, r.hits, r.filesRead, r.unreadableCount, r.filesFromStore};
        for (t.first(); !t.eof(); t.next())
            walk.marks.push_back(t.asInt("Find"));
        return walk;
    };
    int fromStore = 0;
    auto compare = [&](const std::string& phase, int words) {
        for (int k = 0; k < words; ++k) {
            const std::string word = k == 0 ? cp1251::fromUtf8("мир") : kWords[rng() % kWords.size()];
            for (int o = 0; o < 4; ++o) {
                const SearchOptions options{(o & 1) != 0, (o & 2) != 0};
                const Walk expected = plainWalk(word, options);
                // The last walk begins while the cache still keeps the texts the one before it read.
                for (int mode = 0; mode < 4; ++mode) {
                    const bool withStore = mode > 0, withCache = mode >= 2;
                    if (mode == 1) cache.waitForFill(); // one writer of the store at a time, as in a program
                    const Walk got = searchWalk(word, options, withStore, withCache);
                    SCOPED_TRACE(phase +
                                 (mode == 3   ? ", with the store and the cache, filling"
                                  : withCache ? ", with the store and the cache"
                                  : withStore ? ", with the store"
                                              : ", without") +
                                 ", word [" + cp1251::toUtf8(word) + "] case " +
                                 std::to_string(options.caseSensitive) + " words " +
                                 std::to_string(options.wholeWords));
                    EXPECT_EQ(got.marks, expected.marks);
                    EXPECT_EQ(got.hits, expected.hits);
                    EXPECT_EQ(got.read, expected.read);
                    EXPECT_EQ(got.unreadable, expected.unreadable);
                    fromStore += got.fromStore;
                }
            }
        }
    };

    compare("the store filling", 1);
    fromStore = 0;
    compare("the store answering", 6);
    EXPECT_GT(fromStore, 1000); // the texts did come from the store
    for (const auto& name : rawNames) {
        EXPECT_EQ(plainWalk(name[2], {}).hits, 1) << name[2];
        EXPECT_EQ(searchWalk(name[2], {}, true, true).hits, 1) << name[2];
    }

    // Second names made outside the archive once the cache knows the files, and texts written in place
    // through them with their old modification time put back: no watched folder hears of either.
    cache.waitForFill();
    for (size_t i = 0; i < written.size(); i += 9) {
        const fs::path other = dir / "outside" / ("second-" + std::to_string(i));
        fs::create_hard_link(written[i], other);
        const auto modified = fs::last_write_time(other);
        std::string bytes = test::readFile(other);
        for (char& c : bytes)
            c = c == 'a' ? 'b' : c == 'b' ? 'a' : c;
        {
            std::fstream inPlace(other, std::ios::in | std::ios::out | std::ios::binary);
            inPlace.write(bytes.data(), std::streamsize(bytes.size()));
            ASSERT_TRUE(inPlace.good());
        }
        fs::last_write_time(other, modified);
    }
    // The window's next searches come first: a search without the cache would read the changed files and
    // keep their new texts, which the cache would then see.
    for (const std::string& word : {std::string("a"), std::string("b"), kWords[0], kWords[1]}) {
        SCOPED_TRACE("after writes through second names made elsewhere, word " + word);
        EXPECT_EQ(searchWalk(word, {}, true, true).marks, plainWalk(word, {}).marks);
    }
    compare("after writes through second names made elsewhere", 2);

    // Changes: new texts (one of the same length with its old modification time put back), files that
    // appear for rows that had none, files that go, and files that can no longer be read.
    std::shuffle(written.begin(), written.end(), rng);
    for (size_t i = 0; i < written.size() / 3; ++i) {
        const fs::path& file = written[i];
        if (!fs::is_regular_file(file)) continue;
        switch (i % 6) {
        case 0: {
            const auto modified = fs::last_write_time(file);
            std::string bytes = test::readFile(file);
            for (char& c : bytes)
                c = c == 'a' ? 'b' : c == 'b' ? 'a' : c;
            test::writeFile(file, bytes);
            fs::last_write_time(file, modified);
            break;
        }
        case 1:
            test::writeFile(file, randomPage() + kPieces[rng() % kPieces.size()]);
            break;
        case 2:
            fs::remove(file);
            break;
#if defined(_WIN32) // no links to make there: the file goes
        case 3:
        case 4:
            fs::remove(file);
            break;
#else
        case 3:
            fs::remove(file);
            fs::create_symlink(file.filename(), file); // a link to itself: a loop
            break;
        case 4:
            fs::remove(file);
            fs::create_symlink(fs::relative(dir / "outside" / "g.htm", file.parent_path()), file);
            break;
#endif
        case 5:
            fs::remove(file);
            fs::create_directory(file);
            break;
        }
    }
    t.setSortKeys(catalogue::kWalkOrder);
    for (t.first(); !t.eof(); t.next()) {
        const std::string link = cp1251::fromUtf8(t.asText("Link"));
        if (link.find("missing") == std::string::npos || rng() % 2) continue;
        const int type = t.asInt("Type");
        const std::string number = cp1251::fromUtf8(t.asText("Number"));
        test::writeFile(dir / "archive" / (prefixes[size_t(type - 1)] + indexer::shortIssueNumber(number)) /
                            "pub" / link,
                        randomPage());
    }
    compare("after the files changed", 6);

    // Folders: an issue folder moved to its archive-named place, a folder below "pub" renamed in another
    // letter case, and a text folder that takes an issue's rows over.
    for (const auto& entry : fs::directory_iterator(dir / "archive")) {
        const std::string name = entry.path().filename().string();
        fs::create_directories(entry.path().string() + ".zip");
        fs::rename(entry.path(), entry.path().string() + ".zip/" + name);
        break;
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir / "archive")) {
        if (entry.path().filename() == "sub" && entry.is_directory()) {
            fs::rename(entry.path(), entry.path().parent_path() / "SUB");
            break;
        }
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir / "archive")) {
        if (entry.path().filename() != "pub" || !entry.is_directory() ||
            entry.path().parent_path().filename().string().rfind("Kelvra-Gold", 0) != 0)
            continue;
        const fs::path textFolder =
            dir / "archive" / entry.path().parent_path().filename().string().substr(7);
        fs::create_directories(textFolder);
        fs::copy(entry.path(), textFolder / "pub",
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        for (const auto& copied : fs::recursive_directory_iterator(textFolder))
            if (fs::is_regular_file(copied.symlink_status())) test::writeFile(copied.path(), randomPage());
        break;
    }
    compare("after folders moved", 3);

    // A damaged store: every fourth byte after the header turned over.
    cache.waitForFill();
    std::string bytes = test::readFile(store);
    for (size_t i = 64; i < bytes.size(); i += 4)
        bytes[i] = char(~bytes[i]);
    test::writeFile(store, bytes);
    compare("after the store was damaged", 2);
    compare("after the store was made anew", 2);
}
