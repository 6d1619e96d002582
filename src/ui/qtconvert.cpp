#include "ui/qtconvert.h"

#include <cmath>

namespace marovex::qtconvert {

QColor toQColor(Color c) {
    const auto v = static_cast<std::uint32_t>(colorToRgb(c));
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

Color fromQColor(const QColor& c) {
    const QColor rgb = c.toRgb();
    return Color(rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16));
}

QFont toQFont(const Font& font) {
    QFont q(QString::fromStdString(font.name));
    const int points = font.size();
    if (points > 0)
        q.setPointSize(points);
    else if (font.height < 0)
        q.setPixelSize(-font.height);
    q.setBold(font.style & fontstyle::bold);
    q.setItalic(font.style & fontstyle::italic);
    q.setUnderline(font.style & fontstyle::underline);
    q.setStrikeOut(font.style & fontstyle::strikeout);
    if (font.pitch == 2) q.setStyleHint(QFont::TypeWriter);
    return q;
}

Font fromQFont(const QFont& qfont, Font base) {
    base.name = qfont.family().toStdString();
    if (qfont.pointSizeF() > 0)
        base.setSize(std::int32_t(std::lround(qfont.pointSizeF())));
    else if (qfont.pixelSize() > 0)
        base.height = -qfont.pixelSize();
    base.style = (qfont.bold() ? fontstyle::bold : 0) | (qfont.italic() ? fontstyle::italic : 0) |
                 (qfont.underline() ? fontstyle::underline : 0) |
                 (qfont.strikeOut() ? fontstyle::strikeout : 0);
    return base;
}

} // namespace marovex::qtconvert
