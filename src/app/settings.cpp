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
    return ConversionError(Message(msg::SettingError, {PathValue(ini.path()), Text(std::string(section)),
                                                       Text(std::string(name)), Nested(e.message())}));
}

} // namespace

const IntKey& keys::colIndex(std::string_view field) {
    return columnKeys().index[columnPosition(field)];
}
const IntKey& keys::colWidth(std::string_view field) {
    return columnKeys().width[columnPosition(field)];
}

std::string Read(const IniFile& ini, const TextKey& key) {
    return cp1251::toUtf8(ini.ReadString(key.section, key.name, key.def));
}
std::int32_t Read(const IniFile& ini, const IntKey& key) {
    return ini.ReadInteger(key.section, key.name, key.def);
}
std::int32_t Read(const IniFile& ini, const IntKey& key, std::int32_t def) {
    return ini.ReadInteger(key.section, key.name, def);
}
bool Read(const IniFile& ini, const BoolKey& key) {
    return ini.ReadBool(key.section, key.name, key.def);
}

Color Read(const IniFile& ini, const ColorKey& key) {
    const std::string value = ini.ReadString(key.section, key.name, key.def);
    try {
        return TextToColor(cp1251::toUtf8(value));
    } catch (const ConversionError& e) {
        throw where(ini, key.section, key.name, e);
    }
}

void Read(const IniFile& ini, const FontKey& key, Font& font) {
    const std::string value = ini.ReadString(key.section, key.name, "");
    try {
        TextToFont(cp1251::toUtf8(value), font);
    } catch (const ConversionError& e) {
        throw where(ini, key.section, key.name, e);
    }
}

void Write(IniFile& ini, const TextKey& key, std::string_view value) {
    ini.WriteString(key.section, key.name, cp1251::fromUtf8(value));
}
void Write(IniFile& ini, const IntKey& key, std::int32_t value) {
    ini.WriteInteger(key.section, key.name, value);
}
void Write(IniFile& ini, const BoolKey& key, bool value) {
    ini.WriteBool(key.section, key.name, value);
}
void Write(IniFile& ini, const ColorKey& key, Color value) {
    ini.WriteString(key.section, key.name, ColorToText(value));
}
void Write(IniFile& ini, const FontKey& key, const Font& font) {
    ini.WriteString(key.section, key.name, cp1251::fromUtf8(FontToText(font)));
}

} // namespace settings

namespace {
// Something in the file's place that is no regular file, or that cannot be looked at, counts as there:
// reading it reports it, where taking it for absent would read defaults and later write over it.
bool settingsFileExists(const std::filesystem::path& appDir) {
    std::error_code ec;
    return std::filesystem::exists(SettingsFilePath(appDir), ec) || ec;
}
} // namespace

std::filesystem::path SettingsFilePath(const std::filesystem::path& appDir) {
    return appDir / settings::kFileName;
}

std::optional<SettingsEffects> LoadSettings(const std::filesystem::path& appDir, SettingsRecord& rec) {
    namespace k = settings::keys;
    using settings::Read;
    if (!settingsFileExists(appDir)) return std::nullopt;
    const IniFile ini(SettingsFilePath(appDir));
    rec.onclick = Read(ini, k::onclick);
    rec.local = Read(ini, k::local);
    rec.color_htm_fon = Read(ini, k::color_htm_fon);
    rec.frame = Read(ini, k::frame);
    rec.state_save = Read(ini, k::state_save);
    rec.editionPrefix(1) = Read(ini, k::nameKelvraGold);
    rec.editionPrefix(2) = Read(ini, k::nameKelvraRelease);
    rec.editionPrefix(3) = Read(ini, k::nameKelvra);
    rec.select_browser = Read(ini, k::select_browser);
    rec.path_MSIE = Read(ini, k::path_MSIE);
    rec.path_Opera = Read(ini, k::path_Opera);

    SettingsEffects effects;
    effects.viewPane = viewer::Viewer(rec.select_browser) == viewer::Viewer::Pane;
    effects.cellLines = Read(ini, k::CellLines);
    effects.indicator = Read(ini, k::Indicator);
    return effects;
}

bool ReadAccess(const std::filesystem::path& appDir, ArchiveAccess& access) {
    namespace k = settings::keys;
    using settings::Read;
    if (!settingsFileExists(appDir)) return false;
    const IniFile ini(SettingsFilePath(appDir));
    access.folder = text::StripTrailingChar(text::StripTrailingChar(Read(ini, k::dbdir), '\\'), '/');
    access.plain = Read(ini, k::kelvra);
    access.gold = Read(ini, k::kelvraGold);
    access.release = Read(ini, k::kelvraRelease);
    return true;
}

IniFile OpenSettingsFile(const std::filesystem::path& appDir) {
    const auto path = SettingsFilePath(appDir);
    IniFile::CreateIfAbsent(path);
    return IniFile(path);
}

viewer::Viewer BrowserChoice(const SettingsDialogValues& values) {
    if (values.msieSelected) return viewer::Viewer::Msie;
    if (values.operaSelected) return viewer::Viewer::Opera;
    if (values.defaultBrowserSelected) return viewer::Viewer::DefaultBrowser;
    return viewer::Viewer::Pane;
}

std::optional<SettingsEffects> SaveSettings(const std::filesystem::path& appDir,
                                            const SettingsDialogValues& v, SettingsRecord& rec,
                                            std::string& archiveFolder) {
    namespace k = settings::keys;
    using settings::Write;
    {
        IniFile ini = OpenSettingsFile(appDir);
        Write(ini, k::dbdir, v.dbdir);
        Write(ini, k::kelvraGold, v.kelvraGold);
        Write(ini, k::kelvraRelease, v.kelvraRelease);
        Write(ini, k::kelvra, v.kelvra);
        Write(ini, k::nameKelvraGold, v.editionPrefixes[0]);
        Write(ini, k::nameKelvraRelease, v.editionPrefixes[1]);
        Write(ini, k::nameKelvra, v.editionPrefixes[2]);

        Write(ini, k::color_find, v.colorFind);
        Write(ini, k::color_link, v.colorLink);
        Write(ini, k::color_table, v.colorTable);
        Write(ini, k::color_htm_fon, v.colorHtmFon);
        Write(ini, k::frame, v.frame);
        Write(ini, k::state_save, v.stateSave);
        Write(ini, k::font_table, v.font);
        Write(ini, k::CellLines, v.cellLines);
        Write(ini, k::Indicator, v.indicator);
        Write(ini, k::select_browser, std::int32_t(BrowserChoice(v)));
        Write(ini, k::path_MSIE, v.pathMSIE);
        Write(ini, k::path_Opera, v.pathOpera);
        Write(ini, k::local, v.local);
        Write(ini, k::onclick, v.onclick);
    }
    ArchiveAccess access;
    access.folder = archiveFolder;
    if (ReadAccess(appDir, access)) archiveFolder = access.folder;
    return LoadSettings(appDir, rec);
}

} // namespace marovex
