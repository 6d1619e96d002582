#pragma once

namespace marovex {

// Qt's own texts (message box buttons, the folder, colour and font dialogs, the web pane's menu) follow the
// interface language through Qt's translations: Russian for a Cyrillic language file, Qt's built-in
// English otherwise. Replaces what an earlier call installed.
void useQtTranslations(bool russian);

} // namespace marovex
