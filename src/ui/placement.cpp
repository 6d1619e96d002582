#include "ui/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace marovex {

void centreOnScreen(QWidget& window) {
    const QScreen* screen = window.isVisible() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // The frame is known once the window is mapped; before that the client area stands for it.
    const QSize frame = window.isVisible() ? window.frameGeometry().size() : window.size();
    QRect bounds(QPoint(0, 0), frame);
    bounds.moveCenter(screen->availableGeometry().center());
    window.move(bounds.topLeft());
}

QRect fitOnScreen(const QRect& bounds, const QMargins& frame) {
    const QScreen* screen = QGuiApplication::screenAt(bounds.center());
    long long most = 0;
    for (const QScreen* candidate : screen ? QList<QScreen*>() : QGuiApplication::screens()) {
        const QRect common = candidate->availableGeometry() & bounds;
        if (const long long area = (long long)common.width() * common.height(); area > most) {
            most = area;
            screen = candidate;
        }
    }
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return bounds;
    const QRect area = screen->availableGeometry();
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const QSize size(std::min(bounds.width(), area.width() - frameWidth),
                     std::min(bounds.height(), area.height() - frameHeight));
    const int x = std::clamp(bounds.x(), area.left(), area.right() + 1 - size.width() - frameWidth);
    const int y = std::clamp(bounds.y(), area.top(), area.bottom() + 1 - size.height() - frameHeight);
    return {QPoint(x, y), size};
}

} // namespace marovex
