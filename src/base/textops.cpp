#include "base/textops.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace marovex::text {
namespace {

// The other byte that folds to the same upper-case byte, or the byte itself when it has no partner.
constexpr std::array<unsigned char, 256> makePartnerTable() {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<unsigned char>(i);
    for (int i = 0; i < 256; ++i) {
        const unsigned char up = FoldTable[i];
        if (up != i) {
            t[i] = up;
            t[up] = static_cast<unsigned char>(i);
        }
    }
    return t;
}
constexpr std::array<unsigned char, 256> PartnerTable = makePartnerTable();

// memmove that accepts the null pointer of an empty view when there is nothing to move.
inline void moveBytes(char* to, const char* from, std::size_t n) noexcept {
    if (n != 0 && to != from) std::memmove(to, from, n);
}

inline unsigned char byteAt(std::string_view s, std::size_t i) noexcept {
    return static_cast<unsigned char>(s[i]);
}

// Offset of the first byte at or after from that matches c exactly or ignoring case; npos when none.
std::size_t findByte(std::string_view text, std::size_t from, unsigned char c, bool folded) noexcept {
    const unsigned char other = folded ? PartnerTable[c] : c;
    if (other == c) {
        const void* hit = std::memchr(text.data() + from, c, text.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
                   : std::string_view::npos;
    }
    for (std::size_t i = from; i < text.size(); ++i) {
        const unsigned char b = byteAt(text, i);
        if (b == c || b == other) return i;
    }
    return std::string_view::npos;
}

// Search ignoring case for patterns of two bytes or more. Candidate starts are those where the first and
// the last pattern byte match (each in either case); thirty-two starts are tested at once with vector
// compares, and only the rare candidates have their inner bytes compared. Nothing is allocated.
// It is built twice, with AVX2 for processors that have it and plain (each vector split into halves) for
// the rest, the build chosen when the program loads. ThreadSanitizer cannot run the code that chooses,
// which runs before it is set up, so its builds take the plain one.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__) &&                   \
    !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
std::size_t
findFoldedBlock(std::string_view sub, std::string_view text, std::size_t from) noexcept {
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const auto* p = reinterpret_cast<const unsigned char*>(sub.data());
    const std::size_t m = sub.size();
    const std::size_t last = text.size() - m; // the last possible start
    const unsigned char first = FoldTable[p[0]];
    const unsigned char lastByte = FoldTable[p[m - 1]];
    auto innerMatches = [&](std::size_t i) {
        for (std::size_t k = 1; k + 1 < m; ++k)
            if (FoldTable[t[i + k]] != FoldTable[p[k]]) return false;
        return true;
    };
    std::size_t i = from;
#if defined(__GNUC__)
    constexpr std::size_t kWidth = 32;
    using Bytes = unsigned char __attribute__((vector_size(kWidth)));
    Bytes f1, f2, l1, l2; // the first and the last pattern byte in both cases, in every lane
    std::memset(&f1, p[0], sizeof f1);
    std::memset(&f2, PartnerTable[p[0]], sizeof f2);
    std::memset(&l1, p[m - 1], sizeof l1);
    std::memset(&l2, PartnerTable[p[m - 1]], sizeof l2);
    for (; i + kWidth - 1 <= last; i += kWidth) {
        Bytes head, tail;
        std::memcpy(&head, t + i, sizeof head);
        std::memcpy(&tail, t + i + m - 1, sizeof tail);
        const auto hit = ((head == f1) | (head == f2)) & ((tail == l1) | (tail == l2));
        std::uint64_t words[kWidth / 8];
        std::memcpy(words, &hit, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3]) == 0) continue;
        for (std::size_t k = 0; k < kWidth; ++k)
            if (hit[k] && innerMatches(i + k)) return i + k;
    }
#endif
    for (; i <= last; ++i)
        if (FoldTable[t[i]] == first && FoldTable[t[i + m - 1]] == lastByte && innerMatches(i)) return i;
    return std::string_view::npos;
}

std::size_t findFoldedFrom(std::string_view sub, std::string_view text, std::size_t from) noexcept {
    if (sub.size() == 1) return findByte(text, from, byteAt(sub, 0), true);
    return findFoldedBlock(sub, text, from);
}

std::size_t findExactFrom(std::string_view sub, std::string_view text, std::size_t from) noexcept {
#if defined(__GLIBC__)
    const void* hit = ::memmem(text.data() + from, text.size() - from, sub.data(), sub.size());
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
               : std::string_view::npos;
#else
    return text.find(sub, from);
#endif
}

// Checks shared by both searches; returns the 0-based offset to search from, or npos for "no match".
std::size_t searchStart(std::string_view sub, std::string_view text, Pos start) noexcept {
    if (sub.empty() || text.empty() || sub.size() > text.size()) return std::string_view::npos;
    const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
    if (from > text.size() - sub.size()) return std::string_view::npos;
    return from;
}

// Replace-all for replacements no longer than the found text: done in place, without allocating,
// with the same counting and ordering as ReplaceAllFolded.
void replaceAllFoldedShrinking(std::string& text, std::string_view find, std::string_view replacement) {
    std::size_t hit =
        find.empty() || find.size() > text.size() ? std::string_view::npos : findFoldedFrom(find, text, 0);
    if (hit == std::string_view::npos) return;
    std::size_t r = 0;
    std::size_t w = 0;
    while (hit != std::string_view::npos) {
        moveBytes(text.data() + w, text.data() + r, hit - r);
        w += hit - r;
        moveBytes(text.data() + w, replacement.data(), replacement.size());
        w += replacement.size();
        r = hit + find.size();
        hit = r + find.size() <= text.size() ? findFoldedFrom(find, text, r) : std::string_view::npos;
    }
    moveBytes(text.data() + w, text.data() + r, text.size() - r);
    w += text.size() - r;
    text.resize(w);
}

struct Entity {
    std::string_view name;
    char replacement;
};

// Tried in this order at every examined ampersand.
constexpr Entity kEntities[] = {
    {"&nbsp;", ' '}, {"&quot;", '"'}, {"&laquo;", '"'},  {"&raquo;", '"'}, {"&amp;", '&'},
    {"&lt;", '<'},   {"&gt;", '>'},   {"&brvbar;", '|'}, {"&uml;", '"'},
};

} // namespace

void FoldUpper(std::string& text) noexcept {
    for (char& c : text)
        c = static_cast<char>(Fold(c));
}

bool SameTextFolded(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

bool TextStartsAt(std::string_view sub, std::string_view text, Pos pos) noexcept {
    if (sub.empty()) return true;
    if (text.empty() || pos < 1 || pos > static_cast<Pos>(text.size())) return false;
    const std::size_t from = static_cast<std::size_t>(pos - 1);
    if (sub.size() > text.size() - from) return false;
    return SameTextFolded(sub, text.substr(from, sub.size()));
}

Pos FindExact(std::string_view sub, std::string_view text, Pos start) noexcept {
    const std::size_t from = searchStart(sub, text, start);
    if (from == std::string_view::npos) return 0;
    const std::size_t hit = findExactFrom(sub, text, from);
    return hit == std::string_view::npos ? 0 : static_cast<Pos>(hit + 1);
}

Pos FindFolded(std::string_view sub, std::string_view text, Pos start) noexcept {
    const std::size_t from = searchStart(sub, text, start);
    if (from == std::string_view::npos) return 0;
    const std::size_t hit = findFoldedFrom(sub, text, from);
    return hit == std::string_view::npos ? 0 : static_cast<Pos>(hit + 1);
}

std::string ReplaceAllFolded(std::string_view text, std::string_view find, std::string_view replacement) {
    if (find.empty() || find.size() > text.size()) return std::string(text);
    std::size_t count = 0;
    for (std::size_t hit = findFoldedFrom(find, text, 0); hit != std::string_view::npos;) {
        ++count;
        const std::size_t next = hit + find.size();
        hit = next + find.size() <= text.size() ? findFoldedFrom(find, text, next) : std::string_view::npos;
    }
    if (count == 0) return std::string(text);

    std::string out;
    out.resize(text.size() - count * find.size() + count * replacement.size());
    char* w = out.data();
    std::size_t r = 0;
    for (std::size_t hit = findFoldedFrom(find, text, 0); hit != std::string_view::npos;) {
        moveBytes(w, text.data() + r, hit - r);
        w += hit - r;
        moveBytes(w, replacement.data(), replacement.size());
        w += replacement.size();
        r = hit + find.size();
        hit = r + find.size() <= text.size() ? findFoldedFrom(find, text, r) : std::string_view::npos;
    }
    moveBytes(w, text.data() + r, text.size() - r);
    return out;
}

std::string StripTrailingChar(std::string_view text, char ch) {
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == ch)
        --end;
    return std::string(text.substr(0, end));
}

std::string CollapseSpaces(std::string_view text) {
    std::string out(text);
    CollapseSpacesInPlace(out);
    return out;
}

namespace {

// Collapses the bytes from r to end into the text written from w on (w <= r); `previousBlank` tells whether
// the last byte written counts as a blank. Branch-free per byte: every byte is written, and the write
// position advances except for a blank that follows another blank (or the start). Eight bytes without two
// blanks in a row are handled at once.
void collapseRun(char* d, std::size_t& w, std::size_t r, std::size_t end,
                 std::uint64_t& previousBlank) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101ull;
        constexpr std::uint64_t highs = 0x8080808080808080ull;
        for (; r + 8 <= end; r += 8) {
            std::uint64_t x;
            std::memcpy(&x, d + r, 8);
            // High bit of each byte set exactly for the bytes 0x00-0x20, without borrows between bytes.
            const std::uint64_t blank = ~(((x | highs) - ones * 0x21) | x) & highs;
            if (blank & ((blank << 8) | (previousBlank << 7))) {
                // Two blanks in a row: byte by byte.
                for (std::size_t k = r; k < r + 8; ++k) {
                    const unsigned b = static_cast<unsigned char>(d[k]);
                    const unsigned isBlank = b <= 0x20;
                    d[w] = static_cast<char>(b ^ ((b ^ 0x20u) & (0u - isBlank)));
                    w += 1u - (isBlank & static_cast<unsigned>(previousBlank));
                    previousBlank = isBlank;
                }
                continue;
            }
            const std::uint64_t mask = (blank >> 7) * 0xFF;
            x = (x & ~mask) | (0x2020202020202020ull & mask);
            std::memcpy(d + w, &x, 8);
            w += 8;
            previousBlank = blank >> 63;
        }
    }
    for (; r < end; ++r) {
        const unsigned b = static_cast<unsigned char>(d[r]);
        const unsigned isBlank = b <= 0x20;
        d[w] = static_cast<char>(b ^ ((b ^ 0x20u) & (0u - isBlank))); // a blank becomes a space
        w += 1u - (isBlank & static_cast<unsigned>(previousBlank));
        previousBlank = isBlank;
    }
}

} // namespace

void CollapseSpacesInPlace(std::string& text) noexcept {
    std::size_t w = 0;
    std::uint64_t previousBlank = 1;
    collapseRun(text.data(), w, 0, text.size(), previousBlank);
    if (w > 0 && previousBlank) --w; // a single trailing blank
    text.resize(w);
}

void BlankTagsAndCollapseSpaces(std::string& text) noexcept {
    // A tag would become a run of blanks and then one blank: it becomes that blank at once.
    char* d = text.data();
    const std::size_t n = text.size();
    std::size_t w = 0, r = 0;
    std::uint64_t previousBlank = 1;
    while (r < n) {
        const void* open = std::memchr(d + r, '<', n - r);
        const void* close =
            open ? std::memchr(open, '>', n - std::size_t(static_cast<const char*>(open) - d)) : nullptr;
        if (!close) break; // no more tags: the rest is plain text
        const std::size_t from = std::size_t(static_cast<const char*>(open) - d);
        collapseRun(d, w, r, from, previousBlank);
        d[w] = ' ';
        w += 1u - static_cast<unsigned>(previousBlank);
        previousBlank = 1;
        r = std::size_t(static_cast<const char*>(close) - d) + 1;
    }
    collapseRun(d, w, r, n, previousBlank);
    if (w > 0 && previousBlank) --w;
    text.resize(w);
}

void NextToken(std::string& text, std::string_view delimiters, std::string& token) {
    const std::size_t begin = text.find_first_not_of(delimiters);
    if (begin == std::string::npos) {
        text.clear();
        token.clear();
        return;
    }
    std::size_t end = text.find_first_of(delimiters, begin);
    if (end == std::string::npos) end = text.size();
    token.assign(text, begin, end - begin);
    text.erase(0, end);
}

void DecodeEntities(std::string& text) {
    replaceAllFoldedShrinking(text, "%20", " ");
    replaceAllFoldedShrinking(text, "<br>", "");

    // One pass that gives the same result as decoding at each "&" with a range replacement and then
    // searching for the next "&" from two bytes further on: every entity is at least four bytes and
    // becomes one, so the write position never overtakes the read position.
    const std::size_t n = text.size();
    char* d = text.data();
    std::size_t r = 0;
    std::size_t w = 0;
    while (r < n) {
        const void* hit = std::memchr(d + r, '&', n - r);
        const std::size_t amp = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - d) : n;
        moveBytes(d + w, d + r, amp - r);
        w += amp - r;
        r = amp;
        if (r == n) break;

        bool decoded = false;
        for (const Entity& e : kEntities) {
            if (e.name.size() <= n - r && SameTextFolded(e.name, std::string_view(d + r, e.name.size()))) {
                d[w++] = e.replacement;
                r += e.name.size();
                decoded = true;
                break;
            }
        }
        if (!decoded) d[w++] = d[r++];
        if (r < n) d[w++] = d[r++]; // the byte after an examined "&" is never examined itself
    }
    text.resize(w);
}

void BlankMarkedRanges(std::string& text, std::string_view open, std::string_view close) noexcept {
    if (open.size() == 1 && close.size() == 1 && PartnerTable[byteAt(open, 0)] == byteAt(open, 0) &&
        PartnerTable[byteAt(close, 0)] == byteAt(close, 0) && open[0] != ' ') {
        // Tags: memchr for each marker byte, with the same result as the general loop below.
        char* d = text.data();
        const std::size_t n = text.size();
        std::size_t p = 0;
        while (p < n) {
            const void* o = std::memchr(d + p, open[0], n - p);
            if (!o) return;
            p = static_cast<std::size_t>(static_cast<const char*>(o) - d);
            const void* c = std::memchr(d + p, close[0], n - p);
            if (!c) return;
            const std::size_t e = static_cast<std::size_t>(static_cast<const char*>(c) - d);
            std::memset(d + p, ' ', e - p + 1);
            p = e + 1;
        }
        return;
    }
    Pos p = FindFolded(open, text, 1);
    while (p > 0) {
        const Pos c = FindFolded(close, text, p);
        if (c == 0) return;
        const Pos e = c + static_cast<Pos>(close.size()) - 1;
        std::memset(text.data() + (p - 1), ' ', static_cast<std::size_t>(e - p + 1));
        // Searching on from e itself would find the same opening marker again, forever, when the marker
        // begins with a space; past e the blanked range cannot match, and no other marker can start at e.
        p = FindFolded(open, text, e + 1);
    }
}

bool PageContainsWord(std::string_view page, std::string_view word, bool caseSensitive, bool wholeWords) {
    std::string text(page);
    BlankMarkedRanges(text, "<script", "</script>");
    BlankMarkedRanges(text, "<style", "</style>");
    BlankMarkedRanges(text, "<", ">");
    CollapseSpacesInPlace(text);
    DecodeEntities(text);

    const Pos p = caseSensitive ? FindExact(word, text, 1) : FindFolded(word, text, 1);
    if (p == 0) return false;
    if (!wholeWords) return true;
    const std::size_t begin = static_cast<std::size_t>(p - 1);
    const std::size_t end = begin + word.size();
    const bool before = begin == 0 || byteAt(text, begin - 1) < 0x41;
    const bool after = end >= text.size() || byteAt(text, end) < 0x41;
    return before && after;
}

} // namespace marovex::text
