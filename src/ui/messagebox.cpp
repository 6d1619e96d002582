#include "ui/messagebox.h"

#include <QMessageBox>

namespace marovex {

bool ShowMessageBox(QWidget* parent, MessageKind kind, const QString& text) {
    using Kind = MessageKind;
    const QMessageBox::Icon icon = kind == Kind::Information || kind == Kind::InformationYes
                                       ? QMessageBox::Information
                                   : kind == Kind::Question ? QMessageBox::Question
                                   : kind == Kind::Plain    ? QMessageBox::NoIcon
                                                            : QMessageBox::Critical;
    const QMessageBox::StandardButtons buttons = kind == Kind::Question ? QMessageBox::Yes | QMessageBox::No
                                                 : kind == Kind::InformationYes || kind == Kind::ErrorYes
                                                     ? QMessageBox::Yes
                                                     : QMessageBox::Ok;
    QMessageBox box(icon, kApplicationTitle, text, buttons, parent);
    // What cannot be undone is not done by a hasty Enter.
    if (kind == Kind::Question) box.setDefaultButton(QMessageBox::No);
    const int answer = box.exec();
    return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
}

} // namespace marovex
