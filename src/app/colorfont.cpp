#include "app/colorfont.h"

#include "app/inifile.h"
#include "base/textops.h"

#include <array>
#include <cstdio>
#include <limits>
#include <utility>

namespace marovex {
namespace {

struct NamedColor {
    std::string_view name;
    Color value;
};

using colors::systemColor;

constexpr NamedColor kColorNames[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clScrollBar", systemColor(0)},
    {"clBackground", systemColor(1)},
    {"clActiveCaption", systemColor(2)},
    {"clInactiveCaption", systemColor(3)},
    {"clMenu", systemColor(4)},
    {"clWindow", systemColor(5)},
    {"clWindowFrame", systemColor(6)},
    {"clMenuText", systemColor(7)},
    {"clWindowText", systemColor(8)},
    {"clCaptionText", systemColor(9)},
    {"clActiveBorder", systemColor(10)},
    {"clInactiveBorder", systemColor(11)},
    {"clAppWorkSpace", systemColor(12)},
    {"clHighlight", systemColor(13)},
    {"clHighlightText", systemColor(14)},
    {"clBtnFace", systemColor(15)},
    {"clBtnShadow", systemColor(16)},
    {"clGrayText", systemColor(17)},
    {"clBtnText", systemColor(18)},
    {"clInactiveCaptionText", systemColor(19)},
    {"clBtnHighlight", systemColor(20)},
    {"cl3DDkShadow", systemColor(21)},
    {"cl3DLight", systemColor(22)},
    {"clInfoText", systemColor(23)},
    {"clInfoBk", systemColor(24)},
    {"clHotLight", systemColor(26)},
    {"clGradientActiveCaption", systemColor(27)},
    {"clGradientInactiveCaption", systemColor(28)},
    {"clMenuHighlight", systemColor(29)},
    {"clMenuBar", systemColor(30)},
    {"clNone", colors::clNone},
    {"clDefault", colors::clDefault},
};

// The standard Windows colours of the system colour indexes, as RRGGBB.
constexpr std::array<std::uint32_t, 31> kStandardSystemRgb = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x0078D7, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0,
};

std::string quotedText(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Windows' MulDiv: a * b / c rounded half away from zero, in 64 bits.
std::int64_t mulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
    if (c == 0) return 0;
    const std::int64_t p = a * b;
    const bool negative = (p < 0) != (c < 0);
    const std::int64_t ap = p < 0 ? -p : p;
    const std::int64_t ac = c < 0 ? -c : c;
    const std::int64_t q = (ap + ac / 2) / ac;
    return negative ? -q : q;
}

std::int32_t fontNumber(std::string_view description, const std::string& token, const char* field) {
    if (auto v = parseInteger(token)) return *v;
    throw ConversionError(Message(
        msg::InvalidFont,
        {textValue(quotedText(description)),
         nested(token.empty()
                    ? Message(msg::FontFieldMissing, {textValue(field)})
                    : Message(msg::FontFieldNotANumber, {textValue(quotedText(token)), textValue(field)}))}));
}

} // namespace

bool isSystemColor(Color c) {
    return (static_cast<std::uint32_t>(c) & 0xFF000000u) == 0xFF000000u;
}

std::string colorToText(Color c) {
    for (const NamedColor& n : kColorNames)
        if (n.value == c) return std::string(n.name);
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(static_cast<std::uint32_t>(c)));
    return buf;
}

Color textToColor(std::string_view text) {
    for (const NamedColor& n : kColorNames)
        if (text::SameTextFolded(n.name, text)) return n.value;
    // "$" hexadecimal or decimal; the integer reader's "0x" form is taken as well.
    if (auto v = parseInteger(text)) return *v;
    throw ConversionError(Message(msg::InvalidColour, {textValue(quotedText(text))}));
}

Color standardSystemColor(int n) {
    if (n < 0 || n >= static_cast<int>(kStandardSystemRgb.size())) return colors::clBlack;
    const std::uint32_t rgb = kStandardSystemRgb[std::size_t(n)];
    return static_cast<Color>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
}

Color colorToRgb(Color c, const SystemColorLookup& lookup) {
    if (!isSystemColor(c)) return c;
    const int n = static_cast<int>(static_cast<std::uint32_t>(c) & 0xFFu);
    return lookup ? lookup(n) : standardSystemColor(n);
}

std::string colorToHex(Color c, const SystemColorLookup& lookup) {
    const std::uint32_t v = static_cast<std::uint32_t>(colorToRgb(c, lookup));
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X", v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
    return buf;
}

Color hexToColor(std::string_view hex) {
    bool valid = hex.size() >= 6;
    for (std::size_t i = 0; valid && i < 6; ++i) {
        const char c = hex[i];
        valid = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    if (!valid) throw ConversionError(Message(msg::InvalidHexColour, {textValue(quotedText(hex))}));
    const std::string text =
        "$00" + std::string(hex.substr(4, 2)) + std::string(hex.substr(2, 2)) + std::string(hex.substr(0, 2));
    return textToColor(text);
}

std::int32_t Font::size() const {
    if (pixelsPerInch == 0) return 0;
    return static_cast<std::int32_t>(-mulDiv(height, 72, pixelsPerInch));
}

void Font::setSize(std::int32_t points) {
    const std::int64_t h = -mulDiv(points, pixelsPerInch, 72);
    if (h < std::numeric_limits<std::int32_t>::min() || h > std::numeric_limits<std::int32_t>::max())
        throw ConversionError(Message(msg::InvalidFontSize, {textValue(std::to_string(points)),
                                                             textValue(std::to_string(pixelsPerInch))}));
    height = static_cast<std::int32_t>(h);
}

std::string fontToText(const Font& font) {
    return std::to_string(font.color) + "|" + std::to_string(font.height) + "|" + font.name + "|" +
           std::to_string(font.pitch) + "|" + std::to_string(font.pixelsPerInch) + "|" +
           std::to_string(font.size()) + "|" + std::to_string(font.style);
}

void textToFont(std::string_view description, Font& font) {
    if (description.empty()) return;
    std::string rest(description);
    std::string token;
    auto next = [&] {
        text::NextToken(rest, "|", token);
        return token;
    };
    font.color = fontNumber(description, next(), "Color");
    font.height = fontNumber(description, next(), "Height");
    font.name = next();
    const std::int32_t pitch = fontNumber(description, next(), "Pitch");
    if (pitch < 0 || pitch > 2)
        throw ConversionError(Message(
            msg::InvalidFont, {textValue(quotedText(description)),
                               nested(Message(msg::FontPitchInvalid, {textValue(quotedText(token))}))}));
    font.pitch = pitch;
    font.pixelsPerInch = fontNumber(description, next(), "PixelsPerInch");
    const std::int32_t size = fontNumber(description, next(), "Size");
    try {
        font.setSize(size);
    } catch (const ConversionError& e) {
        throw ConversionError(
            Message(msg::InvalidFont, {textValue(quotedText(description)), nested(e.message())}));
    }
    font.style = fontNumber(description, next(), "Style") & 0x0F;
}

} // namespace marovex
