#include "ui/appearance.h"

#include <QApplication>
#include <QStyleFactory>

namespace marovex {

void applyAppearance(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    app.setStyleSheet(QStringLiteral(
        "QToolTip { color: navy; background-color: #fffff0; border: 1px solid navy; padding: 2px 4px; }"
        // Menus: white body, a grey strip behind the icons, navy selection frame.
        "QMenu { background-color: #ffffff; border: 1px solid #8a9bb5; padding: 2px 0px; }"
        "QMenu::item { padding: 4px 24px 4px 30px; border: 1px solid transparent; margin: 0px 2px; }"
        "QMenu::item:selected { background-color: #dce6f6; border: 1px solid #284f8c; color: #000000; }"
        "QMenu::item:disabled { color: #8c8c8c; }"
        "QMenu::icon { padding-left: 6px; }"
        "QMenu::separator { height: 1px; background: #c5cfdd; margin: 3px 4px 3px 30px; }"
        "QMenuBar::item:selected { background-color: #dce6f6; border: 1px solid #284f8c; }"));
}

} // namespace marovex
