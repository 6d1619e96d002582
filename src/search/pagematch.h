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
class PageMatcher {
public:
    PageMatcher(std::string word, SearchOptions options);

    // False proves that the page cannot contain the word, so the page need not be normalised. Every byte
    // the normalisation produces (blanks, '"', '&', '<', '>', '|') is left out of the anchor, and every
    // other byte of the normalised text is a byte of the file, with the same neighbours within a run of
    // such bytes: blanked tags, compacted whitespace, "%20" and entities all leave a produced byte
    // between, and a "<br>" never outlives the blanking of tags, so its removal joins nothing.
    bool mayContain(std::string_view bytes) const;

    // The answer for the file's bytes; `bytes` is used as scratch space.
    bool matches(std::string& bytes) const;

    const std::string& anchor() const { return m_anchor; }
    const std::string& word() const { return m_word; }
    SearchOptions options() const { return m_options; }

private:
    std::string m_word;
    SearchOptions m_options;
    std::string m_anchor; // the longest run of the word's bytes that the file must hold as they are
};

} // namespace marovex::search
