#pragma once

#include <filesystem>
#include <string_view>

namespace marovex {

// Replaces a file's content so that a crash or a full disk leaves either the old or the new content:
// the bytes go to a new file beside it, are flushed to disk, and the new file is renamed over the old.
// Raises std::runtime_error naming the file and the reason.
void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// A fresh name for a temporary file beside `file`, in the same folder so that a rename can replace it.
std::filesystem::path temporaryBeside(const std::filesystem::path& file);

// Flushes the finished temporary file to disk and renames it over `file`, then flushes the folder.
// Raises std::runtime_error naming `file` and the reason; the temporary file is removed then.
void replaceWith(const std::filesystem::path& temp, const std::filesystem::path& file);

} // namespace marovex
