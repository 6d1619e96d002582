// BlankMarkedRanges: the length is kept, bytes only turn into spaces, every call ends, and the result
// equals the literal loop wherever that loop ends (markers not beginning with a space). Blanking tags and
// collapsing blanks in one pass equals the two steps.
// Input: one byte with the two marker lengths (3 bits each), the markers, then the text.
#include "textops_reference.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t openLen = data[0] & 7, closeLen = (data[0] >> 3) & 7;
    if (size < 1 + openLen + closeLen) return 0;
    const char* p = reinterpret_cast<const char*>(data) + 1;
    const std::string open(p, openLen), close(p + openLen, closeLen);
    const std::string input(p + openLen + closeLen, size - 1 - openLen - closeLen);

    for (const auto& [o, c] : {std::pair<std::string, std::string>{open, close},
                               {"<", ">"},
                               {"<script", "</script>"},
                               {"<style", "</style>"}}) {
        std::string out = input;
        marovex::text::BlankMarkedRanges(out, o, c);
        if (out.size() != input.size()) std::abort();
        for (std::size_t i = 0; i < out.size(); ++i)
            if (out[i] != input[i] && out[i] != ' ') std::abort();
        if (o.empty() || o[0] != ' ')
            if (out != marovex::fuzzref::blank(input, o, c)) std::abort();
    }
    std::string twoSteps = input, atOnce = input;
    marovex::text::BlankMarkedRanges(twoSteps, "<", ">");
    marovex::text::CollapseSpacesInPlace(twoSteps);
    marovex::text::BlankTagsAndCollapseSpaces(atOnce);
    if (atOnce != twoSteps) std::abort();
    return 0;
}
