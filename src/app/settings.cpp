#include "app/settings.h"

#include "base/cp1251.h"
#include "base/textops.h"

#include <stdexcept>
#include <system_error>

namespace marovex {
namespace settings {
namespace {

struct ColumnKeys {
    std::array<IntKey, 5> index;
    std::array<IntKey, 5> width;
};

const ColumnKeys& columnKeys() {
    static const ColumnKeys table = {
        {{{kInterface, "col_index_Izb", 0},
          {kInterface, "col_index_Type", 1},
          {kInterface, "col_index_Number", 2},
          {kInterface, "col_index_Tem", 3},
          {kInterface, "col_index_Statia", 4}}},
        {{{kInterface, "col_width_Izb", 50},
          {kInterface, "col_width_Type", 51},
          {kInterface, "col_width_Number", 52},
          {kInterface, "col_width_Tem", 53},
          {kInterface, "col_width_Statia", 54}}},
    };
    return table;
}

std::size_t columnPosition(std::string_view field) {
    for (std::size_t i = 0; i < keys::kGridFields.size(); ++i)
        if (keys::kGridFields[i] == field) return i;
    throw std::invalid_argument("not a column of the article grid: " + std::string(field));
}

// The error of a key's value, named by the file, the section and the key.
ConversionError where(const IniFile& ini, std::string_view section, std::string_view name,
                      const ConversionError& e) {
    return ConversionError(Message(msg::SettingError, {pathValue(ini.path()), textValue(std::string(section)),
                                                       textValue(std::string(name)), nested(e.message())}));
}

} // namespace

const IntKey& keys::colIndex(std::string_view field) {
    return columnKeys().index[columnPosition(field)];
}
const IntKey& keys::colWidth(std::string_view field) {
    return columnKeys().width[columnPosition(field)];
}

std::string read(const IniFile& ini, const TextKey& key) {
    return cp1251::toUtf8(ini.readString(key.section, key.name, key.def));
}
std::int32_t read(const IniFile& ini, const IntKey& key) {
    return ini.readInteger(key.section, key.name, key.def);
}
std::int32_t read(const IniFile& ini, const IntKey& key, std::int32_t def) {
    return ini.readInteger(key.section, key.name, def);
}
bool read(const IniFile& ini, const BoolKey& key) {
    return ini.readBool(key.section, key.name, key.def);
}

Color read(const IniFile& ini, const ColorKey& key) {
    const std::string value = ini.readString(key.section, key.name, key.def);
    try {
        return textToColor(cp1251::toUtf8(value));
    } catch (const ConversionError& e) {
        throw where(ini, key.section, key.name, e);
    }
}

void read(const IniFile& ini, const FontKey& key, Font& font) {
    const std::string value = ini.readString(key.section, key.name, "");
    try {
        textToFont(cp1251::toUtf8(value), font);
    } catch (const ConversionError& e) {
        throw where(ini, key.section, key.name, e);
    }
}

void write(IniFile& ini, const TextKey& key, std::string_view value) {
    ini.writeString(key.section, key.name, cp1251::fromUtf8(value));
}
void write(IniFile& ini, const IntKey& key, std::int32_t value) {
    ini.writeInteger(key.section, key.name, value);
}
void write(IniFile& ini, const BoolKey& key, bool value) {
    ini.writeBool(key.section, key.name, value);
}
void write(IniFile& ini, const ColorKey& key, Color value) {
    ini.writeString(key.section, key.name, colorToText(value));
}
void write(IniFile& ini, const FontKey& key, const Font& font) {
    ini.writeString(key.section, key.name, cp1251::fromUtf8(fontToText(font)));
}

} // namespace settings

namespace {
// Something in the file's place that is no regular file, or that cannot be looked at, counts as there:
// reading it reports it, where taking it for absent would read defaults and later write over it.
bool settingsFileExists(const std::filesystem::path& appDir) {
    std::error_code ec;
    return std::filesystem::exists(settingsFilePath(appDir), ec) || ec;
}
} // namespace

std::filesystem::path settingsFilePath(const std::filesystem::path& appDir) {
    return appDir / settings::kFileName;
}

std::optional<SettingsEffects> loadSettings(const std::filesystem::path& appDir, SettingsRecord& rec) {
    namespace k = settings::keys;
    using settings::read;
    if (!settingsFileExists(appDir)) return std::nullopt;
    const IniFile ini(settingsFilePath(appDir));
    rec.onclick = read(ini, k::onclick);
    rec.local = read(ini, k::local);
    rec.color_htm_fon = read(ini, k::color_htm_fon);
    rec.frame = read(ini, k::frame);
    rec.state_save = read(ini, k::state_save);
    rec.editionPrefix(1) = read(ini, k::nameKelvraGold);
    rec.editionPrefix(2) = read(ini, k::nameKelvraRelease);
    rec.editionPrefix(3) = read(ini, k::nameKelvra);
    rec.select_browser = read(ini, k::select_browser);
    rec.path_MSIE = read(ini, k::path_MSIE);
    rec.path_Opera = read(ini, k::path_Opera);

    SettingsEffects effects;
    effects.viewPane = static_cast<viewer::Viewer>(rec.select_browser) == viewer::Viewer::Pane;
    effects.cellLines = read(ini, k::CellLines);
    effects.indicator = read(ini, k::Indicator);
    return effects;
}

bool readAccess(const std::filesystem::path& appDir, ArchiveAccess& access) {
    namespace k = settings::keys;
    using settings::read;
    if (!settingsFileExists(appDir)) return false;
    const IniFile ini(settingsFilePath(appDir));
    access.folder = text::StripTrailingChar(text::StripTrailingChar(read(ini, k::dbdir), '\\'), '/');
    access.plain = read(ini, k::kelvra);
    access.gold = read(ini, k::kelvraGold);
    access.release = read(ini, k::kelvraRelease);
    return true;
}

IniFile openSettingsFile(const std::filesystem::path& appDir) {
    const auto path = settingsFilePath(appDir);
    IniFile::createIfAbsent(path);
    return IniFile(path);
}

viewer::Viewer browserChoice(const SettingsDialogValues& values) {
    if (values.msieSelected) return viewer::Viewer::Msie;
    if (values.operaSelected) return viewer::Viewer::Opera;
    if (values.defaultBrowserSelected) return viewer::Viewer::DefaultBrowser;
    return viewer::Viewer::Pane;
}

std::optional<SettingsEffects> saveSettings(const std::filesystem::path& appDir,
                                            const SettingsDialogValues& v, SettingsRecord& rec,
                                            std::string& archiveFolder) {
    namespace k = settings::keys;
    using settings::write;
    {
        IniFile ini = openSettingsFile(appDir);
        write(ini, k::dbdir, v.dbdir);
        write(ini, k::kelvraGold, v.kelvraGold);
        write(ini, k::kelvraRelease, v.kelvraRelease);
        write(ini, k::kelvra, v.kelvra);
        write(ini, k::nameKelvraGold, v.editionPrefixes[0]);
        write(ini, k::nameKelvraRelease, v.editionPrefixes[1]);
        write(ini, k::nameKelvra, v.editionPrefixes[2]);

        write(ini, k::color_find, v.colorFind);
        write(ini, k::color_link, v.colorLink);
        write(ini, k::color_table, v.colorTable);
        write(ini, k::color_htm_fon, v.colorHtmFon);
        write(ini, k::frame, v.frame);
        write(ini, k::state_save, v.stateSave);
        write(ini, k::font_table, v.font);
        write(ini, k::CellLines, v.cellLines);
        write(ini, k::Indicator, v.indicator);
        write(ini, k::select_browser, std::int32_t(browserChoice(v)));
        write(ini, k::path_MSIE, v.pathMSIE);
        write(ini, k::path_Opera, v.pathOpera);
        write(ini, k::local, v.local);
        write(ini, k::onclick, v.onclick);
    }
    ArchiveAccess access;
    access.folder = archiveFolder;
    if (readAccess(appDir, access)) archiveFolder = access.folder;
    return loadSettings(appDir, rec);
}

} // namespace marovex
