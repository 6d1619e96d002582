#pragma once

class QWidget;

namespace marovex {

// Moves a top-level window so that its frame stands in the middle of the screen it is on (the primary
// screen before it was ever shown). Dialogs of this application open centred on the screen, not on their
// parent.
void CentreOnScreen(QWidget& window);

} // namespace marovex
