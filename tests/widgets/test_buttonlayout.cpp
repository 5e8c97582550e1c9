#include <gtest/gtest.h>

#include "widgets/buttonlayout.h"

namespace {
const QSize kGlyph(18, 18);
const QSize kText(30, 13);
}  // namespace

TEST(ButtonLayout, FourLayoutsWithCentredPair) {
    const QRect wide(0, 0, 75, 25);
    auto r = CalcButtonLayout(wide, kGlyph, kText, TButtonLayout::blGlyphLeft, -1, 4);
    EXPECT_EQ(r.glyphPos, QPoint(12, 4));
    EXPECT_EQ(r.textRect, QRect(34, 6, 30, 13));
    r = CalcButtonLayout(wide, kGlyph, kText, TButtonLayout::blGlyphRight, -1, 4);
    EXPECT_EQ(r.glyphPos, QPoint(45, 4));
    EXPECT_EQ(r.textRect, QRect(11, 6, 30, 13));

    const QRect tall(0, 0, 60, 50);
    r = CalcButtonLayout(tall, kGlyph, kText, TButtonLayout::blGlyphTop, -1, 4);
    EXPECT_EQ(r.glyphPos, QPoint(21, 8));
    EXPECT_EQ(r.textRect, QRect(15, 30, 30, 13));
    r = CalcButtonLayout(tall, kGlyph, kText, TButtonLayout::blGlyphBottom, -1, 4);
    EXPECT_EQ(r.glyphPos, QPoint(21, 24));
    EXPECT_EQ(r.textRect, QRect(15, 7, 30, 13));
}

TEST(ButtonLayout, MarginAndSpacingCases) {
    const QRect wide(0, 0, 75, 25);
    // Both free: the room is split in three.
    auto r = CalcButtonLayout(wide, kGlyph, kText, TButtonLayout::blGlyphLeft, -1, -1);
    EXPECT_EQ(r.glyphPos.x(), 9);
    EXPECT_EQ(r.textRect.x(), 36);
    // Margin given, spacing spreads the rest.
    r = CalcButtonLayout(wide, kGlyph, kText, TButtonLayout::blGlyphLeft, 5, -1);
    EXPECT_EQ(r.glyphPos.x(), 5);
    EXPECT_EQ(r.textRect.x(), 34);
    // Both given: used as they are.
    r = CalcButtonLayout(wide, kGlyph, kText, TButtonLayout::blGlyphLeft, 3, 2);
    EXPECT_EQ(r.glyphPos.x(), 3);
    EXPECT_EQ(r.textRect.x(), 23);
    r = CalcButtonLayout(wide, kGlyph, kText, TButtonLayout::blGlyphRight, 3, 2);
    EXPECT_EQ(r.glyphPos.x(), 54);
    EXPECT_EQ(r.textRect.x(), 22);
    // Both free, bottom layout.
    r = CalcButtonLayout(QRect(0, 0, 60, 50), kGlyph, kText, TButtonLayout::blGlyphBottom, -1, -1);
    EXPECT_EQ(r.glyphPos.y(), 50 - 6 - 18);
    EXPECT_EQ(r.textRect.y(), 26 - 6 - 13);
}

TEST(ButtonLayout, CaptionOnlyIsCentredAndSpacingDropped) {
    // The run buttons: no glyph, margin -1, spacing 4 (which becomes 0).
    auto r = CalcButtonLayout(QRect(0, 0, 75, 25), QSize(0, 0), kText, TButtonLayout::blGlyphLeft,
                              -1, 4);
    EXPECT_EQ(r.textRect, QRect(23, 6, 30, 13));
    // Glyph only: spacing dropped as well.
    r = CalcButtonLayout(QRect(0, 0, 75, 25), kGlyph, QSize(0, 0), TButtonLayout::blGlyphLeft, -1,
                         4);
    EXPECT_EQ(r.glyphPos, QPoint(29, 4));
    // Text wider than the room: the division truncates toward zero (-9 / 2 = -4).
    r = CalcButtonLayout(QRect(0, 0, 20, 25), QSize(0, 0), kText, TButtonLayout::blGlyphLeft, -1,
                         4);
    EXPECT_EQ(r.textRect.x(), -4);
    // Odd room across the axis rounds up.
    r = CalcButtonLayout(QRect(0, 0, 75, 24), kGlyph, QSize(0, 0), TButtonLayout::blGlyphLeft, -1,
                         4);
    EXPECT_EQ(r.glyphPos.y(), 3);
}

TEST(ButtonLayout, OffsetByClientCorner) {
    auto r =
        CalcButtonLayout(QRect(3, 2, 75, 25), kGlyph, kText, TButtonLayout::blGlyphLeft, -1, 4);
    EXPECT_EQ(r.glyphPos, QPoint(15, 6));
    EXPECT_EQ(r.textRect, QRect(37, 8, 30, 13));
}
