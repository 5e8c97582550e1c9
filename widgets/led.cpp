#include "widgets/led.h"

#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <array>

#include "platform/guard.h"

namespace {

constexpr int kLedSize = 16;

using LedImage = std::array<std::array<std::uint32_t, kLedSize>, kLedSize>;
// [shape][state: 0 dark, 1 lit]
using LedImages = std::array<std::array<LedImage, 2>, 2>;

// The images are written as text ("." for index 0) and turned into index tables at compile time.
using PatternText = std::array<const char*, kLedSize>;

constexpr LedImage MakeImage(const PatternText& rows) {
    LedImage img{};
    for (int y = 0; y < kLedSize; ++y)
        for (int x = 0; x < kLedSize; ++x) {
            const char c = rows[std::size_t(y)][x];
            img[std::size_t(y)][std::size_t(x)] = c == '.' ? 0u : std::uint32_t(c - '0');
        }
    return img;
}

constexpr PatternText kCircleDark{{
    ".....222222.....",
    "...2233333322...",
    "..233333333331..",
    ".23333333333331.",
    ".23334443333331.",
    "2333443333333331",
    "2333433333333331",
    "2333433333333331",
    "2333333333333331",
    "2333333333333331",
    "2333333333333331",
    ".23333333333331.",
    ".23333333333331.",
    "..133333333331..",
    "...1133333311...",
    ".....111111.....",
}};
constexpr PatternText kCircleLit{{
    ".....222222.....",
    "...2234444422...",
    "..234455544441..",
    ".23455544444441.",
    ".24566644444441.",
    "2345664444444431",
    "2455644444444431",
    "2454444444444431",
    "2454444444444431",
    "2444444444444331",
    "2444444444444331",
    ".24444444444331.",
    ".24444444443331.",
    "..144444433331..",
    "...1133333311...",
    ".....111111.....",
}};
constexpr PatternText kRectDark{{
    "................",
    "................",
    "................",
    "2222222222222222",
    "2333333333333331",
    "2344443333333331",
    "2344333333333331",
    "2333333333333331",
    "2333333333333331",
    "2333333333333331",
    "2333333333333331",
    "2333333333333331",
    "2111111111111111",
    "................",
    "................",
    "................",
}};
constexpr PatternText kRectLit{{
    "................",
    "................",
    "................",
    "2222222222222222",
    "2444444444444441",
    "2455555555555431",
    "2456554444444431",
    "2455544444444431",
    "2455444444444431",
    "2454444444444431",
    "2444444444444431",
    "2433333333333331",
    "2111111111111111",
    "................",
    "................",
    "................",
}};

constexpr LedImages kLedPattern{{
    {{MakeImage(kCircleDark), MakeImage(kCircleLit)}},
    {{MakeImage(kRectDark), MakeImage(kRectLit)}},
}};

// [kind][index - 1]
constexpr std::array<std::array<TColor, 6>, 7> kLedPalette{{
    {{clWhite, clGray, clBlack, RGBColor(0xFF, 0x00, 0x00), RGBColor(0xFF, 0x00, 0xFF), clWhite}},
    {{clWhite, clGray, clBlack, RGBColor(0x00, 0xFF, 0x00), RGBColor(0xFF, 0xFF, 0x00), clWhite}},
    {{clWhite, clGray, clBlack, RGBColor(0xFF, 0xFF, 0x00), RGBColor(0xFF, 0xFF, 0xFF), clWhite}},
    {{clWhite, clGray, clBlack, RGBColor(0x00, 0x80, 0x80), RGBColor(0x00, 0xFF, 0xFF), clWhite}},
    {{clWhite, clGray, clBlack, RGBColor(0xFF, 0x00, 0xFF), RGBColor(0xFF, 0xFF, 0xFF), clWhite}},
    {{clWhite, clGray, clBlack, RGBColor(0x00, 0x00, 0xFF), RGBColor(0x00, 0xFF, 0xFF), clWhite}},
    {{clWhite, clGray, clBlack, RGBColor(0x80, 0x80, 0x80), RGBColor(0xC0, 0xC0, 0xC0), clWhite}},
}};

}  // namespace

TLed::TLed(QWidget* parent) : QWidget(parent) {
    // No background of our own: index 0 pixels must show whatever the parent painted there.
    setAutoFillBackground(false);
    resize(kLedSize, kLedSize);
    setAccessibleName(QStringLiteral("LED"));
}

void TLed::RepaintNow() {
    // The lamp shows the new state before the setter returns (the photocell handler relies on
    // the operator seeing the lock state at once).
    if (isVisible()) repaint();
}

void TLed::SetKind(TLedKind kind) {
    if (kind == kind_) return;
    kind_ = kind;
    RepaintNow();
}

void TLed::SetShape(TLedShape shape) {
    if (shape == shape_) return;
    shape_ = shape;
    RepaintNow();
}

void TLed::SetValue(bool value) {
    if (value == value_) return;
    value_ = value;
    RepaintNow();
    UpdateLabel();
    if (OnChange) OnChange(this);
}

QLabel* TLed::LabelLinked() const {
    return label_.data();
}

void TLed::SetLabelLinked(QLabel* label) {
    if (label == label_.data()) return;
    label_ = label;
    UpdateLabel();
}

void TLed::SetLabelOnText(const QString& text) {
    if (text == labelOnText_) return;
    labelOnText_ = text;
    UpdateLabel();
}

void TLed::SetLabelOffText(const QString& text) {
    if (text == labelOffText_) return;
    labelOffText_ = text;
    UpdateLabel();
}

void TLed::UpdateLabel() {
    if (label_) label_->setText(value_ ? labelOnText_ : labelOffText_);
}

void TLed::paintEvent(QPaintEvent*) {
    // Index 0 stays fully transparent in the image, so those pixels are not touched.
    QImage image(kLedSize, kLedSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const auto& pattern = kLedPattern[std::size_t(shape_)][value_ ? 1 : 0];
    const auto& palette = kLedPalette[std::size_t(kind_)];
    for (int y = 0; y < kLedSize; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kLedSize; ++x) {
            const std::uint32_t i = pattern[std::size_t(y)][std::size_t(x)];
            if (i != 0) line[x] = ToQColor(palette[i - 1]).rgb();
        }
    }
    QPainter p(this);
    p.drawImage(0, 0, image);
}

void TLed::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) leftPressed_ = true;
    QWidget::mousePressEvent(event);
}

void TLed::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = event->button() == Qt::LeftButton && leftPressed_ &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) leftPressed_ = false;
    QWidget::mouseReleaseEvent(event);
    if (click && OnClick) Guarded([&] { OnClick(this); });
}
