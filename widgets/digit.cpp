#include "widgets/digit.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QtMath>
#include <algorithm>
#include <vector>

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

namespace {

// Everything a digit's picture depends on.
struct FaceKey {
    int width, height, thickness, separation;
    std::uint8_t mask;
    TColor on, off, back;
    qreal dpr;
    bool operator==(const FaceKey&) const = default;
};

// Draws the figure: the background, then every segment filled lit or unlit and outlined in the
// background colour.
void DrawFace(QPainter& p, const FaceKey& k) {
    const QColor back = ToQColor(k.back);
    p.fillRect(QRect(0, 0, k.width, k.height), back);
    p.setPen(QPen(back, 1));
    const QColor on = ToQColor(k.on);
    const QColor off = ToQColor(k.off);
    const auto segments = DigitSegments(k.width, k.height, k.thickness, k.separation);
    for (int i = 0; i < 8; ++i) {
        p.setBrush((k.mask >> i) & 1 ? on : off);
        p.drawPolygon(segments[std::size_t(i)]);
    }
}

// Rasterising eight outlined polygons costs far more than copying the finished picture, and the
// clock repaints a digit every 10 ms with one of a few dozen faces (ten figures in a lit or a dim
// colour). The faces are kept, most recent first, shared by all digits (GUI thread only).
const QPixmap& Face(const FaceKey& key) {
    static std::vector<std::pair<FaceKey, QPixmap>> faces;
    constexpr std::size_t kMaxFaces = 64;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (faces[i].first == key) {
            if (i != 0)
                std::rotate(faces.begin(), faces.begin() + std::ptrdiff_t(i),
                            faces.begin() + std::ptrdiff_t(i) + 1);
            return faces.front().second;
        }
    }
    QPixmap pixmap(QSize(qCeil(key.width * key.dpr), qCeil(key.height * key.dpr)));
    pixmap.setDevicePixelRatio(key.dpr);
    pixmap.fill(ToQColor(key.back));
    {
        QPainter p(&pixmap);
        DrawFace(p, key);
    }
    if (faces.size() == kMaxFaces) faces.pop_back();
    faces.insert(faces.begin(), {key, std::move(pixmap)});
    return faces.front().second;
}

}  // namespace

void TDigit::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The painter is clipped to the region being repainted, as the direct drawing was.
    p.drawPixmap(0, 0,
                 Face(FaceKey{width(), height(), thickness_, separation_, mask_, colorOn_,
                              colorOff_, color_, devicePixelRatioF()}));
}
