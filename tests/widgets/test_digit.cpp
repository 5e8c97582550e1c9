#include <gtest/gtest.h>
#include <QPainter>

#include "tests/support/testenv.h"
#include "widgets/digit.h"
#include "widgets/digitgeometry.h"

namespace {
QPolygon P(std::initializer_list<QPoint> pts) {
    return QPolygon(pts);
}
}  // namespace

TEST(DigitGeometry, WorkedExample45x89) {
    const auto s = DigitSegments(45, 89, 5, 1);
    EXPECT_EQ(s[0], P({{6, 5}, {11, 0}, {33, 0}, {38, 5}, {33, 10}, {11, 10}}));
    EXPECT_EQ(s[1], P({{6, 44}, {11, 39}, {33, 39}, {38, 44}, {33, 49}, {11, 49}}));
    EXPECT_EQ(s[2], P({{6, 83}, {11, 78}, {33, 78}, {38, 83}, {33, 88}, {11, 88}}));
    EXPECT_EQ(s[3], P({{0, 11}, {5, 6}, {10, 11}, {10, 38}, {5, 43}, {0, 38}}));
    EXPECT_EQ(s[4], P({{34, 11}, {39, 6}, {44, 11}, {44, 38}, {39, 43}, {34, 38}}));
    EXPECT_EQ(s[5], P({{0, 50}, {5, 45}, {10, 50}, {10, 77}, {5, 82}, {0, 77}}));
    EXPECT_EQ(s[6], P({{34, 50}, {39, 45}, {44, 50}, {44, 77}, {39, 82}, {34, 77}}));
    EXPECT_EQ(s[7], P({{44, 88}, {35, 88}, {44, 79}}));
}

TEST(Digit, CreationValues) {
    TDigit d;
    EXPECT_EQ(d.Value(), 0);
    EXPECT_EQ(d.ValueBinary(), 125);
    EXPECT_EQ(d.ColorOn(), clYellow);
    EXPECT_EQ(d.ColorOff(), clBlack);
    EXPECT_EQ(d.Color(), clBlack);
    EXPECT_EQ(d.Thickness(), 2);
    EXPECT_EQ(d.Separation(), 1);
    EXPECT_EQ(d.size(), QSize(16, 32));
}

TEST(Digit, OverflowRaisedOnEveryOutOfRangeSet) {
    TDigit d;
    int overflows = 0;
    d.OnOverflow = [&](TDigit* sender) {
        EXPECT_EQ(sender, &d);
        ++overflows;
    };
    d.SetValue(5);
    d.SetValue(12);
    EXPECT_EQ(d.Value(), 0);
    EXPECT_EQ(d.ValueBinary(), 0x7D);
    d.SetValue(-1);
    EXPECT_EQ(overflows, 2);
    d.SetValue(0);  // equal to the stored value: nothing
    EXPECT_EQ(overflows, 2);
}

TEST(Digit, ValueAndValueBinaryAreIndependent) {
    TDigit d;
    d.SetValue(3);
    d.SetValueBinary(0x80);
    d.SetValue(3);  // same value: the custom pattern stays
    EXPECT_EQ(d.ValueBinary(), 0x80);
    d.SetValue(4);
    EXPECT_EQ(d.ValueBinary(), 0x5A);
}

TEST(Digit, ThicknessRefusedBeyondHalfTheSize) {
    TDigit d;
    d.SetThickness(9);
    EXPECT_EQ(d.Thickness(), 2);
    d.SetThickness(8);
    EXPECT_EQ(d.Thickness(), 8);
    d.SetThickness(0);  // small values are not refused
    EXPECT_EQ(d.Thickness(), 0);
}

TEST(Digit, RenderedSegmentsOfSeven) {
    TDigit d;
    d.resize(45, 89);
    d.SetThickness(5);
    d.SetColorOff(RGBColor(0x40, 0x40, 0x40));
    d.SetValue(7);
    const QImage img = Render(&d);
    const QColor on(255, 255, 0), off(0x40, 0x40, 0x40), back(0, 0, 0);
    EXPECT_EQ(img.pixelColor(22, 5), on);     // top
    EXPECT_EQ(img.pixelColor(39, 25), on);    // upper-right
    EXPECT_EQ(img.pixelColor(39, 64), on);    // lower-right
    EXPECT_EQ(img.pixelColor(22, 44), off);   // middle
    EXPECT_EQ(img.pixelColor(5, 25), off);    // upper-left
    EXPECT_EQ(img.pixelColor(41, 86), off);   // point
    EXPECT_EQ(img.pixelColor(22, 25), back);  // inside the figure
    EXPECT_EQ(img.pixelColor(11, 0), back);   // outline in the background colour
    SaveShot(img, "digit7");
}

TEST(Digit, AllOffWithColorOffEqualToBackgroundShowsNothing) {
    TDigit d;
    d.resize(45, 89);
    d.SetThickness(5);
    d.SetValueBinary(0);
    const QImage img = Render(&d);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ASSERT_EQ(img.pixelColor(x, y), QColor(0, 0, 0));
}

namespace {
// The figure drawn straight from the segment polygons, as a reference for what a digit shows.
QImage DrawnDirectly(int w, int h, int t, int s, std::uint8_t mask, QColor on, QColor off,
                     QColor back) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(back);
    QPainter p(&img);
    p.setPen(QPen(back, 1));
    const auto segments = DigitSegments(w, h, t, s);
    for (int i = 0; i < 8; ++i) {
        p.setBrush((mask >> i) & 1 ? on : off);
        p.drawPolygon(segments[std::size_t(i)]);
    }
    return img;
}
}  // namespace

TEST(Digit, EveryFigureAndColourShowsExactlyTheSegmentDrawing) {
    // Pictures of figures are kept for reuse between paints: a changed value, colour, size or
    // thickness must never show a kept picture of another state.
    TDigit a, b;
    a.resize(45, 89);
    b.resize(45, 89);
    a.SetThickness(5);
    b.SetThickness(5);
    const QColor yellow(255, 255, 0), dim(0x40, 0x40, 0x40), black(0, 0, 0), lime(0, 255, 0);
    for (int v = 0; v < 10; ++v) {
        a.SetValue(v);
        b.SetValue(v);
        b.SetColorOn(v % 2 ? RGBColor(0, 255, 0) : RGBColor(0x40, 0x40, 0x40));
        ASSERT_EQ(Render(&a).convertToFormat(QImage::Format_RGB32),
                  DrawnDirectly(45, 89, 5, 1, SegmentTable[std::size_t(v)], yellow, black, black))
            << v;
        ASSERT_EQ(Render(&b).convertToFormat(QImage::Format_RGB32),
                  DrawnDirectly(45, 89, 5, 1, SegmentTable[std::size_t(v)], v % 2 ? lime : dim,
                                black, black))
            << v;
    }
    a.SetValueBinary(0xFF);
    a.SetColorOff(RGBColor(0x40, 0x40, 0x40));
    a.SetColor(RGBColor(0, 0, 255));
    EXPECT_EQ(Render(&a).convertToFormat(QImage::Format_RGB32),
              DrawnDirectly(45, 89, 5, 1, 0xFF, yellow, dim, QColor(0, 0, 255)));
    a.SetThickness(3);
    a.SetSeparation(2);
    a.resize(30, 60);
    EXPECT_EQ(Render(&a).convertToFormat(QImage::Format_RGB32),
              DrawnDirectly(30, 60, 3, 2, 0xFF, yellow, dim, QColor(0, 0, 255)));
}
