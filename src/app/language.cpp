#include "app/language.h"

#include "app/inifile.h"
#include "app/settings.h"
#include "base/cp1251.h"
#include "base/platform.h"
#include "base/textops.h"

#include <algorithm>
#include <system_error>

namespace marovex {
namespace {

using P = TextProperty;
using T = language::Target;

// Which text goes where, target by target, in the order the texts are set.
constexpr LanguageBinding kBindings[] = {
    // The main window.
    {T::MainWindow, "ElMenuItem4", P::Caption, 1},
    {T::MainWindow, "ElMenuItem5", P::Caption, 2},
    {T::MainWindow, "ElMenuItem6", P::Caption, 3},
    {T::MainWindow, "ElMenuItem7", P::Caption, 4},
    {T::MainWindow, "ElMenuItem9", P::Caption, 5},
    {T::MainWindow, "ElMenuItem10", P::Caption, 6},
    {T::MainWindow, "ToolButton19", P::Hint, 6},
    {T::MainWindow, "ElMenuItem11", P::Caption, 7},
    {T::MainWindow, "ToolButton21", P::Hint, 7},
    {T::MainWindow, "ElMenuItem12", P::Caption, 8},
    {T::MainWindow, "ElMenuItem14", P::Caption, 9},
    {T::MainWindow, "ToolButton22", P::Hint, 9},
    {T::MainWindow, "Label1", P::Caption, 10},
    {T::MainWindow, "FlatComboBox3", P::ClearItems, 0},
    {T::MainWindow, "FlatComboBox3", P::AddItem, 11},
    {T::MainWindow, "FlatComboBox3", P::AddItem, 12},
    {T::MainWindow, language::kArticleGrid, P::ColumnTitle, 13, {}, 0, 0, "Type"},
    {T::MainWindow, language::kArticleGrid, P::ColumnTitle, 14, {}, 0, 0, "Number"},
    {T::MainWindow, language::kArticleGrid, P::ColumnTitle, 15, {}, 0, 0, "Tem"},
    {T::MainWindow, language::kArticleGrid, P::ColumnTitle, 16, {}, 0, 0, "Statia"},
    {T::MainWindow, "ToolButton5", P::Hint, 18},
    {T::MainWindow, "ToolButton3", P::Hint, 19},
    {T::MainWindow, "ToolButton11", P::Hint, 20},
    {T::MainWindow, "ToolButton10", P::Hint, 21},
    {T::MainWindow, "ToolButton15", P::Hint, 22},
    {T::MainWindow, "ToolButton16", P::Hint, 23},
    {T::MainWindow, "ToolButton17", P::Hint, 24},
    {T::MainWindow, "ElMenuItem15", P::Caption, 24},
    {T::MainWindow, "FlatComboBox1", P::Hint, 25},
    {T::MainWindow, "FlatComboBox3", P::Hint, 26},
    {T::MainWindow, "ElMenuItem1", P::Caption, 72, " MSIE"},
    {T::MainWindow, "ElMenuItem2", P::Caption, 72, " Opera"},
    {T::MainWindow, "ElMenuItem3", P::Caption, 72, " ", 71},

    // The About box.
    {T::AboutBox, language::kAboutBox, P::Caption, 9, " Marovex"},

    // The indexing dialog.
    {T::IndexingDialog, language::kIndexingDialog, P::Caption, 27},
    {T::IndexingDialog, "Label2", P::Caption, 28},
    {T::IndexingDialog, "Label1", P::Caption, 29},
    {T::IndexingDialog, "FlatGroupBox1", P::Caption, 30},
    {T::IndexingDialog, "FlatRadioButton1", P::Caption, 31},
    {T::IndexingDialog, "FlatRadioButton2", P::Caption, 32},
    {T::IndexingDialog, "FlatButton1", P::Caption, 33},
    {T::IndexingDialog, "FlatButton2", P::Caption, 34},
    {T::IndexingDialog, "FlatButton3", P::Caption, 35},

    // The settings dialog.
    {T::SettingsDialog, "FlatGroupBox1", P::Caption, 36},
    {T::SettingsDialog, language::kSettingsTree, P::TreeNode, 36, {}, 0, 0},
    {T::SettingsDialog, language::kSettingsDialog, P::Caption, 37},
    {T::SettingsDialog, language::kSettingsTree, P::TreeNode, 37, {}, 0, 1},
    {T::SettingsDialog, language::kSettingsTree, P::TreeNode, 38, {}, 0, 2},
    {T::SettingsDialog, language::kSettingsTree, P::TreeNode, 39, {}, 0, 3},
    {T::SettingsDialog, language::kSettingsTree, P::TreeNode, 40, {}, 0, 4},
    {T::SettingsDialog, language::kSettingsTree, P::TreeNode, 41, {}, 0, 5},
    {T::SettingsDialog, language::kSettingsTree, P::TreeNode, 42, {}, 0, 7},
    {T::SettingsDialog, "Label1", P::Caption, 43},
    {T::SettingsDialog, "FlatGroupBox4", P::Caption, 44},
    {T::SettingsDialog, "FlatButton2", P::Caption, 45},
    {T::SettingsDialog, "FlatButton6", P::Caption, 45},
    {T::SettingsDialog, "FlatEdit1", P::Hint, 46},
    {T::SettingsDialog, "FlatEdit2", P::Hint, 46},
    {T::SettingsDialog, "FlatEdit3", P::Hint, 46},
    {T::SettingsDialog, "FlatButton2", P::Hint, 47},
    {T::SettingsDialog, "FlatGroupBox3", P::Caption, 48},
    {T::SettingsDialog, "FlatRadioButton1", P::Caption, 49},
    {T::SettingsDialog, "FlatRadioButton2", P::Caption, 50},
    {T::SettingsDialog, "FlatGroupBox2", P::Caption, 51},
    {T::SettingsDialog, "FlatButton1", P::Caption, 52},
    {T::SettingsDialog, "FlatCheckBox7", P::Caption, 53},
    {T::SettingsDialog, "FlatCheckBox10", P::Caption, 54},
    {T::SettingsDialog, "Label11", P::Caption, 55},
    {T::SettingsDialog, "FlatGroupBox5", P::Caption, 56},
    {T::SettingsDialog, "Label2", P::Caption, 57},
    {T::SettingsDialog, "Label12", P::Caption, 58},
    {T::SettingsDialog, "Label6", P::Caption, 59},
    {T::SettingsDialog, "FlatButton6", P::Hint, 60},
    {T::SettingsDialog, "FlatButton5", P::Hint, 60},
    {T::SettingsDialog, "FlatSpeedButton5", P::Hint, 61},
    {T::SettingsDialog, "FlatSpeedButton6", P::Hint, 61},
    {T::SettingsDialog, "FlatSpeedButton8", P::Hint, 61},
    {T::SettingsDialog, "FlatSpeedButton11", P::Hint, 61},
    {T::SettingsDialog, "FlatEdit12", P::Hint, 62},
    {T::SettingsDialog, "FlatEdit11", P::Hint, 62},
    {T::SettingsDialog, "FlatEdit8", P::Hint, 62},
    {T::SettingsDialog, "FlatEdit7", P::Hint, 62},
    {T::SettingsDialog, "FlatSpeedButton7", P::Hint, 63},
    {T::SettingsDialog, "FlatSpeedButton9", P::Hint, 63},
    {T::SettingsDialog, "FlatSpeedButton10", P::Hint, 63},
    {T::SettingsDialog, "FlatSpeedButton14", P::Hint, 63},
    {T::SettingsDialog, "FlatCheckBox12", P::Caption, 64},
    {T::SettingsDialog, "FlatCheckBox13", P::Caption, 65},
    {T::SettingsDialog, "FlatGroupBox6", P::Caption, 66},
    {T::SettingsDialog, "FlatButton5", P::Caption, 67},
    {T::SettingsDialog, "FlatButton3", P::Hint, 68},
    {T::SettingsDialog, "FlatButton4", P::Hint, 69},
    {T::SettingsDialog, "FlatRadioButton3", P::Caption, 70},
    {T::SettingsDialog, "FlatRadioButton6", P::Caption, 71},
};

const std::string kEmpty;

bool messageGetsBlank(int key) {
    return key == 76 || key == 78 || key == 77;
}

// "*.lng": the name ends in the extension. A file named just ".lng" counts too (its "*" is empty), though
// the path library sees no extension in it.
bool isLanguageFileName(const std::filesystem::path& name) {
    const std::string file = platform::pathToUtf8(name);
    const std::string_view ext = language::kExtension;
    return file.size() >= ext.size() &&
           text::SameTextFolded(std::string_view(file).substr(file.size() - ext.size()), ext);
}

// Orders language names ignoring case, byte by byte through the folding table.
bool lessFolded(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = text::Fold(a[i]);
        const unsigned char y = text::Fold(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

} // namespace

const std::string& LanguageFile::text(int key) const {
    return key >= 1 && key <= language::kLastText ? texts[std::size_t(key)] : kEmpty;
}

LanguageFile readLanguageFile(const std::filesystem::path& file) {
    const IniFile ini(file);
    LanguageFile lf;
    lf.charsetCode = ini.readInteger(language::kSection, "CharsetCode", 1);
    // The file is Windows-1251; its texts are taken in as UTF-8.
    const auto read = [&ini](const std::string& key, std::string_view def) {
        return cp1251::toUtf8(ini.readString(language::kSection, key, def));
    };
    lf.languageName = read("LanguageName", language::kNoName);
    for (int key = 1; key <= language::kLastText; ++key)
        lf.texts[std::size_t(key)] = read(std::to_string(key), "");
    for (int key = language::kFirstOwnText; key <= language::kLastOwnText; ++key)
        if (ini.valueExists(language::kSection, std::to_string(key)))
            lf.ownTexts[std::size_t(key - language::kFirstOwnText)] = read(std::to_string(key), "");
    return lf;
}

std::optional<std::filesystem::path> findLanguageFile(const std::filesystem::path& appDir,
                                                      std::string_view fileName) {
    if (fileName.empty() || fileName.find_first_of("/\\") != std::string_view::npos || fileName == "." ||
        fileName == "..")
        return std::nullopt;
    const auto folder = appDir / language::kFolder;
    const std::filesystem::path native = platform::pathFromUtf8(fileName);
    // Anything of that name but a folder is the file: one that is no regular file is reported when it is
    // read, not passed over as if absent.
    auto isFile = [](const std::filesystem::path& path) {
        std::error_code ec;
        const auto status = std::filesystem::status(path, ec);
        return std::filesystem::exists(status) && !std::filesystem::is_directory(status);
    };
    if (isFile(folder / native)) return folder / native;
    // Letter case does not tell language files apart, as on the system the files come from.
    // Folded as the code page of the files the names come from.
    const std::string wanted = cp1251::fromUtf8(fileName);
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = platform::pathToUtf8(it->path().filename());
        if (text::SameTextFolded(cp1251::fromUtf8(name), wanted) && isFile(it->path())) return it->path();
    }
    return std::nullopt;
}

MessageTexts::MessageTexts() {
    for (int key = language::kFirstOwnText; key <= language::kLastOwnText; ++key)
        m_texts[std::size_t(key)] = builtInText(key, false);
}

const std::string& MessageTexts::operator[](int key) const {
    return key >= 1 && key <= language::kLastOwnText ? m_texts[std::size_t(key)] : kEmpty;
}

std::string MessageTexts::format(int key, std::initializer_list<std::string> args) const {
    return fillPattern((*this)[key], std::vector<std::string>(args));
}

std::string MessageTexts::render(const Message& message) const {
    return message.render([this](int key) { return (*this)[key]; });
}

void MessageTexts::store(const LanguageFile& file) {
    for (int key : language::kMessageKeys)
        m_texts[std::size_t(key)] = file.text(key) + (messageGetsBlank(key) ? " " : "");
    storeOwnTexts(file);
}

void MessageTexts::storeOwnTexts(const LanguageFile& file) {
    const bool english = file.charsetCode != language::kCyrillicCharset;
    for (int key = language::kFirstOwnText; key <= language::kLastOwnText; ++key) {
        const auto& own = file.ownTexts[std::size_t(key - language::kFirstOwnText)];
        m_texts[std::size_t(key)] = own ? *own : builtInText(key, english);
    }
}

MessageTexts messageTextsOf(const std::filesystem::path& appDir, std::string_view fileName) {
    MessageTexts texts;
    try {
        if (const auto path = findLanguageFile(appDir, fileName))
            texts.storeOwnTexts(readLanguageFile(*path));
    } catch (const std::exception&) {
        // Reported where the file is applied to a window.
    }
    return texts;
}

MessageTexts readMessageTexts(const std::filesystem::path& appDir) {
    MessageTexts texts;
    try {
        const auto settingsFile = settingsFilePath(appDir);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(settingsFile, ec)) return texts;
        const IniFile ini(settingsFile);
        texts = messageTextsOf(appDir, settings::read(ini, settings::keys::local));
    } catch (const std::exception&) {
        // The texts are only what a window shows before start-up proper; its errors surface there.
    }
    return texts;
}

std::span<const LanguageBinding> languageBindings() {
    return kBindings;
}

bool applyLanguage(language::Target target, const std::filesystem::path& appDir, std::string_view fileName,
                   const TextSetter& set, MessageTexts& messages, Message* problem) {
    const auto path = findLanguageFile(appDir, fileName);
    if (!path) return false;
    LanguageFile lf;
    try {
        lf = readLanguageFile(*path);
    } catch (const std::exception& e) {
        if (problem) *problem = messageOf(e);
        return false;
    }

    if (target == T::MainWindow) {
        set({language::kMainWindow, P::FontCharset, {}, lf.charsetCode, {}});
        set({"Label1", P::FontCharset, {}, lf.charsetCode, {}});
    }
    for (const LanguageBinding& b : kBindings) {
        if (b.target != target) continue;
        std::string value;
        if (b.property != P::ClearItems) {
            value = lf.text(b.key);
            value += b.suffix;
            if (b.secondKey != 0) value += lf.text(b.secondKey);
        }
        set({b.component, b.property, b.field, b.index, std::move(value)});
    }
    if (target == T::MainWindow) messages.store(lf);
    return true;
}

std::vector<LanguageEntry> buildLanguageList(const std::filesystem::path& appDir) {
    // Lengths are counted and names ordered in Windows-1251, one byte a character, as the files hold them.
    struct Listed {
        std::string file, name; // Windows-1251
    };
    std::vector<Listed> list;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(appDir / language::kFolder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const auto& path = it->path();
        if (!isLanguageFileName(path.filename())) continue;
        std::error_code dirEc;
        if (it->is_directory(dirEc)) continue;
        std::string file = cp1251::fromUtf8(platform::pathToUtf8(path.filename()));
        if (file.size() > language::kMaxListText) continue;
        // A file that cannot be read is listed without a name; choosing it reports what is wrong with it.
        std::string name(language::kNoName);
        try {
            name = IniFile(path).readString(language::kSection, "LanguageName", language::kNoName);
        } catch (const std::exception&) {
        }
        if (name.size() > language::kMaxListText) name.resize(language::kMaxListText);
        list.push_back({std::move(file), std::move(name)});
    }
    std::sort(list.begin(), list.end(), [](const Listed& a, const Listed& b) {
        if (!text::SameTextFolded(a.name, b.name)) return lessFolded(a.name, b.name);
        return lessFolded(a.file, b.file) || (text::SameTextFolded(a.file, b.file) && a.file < b.file);
    });
    std::vector<LanguageEntry> entries;
    entries.reserve(list.size());
    for (const Listed& l : list)
        entries.push_back({cp1251::toUtf8(l.file), cp1251::toUtf8(l.name)});
    return entries;
}

int selectLanguage(const std::vector<LanguageEntry>& list, std::string_view fileName) {
    if (list.empty()) return -1;
    const std::string wanted = cp1251::fromUtf8(fileName);
    for (std::size_t i = 0; i < list.size(); ++i)
        if (text::SameTextFolded(cp1251::fromUtf8(list[i].file), wanted)) return static_cast<int>(i);
    return 0;
}

} // namespace marovex
