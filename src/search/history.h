#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace marovex {

// The search history file: Windows-1251 lines ended by CR LF, most recent first. Entries are kept as the
// file's bytes.
std::vector<std::string> readSearchHistory(const std::filesystem::path& file);
// Writes every entry, also when there are none (an empty file). Replaces the file atomically.
void writeSearchHistory(const std::filesystem::path& file, const std::vector<std::string>& entries);

} // namespace marovex
