#include "indexer/archive.h"

#include "base/cp1251.h"
#include "base/platform.h"
#include "base/regularfile.h"
#include "base/textops.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace marovex::indexer {

namespace {
std::string folded(std::string_view cp1251Name) {
    std::string s(cp1251Name);
    text::FoldUpper(s);
    return s;
}
} // namespace

bool CaseInsensitivePaths::present(const fs::path& path, const fs::path& folder, bool listed) const {
    std::error_code ec;
    if (fs::exists(path, ec)) return true;
    // A listed link loop is a file that cannot be read, and whoever reads it says so.
    if (listed && ec == std::errc::too_many_symbolic_link_levels) return true;
    // Not there, or a link to nothing; anything else means the folder could not be looked into.
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory &&
        m_unreadable == Unreadable::Error)
        throw FileError(unreadableFolderMessage(folder, ec.value()));
    return false;
}

CaseInsensitivePaths CaseInsensitivePaths::confinedTo(fs::path root) {
    CaseInsensitivePaths paths;
    paths.m_confine = std::move(root);
    return paths;
}

const std::vector<std::pair<std::string, std::string>>&
CaseInsensitivePaths::listing(const fs::path& folder) {
    const auto found = m_listings.find(platform::pathKey(folder));
    if (found != m_listings.end()) return found->second;
    std::vector<std::pair<std::string, std::string>> entries;
    // Confined, a folder that leads out (through a link on the way) is not even opened: its names are none
    // of the archive's business.
    if (m_confine.empty() || realPathInside(m_confine, folder)) {
        std::error_code ec;
        for (fs::directory_iterator d(folder, ec), end; !ec && d != end; d.increment(ec)) {
            const std::string real = platform::pathToUtf8(d->path().filename());
            entries.emplace_back(folded(cp1251::fromFileName(real)), real);
        }
        if (ec && m_unreadable == Unreadable::Error)
            throw FileError(unreadableFolderMessage(folder, ec.value()));
    }
    return m_listings.emplace(platform::pathKey(folder), std::move(entries)).first->second;
}

std::optional<fs::path> CaseInsensitivePaths::find(const fs::path& folder, const std::string& name) {
    fs::path direct = folder / platform::pathFromUtf8(cp1251::toUtf8(name));
    if (present(direct, folder)) return direct;
    // The same bytes as the page writes them: the name of an archive unpacked without converting names. A
    // file system that refuses such a name has none of that kind; the listing below tells a folder that
    // cannot be read.
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        direct = folder / name;
        std::error_code ec;
        if (fs::exists(direct, ec)) return direct;
    }
    const std::string wanted = folded(name);
    const auto& entries = listing(folder);
    const auto match = std::find_if(entries.begin(), entries.end(), [&](const auto& e) {
        return e.first == wanted && present(folder / platform::pathFromUtf8(e.second), folder, true);
    });
    if (match == entries.end()) return std::nullopt;
    return folder / platform::pathFromUtf8(match->second);
}

std::optional<fs::path> CaseInsensitivePaths::resolve(const fs::path& base,
                                                      const std::vector<std::string>& components) {
    fs::path current = base;
    for (const std::string& component : components) {
        std::optional<fs::path> next = find(current, component);
        if (!next && m_names == Names::Links)
            if (const std::optional<std::string> decoded = percentDecoded(component))
                next = find(current, *decoded);
        if (!next) return std::nullopt;
        current = std::move(*next);
    }
    return current;
}

std::optional<std::string> percentDecoded(std::string_view name) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string out;
    bool escaped = false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size() && hex(name[i + 1]) >= 0 && hex(name[i + 2]) >= 0) {
            out += char(hex(name[i + 1]) * 16 + hex(name[i + 2]));
            escaped = true;
            i += 2;
        } else {
            out += name[i];
        }
    }
    constexpr std::string_view kNotInAName("/\\\0", 3);
    if (!escaped || out == "." || out == ".." || out.find_first_of(kNotInAName) != std::string::npos)
        return std::nullopt;
    return out;
}

std::array<std::string, 3> prefixesCp1251(const std::array<std::string, 3>& prefixes) {
    return {cp1251::fromUtf8(prefixes[0]), cp1251::fromUtf8(prefixes[1]), cp1251::fromUtf8(prefixes[2])};
}

std::array<int, 3> editionOrder(const std::array<std::string, 3>& prefixes) {
    std::array<int, 3> order = {1, 2, 3};
    auto length = [&](int edition) {
        return std::min(prefixes[size_t(edition - 1)].size(), kPrefixCapacity);
    };
    for (size_t i = 0; i < 2; ++i)
        for (size_t j = i + 1; j < 3; ++j)
            if (length(order[j]) > length(order[i])) std::swap(order[i], order[j]);
    return order;
}

int editionOf(std::string_view name, const std::array<std::string, 3>& prefixes,
              const std::array<int, 3>& order) {
    for (int edition : order) {
        const std::string_view prefix =
            std::string_view(prefixes[size_t(edition - 1)]).substr(0, kPrefixCapacity);
        if (text::TextStartsAt(prefix, name, 1)) return edition;
    }
    return 0;
}

std::optional<IssueEntry> classifyEntry(std::string_view name, const std::array<std::string, 3>& prefixes,
                                        const std::array<int, 3>& order) {
    IssueEntry entry;
    entry.edition = editionOf(name, prefixes, order);
    if (entry.edition == 0) return std::nullopt;
    const size_t prefixLength = std::min(prefixes[size_t(entry.edition - 1)].size(), kPrefixCapacity);
    if (name.size() <= prefixLength) return std::nullopt;

    entry.upperName.assign(name);
    for (char& c : entry.upperName)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');

    std::string raw;
    const text::Pos zip = text::FindFolded(".ZIP", entry.upperName, text::Pos(prefixLength) + 1);
    if (zip != 0) {
        raw = entry.upperName.substr(prefixLength, std::min<size_t>(3, size_t(zip - 1) - prefixLength));
        entry.innerName =
            entry.upperName.substr(0, std::min<size_t>(size_t(zip - 1), kInnerFolderCapacity - 1));
    } else {
        raw = entry.upperName.substr(prefixLength, 3);
    }
    if (raw.empty() || raw[0] == ' ') return std::nullopt;
    entry.number = std::string(3 - raw.size(), ' ') + raw;
    return entry;
}

std::string shortIssueNumber(std::string_view number) {
    const size_t from = std::min(number.find_first_not_of(' '), number.size());
    return std::string(number.substr(from, 3));
}

std::array<std::vector<std::string>, 3> issueFolderCandidates(std::string_view prefix,
                                                              std::string_view shortNumber) {
    std::string name(prefix);
    name += shortNumber;
    return {std::vector<std::string>{name}, std::vector<std::string>{name, name},
            std::vector<std::string>{name + ".zip", name}};
}

std::vector<std::string> linkComponents(std::string_view link) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= link.size(); ++i) {
        if (i == link.size() || link[i] == '/' || link[i] == '\\') {
            if (i > start) parts.emplace_back(link.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

bool linkStaysInside(std::string_view link) {
    if (link.empty() || link[0] == '/' || link[0] == '\\') return false;
    if (link.find(':') != std::string_view::npos) return false; // a drive or a scheme
    for (const std::string& part : linkComponents(link))
        if (part == "..") return false;
    return true;
}

std::filesystem::path archiveFolderPath(std::string_view folder) {
    std::string path(folder);
    for (char& c : path)
        if (c == '\\') c = '/';
    return platform::pathFromUtf8(path).make_preferred(); // on Windows its own separators again
}

std::filesystem::path realArchiveFolder(std::string_view folder) {
    const fs::path path = archiveFolderPath(folder);
    if (path.empty()) return path;
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) return path;
    // weakly_canonical keeps a trailing separator of the part it could not resolve.
    if (real.has_relative_path() && !real.has_filename()) real = real.parent_path();
    return real;
}

namespace {
// The resolved path's components, without the empty one a trailing separator leaves.
std::vector<fs::path> realComponents(const fs::path& path, bool& ok) {
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(fs::absolute(path, ec), ec);
    ok = !ec;
    std::vector<fs::path> out;
    for (const fs::path& c : real)
        if (!c.empty()) out.push_back(c);
    return out;
}
} // namespace

bool realPathInside(const fs::path& folder, const fs::path& file) {
    bool folderOk = false, fileOk = false;
    const std::vector<fs::path> root = realComponents(folder, folderOk);
    const std::vector<fs::path> real = realComponents(file, fileOk);
    if (!folderOk || !fileOk || root.empty() || real.size() < root.size()) return false;
    return std::equal(root.begin(), root.end(), real.begin());
}

} // namespace marovex::indexer
