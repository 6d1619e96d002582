#include "app/windowstate.h"

#include "app/inifile.h"
#include "app/settings.h"
#include "viewer/opening.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace marovex {

std::array<int, kGridColumns> columnOrderFromPositions(const std::array<int, kGridColumns>& storedPositions) {
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
    return std::filesystem::exists(settingsFilePath(appDir), ec);
}
} // namespace

std::optional<PaneStart> readPaneStart(const std::filesystem::path& appDir) {
    if (!settingsFileExists(appDir)) return std::nullopt;
    const IniFile ini(settingsFilePath(appDir));
    namespace k = settings::keys;
    return PaneStart{settings::read(ini, k::Internal_browser_height),
                     static_cast<viewer::Viewer>(settings::read(ini, k::select_browser)) !=
                         viewer::Viewer::Pane};
}

std::optional<WindowState> readWindowState(const std::filesystem::path& appDir) {
    if (!settingsFileExists(appDir)) return std::nullopt;
    const IniFile ini(settingsFilePath(appDir));
    namespace k = settings::keys;
    using settings::read;
    WindowState s;
    read(ini, k::font_table, s.font);
    s.tableColor = read(ini, k::color_table);
    s.findColor = read(ini, k::color_find);
    s.linkColor = read(ini, k::color_link);
    for (std::size_t c = 0; c < kGridColumns; ++c) {
        const std::string_view field = k::kGridFields[c];
        s.columnPositions[c] = read(ini, k::colIndex(field));
        s.columnWidths[c] = read(ini, k::colWidth(field));
    }
    const auto bound = [&ini](const settings::IntKey& key) {
        return parseInteger(ini.readString(key.section, key.name, ""));
    };
    s.width = bound(k::WindowWidth);
    s.height = bound(k::WindowHeight);
    s.top = bound(k::WindowTop);
    s.left = bound(k::WindowLeft);
    s.show = static_cast<WindowShow>(read(ini, k::WindowState));
    s.gridAreaHeight = read(ini, k::Internal_browser_height);
    s.zoomPercent = read(ini, k::Internal_browser_zoom);
    s.matchCase = read(ini, k::Button_caps);
    s.wholeWords = read(ini, k::Button_word);
    s.scope = read(ini, k::Button_find);
    s.textSearch = read(ini, k::text_search);
    s.sortColumn = read(ini, k::state_index);
    if (s.sortColumn.size() > k::kStateIndexLength) s.sortColumn.resize(k::kStateIndexLength);
    s.filterOn = read(ini, k::state_filter);
    return s;
}

void writeWindowState(const std::filesystem::path& appDir, const WindowState& s, bool keepSortAndFilter) {
    IniFile ini = openSettingsFile(appDir);
    namespace k = settings::keys;
    using settings::write;
    for (std::size_t c = 0; c < kGridColumns; ++c) {
        const std::string_view field = k::kGridFields[c];
        write(ini, k::colIndex(field), s.columnPositions[c]);
        write(ini, k::colWidth(field), s.columnWidths[c]);
    }
    write(ini, k::Button_caps, s.matchCase);
    write(ini, k::Button_word, s.wholeWords);
    write(ini, k::Button_find, s.scope);
    write(ini, k::WindowState, std::int32_t(s.show));
    if (s.width) write(ini, k::WindowWidth, *s.width);
    if (s.height) write(ini, k::WindowHeight, *s.height);
    if (s.top) write(ini, k::WindowTop, *s.top);
    if (s.left) write(ini, k::WindowLeft, *s.left);
    write(ini, k::Internal_browser_height, s.gridAreaHeight);
    write(ini, k::Internal_browser_zoom, s.zoomPercent);
    write(ini, k::text_search, s.textSearch);
    if (keepSortAndFilter) {
        write(ini, k::state_index, s.sortColumn);
        write(ini, k::state_filter, s.filterOn);
    }
}

} // namespace marovex
