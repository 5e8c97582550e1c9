#include "app/panel.h"

#include <QPainter>

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
    setAutoFillBackground(false);
}

void TPanel::SetColor(TColor c) {
    if (c == color_) return;
    color_ = c;
    update();
}

void TPanel::SetFontColor(TColor c) {
    if (c == fontColor_) return;
    fontColor_ = c;
    update();
}

void TPanel::SetBevelOuter(Bevel b) {
    bevel_ = b;
    update();
}

void TPanel::SetBevelWidth(int w) {
    bevelWidth_ = w;
    update();
}

void TPanel::SetCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    update();
}

void DrawFrame3D(QPainter& p, QRect r, TColor topLeft, TColor bottomRight, int width) {
    const QColor tl = ToQColor(topLeft), br = ToQColor(bottomRight);
    for (int i = 0; i < width; ++i) {
        p.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), tl);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), tl);
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), br);
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), br);
        r.adjust(1, 1, -1, -1);
    }
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(color_));
    if (bevel_ == Bevel::Raised)
        DrawFrame3D(p, rect(), clBtnHighlight, clBtnShadow, bevelWidth_);
    else if (bevel_ == Bevel::Lowered)
        DrawFrame3D(p, rect(), clBtnShadow, clBtnHighlight, bevelWidth_);
    if (!caption_.isEmpty()) {
        p.setPen(ToQColor(fontColor_));
        p.setFont(font());
        p.drawText(rect(), Qt::AlignCenter, caption_);
    }
}
