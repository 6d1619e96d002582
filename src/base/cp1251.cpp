#include "base/cp1251.h"

#include <array>

namespace marovex::cp1251 {
namespace {

// Upper half of the code page; the lower half is ASCII.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

char32_t toUnicode(unsigned char byte) noexcept {
    return byte < 0x80 ? char32_t(byte) : char32_t(kHigh[byte - 0x80]);
}

int fromUnicode(char32_t ch) noexcept {
    if (ch < 0x80) return static_cast<int>(ch);
    if (ch >= 0x0410 && ch <= 0x044F) return static_cast<int>(ch - 0x0410 + 0xC0);
    for (int i = 0; i < 0x40; ++i) // the irregular part, 0x80..0xBF
        if (kHigh[i] == ch) return 0x80 + i;
    return -1;
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        if (b < 0x80)
            out.push_back(static_cast<char>(b));
        else
            appendUtf8(out, kHigh[b - 0x80]);
    }
    return out;
}

namespace {

// The length of the well-formed UTF-8 sequence at p with its character in `c`; 0 for a malformed one
// (overlong forms, surrogates and values past U+10FFFF included).
int decodeOne(const unsigned char* p, const unsigned char* end, char32_t& c) {
    const unsigned char b = *p;
    if (b < 0x80) {
        c = b;
        return 1;
    }
    const int len = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
    if (len == 0 || end - p < len) return 0;
    c = len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if ((len == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
        (len == 4 && (c < 0x10000 || c > 0x10FFFF)))
        return 0;
    return len;
}

} // namespace

std::string fromUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        char32_t c = 0;
        const int len = decodeOne(p, end, c);
        if (len == 0) {
            out.push_back('?');
            ++p;
            while (p < end && (*p & 0xC0) == 0x80)
                ++p;
            continue;
        }
        const int byte = fromUnicode(c);
        out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
        p += len;
    }
    return out;
}

std::string fromFileName(std::string_view name) {
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const auto* end = p + name.size();
    char32_t c = 0;
    for (int len = 0; p < end; p += len)
        if ((len = decodeOne(p, end, c)) == 0) return std::string(name);
    return fromUtf8(name);
}

} // namespace marovex::cp1251
