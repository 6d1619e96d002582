#pragma once

#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marovex::indexer {

// Where an archive path lies on disk. Names in the archive are compared ignoring case (it may come from a
// file system that does not distinguish case), so each component that is not found as written is looked
// up in its folder's listing. Names on disk that are not UTF-8 (an archive unpacked without converting its
// names) are taken as Windows-1251. Listings are kept for the lifetime of the object, which is one run. A
// link to nothing is no component.
class CaseInsensitivePaths {
public:
    // What a folder on the way that cannot be read or listed means.
    enum class Unreadable {
        Missing, // the path is not there
        Error,   // FileError naming the folder: an indexing run must not take it for an absent page
    };
    // What the components are.
    enum class Names {
        Plain,
        // Addresses taken from pages' links: a component not found as written that holds "%XX" escapes is
        // looked for decoded too, as a browser would decode it.
        Links,
    };
    explicit CaseInsensitivePaths(Unreadable unreadable = Unreadable::Missing) : m_unreadable(unreadable) {}
    explicit CaseInsensitivePaths(Names names) : m_names(names) {}
    // A lookup that never lists a folder whose real path (links followed) leaves `root`, so that it never
    // looks into a folder outside it: a component not found as written there is missing.
    static CaseInsensitivePaths confinedTo(std::filesystem::path root);

    // `components` are Windows-1251 names; the result is the real path, or nothing when a component is
    // missing or (with Unreadable::Missing) a folder cannot be read.
    std::optional<std::filesystem::path> resolve(const std::filesystem::path& base,
                                                 const std::vector<std::string>& components);

private:
    // Whether `path` is there (a link loop too when it was `listed`); a folder on the way that cannot be read
    // raises with Unreadable::Error.
    bool present(const std::filesystem::path& path, const std::filesystem::path& folder,
                 bool listed = false) const;
    std::optional<std::filesystem::path> find(const std::filesystem::path& folder, const std::string& name);
    const std::vector<std::pair<std::string, std::string>>& listing(const std::filesystem::path& folder);

    Unreadable m_unreadable = Unreadable::Missing;
    Names m_names = Names::Plain;
    std::filesystem::path m_confine; // empty: anywhere
    std::map<std::string, std::vector<std::pair<std::string, std::string>>>
        m_listings; // folder -> (folded, real)
};

// A name taken from an address with its "%XX" escapes decoded, as a browser decodes it; nothing when it holds
// none, or when decoding would make it another path than one name (a separator, a NUL, "." or "..").
std::optional<std::string> percentDecoded(std::string_view name);

// Capacities of the names the walk works with, in characters.
inline constexpr size_t kPrefixCapacity = 100;
inline constexpr size_t kInnerFolderCapacity = 40; // the separator and the inner folder name

// Edition prefixes as the settings give them (UTF-8) in Windows-1251, the form in which folder names are
// matched against them.
std::array<std::string, 3> prefixesCp1251(const std::array<std::string, 3>& prefixes);

// The order in which the editions (codes 1 to 3) are tried: longer prefixes first, by pairwise exchange.
std::array<int, 3> editionOrder(const std::array<std::string, 3>& prefixes);

// An issue entry of the archive folder: what its name says.
struct IssueEntry {
    int edition = 0;
    std::string upperName; // Windows-1251, Latin letters upper-cased
    std::string number;    // three characters, left-padded with blanks
    std::string innerName; // the folder inside an unpacked archive (".ZIP" entries); empty otherwise
};

// How a folder name (Windows-1251) reads as an issue entry; nothing when it is none. `prefixes` are by
// edition code, `order` from editionOrder. The edition switches are not looked at here.
std::optional<IssueEntry> classifyEntry(std::string_view name, const std::array<std::string, 3>& prefixes,
                                        const std::array<int, 3>& order);
// The edition whose prefix the name begins with, tried in order; 0 for none.
int editionOf(std::string_view name, const std::array<std::string, 3>& prefixes,
              const std::array<int, 3>& order);

// The three contents pages of an issue, in the order they are read.
inline const std::array<std::vector<std::string>, 3> kIssuePages = {
    std::vector<std::string>{"frame", "left.htm"},
    std::vector<std::string>{"pages", "materials.htm"},
    std::vector<std::string>{"pages", "statii.htm"},
};

// --- Issue folders as opening an article and the full-text search find them -------------------------

// `Number` without its leading blanks, at most its first three characters (two blanks and 7 give 7).
std::string shortIssueNumber(std::string_view number);

// The issue folder candidates, relative to the archive folder and tried in this order: plain (E N), nested
// (E N, E N) and archive-named (E N ".zip", E N), E being the edition prefix and N the short number.
// Components are Windows-1251 names.
std::array<std::vector<std::string>, 3> issueFolderCandidates(std::string_view prefix,
                                                              std::string_view shortNumber);

// Whether a `Link` taken from an archive page stays inside its issue's "pub" folder: no ".." component, not
// absolute, no drive. A link that leaves it is never read, opened or handed to another program.
bool linkStaysInside(std::string_view link);

// A `Link` (Windows-1251, "/" or "\\" as separators) split into its path components; empty ones dropped.
std::vector<std::string> linkComponents(std::string_view link);

// A folder or file of the settings (maybe with backslashes) as a path of this system.
std::filesystem::path archiveFolderPath(std::string_view folder);
// The archive folder's real path (symbolic links followed, "." and ".." and doubled or trailing separators
// gone), so that every spelling of one folder names its files alike; archiveFolderPath where it cannot be
// resolved.
std::filesystem::path realArchiveFolder(std::string_view folder);

// The guard for every read of an article file: whether `file`, with every symbolic link on its way followed,
// still lies in `folder` (itself resolved the same way) or is that folder. Compared component by component,
// so "/a/issue2" does not lie in "/a/issue". A path that cannot be resolved (a link loop, a folder that
// cannot be searched) counts as outside.
bool realPathInside(const std::filesystem::path& folder, const std::filesystem::path& file);

} // namespace marovex::indexer
