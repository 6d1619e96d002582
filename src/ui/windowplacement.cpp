#include "ui/windowplacement.h"

#include "app/windowstate.h"
#include "ui/placement.h"

#include <QWidget>

#include <algorithm>

namespace marovex {

void WindowPlacement::restore(QWidget& window, const WindowState& state, const QRect& fallback) {
    m_stored = {state.left.value_or(fallback.x()), state.top.value_or(fallback.y()),
                state.width.value_or(fallback.width()), state.height.value_or(fallback.height())};
    // The normal bounds first: a maximised window keeps them as its restore size. Far beyond any screen they
    // are held where a QRect's arithmetic cannot overflow.
    constexpr int kFar = 1 << 24;
    const QRect stored(std::clamp(m_stored.left, -kFar, kFar), std::clamp(m_stored.top, -kFar, kFar),
                       std::clamp(m_stored.width, 0, kFar), std::clamp(m_stored.height, 0, kFar));
    place(window, QRect(stored.topLeft(), stored.size().expandedTo(window.minimumSize())), {});
    switch (state.show) {
    case WindowShow::Minimised:
        window.setWindowState(Qt::WindowMinimized);
        break;
    case WindowShow::Normal:
        window.setWindowState(Qt::WindowNoState);
        break;
    case WindowShow::Maximised:
        window.setWindowState(Qt::WindowMaximized);
        break;
    default: // anything else leaves the window as it is
        break;
    }
}

void WindowPlacement::place(QWidget& window, const QRect& bounds, const QMargins& frame) {
    m_placed = fitOnScreen(bounds, frame);
    window.resize(m_placed.size());
    window.move(m_placed.topLeft());
}

void WindowPlacement::fitFrame(QWidget& window) {
    if (window.windowState() != Qt::WindowNoState || QRect(window.pos(), window.size()) != m_placed) return;
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    if (fitOnScreen(m_placed, margins) != m_placed) place(window, m_placed, margins);
}

void WindowPlacement::save(const QWidget& window, WindowState& state) const {
    if (window.isMinimized()) {
        state.show = WindowShow::Minimised;
    } else if (window.isMaximized() || window.isFullScreen()) {
        state.show = WindowShow::Maximised;
    } else {
        state.show = WindowShow::Normal;
        const Bounds bounds = QRect(window.pos(), window.size()) == m_placed
                                  ? m_stored
                                  : Bounds{window.x(), window.y(), window.width(), window.height()};
        state.width = bounds.width;
        state.height = bounds.height;
        state.top = bounds.top;
        state.left = bounds.left;
    }
}

} // namespace marovex
