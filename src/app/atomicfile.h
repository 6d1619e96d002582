#pragma once

#include <filesystem>
#include <string_view>

namespace marovex {

// Replaces a file's content so that a crash or a full disk leaves either the old or the new content:
// the bytes go to a new file beside it, are flushed to disk, and the new file is renamed over the old.
// Raises std::runtime_error naming the file and the reason.
void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes);

} // namespace marovex
