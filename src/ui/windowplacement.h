#pragma once

#include <QRect>

class QWidget;

namespace marovex {

struct WindowState;

// The main window's bounds and show state between runs. Bounds made on another screen or at another scale
// are fitted onto this one, but the settings keep them as they were until the user moves or resizes the
// window.
class WindowPlacement {
public:
    // Absent bounds take `fallback`'s.
    void restore(QWidget& window, const WindowState& state, const QRect& fallback);
    // Once the window manager's frame is known (the window's first exposure): a frame that reaches past the
    // screen brings a window the user has not moved yet within it.
    void fitFrame(QWidget& window);
    void save(const QWidget& window, WindowState& state) const;

private:
    void place(QWidget& window, const QRect& bounds, const QMargins& frame);

    // As `mvx.ini` holds them (any int, so no QRect), and as the window was placed from them.
    struct Bounds {
        int left = 0, top = 0, width = 0, height = 0;
    } m_stored;
    QRect m_placed;
};

} // namespace marovex
