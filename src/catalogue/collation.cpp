#include "catalogue/collation.h"

#include "base/cp1251.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace marovex {
namespace {

UCollator* openCollator() {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open("ru", &status);
    if (U_FAILURE(status)) throw std::runtime_error(std::string("cannot open the collator: ") + u_errorName(status));
    // Primary strength: letter case and the diaeresis of ё make no difference.
    ucol_setStrength(c, UCOL_PRIMARY);
    // Blanks and punctuation keep their weight instead of being skipped, so "  7" < " 42" < "123".
    ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    return c;
}

// Key bytes of each Windows-1251 byte: its primary weights as dense ranks, none of them zero.
struct Table {
    std::array<std::string, 256> bytes;
    unsigned char foreign = 0xFF; // lead byte of a character outside the code page
};

// A character's primary weights as they stand in sort keys (script reordering applied). The collation
// elements give the number and length of the weights; the single-character sort key gives their bytes.
std::vector<std::string> primaryWeights(UCollator* coll, UChar ch) {
    UErrorCode status = U_ZERO_ERROR;
    std::vector<size_t> lengths;
    UCollationElements* it = ucol_openElements(coll, &ch, 1, &status);
    if (U_FAILURE(status)) throw std::runtime_error("cannot read collation elements");
    for (int32_t ce; (ce = ucol_next(it, &status)) != UCOL_NULLORDER && U_SUCCESS(status);) {
        const auto p = std::uint32_t(ucol_primaryOrder(ce));
        if (p == 0) continue;
        lengths.push_back((p & 0xFF) ? 2 : 1);
    }
    ucol_closeElements(it);
    uint8_t key[64];
    const int32_t n = ucol_getSortKey(coll, &ch, 1, key, sizeof key);
    std::string bytes(reinterpret_cast<const char*>(key), n > 0 ? size_t(n - 1) : 0);
    std::vector<std::string> weights;
    size_t at = 0;
    for (size_t len : lengths) {
        weights.push_back(bytes.substr(at, len));
        at += len;
    }
    if (at != bytes.size())
        throw std::runtime_error("unexpected collation weights for U+" + std::to_string(unsigned(ch)));
    return weights;
}

const Table& table() {
    static const Table t = [] {
        UCollator* coll = openCollator();
        std::array<std::vector<std::string>, 256> weights;
        std::vector<std::string> all;
        for (int b = 0; b < 256; ++b) {
            weights[size_t(b)] =
                primaryWeights(coll, static_cast<UChar>(cp1251::toUnicode(static_cast<unsigned char>(b))));
            all.insert(all.end(), weights[size_t(b)].begin(), weights[size_t(b)].end());
        }
        ucol_close(coll);
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        if (all.size() > 250) throw std::runtime_error("collation table too large");
        Table t;
        for (int b = 0; b < 256; ++b)
            for (const std::string& w : weights[size_t(b)]) {
                const auto rank = std::lower_bound(all.begin(), all.end(), w) - all.begin();
                t.bytes[size_t(b)].push_back(static_cast<char>(1 + rank));
            }
        return t;
    }();
    return t;
}

} // namespace

std::string Collation::keyCp1251(std::string_view bytes) const {
    const Table& t = table();
    std::string key;
    key.reserve(bytes.size());
    for (unsigned char b : bytes) key += t.bytes[b];
    return key;
}

std::string Collation::keyUtf8(std::string_view utf8) const {
    const Table& t = table();
    std::string key;
    key.reserve(utf8.size());
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = int32_t(utf8.size());
    for (int32_t i = 0; i < length;) {
        if (s[i] < 0x80) {
            key += t.bytes[s[i++]];
            continue;
        }
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) c = 0xFFFD;
        const int b = cp1251::fromUnicode(char32_t(c));
        if (b >= 0) {
            key += t.bytes[size_t(b)];
        } else {
            // After every character of the code page, in code point order: 7 bits a byte, none zero.
            key += static_cast<char>(t.foreign);
            key += static_cast<char>(1 + ((c >> 14) & 0x7F));
            key += static_cast<char>(1 + ((c >> 7) & 0x7F));
            key += static_cast<char>(1 + (c & 0x7F));
        }
    }
    return key;
}

int icuComparePrimary(std::string_view a, std::string_view b) {
    static std::mutex mutex;
    static UCollator* coll = openCollator();
    std::lock_guard lock(mutex);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r =
        ucol_strcollUTF8(coll, a.data(), int32_t(a.size()), b.data(), int32_t(b.size()), &status);
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

std::string foldCaseUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    int32_t i = 0;
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = int32_t(utf8.size());
    while (i < length) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) c = 0xFFFD;
        c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
        uint8_t buf[4];
        int32_t n = 0;
        UBool error = false;
        U8_APPEND(buf, n, 4, c, error);
        (void)error;
        out.append(reinterpret_cast<const char*>(buf), size_t(n));
    }
    return out;
}

} // namespace marovex
