#pragma once

#include <QImage>

// The small images the sort grid paints, drawn by the program itself at their fixed sizes:
// check boxes 10x10, the drop-down and ellipsis buttons 16x16, the sort arrows 8x7.
enum class TGridGlyph { Checked, Unchecked, ComboBox, Ellipsis, Up, Down };

const QImage& GridGlyph(TGridGlyph g);
