#pragma once

#include "app/colorfont.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <string>
#include <string_view>

// Between the core's values (Windows colours, font descriptions) and Qt's. Texts need no conversion: the
// core's are UTF-8, as QString::fromStdString and toStdString take them.
namespace marovex::qtconvert {

// A system colour shows as the standard plain colour of its number.
QColor toQColor(Color c);
Color fromQColor(const QColor& c);

QFont toQFont(const Font& font);
// The face, size and style of `qfont` over `base`, which keeps its colour, pitch and pixels per inch.
Font fromQFont(const QFont& qfont, Font base);

} // namespace marovex::qtconvert
