#pragma once

#include "app/colorfont.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <string>
#include <string_view>

// Between the core's values (Windows-1251 texts, Windows colours, font descriptions) and Qt's.
namespace marovex::qtconvert {

QString fromCp1251(std::string_view bytes);
std::string toCp1251(const QString& text);

// A system colour shows as the standard plain colour of its number.
QColor toQColor(Color c);
Color fromQColor(const QColor& c);

QFont toQFont(const Font& font);
// The face, size and style of `qfont` over `base`, which keeps its colour, pitch and pixels per inch.
Font fromQFont(const QFont& qfont, Font base);

} // namespace marovex::qtconvert
