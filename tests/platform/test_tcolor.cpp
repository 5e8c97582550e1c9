#include <gtest/gtest.h>

#include "platform/tcolor.h"

TEST(ColorText, IdentifiersAndHex) {
    EXPECT_EQ(ColorToString(clBlack), "clBlack");
    EXPECT_EQ(ColorToString(clBtnFace), "clBtnFace");
    EXPECT_EQ(ColorToString(clNone), "clNone");
    EXPECT_EQ(ColorToString(RGBColor(0x12, 0x34, 0xAB)), "$00AB3412");
    EXPECT_EQ(ColorToString(TColor(0xFF000063u)), "$FF000063");
}

TEST(ColorText, ReadingAcceptsAnyCaseDecimalAndHex) {
    EXPECT_EQ(StringToColor("CLRED"), clRed);
    EXPECT_EQ(StringToColor("clbtnface"), clBtnFace);
    EXPECT_EQ(StringToColor("255"), clRed);
    EXPECT_EQ(StringToColor("$00FF0000"), clBlue);
    EXPECT_EQ(StringToColor("$ff00000f"), clBtnFace);
    EXPECT_EQ(StringToColor("-16777201"), clBtnFace);
    EXPECT_FALSE(StringToColor("red").has_value());
    EXPECT_FALSE(StringToColor("$").has_value());
    EXPECT_FALSE(StringToColor("").has_value());
}

TEST(ColorText, RoundTripsEveryIdentifiedAndPlainColour) {
    for (TColor c : {clBlack, clLime, clYellow, clWindowFrame, cl3DLight, clDefault, clMenuBar,
                     RGBColor(1, 2, 3)})
        EXPECT_EQ(StringToColor(ColorToString(c)), c);
}

TEST(Colors, ScreenColoursOfNamedAndSystemColours) {
    EXPECT_EQ(ToQColor(clYellow), QColor(255, 255, 0));
    EXPECT_EQ(ToQColor(RGBColor(0x40, 0x40, 0x40)), QColor(0x40, 0x40, 0x40));
    EXPECT_EQ(ToQColor(clBtnShadow), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(ToQColor(clWindowFrame), QColor(0, 0, 0));
    EXPECT_EQ(FromQColor(QColor(0, 255, 0)), clLime);
}
