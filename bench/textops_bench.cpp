// Search speed of the text library on page-like Windows-1251 text, against glibc memmem on the same data,
// and the throughput of the full-text page test.
#include "benchsupport.h"

#include "base/textops.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace marovex;

namespace {

// Russian-looking words from Cyrillic syllables, a little Latin, punctuation, tags and entities, in the
// proportions of a magazine page.
std::string generatePageText(std::size_t bytes, std::uint32_t seed) {
    static const char* const syllables[] = {"\xEF\xF0\xEE", "\xE3\xF0\xE0", "\xEC\xEC\xE0", "\xED\xE0",
                                            "\xF1\xF2\xE8", "\xEA\xEE",     "\xE2\xE5",     "\xF0\xE5",
                                            "\xEB\xE8",     "\xE7\xE0",     "\xF6\xE8\xFF", "\xF2\xEE",
                                            "\xEC\xE8\xF0", "\xE4\xE5\xEB", "\xCF\xF0\xE8", "\xD1\xEE",
                                            "\xB8\xEB",     "\xF9\xE5",     "\xFB\xE9",     "\xEE\xE9"};
    static const char* const latin[] = {"Windows", "file", "HTML", "Kelvra", "DirectX", "CPU", "RAM"};
    static const char* const markup[] = {"<p>",     "</p>",    "<br>",
                                         "<b>",     "</b>",    "&nbsp;",
                                         "&laquo;", "&raquo;", "<a href=\"../pub/a.htm\">",
                                         "</a>",    "\r\n",    "<td class=\"t\">",
                                         "</td>"};
    std::mt19937 rng(seed);
    std::string s;
    s.reserve(bytes + 64);
    while (s.size() < bytes) {
        const unsigned r = rng() % 100;
        if (r < 80) {
            const int n = 1 + int(rng() % 4);
            for (int i = 0; i < n; ++i)
                s += syllables[rng() % std::size(syllables)];
            s += (rng() % 12 == 0) ? ", " : " ";
        } else if (r < 86) {
            s += latin[rng() % std::size(latin)];
            s += ' ';
        } else {
            s += markup[rng() % std::size(markup)];
        }
    }
    s.resize(bytes);
    return s;
}

struct Needle {
    std::string label;
    std::string bytes;
};

// Number of occurrences, searching on from one byte after each hit.
template <typename Find> std::size_t countAll(const std::string& text, const std::string& needle, Find find) {
    std::size_t count = 0;
    for (text::Pos p = find(needle, text, 1); p > 0; p = find(needle, text, p + 1))
        ++count;
    return count;
}

std::size_t countMemmem(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    const char* pos = text.data();
    const char* end = text.data() + text.size();
    while (const void* hit = ::memmem(pos, std::size_t(end - pos), needle.data(), needle.size())) {
        ++count;
        pos = static_cast<const char*>(hit) + 1;
    }
    return count;
}

template <typename F> double bestOf(int runs, F f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        bench::Stopwatch w;
        f();
        best = std::min(best, w.seconds());
    }
    return best;
}

} // namespace

int main() {
    const std::size_t kBytes = 100u << 20;
    std::printf("Generating %zu MB of page text...\n", kBytes >> 20);
    std::string data = generatePageText(kBytes, 2024);
    // Plant a few occurrences so the searches report hits all along the data.
    const std::vector<Needle> needles = {
        {"syllable (3 bytes)", "\xEC\xE8\xF0"},                          // мир, frequent
        {"word (6 bytes)", "\xEC\xE8\xF0\xE0\xE6\xE0"},                  // миража
        {"word (10 bytes)", "\xE8\xED\xE4\xE5\xEA\xF1\xE0\xF6\xE8\xFF"}, // индексация
        {"phrase (24 bytes)",
         "\xF1\xE8\xF1\xF2\xE5\xEC\xED\xFB\xE5 \xF2\xF0\xE5\xE1\xEE\xE2\xE0\xED\xE8\xFF \xEA "
         "\xCF\xCA"},
        {"Latin word (9 bytes)", "Kelvrania"},
        {"capitals (6 bytes)", "\xC3\xCE\xC4\xC0 \xC8"},
    };
    for (std::size_t i = 0; i < 200; ++i) {
        const Needle& n = needles[i % needles.size()];
        std::memcpy(data.data() + (i + 1) * (kBytes / 202), n.bytes.data(), n.bytes.size());
    }

    double tMemmem = 0, tExact = 0, tFolded = 0, worstExact = 0, worstFolded = 0;
    for (const Needle& n : needles) {
        std::size_t cMem = 0, cExact = 0, cFolded = 0;
        const double m = bestOf(3, [&] { cMem = countMemmem(data, n.bytes); });
        const double e = bestOf(3, [&] { cExact = countAll(data, n.bytes, text::FindExact); });
        const double f = bestOf(3, [&] { cFolded = countAll(data, n.bytes, text::FindFolded); });
        if (cMem != cExact || cFolded < cExact) {
            std::printf("MISMATCH for %s: memmem %zu, FindExact %zu, FindFolded %zu\n", n.label.c_str(), cMem,
                        cExact, cFolded);
            return 1;
        }
        std::printf(
            "  %-22s hits %6zu/%6zu  memmem %.3f s (%.0f MB/s)  FindExact %.3f s  FindFolded %.3f s\n",
            n.label.c_str(), cExact, cFolded, m, double(kBytes >> 20) / m, e, f);
        worstExact = std::max(worstExact, e / m);
        worstFolded = std::max(worstFolded, f / m);
        tMemmem += m;
        tExact += e;
        tFolded += f;
    }
    bench::report("FindExact / memmem, 100 MB page text", tExact / tMemmem, 1.5, "x");
    bench::report("FindFolded / memmem, 100 MB page text", tFolded / tMemmem, 3.0, "x");
    bench::report("FindExact / memmem, slowest pattern", worstExact, 1.5, "x");
    bench::report("FindFolded / memmem, slowest pattern", worstFolded, 3.0, "x");

    // The full-text test on a 50 KB article page, for a word it does not hold (the whole page is read).
    std::string page = "<html><head><title>x</title><style>p { margin: 0 }</style>"
                       "<script>var a = 1;</script></head><body>";
    page += generatePageText(50 * 1024 - page.size() - 16, 7);
    page += "</body></html>";
    const std::string absent = "\xF8\xF3\xF8\xF3\xED\xF7\xE8\xEA"; // шушунчик
    const int rounds = 2000;
    bool any = false;
    const double seconds = bestOf(3, [&] {
        for (int i = 0; i < rounds; ++i)
            any |= text::PageContainsWord(page, absent, i % 2 == 0, i % 4 < 2);
    });
    if (any) std::printf("unexpected hit in the page benchmark\n");
    const double gb = double(page.size()) * rounds / 1e9;
    std::printf("  PageContainsWord: %.0f MB/s on a %zu-byte page\n", gb * 1000 / seconds, page.size());
    bench::report("PageContainsWord, 50 KB page (>= 300 MB/s)", seconds / gb, 1.0 / 0.3, "s/GB");
    return 0;
}
