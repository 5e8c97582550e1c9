#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

struct TButtonLayoutResult {
    QPoint glyphPos;  // top-left corner of the glyph
    QRect textRect;   // the measured text box moved to its place
};

// Places a glyph of size `glyph` (0 x 0 for none) and a caption of measured size `text`
// (0 x 0 for none) in `client`. Margin -1 centres the pair along the layout axis; Spacing -1
// spreads the free room evenly. Across the axis both are centred. Integer arithmetic truncates
// toward zero, so odd remainders land where the button always put them.
TButtonLayoutResult CalcButtonLayout(const QRect& client, QSize glyph, QSize text,
                                     TButtonLayout layout, int margin, int spacing);
