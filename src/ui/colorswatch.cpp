#include "ui/colorswatch.h"

#include "ui/qtconvert.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace marovex {

ColorSwatch::ColorSwatch(QWidget* parent) : QAbstractButton(parent), m_hover(qtconvert::toQColor(m_color)) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void ColorSwatch::setColor(Color color) {
    m_color = color;
    m_hover = qtconvert::toQColor(color);
    update();
}

void ColorSwatch::setHoverColor(const QColor& color) {
    m_hover = color;
    update();
}

QSize ColorSwatch::sizeHint() const {
    const int h = fontMetrics().height() + 8;
    return {h * 2, h};
}

void ColorSwatch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(underMouse() ? m_hover : qtconvert::toQColor(m_color));
    p.drawRect(frame);
    p.setPen(palette().color(QPalette::Light));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame.adjusted(1, 1, -1, -1));
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = frame.adjusted(3, 3, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}

} // namespace marovex
