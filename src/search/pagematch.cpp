#include "search/pagematch.h"

#include "base/textops.h"

namespace marovex::search {

namespace {

// Bytes the normalisation of a page can produce where the file held something else.
bool producedByNormalisation(unsigned char c) {
    return c <= 0x20 || c == '"' || c == '&' || c == '<' || c == '>' || c == '|';
}

} // namespace

PageMatcher::PageMatcher(std::string word, SearchOptions options)
    : m_word(std::move(word)), m_options(options) {
    size_t best = 0, bestLength = 0;
    for (size_t i = 0; i < m_word.size();) {
        if (producedByNormalisation(static_cast<unsigned char>(m_word[i]))) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < m_word.size() && !producedByNormalisation(static_cast<unsigned char>(m_word[j])))
            ++j;
        if (j - i > bestLength) {
            best = i;
            bestLength = j - i;
        }
        i = j;
    }
    m_anchor = m_word.substr(best, bestLength);
}

bool PageMatcher::mayContain(std::string_view bytes) const {
    if (m_word.empty()) return false;
    if (m_anchor.empty()) return true;
    return (m_options.caseSensitive ? text::FindExact(m_anchor, bytes) : text::FindFolded(m_anchor, bytes)) !=
           0;
}

bool PageMatcher::matches(std::string& page) const {
    text::BlankMarkedRanges(page, "<script", "</script>");
    text::BlankMarkedRanges(page, "<style", "</style>");
    text::BlankMarkedRanges(page, "<", ">");
    text::CollapseSpacesInPlace(page);
    text::DecodeEntities(page);

    const text::Pos p =
        m_options.caseSensitive ? text::FindExact(m_word, page) : text::FindFolded(m_word, page);
    if (p == 0) return false;
    if (!m_options.wholeWords) return true;
    const size_t begin = size_t(p - 1), end = begin + m_word.size();
    const bool before = begin == 0 || static_cast<unsigned char>(page[begin - 1]) < 0x41;
    const bool after = end >= page.size() || static_cast<unsigned char>(page[end]) < 0x41;
    return before && after;
}

} // namespace marovex::search
