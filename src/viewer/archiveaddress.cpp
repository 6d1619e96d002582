#include "viewer/archiveaddress.h"

#include "base/cp1251.h"
#include "indexer/archive.h"

#include <vector>

namespace fs = std::filesystem;

namespace marovex::viewer {

std::optional<fs::path> resolveArchiveAddress(const fs::path& root, std::string_view addressPath) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= addressPath.size()) {
        const std::size_t end = std::min(addressPath.find_first_of("/\\", start), addressPath.size());
        const std::string_view part = addressPath.substr(start, end - start);
        if (part == "..") {
            if (!components.empty()) components.pop_back();
        } else if (!part.empty() && part != ".") {
            // A NUL would cut the name short on its way to the system.
            if (part.find('\0') != std::string_view::npos) return std::nullopt;
            components.push_back(cp1251::fromUtf8(part));
        }
        start = end + 1;
    }
    if (components.empty()) return std::nullopt;
    // Confined to the root: a folder outside it is never listed, not even while its file is refused below.
    auto paths = indexer::CaseInsensitivePaths::confinedTo(root);
    const std::optional<fs::path> file = paths.resolve(root, components);
    std::error_code ec;
    if (!file || !fs::is_regular_file(*file, ec) || !indexer::realPathInside(root, *file))
        return std::nullopt;
    return file;
}

std::optional<std::string> archiveAddressPath(const fs::path& root, const fs::path& file) {
    const fs::path relative = file.lexically_normal().lexically_relative(root.lexically_normal());
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    std::string path;
    for (const fs::path& part : relative) {
        if (part.empty() || part == ".") continue;
        const std::u8string name = part.u8string();
        path += '/';
        path.append(name.begin(), name.end());
    }
    if (path.empty()) return std::nullopt;
    return path;
}

} // namespace marovex::viewer
