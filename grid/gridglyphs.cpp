#include "grid/gridglyphs.h"

#include <QPainter>
#include <array>

#include "platform/tcolor.h"

namespace {

QImage Blank(int w, int h, TColor back) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(ToQColor(back));
    return img;
}

// A sunken 10x10 box, white inside, with a tick when checked.
QImage CheckBox(bool checked) {
    QImage img = Blank(10, 10, clWindow);
    QPainter p(&img);
    p.fillRect(0, 0, 10, 1, ToQColor(clBtnShadow));
    p.fillRect(0, 0, 1, 10, ToQColor(clBtnShadow));
    p.fillRect(1, 1, 8, 1, ToQColor(clBlack));
    p.fillRect(1, 1, 1, 8, ToQColor(clBlack));
    p.fillRect(9, 0, 1, 10, ToQColor(clBtnHighlight));
    p.fillRect(0, 9, 10, 1, ToQColor(clBtnHighlight));
    p.fillRect(1, 8, 8, 1, ToQColor(clBtnFace));
    p.fillRect(8, 1, 1, 8, ToQColor(clBtnFace));
    if (checked) {
        static constexpr std::array<std::array<int, 2>, 7> kTick{
            {{2, 4}, {3, 5}, {4, 6}, {5, 5}, {6, 4}, {7, 3}, {7, 2}}};
        for (const auto& t : kTick)
            p.fillRect(t[0], t[1], 1, 2, ToQColor(clBlack));
    }
    return img;
}

// A raised 16x16 button face with a small black figure: a down arrow or three dots.
QImage Button(bool ellipsis) {
    QImage img = Blank(16, 16, clBtnFace);
    QPainter p(&img);
    p.fillRect(0, 0, 16, 1, ToQColor(clBtnHighlight));
    p.fillRect(0, 0, 1, 16, ToQColor(clBtnHighlight));
    p.fillRect(0, 15, 16, 1, ToQColor(cl3DDkShadow));
    p.fillRect(15, 0, 1, 16, ToQColor(cl3DDkShadow));
    p.fillRect(1, 14, 14, 1, ToQColor(clBtnShadow));
    p.fillRect(14, 1, 1, 14, ToQColor(clBtnShadow));
    if (ellipsis) {
        for (int x : {4, 7, 10})
            p.fillRect(x, 10, 2, 2, ToQColor(clBlack));
    } else {
        for (int i = 0; i < 4; ++i)
            p.fillRect(4 + i, 6 + i, 7 - 2 * i, 1, ToQColor(clBlack));
    }
    return img;
}

// An 8x7 filled triangle on a transparent ground: point up or down.
QImage Arrow(bool up) {
    QImage img(8, 7, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    const QColor c = ToQColor(clBtnShadow);
    for (int i = 0; i < 4; ++i) {
        const int y = up ? 5 - i : 1 + i;
        p.fillRect(i, y, 8 - 2 * i, 1, c);
    }
    return img;
}

}  // namespace

const QImage& GridGlyph(TGridGlyph g) {
    static const std::array<QImage, 6> images{CheckBox(true), CheckBox(false), Button(false),
                                              Button(true),   Arrow(true),     Arrow(false)};
    return images[size_t(g)];
}
