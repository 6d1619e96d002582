// genarchive: writes a deterministic magazine archive for demos, tests and benchmarks.
#include "archivegen/archivegen.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

namespace {

const char kUsage[] =
    "usage: genarchive --out DIR [--seed N] [--issues N] [--articles N] [--contents-only]\n"
    "                  [--full-size] [--prefix-gold P] [--prefix-release P] [--prefix-plain P]\n";

[[noreturn]] void usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "genarchive: %s\n", problem.c_str());
    std::fputs(kUsage, stderr);
    std::exit(2);
}

long long number(std::string_view option, const char* text) {
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (!*text || *end) usage(std::string(option) + " needs a whole number, not \"" + text + "\"");
    return v;
}

int count(std::string_view option, const char* text) {
    const long long v = number(option, text);
    if (v < 0 || v > 1000000) usage(std::string(option) + " is out of range");
    return static_cast<int>(v);
}

} // namespace

int main(int argc, char** argv) {
    marovex::gen::GenOptions options;
    bool haveOut = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") usage("");
        if (arg == "--contents-only") {
            options.contentsOnly = true;
            continue;
        }
        if (arg == "--full-size") {
            options.fullSizeContents = true;
            continue;
        }
        if (i + 1 >= argc) usage(std::string(arg) + " needs a value");
        const char* value = argv[++i];
        if (arg == "--out") {
            options.out = value;
            haveOut = true;
        } else if (arg == "--seed") {
            options.seed = static_cast<std::uint64_t>(number(arg, value));
        } else if (arg == "--issues") {
            options.issues = count(arg, value);
        } else if (arg == "--articles") {
            options.articlesPerIssue = count(arg, value);
        } else if (arg == "--prefix-gold") {
            options.prefixes[0] = value;
        } else if (arg == "--prefix-release") {
            options.prefixes[1] = value;
        } else if (arg == "--prefix-plain") {
            options.prefixes[2] = value;
        } else {
            usage("unknown option " + std::string(arg));
        }
    }
    if (!haveOut) usage("--out is required");

    try {
        const auto start = std::chrono::steady_clock::now();
        const marovex::gen::GenSummary s = marovex::gen::GenerateArchive(options);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr,
                     "genarchive: %d issues (+%d decoys), %llu links, %llu articles, %llu files, %.1f MB in "
                     "%.2f s -> %s\n",
                     s.issues, s.decoys, static_cast<unsigned long long>(s.links),
                     static_cast<unsigned long long>(s.articles), static_cast<unsigned long long>(s.files),
                     static_cast<double>(s.bytes) / (1024.0 * 1024.0), seconds, options.out.string().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "genarchive: %s\n", e.what());
        return 1;
    }
    return 0;
}
