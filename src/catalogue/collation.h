#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace marovex {

// Sort keys for text fields: Russian ordering, letter case ignored, ё ordered with е. Blanks come before
// digits, so left-padded issue numbers order numerically. Keys compare with plain byte comparison.
class Collation {
public:
    Collation();
    ~Collation();
    Collation(const Collation&) = delete;
    Collation& operator=(const Collation&) = delete;

    std::string keyUtf8(std::string_view utf8) const;
    std::string keyCp1251(std::string_view bytes) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Letter case folded for comparisons that ignore it (UTF-8 in, UTF-8 out).
std::string foldCaseUtf8(std::string_view utf8);

} // namespace marovex
