#include "ui/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace marovex {

void CentreOnScreen(QWidget& window) {
    const QScreen* screen = window.isVisible() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // The frame is known once the window is mapped; before that the client area stands for it.
    const QSize frame = window.isVisible() ? window.frameGeometry().size() : window.size();
    QRect bounds(QPoint(0, 0), frame);
    bounds.moveCenter(screen->availableGeometry().center());
    window.move(bounds.topLeft());
}

} // namespace marovex
