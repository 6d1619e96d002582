#include "base/textops.h"

#include "../../fuzz/textops_reference.h" // literal forms of the steps, shared with the fuzz targets

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace marovex;
using namespace marovex::text;

namespace {

// Windows-1251 letters used below.
const std::string yo = "\xB8";                         // ё
const std::string YO = "\xA8";                         // Ё
const std::string YOLKA = "\xA8\xCB\xCA\xC0";          // ЁЛКА
const std::string mir = "\xEC\xE8\xF0";                // мир
const std::string mirnyj = "\xEC\xE8\xF0\xED\xFB\xE9"; // мирный

std::string decoded(std::string s) {
    DecodeEntities(s);
    return s;
}

std::string blanked(std::string s, std::string_view open, std::string_view close) {
    BlankMarkedRanges(s, open, close);
    return s;
}

} // namespace

TEST(FoldTable, ChangesExactlyTheLowerCaseLettersOfTheCodePage) {
    int changed = 0;
    for (int b = 0; b < 256; ++b) {
        const unsigned char up = FoldTable[b];
        if (up != b) {
            ++changed;
            EXPECT_EQ(FoldTable[up], up) << "fold of byte " << b << " is not itself upper case";
        }
    }
    EXPECT_EQ(changed, 73);
    EXPECT_EQ(FoldTable['a'], 'A');
    EXPECT_EQ(FoldTable['z'], 'Z');
    EXPECT_EQ(FoldTable['A'], 'A');
    EXPECT_EQ(FoldTable[0xE0], 0xC0); // а
    EXPECT_EQ(FoldTable[0xFF], 0xDF); // я
    EXPECT_EQ(FoldTable[0xB8], 0xA8); // ё
    EXPECT_EQ(FoldTable[0x90], 0x80); // ђ
    EXPECT_EQ(FoldTable[0xBF], 0xAF); // ї
    EXPECT_EQ(FoldTable[0xB5], 0xB5); // micro sign stays
    EXPECT_EQ(FoldTable[0xAB], 0xAB); // guillemet stays
    // No two lower-case letters share a capital.
    std::set<unsigned char> targets;
    for (int b = 0; b < 256; ++b)
        if (FoldTable[b] != b) targets.insert(FoldTable[b]);
    EXPECT_EQ(targets.size(), 73u);
}

TEST(TextOps, FoldUpperAndSameTextFolded) {
    std::string s = "abc" + yo + "\xE0\xFF" + "1!";
    FoldUpper(s);
    EXPECT_EQ(s, "ABC" + YO + "\xC0\xDF" + "1!");
    EXPECT_TRUE(SameTextFolded("", ""));
    EXPECT_FALSE(SameTextFolded("", "a"));
    EXPECT_FALSE(SameTextFolded("ab", "abc"));
    EXPECT_TRUE(SameTextFolded("\xEC\xC8\xF0", "\xCC\xE8\xD0")); // мИр / МиР
    EXPECT_FALSE(SameTextFolded("\xB5", "\xCC"));                // µ is not М
}

TEST(TextOps, TextStartsAtBounds) {
    EXPECT_TRUE(TextStartsAt("", "", 0));
    EXPECT_TRUE(TextStartsAt("", "abc", 99));
    EXPECT_FALSE(TextStartsAt("a", "", 1));
    EXPECT_TRUE(TextStartsAt("BC", "abc", 2));
    EXPECT_FALSE(TextStartsAt("bc", "abc", 0));
    EXPECT_FALSE(TextStartsAt("c", "abc", 4));
    EXPECT_FALSE(TextStartsAt("cd", "abc", 3)); // would run past the end
    EXPECT_TRUE(TextStartsAt(yo, "x" + YO, 2));
}

TEST(TextOps, FindFoldsCyrillicAndExactDoesNot) {
    EXPECT_EQ(FindFolded(yo, YOLKA, 1), 1);
    EXPECT_EQ(FindExact(yo, YOLKA, 1), 0);
    EXPECT_EQ(FindFolded("\x80", "\x90", 1), 1); // Ђ in ђ
    EXPECT_EQ(FindFolded("\x90", "\x80", 1), 1);
    EXPECT_EQ(FindFolded("\xBF\xB4", "..\xAF\xA5", 1), 3); // ї ґ in Ї Ґ
}

TEST(TextOps, FindPositionsAndLimits) {
    for (auto find : {&FindExact, &FindFolded}) {
        EXPECT_EQ(find("", "abc", 1), 0);
        EXPECT_EQ(find("a", "", 1), 0);
        EXPECT_EQ(find("b", "abcb", 3), 4);
        EXPECT_EQ(find("b", "abcb", 1), 2);
        EXPECT_EQ(find("cb", "abcb", 3), 3);
        EXPECT_EQ(find("cb", "abcb", 4), 0); // beyond the last position where it fits
        EXPECT_EQ(find("b", "abcb", 99), 0);
        EXPECT_EQ(find("abcbx", "abcb", 1), 0);
        EXPECT_EQ(find("abcb", "abcb", 1), 1);
        EXPECT_EQ(find("b", "abcb", -5), 2); // a start below 1 counts as 1
    }
    EXPECT_EQ(FindFolded("B", "abcb", 3), 4);
    EXPECT_EQ(FindExact("B", "abcb", 1), 0);
}

TEST(TextOps, FindAgreesWithNaiveSearchOnRandomText) {
    // Small alphabet with case pairs so that matches, near misses and long patterns are frequent;
    // patterns longer than 255 bytes exercise the capped shift table.
    const std::string alphabet = "aAbB\xB8\xA8\xE0\xC0 <";
    std::mt19937 rng(12345);
    auto randomText = [&](std::size_t len) {
        std::string s(len, ' ');
        for (char& c : s)
            c = alphabet[rng() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string text = randomText(rng() % 600);
        std::string sub;
        if (round % 3 == 0 && !text.empty()) {
            const std::size_t from = rng() % text.size();
            sub = text.substr(from, 1 + rng() % 300);
            if (rng() % 2) FoldUpper(sub);
        } else {
            sub = randomText(1 + rng() % 4);
        }
        const Pos start = Pos(rng() % (text.size() + 3));
        ASSERT_EQ(FindFolded(sub, text, start), fuzzref::find(sub, text, start, true)) << round;
        ASSERT_EQ(FindExact(sub, text, start), fuzzref::find(sub, text, start, false)) << round;
    }
}

TEST(TextOps, ReplaceAllFolded) {
    EXPECT_EQ(ReplaceAllFolded("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAllFolded("A%20b%20", "%20", " "), "A b ");
    EXPECT_EQ(ReplaceAllFolded("Hello", "hello", ""), "");
    EXPECT_EQ(ReplaceAllFolded("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAllFolded("abc", "z", "x"), "abc");
    EXPECT_EQ(ReplaceAllFolded("aXa", "x", "xx"), "axxa"); // the replacement is not searched again
    EXPECT_EQ(ReplaceAllFolded("ab", "abc", ""), "ab");
    EXPECT_EQ(ReplaceAllFolded("abc", "B", std::string_view{}), "ac"); // a view without data
    EXPECT_EQ(ReplaceAllFolded("<BR>x<br>", "<br>", ""), "x");
    EXPECT_EQ(ReplaceAllFolded(YOLKA + " " + YOLKA, "\xB8\xEB", "-"), "-\xCA\xC0 -\xCA\xC0");
}

TEST(TextOps, StripTrailingChar) {
    EXPECT_EQ(StripTrailingChar("C:\\\\", '\\'), "C:");
    EXPECT_EQ(StripTrailingChar("\\\\\\", '\\'), "");
    EXPECT_EQ(StripTrailingChar("a\\b", '\\'), "a\\b");
    EXPECT_EQ(StripTrailingChar("", '/'), "");
}

TEST(TextOps, CollapseSpaces) {
    EXPECT_EQ(CollapseSpaces(std::string(" \ta \r\n  b \x01", 10)), "a b");
    EXPECT_EQ(CollapseSpaces(std::string(" \t\r\n\0 ", 6)), "");
    EXPECT_EQ(CollapseSpaces("ab"), "ab");
    EXPECT_EQ(CollapseSpaces(""), "");
    EXPECT_EQ(CollapseSpaces("a\xA0"
                             "b"),
              "a\xA0"
              "b"); // no-break space is not whitespace
    std::string s = "  x   y  ";
    CollapseSpacesInPlace(s);
    EXPECT_EQ(s, "x y");
}

TEST(TextOps, CollapseSpacesMatchesTheRuleOnRandomText) {
    // Blank-heavy random text of every length around the eight-byte blocks.
    const std::string alphabet = std::string("ab \t\r\n\x01\x20\x21\xA0\xFF\x80", 12) + std::string(1, '\0');
    std::mt19937 rng(99);
    for (int round = 0; round < 20000; ++round) {
        std::string s(rng() % 40, ' ');
        for (char& c : s)
            c = alphabet[rng() % alphabet.size()];
        std::string inPlace = s;
        CollapseSpacesInPlace(inPlace);
        ASSERT_EQ(inPlace, fuzzref::collapse(s)) << round;
    }
}

TEST(TextOps, BlankingTagsAndCollapsingAtOnceMatchesTheTwoSteps) {
    // Tags and blanks of every kind around the eight-byte blocks, unclosed tags and tags that meet.
    const std::string alphabet = std::string("ab \t\r\n\x01<<>>\xA0\xFF", 12) + std::string(1, '\0');
    std::mt19937 rng(17);
    for (int round = 0; round < 20000; ++round) {
        std::string s(rng() % 48, ' ');
        for (char& c : s)
            c = alphabet[rng() % alphabet.size()];
        std::string twoSteps = s, atOnce = s;
        BlankMarkedRanges(twoSteps, "<", ">");
        CollapseSpacesInPlace(twoSteps);
        BlankTagsAndCollapseSpaces(atOnce);
        ASSERT_EQ(atOnce, twoSteps) << round << " [" << s << "]";
    }
}

TEST(TextOps, NextToken) {
    std::string text = "|12|Arial|";
    std::string token;
    NextToken(text, "|", token);
    EXPECT_EQ(token, "12");
    EXPECT_EQ(text, "|Arial|");
    NextToken(text, "|", token);
    EXPECT_EQ(token, "Arial");
    EXPECT_EQ(text, "|");
    NextToken(text, "|", token);
    EXPECT_EQ(token, "");
    EXPECT_EQ(text, "");

    text = "|||";
    token = "old";
    NextToken(text, "|", token);
    EXPECT_EQ(token, "");
    EXPECT_EQ(text, "");

    text = "a, b";
    NextToken(text, ", ", token);
    EXPECT_EQ(token, "a");
    NextToken(text, ", ", token);
    EXPECT_EQ(token, "b");
    EXPECT_EQ(text, "");
}

TEST(TextOps, DecodeEntitiesOneLevel) {
    EXPECT_EQ(decoded("&amp;lt;"), "&lt;");
    EXPECT_EQ(decoded("&lt;&gt;"), "<&gt;");
    EXPECT_EQ(decoded("&lt; &gt;"), "< >");
    EXPECT_EQ(decoded("&copy; &#169;"), "&copy; &#169;");
    EXPECT_EQ(decoded("one<BR>two"), "onetwo");
    EXPECT_EQ(decoded("&laquo;Title&raquo;"), "\"Title\"");
    EXPECT_EQ(decoded("&NBSP;x&Quot;"), " x\"");
    EXPECT_EQ(decoded("a%20B%20c"), "a B c");
    EXPECT_EQ(decoded("&&amp;"), "&&amp;"); // the byte after an examined "&" is skipped
    EXPECT_EQ(decoded("& &amp;"), "& &");
    EXPECT_EQ(decoded("&brvbar;&uml;"), "|&uml;");
    EXPECT_EQ(decoded("x &brvbar; &uml;"), "x | \"");
    EXPECT_EQ(decoded("&amp"), "&amp"); // unterminated: too short for the entity
    EXPECT_EQ(decoded("&"), "&");
    EXPECT_EQ(decoded(""), "");
    EXPECT_EQ(decoded("%2520"), "%2520"); // "%20" is searched once, without re-reading the result
}

TEST(TextOps, DecodeEntitiesMatchesTheStepByStepDefinition) {
    const std::string pieces[] = {"&",       "&amp;",  "&lt;",  "&gt;",     "&nbsp;", "&LAQUO;",
                                  "&raquo;", "&quot;", "&uml;", "&brvbar;", "%20",    "<br>",
                                  "<BR",     "a",      " ",     ";",        "amp",    "\xB8"};
    std::mt19937 rng(7);
    for (int round = 0; round < 5000; ++round) {
        std::string s;
        const int n = int(rng() % 12);
        for (int i = 0; i < n; ++i)
            s += pieces[rng() % std::size(pieces)];
        ASSERT_EQ(decoded(s), fuzzref::decodeEntities(s)) << s;
    }
}

TEST(TextOps, BlankMarkedRanges) {
    EXPECT_EQ(blanked("a<b>c", "<", ">"), "a   c");
    EXPECT_EQ(blanked("x<script>1</SCRIPT>y<script>2", "<script", "</script>"),
              "x" + std::string(18, ' ') + "y<script>2");
    EXPECT_EQ(blanked("a<b>c<d", "<", ">"), "a   c<d");
    EXPECT_EQ(blanked("a<!-- b > c -->d", "<", ">"),
              "a" + std::string(8, ' ') + " c -->d"); // to the first ">"
    EXPECT_EQ(blanked("<<>>", "<", ">"), "   >");
    EXPECT_EQ(blanked("abc", "", ">"), "abc");
    EXPECT_EQ(blanked("a<b", "<", ""), "a<b");
    EXPECT_EQ(blanked("", "<", ">"), "");
}

TEST(TextOps, BlankMarkedRangesMatchesTheStepsOnRandomText) {
    const std::pair<std::string, std::string> markers[] = {
        {"<", ">"}, {"<script", "</script>"}, {"<s", "s>"}, {"a", "a"}, {"<", "<"},
        {">", "<"}, {"\xB8", "\xA8"}};
    const std::string pieces[] = {"<", ">", "<script", "</SCRIPT>", "s", "a", "A", "x", "\xB8", "\xA8", " "};
    std::mt19937 rng(3);
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        for (int i = int(rng() % 10); i > 0; --i)
            s += pieces[rng() % std::size(pieces)];
        const auto& [open, close] = markers[rng() % std::size(markers)];
        ASSERT_EQ(blanked(s, open, close), fuzzref::blank(s, open, close)) << s << " " << open << close;
    }
}

TEST(TextOps, BlankMarkedRangesEndsWhenTheOpeningMarkerStartsWithASpace) {
    // Searching on from the last blanked byte would find the marker there again and never end.
    EXPECT_EQ(blanked("a  b", " ", " "), "a  b");
    EXPECT_EQ(blanked("a x b", " x", " "), "a x b");
}

TEST(TextOps, PageContainsWordWholeWordRule) {
    const std::string page1 = "<p>" + mir + ", \xF2\xF0\xF3\xE4</p>"; // мир, труд
    const std::string page2 = "(" + mir + ")";
    const std::string page3 = "\xAB" + mir + "\xBB"; // «мир»
    const std::string page4 = mirnyj + " " + mir;    // мирный мир
    EXPECT_TRUE(PageContainsWord(page1, mir, false, true));
    EXPECT_TRUE(PageContainsWord(page2, mir, false, true));
    EXPECT_FALSE(PageContainsWord(page3, mir, false, true));
    EXPECT_TRUE(PageContainsWord(page3, mir, false, false));
    EXPECT_FALSE(PageContainsWord(page4, mir, false, true)); // only the first occurrence is tested
    EXPECT_TRUE(PageContainsWord(page4, mir, false, false));
    EXPECT_TRUE(PageContainsWord(mir, mir, true, true));
    EXPECT_FALSE(PageContainsWord("", mir, false, false));
    EXPECT_FALSE(PageContainsWord(mir, "", false, false));
    EXPECT_TRUE(PageContainsWord("x_" + mir, mir, false, false));
    EXPECT_FALSE(PageContainsWord("x_" + mir, mir, false, true));     // underscore is a word byte
    EXPECT_TRUE(PageContainsWord("1" + mir + "2", mir, false, true)); // digits separate
}

TEST(TextOps, PageContainsWordNormalisesThePage) {
    const std::string MIR = "\xCC\xC8\xD0";
    const std::string page = "<html><head><style>p{} " + mir + "</style><script>var " + mir +
                             ";</script></head><body>A&nbsp;<b>" + MIR + "</b>\r\n\t x</body></html>";
    EXPECT_TRUE(PageContainsWord(page, mir, false, true));
    EXPECT_FALSE(PageContainsWord(page, mir, true, false)); // only the capitals remain visible
    // Compaction comes before decoding, so the no-break entity adds a second blank.
    EXPECT_TRUE(PageContainsWord(page, "A  " + MIR + " x", true, false));
    EXPECT_FALSE(PageContainsWord("<a title=\"" + mir + "\">x</a>", mir, false, false));
    EXPECT_TRUE(PageContainsWord("a &lt;" + mir + "&gt;", "<" + mir + ">", true, false));
    // An unclosed script keeps its text, as the blanking leaves it.
    EXPECT_TRUE(PageContainsWord("<script>" + mir, mir, false, false));
}
