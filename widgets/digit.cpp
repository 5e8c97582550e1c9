#include "widgets/digit.h"

#include <QPaintEvent>
#include <QPainter>

#include "widgets/digitgeometry.h"

TDigit::TDigit(QWidget* parent) : QWidget(parent) {
    // The digit paints its whole rectangle: nothing behind it needs erasing.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(16, 32);
    setAccessibleName(QStringLiteral("digit"));
}

void TDigit::RepaintNow() {
    // The clock sets digits every 10 ms; they must show the new value before the setter returns.
    if (isVisible()) repaint();
}

void TDigit::SetValue(std::int32_t v) {
    if (v == value_) return;
    bool overflow = false;
    if (v >= 0 && v <= 9) {
        value_ = v;
    } else {
        value_ = 0;
        overflow = true;
    }
    if (overflow && OnOverflow) OnOverflow(this);
    mask_ = SegmentTable[std::size_t(value_)];
    RepaintNow();
}

void TDigit::SetValueBinary(std::uint8_t m) {
    if (m == mask_) return;
    mask_ = m;
    RepaintNow();
}

void TDigit::SetColorOn(TColor c) {
    if (c == colorOn_) return;
    colorOn_ = c;
    RepaintNow();
}

void TDigit::SetColorOff(TColor c) {
    if (c == colorOff_) return;
    colorOff_ = c;
    RepaintNow();
}

void TDigit::SetColor(TColor c) {
    if (c == color_) return;
    color_ = c;
    update();
}

void TDigit::SetThickness(std::int32_t t) {
    if (t > width() / 2 || t > height() / 2) return;
    thickness_ = t;
    update();
}

void TDigit::SetSeparation(std::int32_t s) {
    separation_ = s;
    update();
}

void TDigit::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QColor back = ToQColor(color_);
    p.fillRect(event->rect(), back);
    p.setPen(QPen(back, 1));
    const QColor on = ToQColor(colorOn_);
    const QColor off = ToQColor(colorOff_);
    const auto segments = DigitSegments(width(), height(), thickness_, separation_);
    for (int i = 0; i < 8; ++i) {
        p.setBrush((mask_ >> i) & 1 ? on : off);
        p.drawPolygon(segments[std::size_t(i)]);
    }
}
