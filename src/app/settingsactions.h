#pragma once

#include "app/colorfont.h"
#include "catalogue/recordtable.h"
#include "viewer/opening.h"

#include <cstddef>
#include <filesystem>

// What the settings dialog decides without its widgets.
namespace marovex::settingsactions {

// The colours the "standard" buttons put into the swatches.
inline constexpr Color kStandardLinkColor = 0x750000;
inline constexpr Color kStandardTableColor = colors::clWhite;
inline constexpr Color kStandardFindColor = 0xB1D6B8;
inline constexpr Color kStandardHighlightColor = colors::clYellow;

// A hex colour field holds at most this many digits.
inline constexpr std::size_t kHexDigits = 6;

// The key filter of the hex colour fields: Backspace (U+0008) always passes; a
// hexadecimal digit passes, a lower-case letter upper-cased, while the field holds fewer than six
// characters. Returns the character to insert, or 0 when the key is refused.
char32_t filterHexKey(std::size_t fieldLength, char32_t key);

// The viewer the dialog shows as chosen for a stored `select_browser`: that one, or the pane for a number
// that stands for none.
viewer::Viewer chosenViewer(std::int32_t selectBrowser);

// The topic table closed and opened again, as the dialog's creation does, so that a changed table is
// written to its file; ordered by "Tem" afterwards. While the article table has changes of its own the
// topic table is not written alone (the two files change together) and stays open as it is, to be
// written with the article table. When the file cannot be read back, the table is left open and empty,
// unchanged on disk, and the error is raised.
void reopenTopicTable(RecordTable& topics, const RecordTable& articles);

// The copy "tem.dat" of the topic table in the application folder, replaced atomically.
void writeTopicCopy(const std::filesystem::path& appDir, const RecordTable& topics);

} // namespace marovex::settingsactions
