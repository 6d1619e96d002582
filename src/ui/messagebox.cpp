#include "ui/messagebox.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace marovex {

bool showMessageBox(QWidget* parent, MessageKind kind, const QString& text) {
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
    // Qt sizes a box for its text and leaves its title only 50 pixels more, while the window manager's
    // title bar also holds the window's icon and its buttons: a box of a short text had its title cut. An
    // empty row as wide as the bold title and six of its line heights keeps the box wide enough.
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(title.horizontalAdvance(kApplicationTitle) + 6 * title.height(), 0),
                      grid->rowCount(), 0, 1, grid->columnCount());
    // What cannot be undone is not done by a hasty Enter.
    if (kind == Kind::Question) box.setDefaultButton(QMessageBox::No);
    const int answer = box.exec();
    return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
}

} // namespace marovex
