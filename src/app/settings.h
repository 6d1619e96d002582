#pragma once

#include "app/colorfont.h"
#include "app/inifile.h"
#include "viewer/opening.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The settings file "mvx.ini" of the application folder: its keys with types and defaults, the settings
// record, and the routines that read and write it.
namespace marovex {

namespace settings {

inline constexpr std::string_view kFileName = "mvx.ini";
inline constexpr std::string_view kOptions = "options";
inline constexpr std::string_view kInterface = "interface";

struct TextKey {
    std::string_view section, name, def;
};
struct IntKey {
    std::string_view section, name;
    std::int32_t def;
};
struct BoolKey {
    std::string_view section, name;
    bool def;
};
// The default is a colour text.
struct ColorKey {
    std::string_view section, name, def;
};
// Absent or empty: the font is left as it is (the default font).
struct FontKey {
    std::string_view section, name;
};

namespace keys {
// Section "options": access to the magazine archive.
inline constexpr TextKey dbdir{kOptions, "dbdir", "C:\\"};
inline constexpr BoolKey kelvraGold{kOptions, "kelvra GOLD", true};
inline constexpr BoolKey kelvraRelease{kOptions, "kelvra Release", true};
inline constexpr BoolKey kelvra{kOptions, "kelvra", true};
inline constexpr TextKey nameKelvraGold{kOptions, "name kelvra GOLD", "Kelvra-Gold"};
inline constexpr TextKey nameKelvraRelease{kOptions, "name kelvra Release", "Kelvra-Release"};
inline constexpr TextKey nameKelvra{kOptions, "name kelvra", "Kelvra"};

// Section "interface": appearance, behaviour and the state kept between runs.
inline constexpr BoolKey onclick{kInterface, "onclick", false};
inline constexpr TextKey local{kInterface, "local", "rus.lng"};
inline constexpr ColorKey color_htm_fon{kInterface, "color_htm_fon", "$00750000"};
inline constexpr BoolKey frame{kInterface, "frame", false};
inline constexpr BoolKey state_save{kInterface, "state_save", false};
inline constexpr IntKey select_browser{kInterface, "select_browser", 1};
inline constexpr TextKey path_MSIE{kInterface, "path_MSIE",
                                   "C:\\Program Files\\Internet Explorer\\IExplore.exe"};
inline constexpr TextKey path_Opera{kInterface, "path_Opera", "C:\\Program Files\\Opera\\Opera.exe"};
inline constexpr BoolKey CellLines{kInterface, "CellLines", true};
inline constexpr BoolKey Indicator{kInterface, "Indicator", true};
inline constexpr ColorKey color_find{kInterface, "color_find", "$00750000"};
inline constexpr ColorKey color_link{kInterface, "color_link", "$00750000"};
inline constexpr ColorKey color_table{kInterface, "color_table", "clWindow"};
inline constexpr FontKey font_table{kInterface, "font_table"};
inline constexpr IntKey Internal_browser_height{kInterface, "Internal_browser_height", 125};
// The pane's zoom in percent, for every page it shows.
inline constexpr IntKey Internal_browser_zoom{kInterface, "Internal_browser_zoom", 100};
// The four bounds default to the splash window's; read them with that default.
inline constexpr IntKey WindowWidth{kInterface, "WindowWidth", 0};
inline constexpr IntKey WindowHeight{kInterface, "WindowHeight", 0};
inline constexpr IntKey WindowTop{kInterface, "WindowTop", 0};
inline constexpr IntKey WindowLeft{kInterface, "WindowLeft", 0};
inline constexpr IntKey WindowState{kInterface, "WindowState", 3}; // a WindowShow (app/windowstate.h)
inline constexpr BoolKey Button_caps{kInterface, "Button_caps", false};
inline constexpr BoolKey Button_word{kInterface, "Button_word", false};
inline constexpr IntKey Button_find{kInterface, "Button_find", 0};
inline constexpr TextKey text_search{kInterface, "text_search", ""};
inline constexpr TextKey state_index{kInterface, "state_index", "Type"}; // only 20 characters count
inline constexpr std::size_t kStateIndexLength = 20;
inline constexpr BoolKey state_filter{kInterface, "state_filter", false};

// The article grid's columns in their built-in order (positions 0 to 4).
inline constexpr std::array<std::string_view, 5> kGridFields = {"Izb", "Type", "Number", "Tem", "Statia"};
// "col_index_" + field, default the built-in position; "col_width_" + field, default 50 + that position.
// std::invalid_argument for a field that is not a grid column.
const IntKey& colIndex(std::string_view field);
const IntKey& colWidth(std::string_view field);
} // namespace keys

// Texts are UTF-8 here; the file holds them in Windows-1251, characters it cannot hold written as "?".
std::string read(const IniFile& ini, const TextKey& key);
std::int32_t read(const IniFile& ini, const IntKey& key);
std::int32_t read(const IniFile& ini, const IntKey& key, std::int32_t def);
bool read(const IniFile& ini, const BoolKey& key);
// ConversionError naming the file, the key and the text when the value is no colour text.
Color read(const IniFile& ini, const ColorKey& key);
// textToFont of the value into font; ConversionError naming the file and key on a bad field.
void read(const IniFile& ini, const FontKey& key, Font& font);

void write(IniFile& ini, const TextKey& key, std::string_view value);
void write(IniFile& ini, const IntKey& key, std::int32_t value);
void write(IniFile& ini, const BoolKey& key, bool value);
void write(IniFile& ini, const ColorKey& key, Color value);
void write(IniFile& ini, const FontKey& key, const Font& font);

} // namespace settings

// The settings record, held once for the whole run. Its initial state is empty: empty texts, false
// switches, zero numbers. Fields are named after their keys. Texts are UTF-8.
struct SettingsRecord {
    // Edition prefixes by edition code 1 to 3 ("name kelvra GOLD", "name kelvra Release", "name kelvra");
    // use editionPrefix(code).
    std::array<std::string, 3> name_kelvra;
    bool onclick = false;
    bool frame = false;
    bool state_save = false;
    std::int32_t select_browser = 0; // a viewer::Viewer, or any other number the file holds
    std::string path_MSIE;
    std::string path_Opera;
    Color color_htm_fon = 0;
    std::string local;       // language file name in "Locale"
    std::string text_search; // the remembered search text

    std::string& editionPrefix(int code) { return name_kelvra.at(std::size_t(code - 1)); }
    const std::string& editionPrefix(int code) const { return name_kelvra.at(std::size_t(code - 1)); }
};

// What reading the settings switches in the main window.
struct SettingsEffects {
    bool viewPane = false; // the embedded browser pane on
    bool cellLines = true; // the article grid draws row and column lines with its flat look
    bool indicator = true; // the article grid's row indicator column shown
};

// The archive folder and the three edition switches, taken from the file by every reader.
struct ArchiveAccess {
    std::string folder;
    bool gold = false;    // edition code 1
    bool release = false; // edition code 2
    bool plain = false;   // edition code 3
    bool edition(int code) const { return code == 1 ? gold : code == 2 ? release : code == 3 && plain; }
};

std::filesystem::path settingsFilePath(const std::filesystem::path& appDir);

// Reads the record and returns the pane and grid options. Does nothing and returns nothing when the file
// is absent. A colour text that does not convert raises ConversionError, the fields read before it
// keeping their new values.
std::optional<SettingsEffects> loadSettings(const std::filesystem::path& appDir, SettingsRecord& rec);

// The archive folder (trailing "\" run, then trailing "/" run removed) and the edition switches. Leaves
// access untouched and returns false when the file is absent.
bool readAccess(const std::filesystem::path& appDir, ArchiveAccess& access);

// "mvx.ini" opened for writing keys, created empty first when absent (IniWriteError when it cannot be).
IniFile openSettingsFile(const std::filesystem::path& appDir);

// The settings as the user confirms them in the settings dialog.
struct SettingsDialogValues {
    std::string dbdir;                          // the archive folder
    bool kelvraGold = true;                     // the editions the archive holds
    bool kelvraRelease = true;
    bool kelvra = true;
    std::array<std::string, 3> editionPrefixes; // the editions' folder name prefixes, by edition code
    Color colorFind = 0;                        // background of found rows in the article grid
    Color colorLink = 0;                        // text of the grid cells that open something
    Color colorTable = 0;                       // background of the article grid
    Color colorHtmFon = 0;                      // highlight of found words in the pane
    bool frame = false;                         // articles open in a copy of their issue's frame page
    bool stateSave = false;                     // sort column, topic filter and current row kept
    Font font;                                  // the article grid's font
    bool cellLines = true;                      // the article grid draws lines between cells
    bool indicator = true;                      // the article grid shows the current row's indicator
    bool msieSelected = false;                  // the viewer chosen (all false: the pane)
    bool operaSelected = false;
    bool defaultBrowserSelected = false;
    std::string pathMSIE;  // the browser programs
    std::string pathOpera;
    std::string local;    // file name of the chosen language; empty when none is chosen
    bool onclick = false; // a single click opens what a double click opens
};

// The viewer the dialog's choice stands for: MSIE, else Opera, else the default browser, else the pane.
viewer::Viewer browserChoice(const SettingsDialogValues& values);

// Writes the dialog's values, then takes the archive folder and the record in again and returns the pane
// and grid options as loadSettings does; the caller then re-applies the topic filter. IniWriteError when a
// key cannot be written; the keys written before it stay written.
std::optional<SettingsEffects> saveSettings(const std::filesystem::path& appDir,
                                            const SettingsDialogValues& values, SettingsRecord& rec,
                                            std::string& archiveFolder);

} // namespace marovex
