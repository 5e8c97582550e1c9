#include "widgets/buttonlayout.h"

TButtonLayoutResult CalcButtonLayout(const QRect& client, QSize glyph, QSize text,
                                     TButtonLayout layout, int margin, int spacing) {
    const int lw = client.width();
    const int lh = client.height();
    const bool horizontal =
        layout == TButtonLayout::blGlyphLeft || layout == TButtonLayout::blGlyphRight;

    QPoint glyphPos;
    QPoint textPos;
    if (horizontal) {
        glyphPos.setY((lh - glyph.height() + 1) / 2);
        textPos.setY((lh - text.height() + 1) / 2);
    } else {
        glyphPos.setX((lw - glyph.width() + 1) / 2);
        textPos.setX((lw - text.width() + 1) / 2);
    }

    if (text.width() == 0 || glyph.width() == 0) spacing = 0;

    const int s = horizontal ? lw : lh;
    const int g = horizontal ? glyph.width() : glyph.height();
    const int t = horizontal ? text.width() : text.height();
    if (margin == -1 && spacing == -1) {
        margin = (s - (g + t)) / 3;
        spacing = margin;
    } else if (margin == -1) {
        margin = (s - (g + spacing + t) + 1) / 2;
    } else if (spacing == -1) {
        spacing = ((s - (margin + g)) - t) / 2;
    }

    int glyphAlong = 0;
    int textAlong = 0;
    switch (layout) {
        case TButtonLayout::blGlyphLeft:
        case TButtonLayout::blGlyphTop:
            glyphAlong = margin;
            textAlong = margin + g + spacing;
            break;
        case TButtonLayout::blGlyphRight:
        case TButtonLayout::blGlyphBottom:
            glyphAlong = s - margin - g;
            textAlong = glyphAlong - spacing - t;
            break;
    }
    if (horizontal) {
        glyphPos.setX(glyphAlong);
        textPos.setX(textAlong);
    } else {
        glyphPos.setY(glyphAlong);
        textPos.setY(textAlong);
    }

    TButtonLayoutResult r;
    r.glyphPos = glyphPos + client.topLeft();
    r.textRect = QRect(textPos + client.topLeft(), text);
    return r;
}
