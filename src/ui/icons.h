#pragma once

#include <QIcon>

// The pictures of the tool bars, menus and grids, drawn as SVG so they stay sharp at any scale.
namespace marovex::icons {

// Pictures 0 to 20 of the tool bars and menus: 0 arrow up, 1 arrow down, 2 wrench, 3 white i on a blue
// disc, 4 door with an arrow, 5 green F, 6 grey F, 7 window with a pen, 8 book with a question mark,
// 9 binoculars, 10 blue i in a disc, 11 red cross, 12 favourite mark, 13 underlined abc, 14 favourite
// outline, 15 Aa, 16 arrow left, 17 arrow right, 18 zoom out, 19 zoom in, 20 printer. An index out of range
// gives a null icon.
QIcon toolIcon(int index);
inline constexpr int kToolIconCount = 21;
// The favourite mark drawn in the article grid.
QIcon favouriteMark();

} // namespace marovex::icons
