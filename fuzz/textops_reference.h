#pragma once

// Plain, literal forms of the page-text steps, to check the optimised library against.
#include "base/textops.h"

#include <string>
#include <string_view>
#include <utility>

namespace marovex::fuzzref {

using text::Pos;

inline std::string decodeEntities(std::string text) {
    text = text::ReplaceAllFolded(text, "%20", " ");
    text = text::ReplaceAllFolded(text, "<br>", "");
    static const std::pair<std::string_view, std::string_view> rows[] = {
        {"&nbsp;", " "}, {"&quot;", "\""}, {"&laquo;", "\""}, {"&raquo;", "\""}, {"&amp;", "&"},
        {"&lt;", "<"},   {"&gt;", ">"},    {"&brvbar;", "|"}, {"&uml;", "\""}};
    Pos p = text::FindFolded("&", text, 1);
    while (p > 0) {
        for (const auto& [entity, ch] : rows) {
            if (text::SameTextFolded(std::string_view(text).substr(std::size_t(p - 1), entity.size()), entity)) {
                text.replace(std::size_t(p - 1), entity.size(), ch);
                break;
            }
        }
        p = text::FindFolded("&", text, p + 2);
    }
    return text;
}

// Byte-by-byte search, no shift tables.
inline Pos find(std::string_view sub, std::string_view text, Pos start, bool folded) {
    if (sub.empty() || text.empty()) return 0;
    for (Pos i = start < 1 ? 1 : start; i + Pos(sub.size()) - 1 <= Pos(text.size()); ++i) {
        std::size_t k = 0;
        for (; k < sub.size(); ++k) {
            const char a = text[std::size_t(i - 1) + k], b = sub[k];
            if (folded ? text::Fold(a) != text::Fold(b) : a != b) break;
        }
        if (k == sub.size()) return i;
    }
    return 0;
}

// The blanking loop as written, searching on from e; open must not begin with a space (it would not end).
inline std::string blank(std::string text, std::string_view open, std::string_view close) {
    Pos p = find(open, text, 1, true);
    while (p > 0) {
        const Pos c = find(close, text, p, true);
        if (c == 0) break;
        const Pos e = c + Pos(close.size()) - 1;
        for (Pos i = p; i <= e; ++i)
            text[std::size_t(i - 1)] = ' ';
        p = find(open, text, e, true);
    }
    return text;
}

// A contents page as the parser sees it, one step after the other: cut at the first NUL, every line break
// made CR LF with one after the last line, then every control character blanked.
inline std::string preparePage(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            out += "\r\n";
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            out += bytes[i];
        }
    }
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x1E) c = ' ';
    return out;
}

inline std::string collapse(std::string_view s) {
    std::string out;
    bool gap = false;
    for (char c : s) {
        if (static_cast<unsigned char>(c) <= 0x20) {
            gap = true;
        } else {
            if (gap && !out.empty()) out += ' ';
            gap = false;
            out += c;
        }
    }
    return out;
}

inline bool pageContainsWord(std::string_view page, std::string_view word, bool caseSensitive,
                             bool wholeWords) {
    std::string t = blank(std::string(page), "<script", "</script>");
    t = blank(t, "<style", "</style>");
    t = blank(t, "<", ">");
    t = decodeEntities(collapse(t));
    const Pos p = find(word, t, 1, !caseSensitive);
    if (p == 0) return false;
    if (!wholeWords) return true;
    const std::size_t b = std::size_t(p - 1), e = b + word.size();
    return (b == 0 || static_cast<unsigned char>(t[b - 1]) < 0x41) &&
           (e >= t.size() || static_cast<unsigned char>(t[e]) < 0x41);
}

} // namespace marovex::fuzzref
