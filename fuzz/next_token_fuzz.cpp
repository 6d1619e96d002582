// NextToken: every call either ends the text or takes a token free of delimiters, the text shrinks, and
// the tokens joined give back the text without its delimiters.
// Input: one byte with the number of delimiters (0 to 3), the delimiters, then the text.
#include "base/textops.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t n = data[0] & 3;
    if (size < 1 + n) return 0;
    const char* p = reinterpret_cast<const char*>(data) + 1;
    const std::string delimiters(p, n);
    std::string text(p + n, size - 1 - n);

    std::string expected;
    for (char c : text)
        if (delimiters.find(c) == std::string::npos) expected += c;

    std::string joined, token;
    for (std::size_t calls = 0; !text.empty(); ++calls) {
        if (calls > size + 1) std::abort(); // no progress
        const std::size_t before = text.size();
        marovex::text::NextToken(text, delimiters, token);
        if (token.find_first_of(delimiters) != std::string::npos) std::abort();
        if (!text.empty() && (token.empty() || text.size() >= before)) std::abort();
        if (!text.empty() && delimiters.find(text[0]) == std::string::npos) std::abort();
        joined += token;
    }
    if (joined != expected) std::abort();
    return 0;
}
