#include "search/history.h"

#include "base/atomicfile.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace marovex {

std::vector<std::string> readSearchHistory(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(file.string() + ": cannot read");
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string bytes = buffer.str();
    // A line ends at CR LF, LF or a lone CR; a last line without an ending still counts.
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') continue;
        lines.push_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
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
    if (history.size() > kHistoryLimit) history.resize(kHistoryLimit);
}

} // namespace marovex
