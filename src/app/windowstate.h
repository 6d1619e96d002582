#pragma once

#include "app/colorfont.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace marovex {

class IniFile;

// The article grid's columns in their built-in order; see settings::keys::kGridFields.
inline constexpr std::size_t kGridColumns = 5;

// The visual order the stored column positions give: the columns are taken in ascending stored position
// (ties in built-in order) and each is moved to its stored position, so that a stored permutation comes
// back exactly. Element i is the built-in index of the column shown at position i. Positions outside the
// grid are held at its ends.
std::array<int, kGridColumns> columnOrderFromPositions(const std::array<int, kGridColumns>& storedPositions);

// How the main window shows the pane before the settings switch it: the height of the grid area above a
// shown pane, and the pane's visibility, the opposite of what the settings will ask for so that the switch
// makes its whole transition.
struct PaneStart {
    std::int32_t gridAreaHeight = 125;
    bool paneShown = false;
};

// How the main window is shown; the settings file stores these numbers.
enum class WindowShow : std::int32_t { Minimised = 1, Normal = 2, Maximised = 3 };

// The main window's state kept between runs in the settings file.
struct WindowState {
    // The article grid's look.
    Font font;
    Color tableColor = 0;
    Color findColor = 0;
    Color linkColor = 0;
    // Per grid column in built-in order: its position, and its width (a proportion: the grid fits its
    // columns to its width).
    std::array<std::int32_t, kGridColumns> columnPositions{};
    std::array<std::int32_t, kGridColumns> columnWidths{};
    // As read, also a number that is no WindowShow: that one leaves the window as it is.
    WindowShow show = WindowShow::Maximised;
    // The normal bounds; an absent one leaves the window's own. Written only for a normal window.
    std::optional<std::int32_t> width, height, top, left;
    std::int32_t gridAreaHeight = 125;
    // The pane's zoom in percent; the pane holds a level it does not have to the nearest of its own.
    std::int32_t zoomPercent = 100;
    bool matchCase = false;
    bool wholeWords = false;
    std::int32_t scope = 0;
    std::string textSearch;
    // Kept only when the user keeps the state: the sort column (at most 20 bytes count) and whether the
    // topic filter was on.
    std::string sortColumn = "Type";
    bool filterOn = false;
};

// Nothing when the settings file is absent. FileError when it cannot be read.
std::optional<PaneStart> readPaneStart(const std::filesystem::path& appDir);
// Nothing when the settings file is absent. ConversionError for a colour or font text that does not convert,
// FileError when the file cannot be read.
std::optional<WindowState> readWindowState(const std::filesystem::path& appDir);
// Writes the state, creating the file when absent; the sort column and the filter only with
// keepSortAndFilter. IniWriteError when a key cannot be written.
void writeWindowState(const std::filesystem::path& appDir, const WindowState& state, bool keepSortAndFilter);

} // namespace marovex
