#include "base/cp1251.h"

#include <gtest/gtest.h>

using namespace marovex;

TEST(Cp1251, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(char(b));
    EXPECT_EQ(cp1251::fromUtf8(cp1251::toUtf8(all)), all);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(cp1251::fromUnicode(cp1251::toUnicode(static_cast<unsigned char>(b))), b);
}

TEST(Cp1251, KnownCharacters) {
    EXPECT_EQ(cp1251::toUtf8("\xC0\xFF\xA8\xB8\xB9\x85\x88"), "АяЁё№…€");
    EXPECT_EQ(cp1251::fromUtf8("Ёлка «мир»"), "\xA8\xEB\xEA\xE0 \xAB\xEC\xE8\xF0\xBB");
}

TEST(Cp1251, WhatTheCodePageCannotHoldBecomesAQuestionMark) {
    EXPECT_EQ(cp1251::fromUtf8("a€b"), "a\x88"
                                       "b");
    EXPECT_EQ(cp1251::fromUtf8("日本"), "??");
    EXPECT_EQ(cp1251::fromUtf8("x😀y"), "x?y");
    EXPECT_EQ(cp1251::fromUnicode(U'ü'), -1);
    // Malformed UTF-8: a lone continuation byte, a truncated sequence, an overlong form.
    EXPECT_EQ(cp1251::fromUtf8("a\x80"
                               "b"),
              "a?b");
    EXPECT_EQ(cp1251::fromUtf8("a\xD0"), "a?");
    EXPECT_EQ(cp1251::fromUtf8("\xC0\xAF"), "?"); // never the "/" it spells
}
