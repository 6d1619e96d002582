#include "ui/messagebox.h"

#include <QMessageBox>

namespace marovex {

void ShowMessageBox(QWidget* parent, MessageKind kind, const QString& text) {
    using Kind = MessageKind;
    const QMessageBox::Icon icon = kind == Kind::Information || kind == Kind::InformationYes
                                       ? QMessageBox::Information
                                   : kind == Kind::Plain ? QMessageBox::NoIcon
                                                         : QMessageBox::Critical;
    const QMessageBox::StandardButton button =
        kind == Kind::InformationYes || kind == Kind::ErrorYes ? QMessageBox::Yes : QMessageBox::Ok;
    QMessageBox box(icon, kApplicationTitle, text, button, parent);
    box.exec();
}

} // namespace marovex
