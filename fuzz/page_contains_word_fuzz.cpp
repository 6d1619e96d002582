// PageContainsWord against a literal composition of its steps, for all four option pairs.
// Input: one byte with the word length (0 to 31), the word, then the page.
#include "textops_reference.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t wordLen = data[0] & 31;
    if (size < 1 + wordLen) return 0;
    const char* p = reinterpret_cast<const char*>(data) + 1;
    const std::string word(p, wordLen);
    const std::string page(p + wordLen, size - 1 - wordLen);
    for (int flags = 0; flags < 4; ++flags) {
        const bool caseSensitive = flags & 1, wholeWords = flags & 2;
        const bool got = marovex::text::PageContainsWord(page, word, caseSensitive, wholeWords);
        if (got != marovex::fuzzref::pageContainsWord(page, word, caseSensitive, wholeWords)) std::abort();
        if (got && wholeWords && !marovex::text::PageContainsWord(page, word, caseSensitive, false))
            std::abort();
    }
    return 0;
}
