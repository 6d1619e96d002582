#pragma once

// The companion program run from the core tests, which alone know where it was built (MAROVEX_CLI_PATH).
#include "support/testsupport.h"

#include <cstdlib>
#include <string>

#include <sys/wait.h>

namespace marovex::test {

struct CliRun {
    int status; // the exit status; -1 when a signal ended it
    std::string out, err;
};

// marovex-cli with `args` (words for the shell), standard input from /dev/null; its output passes through
// two files in `dir`, removed afterwards.
inline CliRun runCli(const TempDir& dir, const std::string& args) {
    const auto outFile = dir / "cli.out", errFile = dir / "cli.err";
    const std::string command = std::string(MAROVEX_CLI_PATH) + " " + args + " >" + outFile.string() + " 2>" +
                                errFile.string() + " </dev/null";
    const int raw = std::system(command.c_str());
    CliRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(outFile), readFile(errFile)};
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return r;
}

} // namespace marovex::test
