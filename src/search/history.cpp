#include "search/history.h"

#include "base/atomicfile.h"
#include "base/cp1251.h"
#include "base/regularfile.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace marovex {

std::vector<std::string> readSearchHistory(const std::filesystem::path& file, size_t maxEntries) {
    std::optional<RegularFile> in = RegularFile::open(file, Links::Follow);
    if (!in) return {};
    // A line ends at CR LF, LF or a lone CR; a last line without an ending still counts.
    std::vector<std::string> lines;
    std::string line;
    bool afterCr = false; // a LF right after a CR ends nothing
    char buffer[65536];
    for (size_t total = 0; lines.size() < maxEntries && total < kHistoryReadLimit;) {
        const size_t n = in->read(buffer, std::min(sizeof buffer, kHistoryReadLimit - total));
        if (n == 0) break;
        total += n;
        for (size_t i = 0; i < n && lines.size() < maxEntries;) {
            if (afterCr && buffer[i] == '\n') {
                afterCr = false;
                ++i;
                continue;
            }
            afterCr = false;
            const char* end = static_cast<const char*>(std::memchr(buffer + i, '\n', n - i));
            const char* cr = static_cast<const char*>(
                std::memchr(buffer + i, '\r', size_t((end ? end : buffer + n) - (buffer + i))));
            if (cr) end = cr;
            const size_t stop = end ? size_t(end - buffer) : n;
            // What the search box cannot hold is passed over.
            if (line.size() < kSearchTextCapacity)
                line.append(buffer + i, std::min(stop - i, kSearchTextCapacity - line.size()));
            if (!end) break;
            lines.push_back(std::move(line));
            line.clear();
            afterCr = *end == '\r';
            i = stop + 1;
        }
    }
    if (!line.empty() && lines.size() < maxEntries) lines.push_back(std::move(line));
    // Cut as bytes of the file above, where one byte is one character.
    for (std::string& l : lines)
        l = cp1251::toUtf8(l);
    return lines;
}

void writeSearchHistory(const std::filesystem::path& file, const std::vector<std::string>& entries) {
    std::string bytes;
    for (std::string e : entries) {
        // A line break inside an entry would split it in two on the next read.
        for (char& c : e)
            if (c == '\r' || c == '\n') c = ' ';
        bytes += cp1251::fromUtf8(e) + "\r\n";
    }
    writeFileAtomically(file, bytes);
}

void rememberSearch(std::vector<std::string>& history, const std::string& text) {
    const std::string newest = history.empty() ? std::string() : history.front();
    if (text != newest) history.insert(history.begin(), text);
    if (history.size() > kHistoryCapacity) history.resize(kHistoryCapacity);
}

} // namespace marovex
