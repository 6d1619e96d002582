#include "search/history.h"

#include "base/atomicfile.h"

#include <fstream>
#include <stdexcept>

namespace marovex {

std::vector<std::string> readSearchHistory(const std::filesystem::path& file, size_t maxEntries) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(file.string() + ": cannot read");
    // A line ends at CR LF, LF or a lone CR; a last line without an ending still counts.
    std::vector<std::string> lines;
    std::string line;
    bool afterCr = false; // a LF right after a CR ends nothing
    char buffer[65536];
    while (lines.size() < maxEntries && in) {
        in.read(buffer, sizeof buffer);
        const std::streamsize n = in.gcount();
        for (std::streamsize i = 0; i < n && lines.size() < maxEntries; ++i) {
            const char c = buffer[i];
            if (c == '\n' && afterCr) {
                afterCr = false;
                continue;
            }
            afterCr = c == '\r';
            if (c == '\r' || c == '\n') {
                lines.push_back(std::move(line));
                line.clear();
            } else {
                line += c;
            }
        }
    }
    if (in.bad()) throw std::runtime_error(file.string() + ": cannot read");
    if (!line.empty() && lines.size() < maxEntries) lines.push_back(std::move(line));
    return lines;
}

void writeSearchHistory(const std::filesystem::path& file, const std::vector<std::string>& entries) {
    std::string bytes;
    for (std::string e : entries) {
        // A line break inside an entry would split it in two on the next read.
        for (char& c : e)
            if (c == '\r' || c == '\n') c = ' ';
        bytes += e + "\r\n";
    }
    writeFileAtomically(file, bytes);
}

void RememberSearch(std::vector<std::string>& history, const std::string& text) {
    const std::string newest = history.empty() ? std::string() : history.front();
    if (text != newest) history.insert(history.begin(), text);
    if (history.size() > kHistoryCapacity) history.resize(kHistoryCapacity);
}

} // namespace marovex
