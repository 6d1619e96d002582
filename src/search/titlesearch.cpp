#include "search/titlesearch.h"

#include "base/cp1251.h"
#include "base/textops.h"

namespace marovex::search {

bool hasTitle(std::string_view title) {
    // Unsigned byte order, as the catalogue's own comparisons use: greater than " " means a first byte above
    // the blank, or a blank followed by anything at all.
    if (title.empty()) return false;
    const auto first = static_cast<unsigned char>(title[0]);
    return first > 0x20 || (first == 0x20 && title.size() > 1);
}

namespace {

bool matchPadded(const std::string& padded, std::string_view text, SearchOptions options) {
    const text::Pos p =
        options.caseSensitive ? text::FindExact(text, padded) : text::FindFolded(text, padded);
    if (p == 0) return false;
    if (!options.wholeWords) return true;
    // p is 1-based: the byte before the occurrence is at offset p - 2, the byte after it at p - 1 + length.
    const auto separates = [&](std::ptrdiff_t offset) {
        return offset < 0 || offset >= std::ptrdiff_t(padded.size()) ||
               static_cast<unsigned char>(padded[size_t(offset)]) < 0x41;
    };
    return separates(p - 2) && separates(p - 1 + std::ptrdiff_t(text.size()));
}

// UTF-8 to Windows-1251 into a reused buffer for the one- and two-byte forms that titles are made of;
// false for anything else, which the full conversion then handles.
bool convertShortForms(std::string_view utf8, std::string& out) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        if (*p < 0x80) {
            out.push_back(static_cast<char>(*p++));
            continue;
        }
        if (*p < 0xC2 || *p > 0xDF || end - p < 2 || (p[1] & 0xC0) != 0x80) return false;
        const int byte = cp1251::fromUnicode(char32_t(((p[0] & 0x1F) << 6) | (p[1] & 0x3F)));
        out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
        p += 2;
    }
    return true;
}

} // namespace

bool titleMatches(std::string_view title, const Cp1251Text& text, SearchOptions options) {
    return TitleMatcher(text, options).matches(title);
}

bool TitleMatcher::matches(std::string_view title) {
    if (!hasTitle(title)) return false;
    m_padded.clear();
    m_padded += ' ';
    m_padded += title;
    m_padded += ' ';
    return matchPadded(m_padded, m_text.bytes(), m_options);
}

bool TitleMatcher::matchesStored(std::string_view utf8) {
    if (!convertShortForms(utf8, m_title)) m_title = cp1251::fromUtf8(utf8);
    return matches(m_title);
}

} // namespace marovex::search
