#pragma once

#include "app/colorfont.h"

#include <QAbstractButton>
#include <QColor>

namespace marovex {

// A flat button that shows a colour as its face, and its hover colour while the mouse is over it. It
// keeps the colour as the settings file holds it, so a system colour stays a system colour.
class ColorSwatch final : public QAbstractButton {
    Q_OBJECT
public:
    explicit ColorSwatch(QWidget* parent = nullptr);

    Color color() const { return m_color; }
    // The face colour; the hover colour follows it.
    void setColor(Color color);
    QColor hoverColor() const { return m_hover; }
    void setHoverColor(const QColor& color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Color m_color = colors::clBlack;
    QColor m_hover;
};

} // namespace marovex
