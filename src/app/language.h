#pragma once

#include "base/message.h"

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Language files: "Locale/*.lng" in the application folder, section "MVX Language File", interface texts
// by number. applyLanguage puts the texts of one window onto it through a setter that the window code
// implements by component name; the core knows which text goes where.
namespace marovex {

namespace language {
inline constexpr std::string_view kSection = "MVX Language File";
inline constexpr std::string_view kFolder = "Locale";
inline constexpr std::string_view kExtension = ".lng";
inline constexpr int kLastText = 84;
inline constexpr int kUnusedText = 17;
inline constexpr std::size_t kMaxListText = 200; // longest file name and language name of the list
inline constexpr std::string_view kNoName = "***";

// The windows applyLanguage puts texts on, and the component names of those windows.
enum class Target { MainWindow, AboutBox, IndexingDialog, SettingsDialog };
inline constexpr std::string_view kMainWindow = "Form1";
inline constexpr std::string_view kAboutBox = "Abut";
inline constexpr std::string_view kIndexingDialog = "Form_Process";
inline constexpr std::string_view kSettingsDialog = "Form_Properties";
inline constexpr std::string_view kArticleGrid = "DBGridEh_MVX2";
inline constexpr std::string_view kSettingsTree = "TreeView1";

// The message texts by what they say, under their numbers in the language files.
enum MessageText : int {
    kIssueText = 14,           // before an issue number
    kFilterRestoredText = 73,  // a topic filter restored at start-up is on
    kHitsSoFarText = 74,       // before the count of articles found so far
    kSearchFinishedText = 75,  // first line of the result of a search
    kArticlesFoundText = 76,   // before the count of articles found
    kFileNotFoundText = 77,    // before a file that is not there
    kArticleCountText = 78,    // before the count of articles
    kIndexingStoppedText = 79, // an indexing run ended after a stop
    kIndexingFinishedText = 80,
    kIndexingRunningText = 81,
    kIndexingStoppingText = 82,
    kChooseArchiveText = 83, // the folder browser's text
    kBadHexColourText = 84,
};

// The thirteen message texts stored by target 1; 76, 78 and 77 get one blank appended.
inline constexpr std::array<int, 13> kMessageKeys = {
    kFilterRestoredText,  kIndexingRunningText,  kHitsSoFarText,     kIssueText,
    kSearchFinishedText,  kArticlesFoundText,    kArticleCountText,  kIndexingStoppingText,
    kIndexingStoppedText, kIndexingFinishedText, kChooseArchiveText, kBadHexColourText,
    kFileNotFoundText};

// Texts and messages of this application's own (base/message.h) follow the interface texts. Unlike those,
// a key that a language file lacks keeps a built-in wording, Russian or English as the file's character set
// suggests, so a file written before a message existed never shows an empty one.
inline constexpr int kFirstOwnText = msg::LoadingCatalogue;
inline constexpr int kLastOwnText = msg::Last;
inline constexpr int kCyrillicCharset = 204;
} // namespace language

// One language file as read. Texts are UTF-8 (the file holds Windows-1251).
struct LanguageFile {
    int charsetCode = 1; // Windows character set of the main window's font; 1 is the system default
    std::string languageName{language::kNoName};
    std::array<std::string, language::kLastText + 1> texts; // [1] to [84]; an absent key is empty
    // [kFirstOwnText] to [kLastOwnText]; nothing where the file lacks the key.
    std::array<std::optional<std::string>, language::kLastOwnText - language::kFirstOwnText + 1> ownTexts;

    const std::string& text(int key) const;
};

// Reads the file's section; an absent file or section gives empty texts. A file that cannot be read raises
// FileError naming it.
LanguageFile readLanguageFile(const std::filesystem::path& file);

// The language file of that name in the "Locale" folder, the name matched ignoring case
// when no file has it exactly. Nothing for an empty name, a name with a folder part, or no such file.
std::optional<std::filesystem::path> findLanguageFile(const std::filesystem::path& appDir,
                                                      std::string_view fileName);

// The message texts the other windows show later; empty until a language file applies. The own texts are
// the Russian built-in ones until then.
class MessageTexts {
public:
    MessageTexts();
    // Empty for keys that are neither message texts nor own texts (UTF-8).
    const std::string& operator[](int key) const;
    // Own text `key` (UTF-8) with "%1"… replaced by the UTF-8 values in `args`.
    std::string format(int key, std::initializer_list<std::string> args = {}) const;
    // A message in these words (UTF-8).
    std::string render(const Message& message) const;
    // The message texts and the own texts of the file.
    void store(const LanguageFile& file);
    // Only the own texts: what may be shown before the file is applied to the main window.
    void storeOwnTexts(const LanguageFile& file);

private:
    std::array<std::string, language::kLastOwnText + 1> m_texts;
};

// The own texts of language file `fileName` in the "Locale" folder; the built-in ones when there is no such
// file or it cannot be read.
MessageTexts messageTextsOf(const std::filesystem::path& appDir, std::string_view fileName);

// The own texts as the language file named in the settings of `appDir` gives them, without applying
// anything to a window: what the splash window and start-up's first messages speak before the main window
// takes its language. Any trouble reading the files leaves the built-in texts.
MessageTexts readMessageTexts(const std::filesystem::path& appDir);

enum class TextProperty {
    Caption,     // caption of a window, menu item, label, button, group box, check or radio box
    Hint,        // hint (tool tip)
    ColumnTitle, // title of the article grid's column showing `field`, wherever it stands
    TreeNode,    // text of node `index` of the tree `component`
    ClearItems,  // the choices of the list `component` are emptied
    AddItem,     // text appended to the choices of the list `component`
    FontCharset, // character set `index` given to the font of `component`
};

// One change to a window. `component` is the object name within the window (the window's own name for
// its caption); `text` is UTF-8.
struct TextAssignment {
    std::string_view component;
    TextProperty property;
    std::string_view field; // ColumnTitle only
    int index = 0;          // TreeNode: node number; FontCharset: the character set
    std::string text;
};
using TextSetter = std::function<void(const TextAssignment&)>;

// Where text `key` goes: text(key) + suffix + text(secondKey) when secondKey is not 0.
struct LanguageBinding {
    language::Target target;
    std::string_view component;
    TextProperty property;
    int key;
    std::string_view suffix = {};
    int secondKey = 0;
    int index = 0;
    std::string_view field = {};
};
// Every binding, in the order applyLanguage sets them.
std::span<const LanguageBinding> languageBindings();

// Applies language file `fileName` of the "Locale" folder to the window of `target`. The main window's
// first sets the character set of the window's font and of component Label1, then its texts, replaces the
// search scope list (whose selection the caller restores) and, last, stores the message texts.
// Returns false, changing nothing, when the file does not exist or cannot be read; `problem`, when given,
// then receives the message naming the file and what is wrong with it (empty for a missing file).
bool applyLanguage(language::Target target, const std::filesystem::path& appDir, std::string_view fileName,
                   const TextSetter& set, MessageTexts& messages, Message* problem = nullptr);

// An entry of the settings dialog's language list.
struct LanguageEntry {
    std::string file; // file name
    std::string name; // LanguageName, or "***"
};

// Every "*.lng" file of the "Locale" folder (folders and names over 200 characters skipped), sorted by
// language name ignoring case (ties by file name); a file that cannot be read is named "***". An absent
// folder gives an empty list.
std::vector<LanguageEntry> buildLanguageList(const std::filesystem::path& appDir);

// The entry whose file is fileName, ignoring case; 0 when there is none; -1 for an empty list.
int selectLanguage(const std::vector<LanguageEntry>& list, std::string_view fileName);

} // namespace marovex
