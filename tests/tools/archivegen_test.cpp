#include "archivegen/archivegen.h"

#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "indexer/indexrun.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using namespace marovex;
namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// Relative path -> bytes for files, "<dir>" for folders.
std::map<std::string, std::string> readTree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).generic_string();
        tree[rel] = e.is_directory() ? std::string("<dir>") : test::readFile(e.path());
    }
    return tree;
}

// The path of rel under root with every component matched ignoring letter case, as an archive copied
// from Windows must be read; empty when some component is missing.
fs::path resolveFolded(const fs::path& root, const std::string& rel) {
    fs::path at = root;
    std::size_t from = 0;
    while (from <= rel.size()) {
        const std::size_t slash = std::min(rel.find('/', from), rel.size());
        const std::string part = rel.substr(from, slash - from);
        from = slash + 1;
        if (part.empty()) continue;
#if defined(_WIN32) // the generator writes Windows-1251 names as the letters they stand for
        const fs::path name = platform::pathFromUtf8(cp1251::toUtf8(cp1251::fromFileName(part)));
#else
        const fs::path name = part;
#endif
        if (fs::exists(at / name)) {
            at /= name;
            continue;
        }
        if (!fs::is_directory(at)) return {};
        fs::path found;
        for (const auto& e : fs::directory_iterator(at))
            if (lower(e.path().filename().string()) == lower(part)) found = e.path();
        if (found.empty()) return {};
        at = found;
    }
    return at;
}

// The addresses after every href="../pub/ (marker in any case).
std::vector<std::string> pubLinks(const std::string& page) {
    const std::string folded = lower(page);
    const std::string marker = "href=\"../pub/";
    std::vector<std::string> out;
    for (std::size_t at = folded.find(marker); at != std::string::npos; at = folded.find(marker, at + 1)) {
        const std::size_t a = at + marker.size();
        out.push_back(page.substr(a, page.find('"', a) - a));
    }
    return out;
}

// As a browser decodes it: escapes into bytes ("%20" a blank, "%98" that byte), "&amp;" into "&".
std::string decodeAddress(const std::string& href) {
    std::string out;
    for (std::size_t i = 0; i < href.size();) {
        if (href[i] == '%' && i + 2 < href.size())
            out += char(std::stoi(href.substr(i + 1, 2), nullptr, 16)), i += 3;
        else if (href.compare(i, 5, "&amp;") == 0)
            out += '&', i += 5;
        else
            out += href[i++];
    }
    return out;
}

const char* const kPages[] = {"frame/left.htm", "pages/materials.htm", "pages/statii.htm"};

std::string page(const fs::path& root, const gen::PlannedIssue& is, const char* name) {
    const fs::path p = resolveFolded(root, is.folder + "/" + name);
    if (p.empty()) throw std::runtime_error("missing " + is.folder + "/" + name);
    return test::readFile(p);
}

gen::GenOptions options(const fs::path& out, int issues, int articles, std::uint64_t seed = 7) {
    gen::GenOptions o;
    o.out = out;
    o.issues = issues;
    o.articlesPerIssue = articles;
    o.seed = seed;
    return o;
}

const std::string kMarker = cp1251::fromUtf8("Материалы");

} // namespace

TEST(ArchiveGen, SameOptionsGiveTheSameTreeAndAnotherSeedAnotherOne) {
    test::TempDir dir;
    const auto a = gen::GenerateArchive(options(dir / "a", 15, 12));
    const auto b = gen::GenerateArchive(options(dir / "b", 15, 12));
    gen::GenerateArchive(options(dir / "c", 15, 12, 8));
    const auto treeA = readTree(dir / "a");
    EXPECT_EQ(treeA, readTree(dir / "b"));
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_EQ(a.files, b.files);
    EXPECT_EQ(a.files, std::size_t(std::count_if(treeA.begin(), treeA.end(),
                                                 [](const auto& f) { return f.second != "<dir>"; })));
    EXPECT_NE(treeA, readTree(dir / "c"));
    // Not just other folder names: the pages of every issue differ.
    const auto planA = gen::PlanArchive(options(dir / "a", 15, 12));
    const auto planC = gen::PlanArchive(options(dir / "c", 15, 12, 8));
    ASSERT_EQ(planA.issues.size(), planC.issues.size());
    for (std::size_t i = 0; i < planA.issues.size(); ++i)
        EXPECT_NE(page(dir / "a", planA.issues[i], "pages/materials.htm"),
                  page(dir / "c", planC.issues[i], "pages/materials.htm"))
            << planA.issues[i].folder;
}

TEST(ArchiveGen, PlanNumbersEveryIssueUniquelyByTheNamingRule) {
    const auto plan = gen::PlanArchive(options("unused", gen::kMaxIssues, 1));
    ASSERT_EQ(plan.issues.size(), std::size_t(gen::kMaxIssues));
    const std::string prefixes[] = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
    std::set<std::pair<int, std::string>> numbers;
    std::set<std::string> entries;
    int perEdition[4] = {};
    for (const auto& is : plan.issues) {
        ASSERT_GE(is.edition, 1);
        ASSERT_LE(is.edition, 3);
        ++perEdition[is.edition];
        const std::string& prefix = prefixes[is.edition - 1];
        ASSERT_EQ(lower(is.entry.substr(0, prefix.size())), lower(prefix)) << is.entry;
        // What an indexer derives from the name: up to ".ZIP" after the prefix, at most three
        // characters, upper case, padded on the left.
        std::string rest = is.entry.substr(prefix.size());
        const auto zip = lower(rest).find(".zip");
        EXPECT_EQ(zip != std::string::npos, is.form == gen::IssueForm::UnpackedZip) << is.entry;
        rest = rest.substr(0, std::min<std::size_t>(zip, 3));
        ASSERT_FALSE(rest.empty());
        ASSERT_NE(rest[0], ' ');
        std::string expected = std::string(3 - rest.size(), ' ') + rest;
        for (char& ch : expected)
            if (ch >= 'a' && ch <= 'z') ch = char(ch - 'a' + 'A');
        EXPECT_EQ(is.number, expected) << is.entry;
        EXPECT_TRUE(numbers.insert({is.edition, is.number}).second) << is.entry;
        EXPECT_TRUE(entries.insert(lower(is.entry)).second) << is.entry;
        switch (is.form) {
        case gen::IssueForm::Plain:
            EXPECT_EQ(is.folder, is.entry);
            break;
        case gen::IssueForm::Nested:
            EXPECT_EQ(is.folder, is.entry + "/" + is.entry);
            break;
        case gen::IssueForm::UnpackedZip:
            EXPECT_EQ(is.folder, is.entry + "/" + is.entry.substr(0, is.entry.size() - 4));
            break;
        }
    }
    EXPECT_EQ(perEdition[1], gen::kNumbersPerEdition);
    EXPECT_EQ(perEdition[3], gen::kNumbersPerEdition);
    for (const auto& d : plan.decoys)
        EXPECT_TRUE(entries.insert(lower(d.name)).second) << d.name;

    EXPECT_THROW(gen::PlanArchive(options("unused", gen::kMaxIssues + 1, 1)), std::invalid_argument);
    EXPECT_THROW(gen::PlanArchive(options("unused", -1, 1)), std::invalid_argument);
    auto same = options("unused", 3, 1);
    same.prefixes[2] = "KELVRA-gold";
    EXPECT_THROW(gen::PlanArchive(same), std::invalid_argument);
    // Plain-edition folders such as Kelvra05 would be claimed by the longer prefix Kelvra0.
    auto claimed = options("unused", 30, 1);
    claimed.prefixes[0] = "Kelvra0";
    EXPECT_THROW(gen::PlanArchive(claimed), std::invalid_argument);
}

TEST(ArchiveGen, WritesEveryFormLetterCaseAndDecoy) {
    test::TempDir dir;
    const auto o = options(dir / "arc", 18, 10);
    const auto summary = gen::GenerateArchive(o);
    const auto plan = gen::PlanArchive(o);
    EXPECT_EQ(summary.issues, 18);
    EXPECT_EQ(summary.decoys, int(plan.decoys.size()));
    const fs::path root = dir / "arc";

    std::set<gen::IssueForm> forms;
    bool lowerEntry = false, upperPages = false;
    for (const auto& is : plan.issues) {
        forms.insert(is.form);
        lowerEntry |= is.entry == lower(is.entry);
        EXPECT_TRUE(fs::is_directory(root / is.folder)) << is.folder;
        EXPECT_FALSE(resolveFolded(root, is.folder + "/index.htm").empty()) << is.folder;
        for (const char* p : kPages)
            EXPECT_FALSE(resolveFolded(root, is.folder + "/" + p).empty()) << is.folder << "/" << p;
        upperPages |= fs::exists(root / is.folder / "FRAME/Left.HTM");
    }
    EXPECT_EQ(forms.size(), 3u);
    EXPECT_TRUE(lowerEntry);
    EXPECT_TRUE(upperPages);

    EXPECT_TRUE(fs::is_regular_file(root / "Kelvra-Gold07.zip"));
    EXPECT_TRUE(fs::is_directory(root / "Kelvra-Gold/pages"));
    EXPECT_TRUE(fs::is_directory(root / "Kelvra-Gold.zip/Kelvra-Gold/pages"));
    EXPECT_TRUE(fs::is_directory(root / "Kelvra-Gold 09/pages"));
    EXPECT_TRUE(fs::is_directory(root / "Docs"));
    EXPECT_TRUE(fs::is_regular_file(root / "readme.txt"));

    // A packed copy of a plain issue: same edition and number, same pages.
    const auto dup = std::find_if(plan.decoys.begin(), plan.decoys.end(),
                                  [](const auto& d) { return d.kind == gen::DecoyKind::DuplicateIssue; });
    ASSERT_NE(dup, plan.decoys.end());
    const auto& original = plan.issues[dup->original];
    EXPECT_EQ(original.form, gen::IssueForm::Plain);
    EXPECT_EQ(dup->name, original.entry + ".zip");
    EXPECT_EQ(readTree(root / dup->name / original.entry), readTree(root / original.entry));

    // Nothing directly in the archive folder clashes with another entry when case is ignored.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(root))
        EXPECT_TRUE(names.insert(lower(e.path().filename().string())).second) << e.path();
    EXPECT_EQ(names.size(), plan.issues.size() + plan.decoys.size());
}

TEST(ArchiveGen, ContentsPagesAreWindows1251WithHeadingsOutsideTheReleaseEdition) {
    test::TempDir dir;
    const auto o = options(dir / "arc", 12, 30);
    gen::GenerateArchive(o);
    for (const auto& is : gen::PlanArchive(o).issues) {
        for (const char* name : {"pages/materials.htm", "pages/statii.htm"}) {
            const std::string text = page(dir / "arc", is, name);
            EXPECT_NE(text.find(kMarker), std::string::npos) << is.folder << " " << name;
            EXPECT_EQ(text.find("Материалы"), std::string::npos) << is.folder << " " << name;
            const std::string folded = lower(text);
            const bool heading =
                folded.find("<b>") != std::string::npos || folded.find("<b ") != std::string::npos;
            EXPECT_EQ(heading, is.edition != 2) << is.folder << " " << name;
        }
    }
}

namespace {

struct LinkCount {
    std::uint64_t links = 0, articles = 0, empty = 0;
};

// Counts the links of every issue's contents pages, and checks in a full archive that each one leads to
// an article file.
LinkCount countLinks(const fs::path& root, const gen::ArchivePlan& plan, bool full) {
    LinkCount n;
    for (const auto& is : plan.issues) {
        std::set<std::string> distinct;
        for (const char* name : kPages)
            for (const std::string& href : pubLinks(page(root, is, name))) {
                ++n.links;
                if (href.empty()) {
                    ++n.empty;
                    continue;
                }
                const std::string address = decodeAddress(href);
                distinct.insert(lower(address));
                if (full) {
                    EXPECT_TRUE(fs::is_regular_file(resolveFolded(root, is.folder + "/pub/" + address)))
                        << is.folder << " " << href;
                }
            }
        n.articles += distinct.size();
    }
    return n;
}

} // namespace

TEST(ArchiveGen, EveryLinkLeadsToAnArticleAndTheSummaryCountsThem) {
    test::TempDir dir;
    const auto o = options(dir / "arc", 9, 25);
    const auto summary = gen::GenerateArchive(o);
    const LinkCount n = countLinks(dir / "arc", gen::PlanArchive(o), true);
    EXPECT_EQ(summary.links, n.links);
    EXPECT_EQ(summary.articles, n.articles);
    EXPECT_GT(n.empty, 0u);                   // the address with nothing after "../pub/"
    EXPECT_GT(n.links, n.articles + n.empty); // repeated links
}

TEST(ArchiveGen, ArticleCountFollowsTheRequestedAverage) {
    for (const int articles : {1, 40, 150}) {
        std::uint64_t planned = 0;
        for (const auto& is : gen::PlanArchive(options("unused", 600, articles)).issues) {
            EXPECT_GE(is.articles, 1);
            planned += std::uint64_t(is.articles);
        }
        EXPECT_GT(double(planned), 600.0 * articles * 0.95) << articles;
        EXPECT_LT(double(planned), 600.0 * articles * 1.05) << articles;
    }
    // What is written: the planned articles plus at most an editorial and an announcement per issue, and the
    // three articles with names that are not UTF-8 in each first issue of an edition.
    test::TempDir dir;
    const auto o = options(dir / "arc", 12, 40);
    const auto summary = gen::GenerateArchive(o);
    const auto plan = gen::PlanArchive(o);
    std::uint64_t planned = 0;
    for (const auto& is : plan.issues)
        planned += std::uint64_t(is.articles);
    EXPECT_GE(summary.articles, planned);
    EXPECT_LE(summary.articles, planned + 2 * plan.issues.size() + 3 * 3);
    EXPECT_EQ(countLinks(dir / "arc", plan, false).articles, summary.articles);
}

TEST(ArchiveGen, ContentsOnlyWritesTheSamePagesWithoutArticles) {
    test::TempDir dir;
    auto o = options(dir / "full", 10, 20);
    gen::GenerateArchive(o);
    o.out = dir / "contents";
    o.contentsOnly = true;
    const auto summary = gen::GenerateArchive(o);
    const auto full = readTree(dir / "full");
    const auto contents = readTree(dir / "contents");
    std::uint64_t bytes = 0;
    for (const auto& [rel, bytesOf] : contents) {
        const std::string folded = "/" + lower(rel) + "/";
        EXPECT_EQ(folded.find("/pub/"), std::string::npos) << rel;
        EXPECT_EQ(folded.find("/main.htm/"), std::string::npos) << rel;
        ASSERT_TRUE(full.count(rel)) << rel;
        EXPECT_EQ(full.at(rel), bytesOf) << rel;
        if (bytesOf != "<dir>") bytes += bytesOf.size();
    }
    EXPECT_EQ(summary.bytes, bytes);
    EXPECT_GT(full.size(), contents.size() + 10 * 20);
}

namespace {

// Whether some bold heading of the page holds nothing but tags and blanks.
bool hasEmptyHeading(const std::string& page) {
    const std::string folded = lower(page);
    for (std::size_t at = folded.find("<b"); at != std::string::npos; at = folded.find("<b", at + 1)) {
        if (folded[at + 2] != '>' && folded[at + 2] != ' ') continue;
        bool inTag = false, text = false;
        for (std::size_t i = at; i < folded.size() && folded.compare(i, 3, "</b") != 0; ++i) {
            if (folded[i] == '<')
                inTag = true;
            else if (folded[i] == '>')
                inTag = false;
            else if (!inTag && folded[i] != ' ')
                text = true;
        }
        if (!text) return true;
    }
    return false;
}

} // namespace

TEST(ArchiveGen, FirstIssueOfEveryEditionHoldsEveryConstructAnIndexerMustHandle) {
    test::TempDir dir;
    const auto o = options(dir / "arc", 3, 12);
    gen::GenerateArchive(o);
    const auto plan = gen::PlanArchive(o);
    ASSERT_EQ(plan.issues.size(), 3u);
    std::string articles;
    for (const auto& is : plan.issues) {
        ASSERT_TRUE(is.showcase);
        const std::string left = page(dir / "arc", is, "frame/left.htm");
        const std::string materials = page(dir / "arc", is, "pages/materials.htm");
        const std::string all = left + materials + page(dir / "arc", is, "pages/statii.htm");
        for (const char* construct : {"HREF=\"../pub/", "%20", "q&amp;a", "&quot;", "<font color", "</A>",
                                      "\"><img src=", "href=\"../pub/\"", "/\xC0\xC1\xC2.htm\"",
                                      "/odd\x98_dir/a\x98\xFF.htm\"", "/b%98.htm\""})
            EXPECT_NE(all.find(construct), std::string::npos) << is.folder << ": " << construct;

        std::set<std::string> inMaterials;
        bool twiceOnOnePage = false, leftAlsoInMaterials = false;
        for (const auto& h : pubLinks(materials))
            twiceOnOnePage |= !inMaterials.insert(lower(h)).second;
        for (const auto& h : pubLinks(left))
            leftAlsoInMaterials |= inMaterials.count(lower(h)) > 0;
        EXPECT_TRUE(twiceOnOnePage) << is.folder;
        EXPECT_TRUE(leftAlsoInMaterials) << is.folder;

        if (is.edition != 2) {
            const std::string folded = lower(materials);
            const auto body = materials.find(kMarker);
            const auto link = folded.find("href=\"../pub/", body);
            const auto bold = std::min(folded.find("<b>", body), folded.find("<b ", body));
            EXPECT_LT(link, bold) << is.folder << ": a link ahead of the first heading";
            EXPECT_TRUE(hasEmptyHeading(materials)) << is.folder;
        }
        for (const auto& entry :
             fs::recursive_directory_iterator(resolveFolded(dir / "arc", is.folder + "/pub")))
            if (entry.is_regular_file() &&
                lower(entry.path().extension().string()).find("htm") != std::string::npos)
                articles += test::readFile(entry.path());
    }
    for (const char* construct : {"<script", "<style", "&nbsp;", "&laquo;", "&raquo;", "&quot;", "&amp;"})
        EXPECT_NE(articles.find(construct), std::string::npos) << construct;
    EXPECT_NE(articles.find(cp1251::fromUtf8(" и ")), std::string::npos);
}

TEST(ArchiveGen, RefusesAFolderThatIsNotEmpty) {
    test::TempDir dir;
    test::writeFile(dir / "arc/keep.txt", "mine");
    EXPECT_THROW(gen::GenerateArchive(options(dir / "arc", 3, 5)), std::invalid_argument);
    EXPECT_EQ(readTree(dir / "arc").size(), 1u);
    test::writeFile(dir / "file", "x");
    EXPECT_THROW(gen::GenerateArchive(options(dir / "file", 3, 5)), std::invalid_argument);
}

TEST(ArchiveGen, FullSizePagesAreLargeAndNoisyButIndexLikeThePlainOnes) {
    test::TempDir dir;
    auto o = options(dir / "plain", 6, 20);
    o.contentsOnly = true;
    const auto plainSummary = gen::GenerateArchive(o);
    o.out = dir / "full";
    o.fullSizeContents = true;
    const auto fullSummary = gen::GenerateArchive(o);
    EXPECT_EQ(fullSummary.links, plainSummary.links);
    EXPECT_EQ(fullSummary.articles, plainSummary.articles);

    for (const auto& is : gen::PlanArchive(o).issues) {
        EXPECT_EQ(page(dir / "full", is, "index.htm"), page(dir / "plain", is, "index.htm"));
        for (const char* name : kPages) {
            const std::string full = page(dir / "full", is, name);
            EXPECT_GE(full.size(), 100u * 1024) << is.folder << "/" << name;
            EXPECT_LE(full.size(), 150u * 1024) << is.folder << "/" << name;
            for (const char* noise :
                 {"<style", "<script", "<!--", "&nbsp;", "&laquo;", "&mdash;", "\t", "\r\n"})
                EXPECT_NE(full.find(noise), std::string::npos) << is.folder << "/" << name << ": " << noise;
            bool loneCr = false, loneLf = false;
            for (std::size_t i = 1; i + 1 < full.size(); ++i) {
                loneCr |= full[i] == '\r' && full[i + 1] != '\n';
                loneLf |= full[i] == '\n' && full[i - 1] != '\r';
            }
            EXPECT_TRUE(loneCr && loneLf) << is.folder << "/" << name;
            EXPECT_EQ(pubLinks(full), pubLinks(page(dir / "plain", is, name))) << is.folder << "/" << name;
        }
    }

    // What an indexer makes of the pages does not change: the same rows, field by field.
    auto index = [](const fs::path& root) {
        RecordTable articles, topics;
        catalogue::openEmptyArticleTable(articles);
        catalogue::openEmptyTopicTable(topics);
        indexer::IndexSettings settings;
        settings.archiveFolder = root.string();
        settings.enabled = {true, true, true};
        settings.prefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
        const std::atomic<bool> stop{false};
        EXPECT_TRUE(indexer::runIndexing(articles, topics, settings, true, stop, {}).completed);
        std::vector<std::string> rows;
        for (int i = 0; i < articles.rowCount(); ++i) {
            std::string row;
            for (int f = 0; f < int(articles.fields().size()); ++f)
                row += articles.rowAt(i).asText(f) + "|";
            rows.push_back(row);
        }
        return rows;
    };
    const auto rows = index(dir / "plain");
    EXPECT_EQ(rows.size(), plainSummary.articles);
    EXPECT_EQ(index(dir / "full"), rows);
}
