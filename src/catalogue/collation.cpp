#include "catalogue/collation.h"

#include "indexer/cp1251.h"

#include <unicode/ucol.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <stdexcept>
#include <vector>

namespace marovex {

struct Collation::Impl {
    UCollator* collator = nullptr;
    mutable std::vector<UChar> utf16;
    mutable std::vector<uint8_t> key;

    std::string keyOf(int32_t length) const {
        if (key.size() < 64) key.resize(64);
        int32_t n = ucol_getSortKey(collator, utf16.data(), length, key.data(), int32_t(key.size()));
        if (n > int32_t(key.size())) {
            key.resize(size_t(n));
            n = ucol_getSortKey(collator, utf16.data(), length, key.data(), int32_t(key.size()));
        }
        // Drop the terminating zero; byte order is unchanged by it.
        return std::string(reinterpret_cast<const char*>(key.data()), n > 0 ? size_t(n - 1) : 0);
    }
};

Collation::Collation() : d(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    d->collator = ucol_open("ru", &status);
    if (U_FAILURE(status)) throw std::runtime_error(std::string("cannot open the collator: ") + u_errorName(status));
    // Primary strength: letter case and the diaeresis of ё make no difference.
    ucol_setStrength(d->collator, UCOL_PRIMARY);
    // Blanks and punctuation keep their weight (they are not skipped), so "  7" < " 42" < "123".
    ucol_setAttribute(d->collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
}

Collation::~Collation() {
    if (d->collator) ucol_close(d->collator);
}

std::string Collation::keyUtf8(std::string_view utf8) const {
    d->utf16.resize(utf8.size() + 1);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(d->utf16.data(), int32_t(d->utf16.size()), &length, utf8.data(), int32_t(utf8.size()),
                         0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) length = 0;
    return d->keyOf(length);
}

std::string Collation::keyCp1251(std::string_view bytes) const {
    d->utf16.resize(bytes.size() + 1);
    for (size_t i = 0; i < bytes.size(); ++i)
        d->utf16[i] = static_cast<UChar>(cp1251::toUnicode(static_cast<unsigned char>(bytes[i])));
    return d->keyOf(int32_t(bytes.size()));
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
