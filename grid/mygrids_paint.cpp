// Painting of the grid base: cells, grid lines, fixed-cell edges and the focus rectangle.
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "grid/mygrids.h"

// ---------------------------------------------------------------------------------------------
// Canvas

void TGridCanvas::FillRect(const QRect& r) {
    if (Painter && !r.isEmpty()) Painter->fillRect(r, ToQColor(Brush.Color));
}

void TGridCanvas::SyncMetrics() const {
    if (metricsValid_ && metricsFont_ == Font.Font) return;
    metricsFont_ = Font.Font;
    const QFontMetrics fm(Font.Font);
    ascent_ = fm.ascent();
    height_ = fm.height();
    widths_.clear();
    metricsValid_ = true;
}

void TGridCanvas::TextRect(const QRect& r, int x, int y, const QString& text) {
    if (!Painter || r.isEmpty() || text.isEmpty()) return;
    SyncMetrics();
    const QColor color = ToQColor(Font.Color);
    const bool fits = x >= r.left() && y >= r.top() && x + TextWidth(text) <= r.right() + 1 &&
                      y + height_ <= r.bottom() + 1;
    if (fits) {
        // Most cells hold text that fits: no clipping state to set up and tear down.
        if (Painter->font() != Font.Font) Painter->setFont(Font.Font);
        if (Painter->pen().color() != color || Painter->pen().style() != Qt::SolidLine)
            Painter->setPen(color);
        Painter->drawText(QPoint(x, y + ascent_), text);
        return;
    }
    Painter->save();
    Painter->setClipRect(r, Qt::IntersectClip);
    Painter->setFont(Font.Font);
    Painter->setPen(color);
    Painter->drawText(QPoint(x, y + ascent_), text);
    Painter->restore();
}

int TGridCanvas::TextWidth(const QString& text) const {
    SyncMetrics();
    auto it = widths_.constFind(text);
    if (it != widths_.constEnd()) return *it;
    const int w = QFontMetrics(Font.Font).horizontalAdvance(text);
    widths_.insert(text, w);
    return w;
}

int TGridCanvas::TextHeight(const QString&) const {
    SyncMetrics();
    return height_;
}

void TGridCanvas::Line(int x1, int y1, int x2, int y2, TColor color) {
    if (!Painter) return;
    const QColor c = ToQColor(color);
    Painter->fillRect(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                            QPoint(std::max(x1, x2), std::max(y1, y2))),
                      c);
}

// ---------------------------------------------------------------------------------------------
// Grid painting

void TMyCustomGrid::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    PaintCells(p, e->rect());
}

void TMyCustomGrid::PaintCells(QPainter& p, const QRect& region) {
    const int cw = viewport()->width(), ch = viewport()->height();
    const int lw = gridLineWidth_;
    struct Span {
        int index, pos, size;
    };
    // Only the columns and rows on screen are visited.
    std::vector<Span> cols, rows;
    int x = 0;
    for (int c = 0; c < fixedCols_ && x < cw; ++c) {
        if (ColWidths(c) >= 0) cols.push_back({c, x, ColWidths(c)});
        x += ColExtent(c);
    }
    for (int c = LeftCol(); c < colCount_ && x < cw; ++c) {
        if (ColWidths(c) >= 0) cols.push_back({c, x, ColWidths(c)});
        x += ColExtent(c);
    }
    int y = 0;
    for (int r = 0; r < fixedRows_ && y < ch; ++r) {
        if (RowHeights(r) >= 0) rows.push_back({r, y, RowHeights(r)});
        y += RowExtent(r);
    }
    for (int r = TopRow(); r < rowCount_ && y < ch; ++r) {
        if (RowHeights(r) >= 0) rows.push_back({r, y, RowHeights(r)});
        y += RowExtent(r);
    }
    const int gridRight = x, gridBottom = y;

    // Background outside the cells.
    const QColor back = ToQColor(color_);
    if (gridRight < cw) p.fillRect(QRect(gridRight, 0, cw - gridRight, ch), back);
    if (gridBottom < ch)
        p.fillRect(QRect(0, gridBottom, std::min(gridRight, cw), ch - gridBottom), back);

    const bool focused = GridHasFocus();
    const TGridRect sel = Selection();
    const bool drawFocusSelected = options_.Contains(TGridOption::goDrawFocusSelected) ||
                                   options_.Contains(TGridOption::goRowSelect);
    const QColor fixedLine = ToQColor(clBlack), dataLine = ToQColor(clSilver);
    TGridCanvas canvas;
    canvas.Painter = &p;
    const QFont gridFont = font();

    for (const Span& rs : rows) {
        for (const Span& cs : cols) {
            const QRect rect(cs.pos, rs.pos, cs.size, rs.size);
            const QRect withLines = rect.adjusted(0, 0, lw, lw);
            if (!withLines.intersects(region)) continue;
            const int c = cs.index, r = rs.index;
            const bool fixed = c < fixedCols_ || r < fixedRows_;
            TGridDrawState state;
            if (fixed) state.Include(TGridDrawStateItem::gdFixed);
            const bool selected =
                !fixed && c >= sel.Left && c <= sel.Right && r >= sel.Top && r <= sel.Bottom;
            if (selected) state.Include(TGridDrawStateItem::gdSelected);
            const bool isCurrent = c == Col() && r == Row();
            if (focused && isCurrent) state.Include(TGridDrawStateItem::gdFocused);
            const bool highlight =
                selected && (!state.Contains(TGridDrawStateItem::gdFocused) || drawFocusSelected);
            canvas.Brush.Color = fixed ? fixedColor_ : highlight ? clHighlight : color_;
            canvas.Font.Font = gridFont;
            canvas.Font.Color = highlight ? clHighlightText : clWindowText;
            if (defaultDrawing_) canvas.FillRect(rect);
            p.save();
            DrawCell(canvas, c, r, rect, state);
            p.restore();

            // Grid lines follow the cell on its right and below it.
            if (lw > 0) {
                const bool vert = options_.Contains(fixed ? TGridOption::goFixedVertLine
                                                          : TGridOption::goVertLine);
                const bool horz = options_.Contains(fixed ? TGridOption::goFixedHorzLine
                                                          : TGridOption::goHorzLine);
                const QColor lineColor = fixed ? fixedLine : dataLine;
                const QColor gap = fixed ? ToQColor(fixedColor_) : back;
                p.fillRect(QRect(rect.right() + 1, rect.top(), lw, rect.height() + lw),
                           vert ? lineColor : gap);
                p.fillRect(QRect(rect.left(), rect.bottom() + 1, rect.width() + lw, lw),
                           horz ? lineColor : gap);
                if (fixed && vert && horz && rect.width() > 1 && rect.height() > 1) {
                    // Raised look of the header cells.
                    p.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1),
                               ToQColor(clBtnHighlight));
                    p.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()),
                               ToQColor(clBtnHighlight));
                    p.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1),
                               ToQColor(clBtnShadow));
                    p.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()),
                               ToQColor(clBtnShadow));
                }
            }
        }
    }

    // Focus rectangle around the current cell (or the row in row-select mode), drawn inverted.
    if (focused && !editorMode_ && !nowUpdating_) {
        QRect fr = CellRect(Col(), Row());
        if (options_.Contains(TGridOption::goRowSelect) && !fr.isNull()) {
            const QRect first = CellRect(std::max(fixedCols_, LeftCol()), Row());
            fr = QRect(first.left(), fr.top(), std::min(gridRight, cw) - first.left() - lw,
                       fr.height());
        }
        if (!fr.isEmpty() && fr.intersects(region)) {
            p.save();
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            QPen pen(Qt::white);
            pen.setStyle(Qt::DotLine);
            pen.setWidth(1);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawRect(fr.adjusted(0, 0, -1, -1));
            p.restore();
        }
    }
}
