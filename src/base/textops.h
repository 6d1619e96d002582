#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// Byte-wise text operations on Windows-1251 text: case-insensitive comparison and search for Latin and
// Cyrillic letters, replace-all, ranges, whitespace compaction and the normalisation of HTML page text.
// No code-page conversion happens here and nothing depends on the system locale.
//
// Positions are 1-based; 0 means "not found". Position arguments are signed so that callers may pass
// values below 1 without wrapping.
namespace marovex::text {

using Pos = std::ptrdiff_t;

namespace detail {
constexpr std::array<unsigned char, 256> makeFoldTable() {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<unsigned char>(i);
    for (int i = 0x61; i <= 0x7A; ++i)
        t[i] = static_cast<unsigned char>(i - 0x20); // a-z
    for (int i = 0xE0; i <= 0xFF; ++i)
        t[i] = static_cast<unsigned char>(i - 0x20); // а-я
    // The Cyrillic letters outside the contiguous block, lower -> upper.
    constexpr unsigned char pairs[][2] = {
        {0xB8, 0xA8}, {0x90, 0x80}, {0x83, 0x81}, {0x9A, 0x8A}, {0x9C, 0x8C},
        {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1}, {0xBC, 0xA3},
        {0xB4, 0xA5}, {0xBA, 0xAA}, {0xB3, 0xB2}, {0xBE, 0xBD}, {0xBF, 0xAF},
    };
    for (const auto& p : pairs)
        t[p[0]] = p[1];
    return t;
}
} // namespace detail

// Every byte mapped to its upper-case form; fixed data.
inline constexpr std::array<unsigned char, 256> FoldTable = detail::makeFoldTable();

inline unsigned char Fold(unsigned char c) noexcept {
    return FoldTable[c];
}
inline unsigned char Fold(char c) noexcept {
    return FoldTable[static_cast<unsigned char>(c)];
}

// Every byte replaced by its upper-case form.
void FoldUpper(std::string& text) noexcept;

// Same length and every byte pair equal ignoring case.
bool SameTextFolded(std::string_view a, std::string_view b) noexcept;

// Whether sub occurs in text at pos, ignoring case. An empty sub is found everywhere.
bool TextStartsAt(std::string_view sub, std::string_view text, Pos pos) noexcept;

// First occurrence of sub beginning at or after start (a start below 1 counts as 1); 0 when there is
// none or when sub or text is empty.
Pos FindExact(std::string_view sub, std::string_view text, Pos start = 1) noexcept;
Pos FindFolded(std::string_view sub, std::string_view text, Pos start = 1) noexcept;

// Every non-overlapping occurrence of find (ignoring case, left to right) replaced by replacement.
// The replacement is never searched again. No occurrence: the text unchanged.
std::string ReplaceAllFolded(std::string_view text, std::string_view find, std::string_view replacement);

// The text without its trailing run of ch.
std::string StripTrailingChar(std::string_view text, char ch);

// Whitespace is every byte from 0x00 to 0x20.
inline bool IsBlank(unsigned char c) noexcept {
    return c <= 0x20;
}

// Leading and trailing whitespace removed, inner runs replaced by one space.
std::string CollapseSpaces(std::string_view text);
void CollapseSpacesInPlace(std::string& text) noexcept;
// BlankMarkedRanges(text, "<", ">") followed by CollapseSpacesInPlace(text), in one pass.
void BlankTagsAndCollapseSpaces(std::string& text) noexcept;

// Skips leading delimiters, takes the following run of non-delimiters as token and leaves text starting
// at the delimiter that ended the token. Only delimiters left: text and token become empty.
void NextToken(std::string& text, std::string_view delimiters, std::string& token);

// "%20" to a space, "<br>" removed, then the named entities &nbsp; &quot; &laquo; &raquo; &amp; &lt;
// &gt; &brvbar; &uml; decoded one level, ignoring case. The byte right after every examined "&" is not
// examined itself, so an entity directly after another one and an ampersand produced by decoding stay.
void DecodeEntities(std::string& text);

// Every range from an opening marker to the end of the next closing marker becomes spaces, ignoring
// case; an opening marker without a later closing one leaves the rest of the text unchanged.
void BlankMarkedRanges(std::string& text, std::string_view open, std::string_view close) noexcept;

// The full-text test of an article page: scripts, styles and tags blanked, whitespace compacted,
// entities decoded, then the first occurrence of word looked for. With wholeWords only that first
// occurrence counts, and it must be bounded by bytes below 'A' (or the ends of the text).
bool PageContainsWord(std::string_view page, std::string_view word, bool caseSensitive, bool wholeWords);

} // namespace marovex::text
