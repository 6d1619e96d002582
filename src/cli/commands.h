#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Commands of marovex-cli that live in their own files; each returns the exit status.
int runSearch(const std::filesystem::path& appDir, const std::vector<std::string>& args);

// For a writing command that holds the folder's lock: completes or drops an interrupted pair write and
// removes leftovers, saying on standard error when a damaged commit record was discarded.
void prepareFolder(const std::filesystem::path& appDir);
