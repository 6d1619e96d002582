#include "catalogue/collation.h"
#include "base/cp1251.h"

#include <gtest/gtest.h>

#include <random>

using namespace marovex;

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

int keyCompare(const std::string& a, const std::string& b) {
    Collation c;
    return sign(c.keyUtf8(a).compare(c.keyUtf8(b)));
}

TEST(Collation, KeysOrderEveryCodePageTextAsIcuDoes) {
    // Random texts over all 255 characters of the code page (and a few repeated letters to make ties).
    std::mt19937 rng(7);
    auto randomText = [&] {
        std::string bytes;
        const int n = int(rng() % 6);
        for (int i = 0; i < n; ++i)
            bytes += rng() % 3 ? char(0xC0 + rng() % 4) : char(1 + rng() % 255);
        return cp1251::toUtf8(bytes);
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string a = randomText(), b = randomText();
        ASSERT_EQ(keyCompare(a, b), icuComparePrimary(a, b)) << "\"" << a << "\" vs \"" << b << "\"";
    }
}

TEST(Collation, EachSingleCharacterOrdersAsIcu) {
    for (int x = 1; x < 256; ++x)
        for (int y = 1; y < 256; ++y) {
            const std::string a = cp1251::toUtf8(std::string(1, char(x)));
            const std::string b = cp1251::toUtf8(std::string(1, char(y)));
            ASSERT_EQ(keyCompare(a, b), icuComparePrimary(a, b)) << x << " vs " << y;
        }
}

TEST(Collation, CaseAndDiaeresisAreIgnoredBlanksComeFirst) {
    EXPECT_EQ(keyCompare("ёлка", "ЕЛКА"), 0);
    EXPECT_EQ(keyCompare("Windows", "wINDOWS"), 0);
    EXPECT_LT(keyCompare("  7", " 42"), 0);
    EXPECT_LT(keyCompare(" 42", "123"), 0);
    EXPECT_LT(keyCompare("", "a"), 0);
    EXPECT_LT(keyCompare("я", "中"), 0); // outside the code page: after everything
    EXPECT_LT(keyCompare("丁丁", "中"), 0);
    Collation c;
    for (const char* s : {"", "a b", "ёж", "中文", "\x01"})
        EXPECT_EQ(c.keyUtf8(s).find('\0'), std::string::npos) << s;
    EXPECT_EQ(c.keyCp1251("\xb8\xe6"), c.keyUtf8("ёж"));
}

} // namespace
