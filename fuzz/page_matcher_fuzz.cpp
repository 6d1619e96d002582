// The full-text file test (early skip, in-place normalisation, no line joining) against PageContainsWord on
// the file's lines joined by CR LF, for all four option pairs; and the text store's way to the same answer:
// the text normalised once and tested as stored, never skipped by its signature when it matches.
// Input: one byte with the word length (0 to 31), the word, then the file's bytes.
#include "base/textops.h"
#include "search/pagematch.h"
#include "search/textstore.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string joinedLines(const std::string& bytes) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') continue;
        out.append(bytes, start, i - start).append("\r\n");
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < bytes.size()) out.append(bytes, start, std::string::npos).append("\r\n");
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t wordLen = data[0] & 31;
    if (size < 1 + wordLen) return 0;
    const char* p = reinterpret_cast<const char*>(data) + 1;
    const std::string word(p, wordLen);
    const std::string file(p + wordLen, size - 1 - wordLen);
    const std::string joined = joinedLines(file);
    std::string stored = file;
    marovex::search::normalisePageText(stored);
    const std::vector<std::uint64_t> signature = marovex::search::textSignature(stored);
    const marovex::search::TextQuery query{marovex::Cp1251Text(word)};
    for (int flags = 0; flags < 4; ++flags) {
        const marovex::search::SearchOptions options{(flags & 1) != 0, (flags & 2) != 0};
        // A look-ahead taken from the input, so that the early part ends anywhere in the page.
        const marovex::search::PageMatcher matcher(marovex::Cp1251Text(word), options, data[0] >> 5);
        std::string bytes = file, scratch;
        const bool fast = matcher.contains(bytes, scratch);
        const bool plain =
            marovex::text::PageContainsWord(joined, word, options.caseSensitive, options.wholeWords);
        if (fast != plain || matcher.matchesText(stored) != plain) std::abort();
        if (plain && !marovex::search::signatureMayContain(signature.data(), signature.size(), query))
            std::abort();
    }
    return 0;
}
