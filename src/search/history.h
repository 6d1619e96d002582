#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace marovex {

// The search history file: Windows-1251 lines ended by CR LF, most recent first. Entries are UTF-8 in
// memory; what the code page cannot hold is written as "?".
// The history holds at most this many entries.
inline constexpr size_t kHistoryCapacity = 26;
// The search box holds at most this many characters (bytes of the Windows-1251 file), as the window's edit
// line does.
inline constexpr size_t kSearchTextCapacity = 32767;

// How far into the file the history is looked for: lines so long that the first entries end beyond it
// are no history anyone typed.
inline constexpr size_t kHistoryReadLimit = size_t(256) << 20;

// Reads the first `maxEntries` lines only, each cut to kSearchTextCapacity characters, so a huge file costs
// no more than the history and the search box can hold. A file that is no regular file or cannot be read
// raises FileError naming it.
std::vector<std::string> readSearchHistory(const std::filesystem::path& file,
                                           size_t maxEntries = kHistoryCapacity);
// Writes every entry, also when there are none (an empty file). Replaces the file atomically.
void writeSearchHistory(const std::filesystem::path& file, const std::vector<std::string>& entries);

// A search remembered in the history, newest first: the text goes on top unless it equals the newest entry
// byte for byte (an empty history counts as one whose newest entry is empty), then the list is cut to
// kHistoryCapacity. Older duplicates stay.
void rememberSearch(std::vector<std::string>& history, const std::string& text);

} // namespace marovex
