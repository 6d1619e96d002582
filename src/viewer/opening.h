#pragma once

#include "viewer/browserlaunch.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace marovex {
class RecordTable;
}

// Opening the current row of the article grid: locating the issue's contents page or the article in the
// archive, the frame copy, and handing the file to the viewer the user has chosen. The main window only
// answers the hooks; everything else is decided here.
namespace marovex::viewer {

// The viewers the user chooses between; setting select_browser stores these numbers.
enum class Viewer : std::int32_t { Pane = 1, Msie = 2, Opera = 3, DefaultBrowser = 4 };

inline constexpr std::string_view kFrameCopyName = "index.htm";
inline constexpr std::string_view kHelpPage = "Help\\help.html";
inline constexpr std::string_view kNewsPage = "Help\\new.html";

// What an opening reads from the settings, taken afresh for every call.
struct OpenSettings {
    std::filesystem::path appDir;
    std::string archiveFolder;                  // dbdir, without a trailing separator
    std::array<std::string, 3> editionPrefixes; // by edition code 1 to 3
    bool frame = false;
    Viewer viewerChoice = Viewer::Pane;
    std::string msieProgram;
    std::string operaProgram;
    // Message text 77 as the main window keeps it, one blank already appended.
    std::string fileNotFoundText;
};

// The fields of the current row that an opening uses, as the table gives them (UTF-8). An empty view reads
// as type 0 and empty texts.
struct ArticleRow {
    std::int32_t type = 0;
    std::string number; // three characters, left-padded with blanks
    std::string link;   // below the issue's "pub" folder
};
ArticleRow currentArticleRow(const RecordTable& articles);

// Flips the current row's favourite mark between -1 and 0 and stores the row; nothing on an empty view.
void toggleFavourite(RecordTable& articles);

enum class MessageIcon { Error, Information };

// What the window does when the desktop cannot open a file handed to it: name the file in a message, or
// show the page itself (the help pages, which the user must be able to read).
enum class ShellFallback { Report, ShowInApplication };

// What the main window does for an opening. Texts are UTF-8; message lines are separated by CR.
class ViewerHooks {
public:
    virtual ~ViewerHooks() = default;
    virtual bool embeddedBrowserPresent() = 0;
    virtual void navigate(const std::filesystem::path& file) = 0;
    // The desktop's default handler for the file's kind; not waited for. Should the desktop have no program
    // for it, or fail to start one, the window does as `fallback` says.
    virtual void shellOpen(const std::filesystem::path& file, ShellFallback fallback) = 0;
    // A message box with the icon and one button, Yes.
    virtual void showMessage(MessageIcon icon, const std::string& text) = 0;
    virtual void setCaption(const std::string& caption) = 0;
    virtual void toggleFavourite() = 0;
    // The conversation that hands addresses to MSIE and Opera.
    virtual std::unique_ptr<Conversation> newConversation(const std::string& program) {
        return newPlatformConversation(program);
    }
};

// Acts on the current row by the field name of the grid's selected column: "Type" or "Number" open the
// issue's contents page, "Statia" the article, "Izb" toggles the favourite, anything else does nothing.
// A missing browser program (BrowserMissing) and an unreadable issue page (std::runtime_error naming it)
// are raised for the main window's general error report.
void openCurrentRow(std::string_view selectedField, const ArticleRow& row, const OpenSettings& settings,
                    ViewerHooks& hooks);

// The row opened once with another viewer; the settings are not changed.
void openCurrentRowInMsie(std::string_view selectedField, const ArticleRow& row, const OpenSettings& settings,
                          ViewerHooks& hooks);
void openCurrentRowInOpera(std::string_view selectedField, const ArticleRow& row,
                           const OpenSettings& settings, ViewerHooks& hooks);
void openCurrentRowInDefaultBrowser(std::string_view selectedField, const ArticleRow& row,
                                    const OpenSettings& settings, ViewerHooks& hooks);

// A file next to the application (relative path, "\" separators) opened with the default handler, or shown
// by the window itself when the desktop cannot open it; a missing one is reported with its full path.
void openApplicationFile(std::string_view relative, const OpenSettings& settings, ViewerHooks& hooks);
inline void openHelp(const OpenSettings& settings, ViewerHooks& hooks) {
    openApplicationFile(kHelpPage, settings, hooks);
}
inline void openWhatsNew(const OpenSettings& settings, ViewerHooks& hooks) {
    openApplicationFile(kNewsPage, settings, hooks);
}

// --- The pieces, for the window and the tests ------------------------------------------------------

// Whether the link names an HTML page: its extension (from the last full stop, when no separator or
// colon follows it) contains "htm" in any letter case.
bool isHtmlArticle(std::string_view link);

// "Marovex v2.0   [ Kelvra №" + number as stored + " ]".
std::string windowCaption(std::string_view number);

// The frame copy of an issue's frame page (Windows-1251): the base tag pointing at the issue's own
// index.htm inserted before "</head>" and every "frame/main.htm", ignoring case, replaced by the article's
// path below the issue folder ("pub/" and the link, in the letter case found on disk), escaped for an
// attribute; without "</head>" the text is unchanged. Every line ends with CR LF.
std::string frameCopyText(std::string_view issuePage, const std::filesystem::path& issueIndex,
                          std::string_view article);

// A relative path (Windows-1251, "/"-separated) as it stands in an attribute value: the characters that
// would end the attribute or start markup as character references, "?" and "#" percent-encoded.
std::string attributeAddress(std::string_view path);

// The address the base tag gives to the issue's index.htm: on Windows "file:\\" and the path, elsewhere
// the file URL of the path.
std::string baseAddress(const std::filesystem::path& issueIndex);

// Whether the remembered search text is highlighted at all: byte-wise greater than a single blank.
bool shouldHighlight(std::string_view searchText);

} // namespace marovex::viewer
