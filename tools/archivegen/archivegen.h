#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A deterministic generator of magazine archives for demos, tests and benchmarks: issue folders of the
// three editions in their plain, unpacked-archive and nested forms, Windows-1251 contents pages with topic
// headings and article links, article pages, and a few folders and files that are not issues at all.
// The same options always give the same tree, byte for byte.
namespace marovex::gen {

struct GenOptions {
    std::filesystem::path out; // made when missing; must be empty otherwise
    std::uint64_t seed = 1;
    int issues = 50;            // issue entries, spread over the three editions
    int articlesPerIssue = 100; // average distinct articles per issue
    bool contentsOnly = false;  // only index.htm and the three contents pages: no article pages
    // Contents pages of 100-150 KB as real issues have them: long annotations, style and script blocks,
    // comments, entities, links that lead elsewhere, tabs and mixed line ends. The links, titles and
    // headings, and so what an indexer makes of the pages, are the same as without it.
    bool fullSizeContents = false;
    std::array<std::string, 3> prefixes{"Kelvra-Gold", "Kelvra-Release", "Kelvra"}; // editions 1, 2, 3
};

enum class IssueForm { Plain, UnpackedZip, Nested };

// The first issue of every edition also lists three articles whose file names are Windows-1251 bytes on
// disk, as an archive unpacked without converting its names keeps them: "\xC0\xC1\xC2.htm" ("АБВ"),
// "odd\x98_dir/a\x98\xFF.htm" and "b\x98.htm", the last one linked as "b%98.htm", which a browser decodes
// into that byte. Each of their pages holds its word, which no other page of the archive holds.
inline constexpr std::array<const char*, 3> kRawNameWords = {"unconvertedcyrillic", "unconvertedbyte",
                                                             "unconvertedescape"};

// One issue entry as an indexer should see it.
struct PlannedIssue {
    int edition = 0;    // 1 Gold, 2 Release, 3 plain
    std::string number; // three characters, upper case, left-padded with spaces ("  5", " 05", "12A")
    std::string entry;  // the folder name directly inside the archive folder
    std::string folder; // the issue folder relative to the archive folder, '/'-separated
    IssueForm form = IssueForm::Plain;
    int caseStyle = 0;      // 0: lower-case page names; 1, 2: names as a Windows archive may spell them
    int articles = 0;       // articles listed by materials.htm and statii.htm
    std::uint64_t seed = 0; // the content of the issue depends on this and showcase alone
    bool showcase = false;  // holds every rare construct of the pages at least once
};

enum class DecoyKind {
    FileNamedLikeIssue, // a regular file such as Kelvra-Gold07.zip
    PagesFolder,        // a folder holding issue pages whose name is not an issue entry
    ZipPagesFolder,     // the same inside a folder whose name ends with ".zip" (name/inner/pages)
    DuplicateIssue,     // name.zip/name holding a copy of a plain issue: same edition and number
    UnrelatedFolder,    // a folder no edition claims
    RootFile,           // a plain file in the archive folder
};

// Something in the archive folder that an indexer must pass over.
struct Decoy {
    DecoyKind kind = DecoyKind::RootFile;
    std::string name;         // the entry directly inside the archive folder
    std::size_t original = 0; // DuplicateIssue: index of the copied issue in ArchivePlan::issues
};

struct ArchivePlan {
    std::vector<PlannedIssue> issues;
    std::vector<Decoy> decoys;
};

struct GenSummary {
    int issues = 0;
    int decoys = 0;
    std::uint64_t links = 0;    // article links in the contents pages of the issues, repeats included
    std::uint64_t articles = 0; // distinct article addresses per issue, summed: the records a full run makes
    std::uint64_t files = 0;    // every file written, decoys included
    std::uint64_t bytes = 0;
};

// Distinct issue numbers available per edition: 1..999, then supplements "01a".."99z".
inline constexpr int kNumbersPerEdition = 999 + 99 * 26;
inline constexpr int kMaxIssues = 3 * kNumbersPerEdition;

// The layout without writing anything. Throws std::invalid_argument for options that cannot be met
// (issue count out of range, empty or clashing prefixes).
ArchivePlan PlanArchive(const GenOptions& options);

// Writes the archive. Throws std::invalid_argument as PlanArchive does, or when the output folder is not
// empty, and std::runtime_error when a file cannot be written.
GenSummary GenerateArchive(const GenOptions& options);

} // namespace marovex::gen
