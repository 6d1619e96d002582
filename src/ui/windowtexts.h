#pragma once

#include "app/language.h"

class QWidget;

namespace marovex {

// Puts a text of the language file on the control of `window` it names (the window itself by its own name);
// a control the window does not have is passed over. Column titles go to the window's article grid.
void assignText(QWidget& window, const TextAssignment& assignment);

} // namespace marovex
