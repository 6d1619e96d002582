#pragma once

#include <string>
#include <string_view>

namespace marovex {

// Sort keys for text fields: Russian ordering with letter case ignored and ё ordered with е; blanks come
// before digits, so left-padded issue numbers order numerically. Keys compare with plain byte comparison
// and hold no zero byte.
//
// The order is ICU's Russian collation at primary strength. Every text this program stores comes from
// Windows-1251, so the primary weights of those 256 characters are taken from ICU once, and keys are
// built from that table without calling ICU per text (a fortieth of the time). Characters the code page
// cannot hold sort after all others, by code point.
class Collation {
public:
    std::string keyUtf8(std::string_view utf8) const;
    std::string keyCp1251(std::string_view bytes) const;
};

// Compares two UTF-8 texts with ICU directly; the reference the keys above agree with.
int icuComparePrimary(std::string_view a, std::string_view b);

// Letter case folded for comparisons that ignore it (UTF-8 in, UTF-8 out).
std::string foldCaseUtf8(std::string_view utf8);

} // namespace marovex
