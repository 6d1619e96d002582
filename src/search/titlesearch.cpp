#include "search/titlesearch.h"

#include "base/cp1251.h"
#include "base/textops.h"
#include "catalogue/catalogue.h"

namespace marovex::search {

bool HasTitle(std::string_view title) {
    // Unsigned byte order, as the catalogue's own comparisons use: greater than " " means a first byte above
    // the blank, or a blank followed by anything at all.
    if (title.empty()) return false;
    const auto first = static_cast<unsigned char>(title[0]);
    return first > 0x20 || (first == 0x20 && title.size() > 1);
}

bool TitleMatches(std::string_view title, std::string_view text, SearchOptions options) {
    if (!HasTitle(title)) return false;
    std::string padded;
    padded.reserve(title.size() + 2);
    padded += ' ';
    padded += title;
    padded += ' ';
    const text::Pos p = options.caseSensitive ? text::FindExact(text, padded) : text::FindFolded(text, padded);
    if (p == 0) return false;
    if (!options.wholeWords) return true;
    // p is 1-based: the byte before the occurrence is at offset p - 2, the byte after it at p - 1 + length.
    const auto separates = [&](std::ptrdiff_t offset) {
        return offset < 0 || offset >= std::ptrdiff_t(padded.size()) ||
               static_cast<unsigned char>(padded[size_t(offset)]) < 0x41;
    };
    return separates(p - 2) && separates(p - 1 + std::ptrdiff_t(text.size()));
}

bool MatchTitle(RecordTable& articles, std::string_view text, SearchOptions options, int& hits) {
    const std::string title = cp1251::fromUtf8(articles.asText(articles.field("Statia")));
    if (!TitleMatches(title, text, options)) return false;
    articles.setInt("Find", catalogue::kFound);
    ++hits;
    return true;
}

} // namespace marovex::search
