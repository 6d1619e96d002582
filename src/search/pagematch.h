#pragma once

#include "search/titlesearch.h"

#include <string>
#include <string_view>

namespace marovex::search {

// The full-text test of one article file, worked on the file's bytes in place.
//
// The answer is that of PageContainsWord on the page text made of the file's lines joined by CR LF. The
// line joining is skipped: every line break is whitespace, which the compaction turns into one blank
// whatever its form, and no marker the blanking looks for contains one.
//
// Two shortcuts keep the answer. A file whose bytes lack the anchor (below) cannot contain the word. And
// when the word first occurs early, only the page up to a little past it is normalised: cut where eight
// bytes that are neither whitespace, '&' nor '%' end a stretch whose tags are all closed, the compacted and
// decoded part before the cut is exactly the beginning of the whole page's text, since no compaction,
// entity or "%20" reaches across such a cut.
// The text the full-text test looks for the word in, made from a file's bytes in place: scripts, styles
// and tags blanked, whitespace compacted, entities decoded, as PageContainsWord does before it searches.
// Not idempotent (an entity can be spelled by decoding another), so a stored text is matched as it is with
// PageMatcher::matchesText and never normalised again.
void normalisePageText(std::string& bytes);

class PageMatcher {
public:
    // `lookahead`: how far past the anchor's first occurrence the early part reaches (tests make it short).
    PageMatcher(const Cp1251Text& word, SearchOptions options, size_t lookahead = 512);

    // False proves that the page cannot contain the word, so the page need not be normalised. Every byte
    // the normalisation produces (blanks, '"', '&', '<', '>', '|') is left out of the anchor, and every
    // other byte of the normalised text is a byte of the file, with the same neighbours within a run of
    // such bytes: blanked tags, compacted whitespace, "%20" and entities all leave a produced byte
    // between, and a "<br>" never outlives the blanking of tags, so its removal joins nothing.
    bool mayContain(std::string_view bytes) const;

    // The whole test. `bytes` (the file's content) and `scratch` are changed in the process.
    bool contains(std::string& bytes, std::string& scratch) const;

    // The test on a text normalisePageText made: PageContainsWord's search and its whole-word rule.
    bool matchesText(std::string_view normalised) const;

    const std::string& anchor() const { return m_anchor; }

private:
    enum class Answer { No, Yes, Unknown };
    static constexpr size_t kNone = size_t(-1);
    size_t anchorOffset(std::string_view bytes) const; // kNone: not there; 0 without an anchor
    Answer decide(std::string_view text, bool whole) const;

    std::string m_word;
    SearchOptions m_options;
    size_t m_lookahead;
    std::string m_anchor; // the longest run of the word's bytes that the file must hold as they are
};

} // namespace marovex::search
