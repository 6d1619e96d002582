#pragma once

#include "base/cp1251.h"
#include "catalogue/recordtable.h"

#include <string>
#include <string_view>
#include <utility>

namespace marovex::search {

// How a search compares: letter case must match, and only whole words count.
struct SearchOptions {
    bool caseSensitive = false;
    bool wholeWords = false;
};

// Whether a title (Windows-1251) matches the compacted search text. The title is searched with a blank on
// either side, so its ends count as word separators; with whole words only the first occurrence is examined,
// and it must be bounded by bytes below 'A'. A title that is empty, a lone blank or begins with a control
// character never matches.
bool titleMatches(std::string_view title, const Cp1251Text& text, SearchOptions options);

// Whether the title holds anything worth searching: compared byte by byte, it is greater than one blank.
bool hasTitle(std::string_view title);

// titleMatches for many titles with one text, without allocating per title.
class TitleMatcher {
public:
    TitleMatcher(Cp1251Text text, SearchOptions options) : m_text(std::move(text)), m_options(options) {}
    bool matches(std::string_view title);
    // The title as the article table stores it (UTF-8).
    bool matchesStored(std::string_view utf8);

private:
    Cp1251Text m_text;
    SearchOptions m_options;
    std::string m_title;  // scratch: the title in Windows-1251
    std::string m_padded; // scratch: the title between two blanks
};

} // namespace marovex::search
