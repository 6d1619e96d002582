#include "search/pagematch.h"

#include "base/textops.h"

#include <cstring>

namespace marovex::search {

namespace {

// Bytes the normalisation of a page can produce where the file held something else.
bool producedByNormalisation(unsigned char c) {
    return c <= 0x20 || c == '"' || c == '&' || c == '<' || c == '>' || c == '|';
}

} // namespace

PageMatcher::PageMatcher(const Cp1251Text& word, SearchOptions options, size_t lookahead)
    : m_word(word.bytes()), m_options(options), m_lookahead(lookahead) {
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

size_t PageMatcher::anchorOffset(std::string_view bytes) const {
    if (m_word.empty()) return kNone;
    if (m_anchor.empty()) return 0;
    const text::Pos p =
        m_options.caseSensitive ? text::FindExact(m_anchor, bytes) : text::FindFolded(m_anchor, bytes);
    return p == 0 ? kNone : size_t(p - 1);
}

bool PageMatcher::mayContain(std::string_view bytes) const {
    return anchorOffset(bytes) != kNone;
}

PageMatcher::Answer PageMatcher::decide(std::string_view text, bool whole) const {
    const text::Pos p =
        m_options.caseSensitive ? text::FindExact(m_word, text) : text::FindFolded(m_word, text);
    if (p == 0) return whole ? Answer::No : Answer::Unknown;
    if (!m_options.wholeWords) return Answer::Yes;
    const size_t begin = size_t(p - 1), end = begin + m_word.size();
    if (end >= text.size() && !whole) return Answer::Unknown; // the byte after it lies beyond the part
    const bool before = begin == 0 || static_cast<unsigned char>(text[begin - 1]) < 0x41;
    const bool after = end >= text.size() || static_cast<unsigned char>(text[end]) < 0x41;
    return before && after ? Answer::Yes : Answer::No;
}

namespace {

// Blanks tags ("<" to the next ">") from the front of a page, as far as asked; the same ranges as
// BlankMarkedRanges(page, "<", ">") in the end.
class TagBlanker {
public:
    explicit TagBlanker(std::string& page) : m_page(page) {}

    // Blanks every tag that opens before `limit`; returns the length of the front that is final.
    size_t advance(size_t limit) {
        char* d = m_page.data();
        const size_t n = m_page.size();
        while (!m_done) {
            const void* o = std::memchr(d + m_pos, '<', n - m_pos);
            if (!o) break;
            const size_t p = size_t(static_cast<const char*>(o) - d);
            if (p >= limit) {
                m_pos = p;
                return p;
            }
            const void* c = std::memchr(d + p, '>', n - p);
            if (!c) break; // an unclosed "<" leaves the rest as it is
            const size_t e = size_t(static_cast<const char*>(c) - d);
            std::memset(d + p, ' ', e - p + 1);
            m_pos = e + 1;
        }
        m_done = true;
        return n;
    }

private:
    std::string& m_page;
    size_t m_pos = 0;
    bool m_done = false;
};

// Neither whitespace nor the start of an entity or a "%20".
bool plainByte(unsigned char c) {
    return c > 0x20 && c != '&' && c != '%';
}

// The longest entity is eight bytes.
constexpr size_t kPlainRun = 8;

} // namespace

void normalisePageText(std::string& bytes) {
    text::BlankMarkedRanges(bytes, "<script", "</script>");
    text::BlankMarkedRanges(bytes, "<style", "</style>");
    text::BlankTagsAndCollapseSpaces(bytes);
    text::DecodeEntities(bytes);
}

bool PageMatcher::matchesText(std::string_view normalised) const {
    return decide(normalised, true) == Answer::Yes;
}

bool PageMatcher::contains(std::string& page, std::string& scratch) const {
    const size_t anchor = anchorOffset(page);
    if (anchor == kNone) return false;
    text::BlankMarkedRanges(page, "<script", "</script>");
    text::BlankMarkedRanges(page, "<style", "</style>");
    TagBlanker tags(page);

    const size_t wanted = anchor + m_word.size() + m_lookahead;
    if (wanted < page.size()) {
        const size_t final = tags.advance(wanted);
        // The last cut at or before the final front that ends a run of plain bytes.
        size_t cut = 0;
        for (size_t i = final, run = 0; i > anchor; --i) {
            run = plainByte(static_cast<unsigned char>(page[i - 1])) ? run + 1 : 0;
            if (run == kPlainRun) {
                cut = i - 1 + kPlainRun;
                break;
            }
        }
        if (cut > anchor + m_word.size()) {
            scratch.assign(page, 0, cut);
            text::CollapseSpacesInPlace(scratch);
            text::DecodeEntities(scratch);
            if (const Answer a = decide(scratch, false); a != Answer::Unknown) return a == Answer::Yes;
        }
    }
    tags.advance(kNone);
    text::CollapseSpacesInPlace(page);
    text::DecodeEntities(page);
    return decide(page, true) == Answer::Yes;
}

} // namespace marovex::search
