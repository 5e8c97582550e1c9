// Cell formats and cell painting of the sort grid; check boxes, drop-down lists and ellipsis
// cells.
#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <algorithm>
#include <functional>

#include "grid/gridglyphs.h"
#include "grid/gridsort.h"
#include "grid/protocolfile.h"
#include "grid/sortgrid.h"

namespace {

// The drop-down list: a release of the mouse, Enter or Space, or leaving it chooses the item.
// Handled in overrides (not an event filter) so that nothing reaches the grid while the list is
// being destroyed.
class TComboListBox : public QListWidget {
public:
    TComboListBox(QWidget* parent, std::function<void()> choose)
        : QListWidget(parent), choose_(std::move(choose)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        QListWidget::mouseReleaseEvent(e);
        choose_();
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space) {
            choose_();
            return;
        }
        QListWidget::keyPressEvent(e);
    }
    void focusOutEvent(QFocusEvent* e) override {
        QListWidget::focusOutEvent(e);
        choose_();
    }

private:
    std::function<void()> choose_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Format negotiation

TSortGrid::TCellFormat TSortGrid::GetCellFormat(int ACol, int ARow, TGridDrawState State,
                                                TGridCanvas& canvas) {
    TFormatOptions fo{canvas.Brush, canvas.Font};
    fo.AlignmentHorz = alignmentHorz_;
    fo.AlignmentVert = alignmentVert_;
    fo.BevelStyle = bevelStyle_;
    switch (bevelStyle_) {
        case TCellBevelStyle::cbRaised:
            fo.LightColor = clBtnHighlight;
            fo.DarkColor = clBtnShadow;
            break;
        case TCellBevelStyle::cbLowered:
            fo.LightColor = clBtnShadow;
            fo.DarkColor = clBtnHighlight;
            break;
        case TCellBevelStyle::cbNone:
            fo.LightColor = fo.DarkColor = clWindow;
            break;
    }
    fo.HideText = false;
    bool checkBox = false, combobox = false, ellipsis = false;
    if (OnGetCellFormat) OnGetCellFormat(this, ACol, ARow, State, fo, checkBox, combobox, ellipsis);
    return {fo.AlignmentHorz, fo.AlignmentVert, fo.BevelStyle, fo.LightColor, fo.DarkColor,
            fo.HideText,      checkBox,         combobox,      ellipsis};
}

bool TSortGrid::RowFormatFromCell(int ARow, TFontSetting& out) const {
    const std::optional<TFontSetting> setting = ParseFontSetting(Cells(ColCount(), ARow));
    if (!setting) return false;
    out = *setting;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Painting one cell

void TSortGrid::DrawCell(TGridCanvas& canvas, int ACol, int ARow, const QRect& rect,
                         TGridDrawState state) {
    // Data rows are blank while updating and while hidden.
    if (ARow > 0 && (NowUpdating() || hideRows_)) {
        canvas.FillRect(
            QRect(rect.topLeft(), QPoint(rect.right() + GridWidth() + 1, rect.bottom() + 1)));
        return;
    }
    TCellFormat f = GetCellFormat(ACol, ARow, state, canvas);
    if (f.CheckBox) f.HideText = true;

    // Colours: selected rows, else the column's or the row's text format.
    const TGridRect sel = Selection();
    const TGridOptions opts = Options();
    if ((opts.Contains(TGridOption::goRangeSelect) && ARow >= sel.Top && ARow <= sel.Bottom &&
         ARow > 0) ||
        (multiSelect_ && IsRowSelected(ARow) && !opts.Contains(TGridOption::goEditing))) {
        canvas.Font.Color = clHighlightText;
        canvas.Brush.Color = clHighlight;
    } else {
        auto active = [](const TFontList& l, int i) {
            return i >= 0 && i < int(l.size()) && l[size_t(i)].Active;
        };
        const bool colCounts = active(columnFormats_, ACol);
        const bool rowCounts = active(rowFormats_, ARow);
        auto apply = [&](const TFontSetting& s) {
            canvas.Font.Color = s.Color;
            canvas.Brush.Color = s.BkColor;
            if (s.Bold) canvas.Font.Font.setBold(true);
            if (s.Italic) canvas.Font.Font.setItalic(true);
            if (s.Underline) canvas.Font.Font.setUnderline(true);
        };
        TFontSetting fromCell;
        if (colCounts && (columnFormatsFirst_ || !rowCounts))
            apply(columnFormats_[size_t(ACol)]);
        else if (rowCounts && RowFormatFromCell(ARow, fromCell))
            apply(fromCell);
    }
    canvas.FillRect(rect);

    // Text, with the header's shortening and the sort glyph.
    QString text = Cells(ACol, ARow);
    int glyphShift = 0;
    const bool sortColumn = sortOptions_.CanSort && ACol == sortOptions_.SortCol;
    if (ARow == 0) {
        text = ShortenedCaption(text, rect.width() - (sortColumn ? 12 : 1),
                                [&canvas](const QString& t) { return canvas.TextWidth(t); });
        if (sortColumn) {
            glyphShift = kSortGlyphTextShift;
            const QRect glyphRect = SortGlyphRect(rect.left(), rect.width(), RowHeights(0));
            if (glyphRect.width() > 0 && canvas.Painter) {
                const QImage& glyph = GridGlyph(
                    sortOptions_.SortDirection == TSortDirection::sdDescending ? TGridGlyph::Down
                                                                               : TGridGlyph::Up);
                canvas.Painter->drawImage(glyphRect, glyph, QRect(QPoint(0, 0), glyphRect.size()));
            }
        }
    }
    const int tw = canvas.TextWidth(text), th = canvas.TextHeight(text);
    int dx = 2, dy = 2;
    if (f.AlignmentHorz == TAlignment::taRightJustify)
        dx = rect.width() - tw - 2;
    else if (f.AlignmentHorz == TAlignment::taCenter)
        dx = (rect.width() - tw) / 2;
    if (f.AlignmentVert == TVertAlignment::taBottomJustify)
        dy = rect.height() - th - 3;
    else if (f.AlignmentVert == TVertAlignment::taMiddle)
        dy = (rect.height() - th) / 2;
    if (!f.HideText) canvas.TextRect(rect, rect.left() + dx + glyphShift, rect.top() + dy, text);

    if (canvas.Painter) {
        QPainter& p = *canvas.Painter;
        if (f.CheckBox) {
            const bool checked = text == QLatin1String("true") || text == QLatin1String("1");
            const int w = rect.width() <= 10 ? rect.width() - 1 : 10;
            const int left = rect.left() + (rect.width() - w) / 2;
            const int top = RowHeights(ARow) / 2 + rect.top() - 5;
            if (w > 0)
                p.drawImage(QRect(left, top, w, 10),
                            GridGlyph(checked ? TGridGlyph::Checked : TGridGlyph::Unchecked));
        }
        const bool currentRow = ARow == Row();
        const bool currentCell = currentRow && ACol == Col();
        const int bw = std::min(16, rect.width());
        const QRect buttonRect(rect.right() + 1 - bw, rect.top(), bw, rect.height());
        if (f.Combobox && currentRow && (currentCell || EditorMode()) && bw > 0)
            p.drawImage(buttonRect, GridGlyph(TGridGlyph::ComboBox));
        if (f.Ellipsis && currentRow && !currentCell && bw > 0)
            p.drawImage(buttonRect, GridGlyph(TGridGlyph::Ellipsis));
    }

    if (ACol >= 0 && ARow > 0 && f.BevelStyle != TCellBevelStyle::cbNone) {
        if (opts.Contains(TGridOption::goFixedVertLine)) {
            canvas.Line(rect.right(), rect.top(), rect.right(), rect.bottom(), f.DarkColor);
            canvas.Line(rect.left(), rect.top(), rect.left(), rect.bottom(), f.LightColor);
        }
        if (opts.Contains(TGridOption::goFixedHorzLine)) {
            canvas.Line(rect.left(), rect.bottom(), rect.right(), rect.bottom(), f.DarkColor);
            canvas.Line(rect.left(), rect.top(), rect.right(), rect.top(), f.LightColor);
        }
    }

    TMyDrawGrid::DrawCell(canvas, ACol, ARow, rect, state);
}

// ---------------------------------------------------------------------------------------------
// Check boxes, drop-down lists and ellipsis cells

QListWidget* TSortGrid::ComboList() const {
    return comboList_.data();
}

void TSortGrid::ToggleCheckBox(int ACol, int ARow) {
    const QString& t = Cells(ACol, ARow);
    const bool checked = !(t == QLatin1String("true") || t == QLatin1String("1"));
    SetCells(ACol, ARow, checked ? QStringLiteral("1") : QString());
    InvalidateRow(ARow);
    if (OnSetChecked) OnSetChecked(this, ACol, ARow, checked);
}

void TSortGrid::ActivateSpecialCell(int ACol, int ARow, bool byMouse, int X) {
    if (ACol < 0 || ARow < 1) return;
    TGridCanvas canvas;
    canvas.Font.Font = font();
    const TCellFormat f = GetCellFormat(ACol, ARow, {}, canvas);
    if (f.CheckBox) {
        ToggleCheckBox(ACol, ARow);
    } else if (f.Combobox) {
        OpenComboBox(ACol, ARow);
    } else if (f.Ellipsis && OnSetEllipsis) {
        const QRect r = CellRect(ACol, ARow);
        if (!byMouse || (!r.isNull() && X > r.right() - 16)) OnSetEllipsis(this, ACol, ARow);
    }
}

void TSortGrid::OpenComboBox(int ACol, int ARow) {
    if (!OnGetComboBox) return;
    QStringList items;
    int width = 0, height = 0;
    bool sorted = true;
    OnGetComboBox(this, ACol, ARow, items, width, height, sorted);
    if (items.isEmpty()) return;
    QWidget* form = window();
    if (!comboList_ || comboList_->parentWidget() != form) {
        delete comboList_;
        comboList_ = new TComboListBox(form, [this] { ChooseComboItem(); });
        comboList_->setObjectName(QStringLiteral("ComboList"));
        comboList_->setFocusPolicy(Qt::ClickFocus);
        comboList_->hide();
    }
    comboList_->setFont(font());
    comboList_->clear();
    if (sorted) items.sort();
    comboList_->addItems(items);
    const int found = int(items.indexOf(Cells(ACol, ARow)));
    comboList_->setCurrentRow(found >= 0 ? found : 0);
    const QRect cell = CellRect(ACol, ARow);
    const QPoint screen = viewport()->mapToGlobal(cell.topLeft()) + QPoint(2, 1);
    const QPoint inForm =
        form == this ? viewport()->mapFromGlobal(screen) : form->mapFromGlobal(screen);
    const int itemHeight = std::max(1, comboList_->fontMetrics().height() + 2);
    if (height == 0) {
        // Ten or more items: a list ten items high that scrolls.
        height = std::min<int>(int(items.size()), 10) * itemHeight + 5;
    }
    comboList_->setGeometry(inForm.x(), inForm.y(), width != 0 ? width : cell.width() + 1, height);
    comboCell_ = QPoint(ACol, ARow);
    comboList_->show();
    comboList_->raise();
    comboList_->setFocus();
}

void TSortGrid::ChooseComboItem() {
    if (!comboList_ || !comboList_->isVisible() || comboCell_.x() < 0) return;
    const QPoint cell = comboCell_;
    comboCell_ = QPoint(-1, -1);
    QString chosen;
    if (QListWidgetItem* item = comboList_->currentItem()) chosen = item->text();
    SetCells(cell.x(), cell.y(), chosen);
    comboList_->hide();
    InvalidateCol(cell.x());
    setFocus();
    if (OnSetComboBox) OnSetComboBox(this, cell.x(), cell.y(), chosen);
}
