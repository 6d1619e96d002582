#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Commands of marovex-cli that live in their own files; each returns the exit status.
int runSearch(const std::filesystem::path& appDir, const std::vector<std::string>& args);
