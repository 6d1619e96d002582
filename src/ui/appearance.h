#pragma once

class QApplication;

namespace marovex {

// The application's look: Fusion, the hint window with its navy border and text, and the light menus with
// an icon strip.
void applyAppearance(QApplication& app);

} // namespace marovex
