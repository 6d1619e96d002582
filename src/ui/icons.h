#pragma once

#include <QIcon>

// The pictures of the tool bars, menus and grids, drawn as SVG so they stay sharp at any scale.
namespace marovex::icons {

// The pictures of the tool bars and menus; None stands for a command shown without one.
enum class Icon {
    ArrowUp,
    ArrowDown,
    Wrench,
    InfoWhite, // a white i on a blue disc
    DoorLeave,
    LetterFGreen,
    LetterFGrey,
    WindowPen,
    BookHelp, // a book with a question mark
    Binoculars,
    InfoBlue, // a blue i in a disc
    RedCross,
    Favourite,
    LettersAbcUnderlined,
    FavouriteOutline,
    LettersAa,
    ArrowLeft,
    ArrowRight,
    ZoomOut,
    ZoomIn,
    Printer,
    None
};

// A null icon for None.
QIcon toolIcon(Icon icon);
// The favourite mark drawn in the article grid.
QIcon favouriteMark();

} // namespace marovex::icons
