#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

namespace marovex {

// Moves a top-level window so that its frame stands in the middle of the screen it is on (the primary
// screen before it was ever shown). Dialogs of this application open centred on the screen, not on their
// parent.
void centreOnScreen(QWidget& window);

// Bounds of a top-level window (its frame's top left, its client area's size) moved and shrunk as little as
// needed to lie within the available area of a screen: the one holding their centre, else the one they
// overlap most, else the primary screen. `frame` is the window frame around the client area.
QRect fitOnScreen(const QRect& bounds, const QMargins& frame = {});

} // namespace marovex
