#pragma once

#include <QString>

class QWidget;

namespace marovex {

// The window's first caption, also the title of every message box of the application.
inline const QString kApplicationTitle = QStringLiteral("Marovex v2.0");

// Information and Error boxes have an OK button, the Yes kinds a Yes button only; Plain has no icon.
enum class MessageKind { Information, Error, InformationYes, ErrorYes, Plain };

// A modal message box of that kind. Its buttons speak the interface language through Qt's translations.
void ShowMessageBox(QWidget* parent, MessageKind kind, const QString& text);

} // namespace marovex
