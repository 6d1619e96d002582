#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The archive as an address space of its own, for the embedded pane: pages, frames, images and scripts are
// read through addresses below one root, the archive folder, resolved as the archive's authors' file system
// resolved them (letter case ignored) and never leaving it.
namespace marovex::viewer {

// The scheme and host of those addresses: "marovex-archive://archive/Kelvra07/index.htm". One host for the
// whole archive keeps its pages one origin, so frames of an issue may script each other.
inline constexpr std::string_view kArchiveScheme = "marovex-archive";
inline constexpr std::string_view kArchiveHost = "archive";

// The file an address path names ("/Kelvra07/FRAME/Main.htm", percent-decoded, UTF-8; "\" counts as "/"):
// "." is dropped, ".." never climbs above the root, every component is looked up ignoring letter case, and
// the file's real path, symbolic links followed, must still lie inside the root. Nothing for anything else,
// a folder included: the pane then shows a missing file.
std::optional<std::filesystem::path> resolveArchiveAddress(const std::filesystem::path& root,
                                                           std::string_view addressPath);

// The address path ("/"-separated, UTF-8, beginning with "/") of a file inside the root, as its components
// stand; nothing for a file outside it.
std::optional<std::string> archiveAddressPath(const std::filesystem::path& root,
                                              const std::filesystem::path& file);

} // namespace marovex::viewer
