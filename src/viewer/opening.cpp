#include "viewer/opening.h"

#include "base/atomicfile.h"
#include "base/cp1251.h"
#include "base/platform.h"
#include "base/regularfile.h"
#include "base/textops.h"
#include "catalogue/catalogue.h"
#include "catalogue/recordtable.h"
#include "indexer/archive.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

namespace fs = std::filesystem;

namespace marovex::viewer {

namespace {

std::string utf8(const fs::path& path) {
    const std::u8string s = fs::path(path).make_preferred().u8string();
    return std::string(s.begin(), s.end());
}

// The path of a file as the archive names it: the archive folder and the components as written.
fs::path writtenPath(const fs::path& archive, const std::vector<std::string>& components) {
    fs::path p = archive;
    for (const std::string& c : components)
        p /= platform::pathFromUtf8(cp1251::toUtf8(c));
    return p;
}

std::string editionPrefix(const OpenSettings& settings, std::int32_t type) {
    return type >= 1 && type <= 3 ? cp1251::fromUtf8(settings.editionPrefixes[size_t(type - 1)])
                                  : std::string();
}

struct Found {
    fs::path file;
    fs::path issueFolder;
};

// Tries the issue folder candidates in order for the file below each of them. `tried` collects every
// path looked at, as written, for the not-found message. A link that would leave the issue folder is
// looked for nowhere, so it ends like a missing file.
std::optional<Found> locate(const ArticleRow& row, const OpenSettings& settings,
                            const std::vector<std::string>& below, bool safe,
                            std::vector<std::string>& tried) {
    const fs::path archive = indexer::archiveFolderPath(settings.archiveFolder);
    const auto candidates = indexer::issueFolderCandidates(editionPrefix(settings, row.type),
                                                           indexer::shortIssueNumber(row.number));
    // The link as a browser would follow it: "%XX" escapes decoded where the name as written is not there.
    indexer::CaseInsensitivePaths paths(indexer::CaseInsensitivePaths::Names::Links);
    for (const std::vector<std::string>& folder : candidates) {
        std::vector<std::string> components = folder;
        components.insert(components.end(), below.begin(), below.end());
        tried.push_back(utf8(writtenPath(archive, components)));
        if (!safe) continue;
        const std::optional<fs::path> file = paths.resolve(archive, components);
        std::error_code ec;
        if (!file || !fs::is_regular_file(*file, ec)) continue;
        const std::optional<fs::path> issueFolder = paths.resolve(archive, folder);
        // A file whose real path leaves its issue folder (a symbolic link out of it) counts as missing.
        if (issueFolder && indexer::realPathInside(*issueFolder, *file)) return Found{*file, *issueFolder};
    }
    return std::nullopt;
}

void reportNotFound(const OpenSettings& settings, const std::vector<std::string>& tried, ViewerHooks& hooks) {
    std::string text = settings.fileNotFoundText + "\r";
    for (size_t i = 0; i < tried.size(); ++i)
        text += (i ? "\r" : "") + tried[i];
    hooks.showMessage(MessageIcon::Error, text);
}

std::string addressOf(const fs::path& file) {
    return cp1251::fromUtf8(utf8(file));
}

void showInPane(const fs::path& file, const ArticleRow& row, ViewerHooks& hooks) {
    hooks.navigate(file);
    hooks.setCaption(windowCaption(cp1251::toUtf8(row.number)));
}

void openContentsPage(const ArticleRow& row, const OpenSettings& settings, ViewerHooks& hooks) {
    std::vector<std::string> tried;
    const std::optional<Found> found = locate(row, settings, {"index.htm"}, true, tried);
    if (!found) return reportNotFound(settings, tried, hooks);
    const auto conversation = [&hooks](const std::string& program) { return hooks.newConversation(program); };
    switch (settings.viewerChoice) {
    case Viewer::Msie:
        return openUrlInMsie(settings.msieProgram, kMsieService, addressOf(found->file), conversation);
    case Viewer::Opera:
        return openUrlInOpera(settings.operaProgram, kOperaService, addressOf(found->file), conversation);
    case Viewer::DefaultBrowser:
        return hooks.shellOpen(found->file, ShellFallback::Report);
    default:
        if (hooks.embeddedBrowserPresent()) return showInPane(found->file, row, hooks);
        return hooks.shellOpen(found->file, ShellFallback::Report);
    }
}

// Writes the frame copy for the article and returns its path.
fs::path writeFrameCopy(const Found& found, const OpenSettings& settings) {
    indexer::CaseInsensitivePaths paths;
    const std::optional<fs::path> issueIndex = paths.resolve(found.issueFolder, {"index.htm"});
    std::error_code ec;
    if (!issueIndex || !fs::is_regular_file(*issueIndex, ec))
        throw MessageError(
            Message(msg::CannotReadPage, {pathValue(found.issueFolder / "index.htm"), errorReason(ENOENT)}));
    if (!indexer::realPathInside(found.issueFolder, *issueIndex))
        throw MessageError(Message(msg::CannotReadPage,
                                   {pathValue(*issueIndex), nested(Message(msg::PageLeavesIssue, {}))}));
    const std::optional<std::string> page = readRegularFile(*issueIndex, kPageFileLimit, Links::Follow);
    if (!page)
        throw MessageError(Message(msg::CannotReadPage, {pathValue(*issueIndex), errorReason(ENOENT)}));
    // The main frame takes the article as it was found on disk, in the letter case of its folders and name.
    std::string article;
    for (const fs::path& part : found.file.lexically_relative(found.issueFolder)) {
        if (!article.empty()) article += '/';
        article += cp1251::fromFileName(utf8(part));
    }
    const fs::path copy = settings.appDir / kFrameCopyName;
    writeFileAtomically(copy, frameCopyText(*page, *issueIndex, article));
    return copy;
}

void openArticle(const ArticleRow& row, const OpenSettings& settings, ViewerHooks& hooks) {
    std::vector<std::string> below{"pub"};
    for (std::string& part : indexer::linkComponents(row.link))
        below.push_back(std::move(part));
    std::vector<std::string> tried;
    const std::optional<Found> found =
        locate(row, settings, below, indexer::linkStaysInside(row.link), tried);
    if (!found) return reportNotFound(settings, tried, hooks);

    const bool html = isHtmlArticle(row.link);
    fs::path target = found->file;
    // Written whenever it is due, also when the pane then shows the article itself.
    if (settings.frame && html) target = writeFrameCopy(*found, settings);

    const auto conversation = [&hooks](const std::string& program) { return hooks.newConversation(program); };
    if (html && settings.viewerChoice == Viewer::Pane && hooks.embeddedBrowserPresent())
        return showInPane(found->file, row, hooks);
    if (html && settings.viewerChoice == Viewer::Msie)
        return openUrlInMsie(settings.msieProgram, kMsieService, addressOf(target), conversation);
    if (html && settings.viewerChoice == Viewer::Opera)
        return openUrlInOpera(settings.operaProgram, kOperaService, addressOf(target), conversation);
    hooks.shellOpen(target, ShellFallback::Report);
}

void openWith(Viewer viewerChoice, std::string_view selectedField, const ArticleRow& row,
              const OpenSettings& settings, ViewerHooks& hooks) {
    OpenSettings changed = settings;
    changed.viewerChoice = viewerChoice;
    openCurrentRow(selectedField, row, changed, hooks);
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

std::string joinCrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

} // namespace

ArticleRow currentArticleRow(const RecordTable& articles) {
    ArticleRow row;
    row.type = articles.asInt("Type");
    row.number = articles.asText("Number");
    row.link = articles.asText("Link");
    return row;
}

void toggleFavourite(RecordTable& articles) {
    if (!articles.edit()) return;
    articles.setInt("Izb", articles.asInt("Izb") == catalogue::kFavourite ? 0 : catalogue::kFavourite);
    articles.post();
}

void openCurrentRow(std::string_view selectedField, const ArticleRow& utf8Row, const OpenSettings& settings,
                    ViewerHooks& hooks) {
    // The archive's names are matched in Windows-1251, the code page they were made in.
    const ArticleRow row{utf8Row.type, cp1251::fromUtf8(utf8Row.number), cp1251::fromUtf8(utf8Row.link)};
    if (selectedField == "Type" || selectedField == "Number") return openContentsPage(row, settings, hooks);
    if (selectedField == "Statia") return openArticle(row, settings, hooks);
    if (selectedField == "Izb") return hooks.toggleFavourite();
}

void openCurrentRowInMsie(std::string_view selectedField, const ArticleRow& row, const OpenSettings& settings,
                          ViewerHooks& hooks) {
    openWith(Viewer::Msie, selectedField, row, settings, hooks);
}
void openCurrentRowInOpera(std::string_view selectedField, const ArticleRow& row,
                           const OpenSettings& settings, ViewerHooks& hooks) {
    openWith(Viewer::Opera, selectedField, row, settings, hooks);
}
void openCurrentRowInDefaultBrowser(std::string_view selectedField, const ArticleRow& row,
                                    const OpenSettings& settings, ViewerHooks& hooks) {
    openWith(Viewer::DefaultBrowser, selectedField, row, settings, hooks);
}

void openApplicationFile(std::string_view relative, const OpenSettings& settings, ViewerHooks& hooks) {
    const std::vector<std::string> components = indexer::linkComponents(relative);
    indexer::CaseInsensitivePaths paths;
    const std::optional<fs::path> file = paths.resolve(settings.appDir, components);
    std::error_code ec;
    if (file && fs::is_regular_file(*file, ec))
        return hooks.shellOpen(*file, ShellFallback::ShowInApplication);
    hooks.showMessage(MessageIcon::Information,
                      settings.fileNotFoundText + " \r" + utf8(writtenPath(settings.appDir, components)));
}

bool isHtmlArticle(std::string_view link) {
    const size_t dot = link.find_last_of(".\\/:");
    if (dot == std::string_view::npos || link[dot] != '.') return false;
    return text::FindFolded("htm", link.substr(dot)) > 0;
}

std::string windowCaption(std::string_view number) {
    return "Marovex v2.0   [ Kelvra №" + std::string(number) + " ]";
}

std::string baseAddress(const fs::path& issueIndex) {
#ifdef _WIN32
    return "file:\\\\" + addressOf(issueIndex);
#else
    // The page is read by a browser of this system: a file URL, with every byte that is not plainly safe
    // in an attribute or a URL escaped.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const unsigned char c : utf8(fs::absolute(issueIndex))) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            url += char(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
#endif
}

std::string attributeAddress(std::string_view path) {
    std::string out;
    for (const char c : path) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        // Within an address these would end the path: a query and a fragment.
        case '?':
            out += "%3F";
            break;
        case '#':
            out += "%23";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string frameCopyText(std::string_view issuePage, const fs::path& issueIndex, std::string_view article) {
    std::string text = joinCrLf(splitLines(issuePage));
    const text::Pos head = text::FindFolded("</head>", text);
    if (head > 0) {
        text.insert(size_t(head - 1), "<BASE HREF=\"" + baseAddress(issueIndex) + "\">");
        text = text::ReplaceAllFolded(text, "frame/main.htm", attributeAddress(article));
    }
    return joinCrLf(splitLines(text));
}

bool shouldHighlight(std::string_view searchText) {
    return searchText.size() > 1 ? static_cast<unsigned char>(searchText[0]) >= 0x20
                                 : !searchText.empty() && static_cast<unsigned char>(searchText[0]) > 0x20;
}

} // namespace marovex::viewer
