#pragma once

// The companion program run from the core tests, which alone know where it was built (MAROVEX_CLI_PATH).
#include "support/testsupport.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace marovex::test {

struct CliRun {
    int status; // the exit status; -1 when a signal ended it
    std::string out, err;
};

// marovex-cli with `args` (words for the shell), standard input from /dev/null; its output passes through
// two files in `dir`, removed afterwards.
inline CliRun runCli(const TempDir& dir, const std::string& args) {
    const auto outFile = dir / "cli.out", errFile = dir / "cli.err";
#if defined(_WIN32)
    // cmd.exe quotes with double quotes only, and takes the outer ones off a line that starts with one.
    std::string words = args;
    std::replace(words.begin(), words.end(), '\'', '"');
    const std::string command = "\"\"" + std::string(MAROVEX_CLI_PATH) + "\" " + words + " >\"" +
                                outFile.string() + "\" 2>\"" + errFile.string() + "\" <NUL\"";
    // The wide call, so that Cyrillic words reach the program whatever the code page.
    const int status = _wsystem(std::filesystem::path(std::u8string(command.begin(), command.end())).c_str());
#else
    const std::string command = std::string(MAROVEX_CLI_PATH) + " " + args + " >" + outFile.string() + " 2>" +
                                errFile.string() + " </dev/null";
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    CliRun r{status, readFile(outFile), readFile(errFile)};
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return r;
}

} // namespace marovex::test
