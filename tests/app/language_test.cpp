#include "app/language.h"

#include "app/inifile.h"
#include "base/cp1251.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <set>

using namespace marovex;
using marovex::test::readFile;
using marovex::test::TempDir;
using marovex::test::writeFile;
namespace fs = std::filesystem;

namespace {

const std::filesystem::path kShippedLocale =
    std::filesystem::path(MAROVEX_SOURCE_DIR) / "resources" / "Locale";

// Records what applyLanguage sets, keyed by "component/property[/field or index]".
struct Recorder {
    std::vector<TextAssignment> calls;
    TextSetter setter() {
        return [this](const TextAssignment& a) { calls.push_back(a); };
    }
    std::map<std::string, std::string> byName() const {
        std::map<std::string, std::string> m;
        for (const auto& a : calls)
            m[name(a)] = a.text;
        return m;
    }
    static std::string name(const TextAssignment& a) {
        static const char* props[] = {"caption", "hint", "title", "node", "clear", "item", "charset"};
        std::string n = std::string(a.component) + "/" + props[int(a.property)];
        if (a.property == TextProperty::ColumnTitle) n += "/" + std::string(a.field);
        if (a.property == TextProperty::TreeNode) n += "/" + std::to_string(a.index);
        return n;
    }
};

// A language file whose text n reads "T<n>", without the keys listed in `absent`.
std::string numberedFile(const std::set<int>& absent = {}, std::string_view extra = {}) {
    std::string s = "[MVX Language File]\r\nCharsetCode=204\r\n";
    s += extra;
    for (int k = 1; k <= 84; ++k)
        if (!absent.count(k)) s += std::to_string(k) + "=T" + std::to_string(k) + "\r\n";
    return s;
}

} // namespace

TEST(LanguageFiles, ShippedFilesHoldEveryText) {
    for (const char* name : {"rus.lng", "eng.lng"}) {
        SCOPED_TRACE(name);
        const std::string bytes = readFile(kShippedLocale / name);
        // Windows-1251 with CR LF: no bare line feeds, no UTF-8 sequences, no unassigned byte.
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n') {
                ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at " << i;
            }
        }
        EXPECT_EQ(bytes.find('\x98'), std::string::npos);
        EXPECT_EQ(bytes.find("\xD0\xB0"), std::string::npos) << "looks like UTF-8";
        EXPECT_EQ(bytes.find("\xEF\xBB\xBF"), std::string::npos);

        const IniFile ini(kShippedLocale / name);
        for (int k = 1; k <= 84; ++k) {
            if (k == 17) {
                EXPECT_FALSE(ini.valueExists("MVX Language File", "17"));
                continue;
            }
            EXPECT_TRUE(ini.valueExists("MVX Language File", std::to_string(k))) << "key " << k;
            EXPECT_FALSE(ini.readString("MVX Language File", std::to_string(k), "").empty()) << "key " << k;
        }
        const LanguageFile lf = readLanguageFile(kShippedLocale / name);
        EXPECT_NE(lf.languageName, "***");
        // Texts shown right before a number carry their blank.
        EXPECT_EQ(lf.text(74).back(), ' ');
        EXPECT_EQ(lf.text(10).back(), ' ');
    }
    const LanguageFile rus = readLanguageFile(kShippedLocale / "rus.lng");
    EXPECT_EQ(rus.charsetCode, 204);
    EXPECT_EQ(rus.languageName, "Русский");
    EXPECT_EQ(rus.text(1), "Файл");
    EXPECT_EQ(rus.text(81), "Идёт индексация…");
    const LanguageFile eng = readLanguageFile(kShippedLocale / "eng.lng");
    EXPECT_EQ(eng.text(5), "Exit");
    // Our own texts are in both files, each as the built-in text of its language.
    for (int key = language::kFirstOwnText; key <= language::kLastOwnText; ++key) {
        if (builtInText(key, true).empty()) continue; // a number no text has
        const auto& r = rus.ownTexts[std::size_t(key - language::kFirstOwnText)];
        const auto& e = eng.ownTexts[std::size_t(key - language::kFirstOwnText)];
        ASSERT_TRUE(r && e) << "key " << key;
        EXPECT_EQ(*r, builtInText(key, false)) << "key " << key;
        EXPECT_EQ(*e, builtInText(key, true)) << "key " << key;
    }
}

// A message of the program is worded by the language applied: values and nested reasons included.
TEST(LanguageFiles, MessagesSpeakTheLanguageOfTheFile) {
    TempDir app;
    fs::create_directories(app / "Locale");
    for (const char* name : {"rus.lng", "eng.lng"})
        fs::copy_file(kShippedLocale / name, app / "Locale" / name);
    const Message refusal(msg::ArchiveFolderUnreadable, {textValue("/k"), errorReason(EACCES)});
    EXPECT_EQ(messageTextsOf(app.path(), "rus.lng").render(refusal),
              "/k: папка архива не прочитана: доступ запрещён; ничего не изменено");
    EXPECT_EQ(messageTextsOf(app.path(), "eng.lng").render(refusal),
              "/k: the archive folder cannot be read: permission denied; nothing was changed");
    EXPECT_EQ(refusal.english(), messageTextsOf(app.path(), "eng.lng").render(refusal));
}

// A file written before a text of our own existed keeps the built-in text of its language instead of
// an empty message; a text the file holds wins, and values replace their places.
TEST(LanguageFiles, OwnTextsMissingFromAFileFallBackToItsLanguage) {
    TempDir dir;
    writeFile(dir / "Locale" / "old_ru.lng", numberedFile());
    writeFile(dir / "Locale" / "old_en.lng",
              "[MVX Language File]\r\nCharsetCode=1\r\n86=Stopped: %2 (%1) %3%\r\n");
    const auto key = msg::WaitForSearch;
    EXPECT_EQ(MessageTexts().format(key), builtInText(key, false)); // before any file applies
    EXPECT_EQ(messageTextsOf(dir.path(), "old_ru.lng").format(key), builtInText(key, false));
    const MessageTexts english = messageTextsOf(dir.path(), "old_en.lng");
    EXPECT_EQ(english.format(key), builtInText(key, true));
    EXPECT_EQ(english.format(msg::IndexingFailed, {"a", "b"}), "Stopped: b (a) %3%");
}

TEST(LanguageFiles, BindingsCoverEveryTextNumber) {
    std::set<int> used(language::kMessageKeys.begin(), language::kMessageKeys.end());
    for (const LanguageBinding& b : languageBindings()) {
        if (b.property == TextProperty::ClearItems) continue;
        EXPECT_NE(b.key, 17);
        used.insert(b.key);
        if (b.secondKey) used.insert(b.secondKey);
    }
    for (int k = 1; k <= 84; ++k)
        EXPECT_EQ(used.count(k), k == 17 ? 0u : 1u) << "text " << k;
}

// Texts are joined with their suffixes, a text the file lacks leaves the suffix alone, and only the main
// window's texts carry the character set and the message texts.
TEST(ApplyLanguage, EachWindowGetsItsOwnTexts) {
    using language::Target;
    TempDir app;
    writeFile(app / "Locale" / "test.lng", numberedFile());
    writeFile(app / "Locale" / "no9.lng", numberedFile({9}));
    MessageTexts messages;

    Recorder about;
    ASSERT_TRUE(applyLanguage(Target::AboutBox, app.path(), "test.lng", about.setter(), messages));
    EXPECT_EQ(about.byName(), (std::map<std::string, std::string>{{"Abut/caption", "T9 Marovex"}}));
    Recorder about9;
    ASSERT_TRUE(applyLanguage(Target::AboutBox, app.path(), "no9.lng", about9.setter(), messages));
    EXPECT_EQ(about9.byName().at("Abut/caption"), " Marovex");
    Recorder props;
    ASSERT_TRUE(applyLanguage(Target::SettingsDialog, app.path(), "test.lng", props.setter(), messages));
    EXPECT_EQ(props.byName().count("Form_Properties/charset"), 0u);
    EXPECT_EQ(messages[73], "");

    Recorder window;
    ASSERT_TRUE(applyLanguage(Target::MainWindow, app.path(), "test.lng", window.setter(), messages));
    // The character set comes before any text, so that the texts are shown in it.
    ASSERT_GE(window.calls.size(), 2u);
    EXPECT_EQ(Recorder::name(window.calls[0]), "Form1/charset");
    EXPECT_EQ(Recorder::name(window.calls[1]), "Label1/charset");
    EXPECT_EQ(window.calls[0].index, 204);
    EXPECT_EQ(window.byName().count("Abut/caption"), 0u);
    EXPECT_EQ(messages[73], "T73");
    EXPECT_EQ(messages[76], "T76 "); // shown before a number
    EXPECT_EQ(messages[1], "");      // not a message text
}

TEST(ApplyLanguage, MissingFileChangesNothing) {
    using language::Target;
    TempDir app;
    writeFile(app / "Locale" / "rus.lng", numberedFile());
    Recorder first;
    MessageTexts messages;
    ASSERT_TRUE(applyLanguage(Target::MainWindow, app.path(), "rus.lng", first.setter(), messages));

    for (const char* name : {"eng.lng", "", "../Locale/rus.lng", "Locale"}) {
        Recorder r;
        EXPECT_FALSE(applyLanguage(Target::MainWindow, app.path(), name, r.setter(), messages)) << name;
        EXPECT_TRUE(r.calls.empty());
    }
    EXPECT_EQ(messages[81], "T81"); // kept from the file applied before

    TempDir noLocale;
    Recorder r;
    MessageTexts none;
    EXPECT_FALSE(applyLanguage(Target::MainWindow, noLocale.path(), "rus.lng", r.setter(), none));
    EXPECT_EQ(none[81], "");
}

TEST(ApplyLanguage, FileNameIgnoresLetterCase) {
    TempDir app;
    writeFile(app / "Locale" / "Eng.LNG", numberedFile());
    Recorder r;
    MessageTexts messages;
    EXPECT_TRUE(applyLanguage(language::Target::AboutBox, app.path(), "eng.lng", r.setter(), messages));
    EXPECT_EQ(r.byName().at("Abut/caption"), "T9 Marovex");
    // A Cyrillic file name, its letter case ignored as in Windows-1251.
    writeFile(app / "Locale/Русский.lng", numberedFile());
    EXPECT_TRUE(findLanguageFile(app.path(), "русский.lng").has_value());
    const auto list = buildLanguageList(app.path());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[std::size_t(selectLanguage(list, "РУССКИЙ.LNG"))].file, "Русский.lng");
}

TEST(LanguageList, ListsSortsAndSelects) {
    TempDir app;
    const auto loc = app / "Locale";
    writeFile(loc / "rus.lng",
              "[MVX Language File]\r\nLanguageName=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\r\n"); // Русский
    writeFile(loc / "eng.lng", "[MVX Language File]\r\nLanguageName=english\r\n");
    writeFile(loc / "ENG2.LNG", "[mvx language file]\r\nlanguagename=English\r\n");
    writeFile(loc / ".hidden.lng", "[MVX Language File]\r\nLanguageName=Deutsch\r\n");
    writeFile(loc / "noname.lng", "[Other]\r\nLanguageName=Wrong section\r\n");
    writeFile(loc / "ukr.lng",
              "[MVX Language File]\r\nLanguageName=\xF3\xEA\xF0\xE0\xBF\xED\xF1\xFC\xEA\xE0\r\n");
    writeFile(loc / "readme.txt", "x");
    writeFile(loc / (std::string(197, 'x') + ".lng"), "[MVX Language File]\r\nLanguageName=Long\r\n"); // 201
    writeFile(loc / (std::string(196, 'y') + ".lng"), "[MVX Language File]\r\nLanguageName=Fits\r\n"); // 200
    std::filesystem::create_directories(loc / "folder.lng");

    const auto list = buildLanguageList(app.path());
    std::vector<std::string> names, files;
    for (const auto& e : list) {
        names.push_back(e.name);
        files.push_back(e.file);
    }
    // "***" sorts before letters; Cyrillic after Latin; the two "English" entries both appear.
    EXPECT_EQ(names, (std::vector<std::string>{"***", "Deutsch", "english", "English", "Fits", "Русский",
                                               "українська"}));
    EXPECT_EQ(files[0], "noname.lng");
    EXPECT_EQ(files[4].size(), 200u);

    EXPECT_EQ(selectLanguage(list, "RUS.LNG"), 5);
    const int e1 = selectLanguage(list, "eng.lng");
    const int e2 = selectLanguage(list, "eng2.lng");
    EXPECT_NE(e1, e2);
    EXPECT_EQ(list[std::size_t(e1)].file, "eng.lng");
    EXPECT_EQ(list[std::size_t(e2)].file, "ENG2.LNG");
    EXPECT_EQ(selectLanguage(list, "missing.lng"), 0);
    EXPECT_EQ(selectLanguage(list, ""), 0);
    EXPECT_EQ(selectLanguage({}, "rus.lng"), -1);

    TempDir empty;
    EXPECT_TRUE(buildLanguageList(empty.path()).empty());
}

TEST(LanguageList, LongLanguageNamesAreCut) {
    TempDir app;
    writeFile(app / "Locale" / "a.lng",
              "[MVX Language File]\r\nLanguageName=" + std::string(300, 'n') + "\r\n");
    // A hidden file named just ".lng" matches "*.lng" as well.
    writeFile(app / "Locale" / ".lng", "[MVX Language File]\r\nLanguageName=Hidden\r\n");
    const auto list = buildLanguageList(app.path());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].file, ".lng");
    EXPECT_EQ(list[1].name, std::string(200, 'n'));
}
