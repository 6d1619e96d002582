#include "app/colorfont.h"

#include <gtest/gtest.h>

using namespace marovex;

TEST(ColorText, NamesAndHexForms) {
    EXPECT_EQ(colorToText(0x00FFFFFF), "clWhite");
    EXPECT_EQ(colorToText(0x00750000), "$00750000");
    EXPECT_EQ(colorToText(0x00B1D6B8), "$00B1D6B8");
    EXPECT_EQ(colorToText(colors::systemColor(5)), "clWindow");
    EXPECT_EQ(colorToText(colors::systemColor(8)), "clWindowText");
    EXPECT_EQ(colorToText(colors::systemColor(25)), "$FF000019"); // no name for system colour 25
    EXPECT_EQ(colorToText(colors::systemColor(30)), "clMenuBar");
    EXPECT_EQ(colorToText(0x1FFFFFFF), "clNone");
    EXPECT_EQ(colorToText(0x20000000), "clDefault");
    EXPECT_EQ(colorToText(-1), "$FFFFFFFF");
    EXPECT_EQ(colorToText(0x00F0CAA6), "clSkyBlue");

    EXPECT_EQ(textToColor("CLWINDOW"), colors::clWindow);
    EXPECT_EQ(textToColor("clwhite"), colors::clWhite);
    EXPECT_EQ(textToColor("$00750000"), 0x750000);
    EXPECT_EQ(textToColor("255"), 255);
    EXPECT_EQ(textToColor("-16777208"), colors::clWindowText);
    EXPECT_EQ(textToColor("cl3DDkShadow"), colors::systemColor(21));
    EXPECT_EQ(textToColor("clHotLight"), colors::systemColor(26));

    // Every named colour reads back to itself.
    for (Color c : {0x000080, 0x008000, 0x00C0DCC0, 0x00A4A0A0, colors::systemColor(0),
                    colors::systemColor(24), colors::systemColor(29), colors::clNone, colors::clDefault})
        EXPECT_EQ(textToColor(colorToText(c)), c) << colorToText(c);
}

TEST(ColorText, BadTextsNameTheText) {
    for (const char* bad : {"", "clWhit", "blue", "$", "$XYZ", "12 "}) {
        try {
            textToColor(bad);
            ADD_FAILURE() << "no error for " << bad;
        } catch (const ConversionError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + std::string(bad) + "\""), std::string::npos)
                << e.what();
        }
    }
    // A Cyrillic text is named as it is.
    try {
        textToColor("красный");
        ADD_FAILURE();
    } catch (const ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("\"красный\""), std::string::npos) << e.what();
    }
}

TEST(HexColor, ToAndFromRRGGBB) {
    EXPECT_EQ(colorToHex(0x00750000), "000075");
    EXPECT_EQ(colorToHex(colors::clYellow), "FFFF00");
    EXPECT_EQ(colorToHex(0x00B1D6B8), "B8D6B1");
    EXPECT_EQ(colorToHex(colors::clWindow), "FFFFFF"); // the standard window colour
    EXPECT_EQ(colorToHex(colors::clWindow, [](int n) { return n == 5 ? Color(0x123456) : Color(0); }),
              "563412");

    EXPECT_EQ(hexToColor("0000FF"), colors::clBlue);
    EXPECT_EQ(colorToText(hexToColor("0000FF")), "clBlue");
    EXPECT_EQ(hexToColor("b8d6b1"), 0x00B1D6B8);
    EXPECT_EQ(hexToColor("FFFF00 and more"), colors::clYellow); // only the first six characters count
    for (Color c : {0x000000, 0x00750000, 0x00123456, 0x00FFFFFF})
        EXPECT_EQ(hexToColor(colorToHex(c)), c);
    for (const char* bad : {"", "00007", "GG0000", "00 000", "-00000"}) {
        try {
            hexToColor(bad);
            ADD_FAILURE() << "no error for " << bad;
        } catch (const ConversionError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + std::string(bad) + "\""), std::string::npos)
                << e.what();
        }
    }
}

TEST(FontDescription, WritesTheSevenFields) {
    const Font builtIn;
    EXPECT_EQ(fontToText(builtIn), "-16777208|-11|MS Sans Serif|0|96|8|0");
    Font f;
    f.name = "Times New Roman";
    f.color = colors::clRed;
    f.pixelsPerInch = 120;
    f.setSize(10);
    f.style = fontstyle::bold | fontstyle::underline;
    f.pitch = 2;
    EXPECT_EQ(f.height, -17); // 10 * 120 / 72 = 16.67
    EXPECT_EQ(fontToText(f), "255|-17|Times New Roman|2|120|10|5");
    Font back;
    textToFont(fontToText(f), back);
    EXPECT_EQ(back, f);
}

TEST(FontDescription, SizeDecidesTheHeight) {
    Font f;
    textToFont("-16777208|-11|Arial|0|96|12|1", f);
    EXPECT_EQ(f.name, "Arial");
    EXPECT_EQ(f.size(), 12);
    EXPECT_EQ(f.height, -16);
    EXPECT_EQ(f.style, fontstyle::bold);
    EXPECT_EQ(f.color, colors::clWindowText);

    textToFont("0|-99|Courier New|2|72|9|0", f); // 9 points at 72 dpi: 9 pixels, whatever Height said
    EXPECT_EQ(f.height, -9);
    EXPECT_EQ(f.pitch, 2);
    textToFont("0|-1|X|0|96|7|0", f); // 7 * 96 / 72 = 9.33
    EXPECT_EQ(f.height, -9);
    textToFont("0|-1|X|0|96|11|0", f); // 14.67 rounds to 15
    EXPECT_EQ(f.height, -15);
    textToFont("0|-1|X|0|0|11|0", f); // no pixels per inch: no height, and no division by zero
    EXPECT_EQ(f.height, 0);
    EXPECT_EQ(f.size(), 0);
}

TEST(FontDescription, EmptyTextAndEmptyFields) {
    Font f;
    f.name = "Keep";
    textToFont("", f);
    EXPECT_EQ(f.name, "Keep");

    // An empty field is skipped: the later fields move forward by one, so an empty face name takes the
    // pitch, and the description fails further on.
    Font g;
    try {
        textToFont("255|-12||0|96|10|0", g);
        ADD_FAILURE();
    } catch (const ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("255|-12||0|96|10|0"), std::string::npos) << e.what();
    }
    EXPECT_EQ(g.color, 255);
    EXPECT_EQ(g.height, -12);
    EXPECT_EQ(g.name, "0");
    Font h;
    textToFont("|255||-12|Arial|0|96|10|0|", h); // leading, doubled and trailing separators
    EXPECT_EQ(h.name, "Arial");
    EXPECT_EQ(h.height, -13);
}

TEST(FontDescription, BadFieldsRaiseAndKeepTheEarlierOnes) {
    Font f;
    try {
        textToFont("255|-13|Verdana|0|abc|10|0", f);
        ADD_FAILURE();
    } catch (const ConversionError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("\"abc\""), std::string::npos) << m;
        EXPECT_NE(m.find("PixelsPerInch"), std::string::npos) << m;
    }
    EXPECT_EQ(f.color, 255);
    EXPECT_EQ(f.height, -13);
    EXPECT_EQ(f.name, "Verdana");
    EXPECT_EQ(f.pixelsPerInch, 96); // not set

    Font g;
    EXPECT_THROW(textToFont("Arial", g), ConversionError);
    EXPECT_THROW(textToFont("0|-11|Arial|7|96|8|0", g), ConversionError);          // no such pitch
    EXPECT_THROW(textToFont("0|-11|Arial|0|96|2000000000|0", g), ConversionError); // height out of range
    EXPECT_THROW(textToFont("0|-11|Arial|0|96|8", g), ConversionError);            // Style missing
}
