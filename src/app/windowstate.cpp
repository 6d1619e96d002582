#include "app/windowstate.h"

#include "app/inifile.h"
#include "app/settings.h"
#include "viewer/opening.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace marovex {

std::array<int, kGridColumns> ColumnOrderFromPositions(const std::array<int, kGridColumns>& storedPositions) {
    std::array<int, kGridColumns> byPosition;
    std::iota(byPosition.begin(), byPosition.end(), 0);
    std::stable_sort(byPosition.begin(), byPosition.end(),
                     [&](int a, int b) { return storedPositions[size_t(a)] < storedPositions[size_t(b)]; });
    std::vector<int> visual(kGridColumns);
    std::iota(visual.begin(), visual.end(), 0);
    for (int column : byPosition) {
        const int target = std::clamp(storedPositions[size_t(column)], 0, int(kGridColumns) - 1);
        visual.erase(std::find(visual.begin(), visual.end(), column));
        visual.insert(visual.begin() + target, column);
    }
    std::array<int, kGridColumns> out;
    std::copy(visual.begin(), visual.end(), out.begin());
    return out;
}

namespace {
// Unlike the settings record's reader, a file that cannot even be looked at counts as absent here: the
// window then keeps its built-in look, and the record's reader has reported the file already.
bool settingsFileExists(const std::filesystem::path& appDir) {
    std::error_code ec;
    return std::filesystem::exists(SettingsFilePath(appDir), ec);
}
} // namespace

std::optional<PaneStart> ReadPaneStart(const std::filesystem::path& appDir) {
    if (!settingsFileExists(appDir)) return std::nullopt;
    const IniFile ini(SettingsFilePath(appDir));
    namespace k = settings::keys;
    return PaneStart{settings::Read(ini, k::Internal_browser_height),
                     viewer::Viewer(settings::Read(ini, k::select_browser)) != viewer::Viewer::Pane};
}

std::optional<WindowState> ReadWindowState(const std::filesystem::path& appDir) {
    if (!settingsFileExists(appDir)) return std::nullopt;
    const IniFile ini(SettingsFilePath(appDir));
    namespace k = settings::keys;
    using settings::Read;
    WindowState s;
    Read(ini, k::font_table, s.font);
    s.tableColor = Read(ini, k::color_table);
    s.findColor = Read(ini, k::color_find);
    s.linkColor = Read(ini, k::color_link);
    for (std::size_t c = 0; c < kGridColumns; ++c) {
        const std::string_view field = k::kGridFields[c];
        s.columnPositions[c] = Read(ini, k::colIndex(field));
        s.columnWidths[c] = Read(ini, k::colWidth(field));
    }
    const auto bound = [&ini](const settings::IntKey& key) {
        return ParseInteger(ini.ReadString(key.section, key.name, ""));
    };
    s.width = bound(k::WindowWidth);
    s.height = bound(k::WindowHeight);
    s.top = bound(k::WindowTop);
    s.left = bound(k::WindowLeft);
    s.show = WindowShow(Read(ini, k::WindowState));
    s.gridAreaHeight = Read(ini, k::Internal_browser_height);
    s.matchCase = Read(ini, k::Button_caps);
    s.wholeWords = Read(ini, k::Button_word);
    s.scope = Read(ini, k::Button_find);
    s.textSearch = Read(ini, k::text_search);
    s.sortColumn = Read(ini, k::state_index);
    if (s.sortColumn.size() > k::kStateIndexLength) s.sortColumn.resize(k::kStateIndexLength);
    s.filterOn = Read(ini, k::state_filter);
    return s;
}

void WriteWindowState(const std::filesystem::path& appDir, const WindowState& s, bool keepSortAndFilter) {
    IniFile ini = OpenSettingsFile(appDir);
    namespace k = settings::keys;
    using settings::Write;
    for (std::size_t c = 0; c < kGridColumns; ++c) {
        const std::string_view field = k::kGridFields[c];
        Write(ini, k::colIndex(field), s.columnPositions[c]);
        Write(ini, k::colWidth(field), s.columnWidths[c]);
    }
    Write(ini, k::Button_caps, s.matchCase);
    Write(ini, k::Button_word, s.wholeWords);
    Write(ini, k::Button_find, s.scope);
    Write(ini, k::WindowState, std::int32_t(s.show));
    if (s.width) Write(ini, k::WindowWidth, *s.width);
    if (s.height) Write(ini, k::WindowHeight, *s.height);
    if (s.top) Write(ini, k::WindowTop, *s.top);
    if (s.left) Write(ini, k::WindowLeft, *s.left);
    Write(ini, k::Internal_browser_height, s.gridAreaHeight);
    Write(ini, k::text_search, s.textSearch);
    if (keepSortAndFilter) {
        Write(ini, k::state_index, s.sortColumn);
        Write(ini, k::state_filter, s.filterOn);
    }
}

} // namespace marovex
