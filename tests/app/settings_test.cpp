#include "app/settings.h"
#include "app/windowstate.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace marovex;
using marovex::test::readFile;
using marovex::test::TempDir;
using marovex::test::writeFile;

namespace {

// What reading the settings switched, as a list of words.
struct HookLog {
    std::vector<std::string> calls;
    bool take(const std::optional<SettingsEffects>& e) {
        if (!e) return false;
        calls = {e->viewPane ? "pane on" : "pane off", e->cellLines ? "lines" : "no lines",
                 e->indicator ? "indicator" : "no indicator"};
        return true;
    }
};

std::string readDbdir(const std::string& value) {
    TempDir dir;
    writeFile(dir / "mvx.ini", "[options]\r\ndbdir=" + value + "\r\n");
    ArchiveAccess a;
    EXPECT_TRUE(readAccess(dir.path(), a));
    return a.folder;
}

} // namespace

TEST(Settings, AbsentFileChangesNothing) {
    TempDir dir;
    SettingsRecord rec;
    HookLog log;
    EXPECT_FALSE(log.take(loadSettings(dir.path(), rec)));
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(rec.select_browser, 0);
    EXPECT_EQ(rec.local, "");
    EXPECT_EQ(rec.color_htm_fon, 0);
    EXPECT_FALSE(rec.state_save);

    ArchiveAccess access{"keep", true, false, true};
    EXPECT_FALSE(readAccess(dir.path(), access));
    EXPECT_EQ(access.folder, "keep");
    EXPECT_FALSE(access.release);
    EXPECT_FALSE(std::filesystem::exists(dir / "mvx.ini"));
}

TEST(Settings, EmptyFileGivesTheDefaults) {
    TempDir dir;
    writeFile(dir / "mvx.ini", "");
    SettingsRecord rec;
    HookLog log;
    ASSERT_TRUE(log.take(loadSettings(dir.path(), rec)));
    EXPECT_FALSE(rec.onclick);
    EXPECT_EQ(rec.local, "rus.lng");
    EXPECT_EQ(rec.color_htm_fon, 0x00750000);
    EXPECT_FALSE(rec.frame);
    EXPECT_FALSE(rec.state_save);
    EXPECT_EQ(rec.editionPrefix(1), "Kelvra-Gold");
    EXPECT_EQ(rec.editionPrefix(2), "Kelvra-Release");
    EXPECT_EQ(rec.editionPrefix(3), "Kelvra");
    EXPECT_EQ(rec.select_browser, 1);
    EXPECT_EQ(rec.path_MSIE, "C:\\Program Files\\Internet Explorer\\IExplore.exe");
    EXPECT_EQ(rec.path_Opera, "C:\\Program Files\\Opera\\Opera.exe");
    EXPECT_EQ(log.calls, (std::vector<std::string>{"pane on", "lines", "indicator"}));

    ArchiveAccess a;
    ASSERT_TRUE(readAccess(dir.path(), a));
    EXPECT_EQ(a.folder, "C:"); // the default "C:\" without its backslash
    EXPECT_TRUE(a.gold && a.release && a.plain);
    EXPECT_TRUE(a.edition(1) && a.edition(2) && a.edition(3));
    EXPECT_FALSE(a.edition(0) || a.edition(4));
}

TEST(Settings, ArchiveFolderTrailingRuns) {
    EXPECT_EQ(readDbdir("D:\\Kelvra\\\\"), "D:\\Kelvra");
    EXPECT_EQ(readDbdir("/mnt/kelvra/"), "/mnt/kelvra");
    EXPECT_EQ(readDbdir("/mnt/kelvra//"), "/mnt/kelvra");
    EXPECT_EQ(readDbdir("D:\\Kelvra\\/"), "D:\\Kelvra\\"); // the "\" run goes first, so it stays here
    EXPECT_EQ(readDbdir("D:\\Kelvra/\\"), "D:\\Kelvra");
    EXPECT_EQ(readDbdir("D:\\"), "D:");
    EXPECT_EQ(readDbdir("\\\\"), "");
}

TEST(Settings, ValuesReadAsTheirTypes) {
    TempDir dir;
    writeFile(dir / "mvx.ini", "[Interface]\r\n"
                               "onclick=yes\r\n"
                               "frame=2\r\n"
                               "STATE_SAVE=$1\r\n"
                               "select_browser=7\r\n"
                               "color_htm_fon=clYellow\r\n"
                               "local=eng.lng\r\n"
                               "CellLines=0\r\n"
                               "Indicator=0x0\r\n"
                               "[options]\r\n"
                               "kelvra=0\r\n"
                               "kelvra GOLD=yes\r\n"
                               "name kelvra=\xCA\xE5\xEB\xFC\xE2\xF0\xE0\r\n");
    SettingsRecord rec;
    HookLog log;
    ASSERT_TRUE(log.take(loadSettings(dir.path(), rec)));
    EXPECT_FALSE(rec.onclick); // "yes" is not a number: the default
    EXPECT_TRUE(rec.frame);    // 2 is true
    EXPECT_TRUE(rec.state_save);
    EXPECT_EQ(rec.select_browser, 7); // kept as it is, and the pane goes off
    EXPECT_EQ(rec.color_htm_fon, colors::clYellow);
    EXPECT_EQ(rec.local, "eng.lng");
    EXPECT_EQ(rec.editionPrefix(3), "Кельвра");
    EXPECT_EQ(log.calls, (std::vector<std::string>{"pane off", "no lines", "no indicator"}));

    ArchiveAccess a;
    ASSERT_TRUE(readAccess(dir.path(), a));
    EXPECT_FALSE(a.plain);
    EXPECT_TRUE(a.gold); // "yes": the default true
    EXPECT_TRUE(a.release);
}

TEST(Settings, BadHighlightColourRaisesAfterTheEarlierFields) {
    TempDir dir;
    writeFile(dir / "mvx.ini",
              "[interface]\r\nonclick=1\r\nlocal=eng.lng\r\ncolor_htm_fon=pink\r\nframe=1\r\n");
    SettingsRecord rec;
    HookLog log;
    try {
        log.take(loadSettings(dir.path(), rec));
        ADD_FAILURE() << "no error";
    } catch (const ConversionError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("\"pink\""), std::string::npos) << m;
        EXPECT_NE(m.find("color_htm_fon"), std::string::npos) << m;
        EXPECT_NE(m.find((dir / "mvx.ini").string()), std::string::npos) << m;
    }
    EXPECT_TRUE(rec.onclick);
    EXPECT_EQ(rec.local, "eng.lng");
    EXPECT_FALSE(rec.frame); // after the failing key: not read
    EXPECT_TRUE(log.calls.empty());
}

TEST(Settings, TextsAreUtf8InsideAndWindows1251InTheFile) {
    namespace k = settings::keys;
    TempDir dir;
    writeFile(dir / "mvx.ini", "[interface]\r\ntext_search=\xEC\xE8\xF0\r\n");
    IniFile ini(dir / "mvx.ini");
    EXPECT_EQ(settings::read(ini, k::text_search), "мир");
    // The euro sign is in the code page; the Chinese character is not.
    settings::write(ini, k::text_search, "мир 中 €");
    EXPECT_EQ(readFile(dir / "mvx.ini"), "[interface]\r\ntext_search=\xEC\xE8\xF0 ? \x88\r\n");
    EXPECT_EQ(settings::read(IniFile(dir / "mvx.ini"), k::text_search), "мир ? €");
}

TEST(Settings, OpenSettingsFileCreatesItEmpty) {
    TempDir dir;
    IniFile ini = openSettingsFile(dir.path());
    EXPECT_EQ(readFile(dir / "mvx.ini"), "");
    settings::write(ini, settings::keys::WindowState, 2);
    EXPECT_EQ(readFile(dir / "mvx.ini"), "[interface]\r\nWindowState=2\r\n");
    EXPECT_THROW(openSettingsFile(dir / "missing folder"), IniWriteError);
}

TEST(Settings, SaveSettingsWritesTheDialogAndTakesItIn) {
    TempDir dir;
    writeFile(dir / "mvx.ini", "[interface]\r\nWindowState=2\r\ntext_search=\xEC\xE8\xF0\r\n");
    SettingsDialogValues v;
    v.dbdir = "D:\\Kelvra\\";
    v.kelvraGold = false;
    v.editionPrefixes = {"KG", "KR", "K"};
    v.colorFind = 0x00B1D6B8;
    v.colorLink = 0x00750000;
    v.colorTable = colors::clWhite;
    v.colorHtmFon = colors::clYellow;
    v.frame = true;
    v.stateSave = true;
    v.font.name = "Arial";
    v.font.setSize(12);
    v.cellLines = false;
    v.operaSelected = true;
    v.defaultBrowserSelected = true; // Opera comes first
    v.pathMSIE = "ie.exe";
    v.pathOpera = "opera.exe";
    v.local = "eng.lng";
    v.onclick = true;

    SettingsRecord rec;
    std::string folder = "old";
    HookLog log;
    log.take(saveSettings(dir.path(), v, rec, folder));

    EXPECT_EQ(readFile(dir / "mvx.ini"), "[interface]\r\n"
                                         "WindowState=2\r\n"
                                         "text_search=\xEC\xE8\xF0\r\n"
                                         "color_find=$00B1D6B8\r\n"
                                         "color_link=$00750000\r\n"
                                         "color_table=clWhite\r\n"
                                         "color_htm_fon=clYellow\r\n"
                                         "frame=1\r\n"
                                         "state_save=1\r\n"
                                         "font_table=-16777208|-16|Arial|0|96|12|0\r\n"
                                         "CellLines=0\r\n"
                                         "Indicator=1\r\n"
                                         "select_browser=3\r\n"
                                         "path_MSIE=ie.exe\r\n"
                                         "path_Opera=opera.exe\r\n"
                                         "local=eng.lng\r\n"
                                         "onclick=1\r\n"
                                         "[options]\r\n"
                                         "dbdir=D:\\Kelvra\\\r\n"
                                         "kelvra GOLD=0\r\n"
                                         "kelvra Release=1\r\n"
                                         "kelvra=1\r\n"
                                         "name kelvra GOLD=KG\r\n"
                                         "name kelvra Release=KR\r\n"
                                         "name kelvra=K\r\n");
    EXPECT_EQ(folder, "D:\\Kelvra");
    EXPECT_EQ(rec.select_browser, 3);
    EXPECT_EQ(rec.editionPrefix(1), "KG");
    EXPECT_EQ(rec.color_htm_fon, colors::clYellow);
    EXPECT_TRUE(rec.onclick);
    EXPECT_TRUE(rec.frame);
    EXPECT_EQ(rec.local, "eng.lng");
    EXPECT_EQ(rec.text_search, ""); // not a key of the dialog: the record keeps it
    EXPECT_EQ(log.calls, (std::vector<std::string>{"pane off", "no lines", "indicator"}));
}

TEST(Settings, BrowserChoice) {
    SettingsDialogValues v;
    using viewer::Viewer;
    EXPECT_EQ(browserChoice(v), Viewer::Pane);
    v.defaultBrowserSelected = true;
    EXPECT_EQ(browserChoice(v), Viewer::DefaultBrowser);
    v.operaSelected = true;
    EXPECT_EQ(browserChoice(v), Viewer::Opera);
    v.msieSelected = true;
    EXPECT_EQ(browserChoice(v), Viewer::Msie);
}

TEST(Settings, SaveSettingsOnAWriteProtectedFileRaisesAndKeepsIt) {
    TempDir dir;
    const auto path = dir / "mvx.ini";
    writeFile(path, "[options]\r\ndbdir=E:\\\r\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    SettingsRecord rec;
    std::string folder = "old";
    HookLog log;
    try {
        log.take(saveSettings(dir.path(), SettingsDialogValues{}, rec, folder));
        ADD_FAILURE() << "no error";
    } catch (const IniWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.string());
    }
    EXPECT_EQ(readFile(path), "[options]\r\ndbdir=E:\\\r\n");
    EXPECT_EQ(folder, "old");
    EXPECT_TRUE(log.calls.empty());
}

namespace {

TEST(GridState, StoredColumnPositionsComeBackExactly) {
    // Built-in order: Izb 0, Type 1, Number 2, Tem 3, Statia 4.
    // Stored as Statia 0, Izb 1, Type 2, Number 3, Tem 4.
    EXPECT_EQ(marovex::columnOrderFromPositions({1, 2, 3, 4, 0}), (std::array<int, 5>{4, 0, 1, 2, 3}));
    EXPECT_EQ(marovex::columnOrderFromPositions({0, 1, 2, 3, 4}), (std::array<int, 5>{0, 1, 2, 3, 4}));
    EXPECT_EQ(marovex::columnOrderFromPositions({4, 3, 2, 1, 0}), (std::array<int, 5>{4, 3, 2, 1, 0}));
    // Every permutation of positions is reproduced.
    std::array<int, 5> positions = {0, 1, 2, 3, 4};
    do {
        const auto order = marovex::columnOrderFromPositions(positions);
        for (int column = 0; column < 5; ++column)
            EXPECT_EQ(order[size_t(positions[size_t(column)])], column);
    } while (std::next_permutation(positions.begin(), positions.end()));
    // Ties and positions outside the grid still give every column once.
    auto order = marovex::columnOrderFromPositions({9, 9, -3, 0, 0});
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::array<int, 5>{0, 1, 2, 3, 4}));
}

} // namespace
