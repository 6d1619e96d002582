#pragma once

#include "base/message.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

// Colours and fonts as the settings file writes them: colour texts ("clWhite", "$00750000"), hex colours
// of the settings dialog ("RRGGBB") and font descriptions
// ("Color|Height|Name|Pitch|PixelsPerInch|Size|Style").
namespace marovex {

// A setting that does not convert. The message (UTF-8) names the text that failed.
class ConversionError : public MessageError {
public:
    using MessageError::MessageError;
};

// $00BBGGRR for a plain colour (red in the low byte); $FF000000 + n for Windows system colour n.
using Color = std::int32_t;

namespace colors {
constexpr Color systemColor(int n) {
    return static_cast<Color>(0xFF000000u + static_cast<std::uint32_t>(n));
}
inline constexpr Color clBlack = 0x000000;
inline constexpr Color clMaroon = 0x000080;
inline constexpr Color clGreen = 0x008000;
inline constexpr Color clOlive = 0x008080;
inline constexpr Color clNavy = 0x800000;
inline constexpr Color clPurple = 0x800080;
inline constexpr Color clTeal = 0x808000;
inline constexpr Color clGray = 0x808080;
inline constexpr Color clSilver = 0xC0C0C0;
inline constexpr Color clRed = 0x0000FF;
inline constexpr Color clLime = 0x00FF00;
inline constexpr Color clYellow = 0x00FFFF;
inline constexpr Color clBlue = 0xFF0000;
inline constexpr Color clFuchsia = 0xFF00FF;
inline constexpr Color clAqua = 0xFFFF00;
inline constexpr Color clWhite = 0xFFFFFF;
inline constexpr Color clWindow = systemColor(5);
inline constexpr Color clWindowText = systemColor(8);
inline constexpr Color clNone = 0x1FFFFFFF;
inline constexpr Color clDefault = 0x20000000;
} // namespace colors

bool isSystemColor(Color c);

// The colour's name when it has one, otherwise "$" and eight upper-case hexadecimal digits.
std::string colorToText(Color c);
// A name (ignoring case) or an integer in decimal or after "$"; ConversionError otherwise.
Color textToColor(std::string_view text);

// The current plain colour of system colour n (0 to 30). The core answers with the standard Windows
// colours; the window code may give the desktop's own.
using SystemColorLookup = std::function<Color(int n)>;
Color standardSystemColor(int n);
// A system colour replaced by its plain colour; other colours unchanged.
Color colorToRgb(Color c, const SystemColorLookup& lookup = {});

// Six upper-case hexadecimal digits RRGGBB, red first.
std::string colorToHex(Color c, const SystemColorLookup& lookup = {});
// The first six characters RRGGBB as a colour; ConversionError for fewer than six or a non-digit.
Color hexToColor(std::string_view hex);

namespace fontstyle {
inline constexpr int bold = 1;
inline constexpr int italic = 2;
inline constexpr int underline = 4;
inline constexpr int strikeout = 8;
} // namespace fontstyle

// A font in the core: the properties a font description holds; the name is UTF-8. Height and size are one
// property seen two ways: a negative height is the character height in pixels, size is in points at
// pixelsPerInch. The defaults are the grid's built-in font on a 96 pixels-per-inch screen.
struct Font {
    Color color = colors::clWindowText;
    std::int32_t height = -11;
    std::string name = "MS Sans Serif";
    int pitch = 0; // 0 default, 1 variable, 2 fixed
    std::int32_t pixelsPerInch = 96;
    int style = 0; // fontstyle bits

    std::int32_t size() const;
    // Height := -(points * pixelsPerInch / 72), rounded. ConversionError when out of range.
    void setSize(std::int32_t points);

    bool operator==(const Font&) const = default;
};

// The seven fields, "|" between them, integers in decimal.
std::string fontToText(const Font& font);
// An empty text leaves the font unchanged. Fields are set in order, Size after PixelsPerInch (so it
// decides the height); a field that should be a number and is not raises ConversionError, the fields
// before it keeping their new values. Runs of "|" count as one separator.
void textToFont(std::string_view text, Font& font);

} // namespace marovex
