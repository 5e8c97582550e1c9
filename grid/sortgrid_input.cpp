// Keys, mouse, wheel, multi-row selection and layout of the sort grid.
#include <QCursor>
#include <QListWidget>
#include <QMenu>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "grid/gridsort.h"
#include "grid/sortgrid.h"

namespace {

bool IsNavigationKey(int key) {
    switch (key) {
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            return true;
        default:
            return false;
    }
}

// Nearest integer, halves to the even neighbour.
int RoundHalfEven(double v) {
    const double f = std::floor(v);
    const double diff = v - f;
    if (diff > 0.5) return int(f) + 1;
    if (diff < 0.5) return int(f);
    return (std::fmod(f, 2.0) == 0.0) ? int(f) : int(f) + 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Tracked selection helpers

void TSortGrid::MakeCurrentUntracked(int ARow) {
    const bool was = tracking_;
    tracking_ = false;
    MoveColRow(Col(), ARow, true, true);
    tracking_ = was;
}

void TSortGrid::SelectRowsOfRectangle() {
    const TGridRect s = Selection();
    const int anchor = selectionOrder_.isEmpty() ? Row() : selectionOrder_.first();
    selectedRows_.clear();
    selectionOrder_.clear();
    for (int r = std::max(1, s.Top); r <= s.Bottom; ++r)
        selectedRows_ << r;
    selectionOrder_ << (selectedRows_.contains(anchor) ? anchor : std::max(1, s.Top));
    for (int r : selectedRows_)
        if (r != selectionOrder_.first()) selectionOrder_ << r;
    InvalidateGrid();
}

// ---------------------------------------------------------------------------------------------
// Keys

void TSortGrid::KeyDown(int& Key, Qt::KeyboardModifiers Shift) {
    if (Key == Qt::Key_Tab || Key == Qt::Key_Backtab) tabHeld_ = true;
    if (multiSelect_ && !EditorMode()) {
        tracking_ = false;
        if (Key == Qt::Key_Shift) {
            SetOptions(Options() + TGridOption::goRangeSelect);
            selectedRows_.clear();
            selectionOrder_.clear();
        } else if ((Shift & Qt::ShiftModifier) && selectionOrder_.isEmpty()) {
            // The first key after Shift went down fixes the anchor; later ones extend from it.
            selectionOrder_ << Row();
        }
        // A navigation key without Shift moves a single selection; with Shift the range grows
        // and is taken over when the key is released.
        if (IsNavigationKey(Key) && !(Shift & Qt::ShiftModifier)) tracking_ = true;
    }
    if (extendedKeys_ && !EditorMode() && (Shift & Qt::ControlModifier)) {
        const bool withShift = Shift & Qt::ShiftModifier;
        if (Key == Qt::Key_Insert) {
            if (withShift)
                InsertColumn(Col());
            else
                InsertRow(Row());
            Key = 0;
        } else if (Key == Qt::Key_Delete) {
            if (withShift) {
                if (ColCount() > 1) DeleteColumn(Col());
            } else if (RowCount() > 2) {
                DeleteRow(Row());
            }
            Key = 0;
        }
    }
    if (Key != 0) TMyStringGrid::KeyDown(Key, Shift);
}

void TSortGrid::KeyUp(int& Key, Qt::KeyboardModifiers Shift) {
    if (Key == Qt::Key_Tab || Key == Qt::Key_Backtab) tabHeld_ = false;
    if (multiSelect_ && !EditorMode()) {
        tracking_ = true;
        if (Key == Qt::Key_Shift && selectedRows_.isEmpty()) {
            SelectRowsOfRectangle();
        } else if (IsNavigationKey(Key)) {
            SelectRowsOfRectangle();
            if (!(Shift & Qt::ShiftModifier)) SetOptions(Options() - TGridOption::goRangeSelect);
        }
        FireRowSelected();
    }
    if (Key == Qt::Key_Space && !EditorMode()) ActivateSpecialCell(Col(), Row(), false, 0);
    TMyStringGrid::KeyUp(Key, Shift);
}

void TSortGrid::KeyPress(QChar& Key) {
    if (Key.unicode() == 13) ValidateEditCell();
    if (!EditorMode() && Key.unicode() > 32 && !Options().Contains(TGridOption::goEditing)) {
        if (Key >= QLatin1Char('a') && Key <= QLatin1Char('z')) Key = Key.toUpper();
        const int col = sortOptions_.SortCol;
        if (col >= 0 && col < ColCount()) {
            auto matches = [&](int r) {
                const QString& t = Cells(col, r);
                return !t.isEmpty() && t.at(0).toUpper() == Key;
            };
            int found = -1;
            for (int r = Row() + 1; r < RowCount() && found < 0; ++r)
                if (matches(r)) found = r;
            for (int r = 1; r <= Row() && r < RowCount() && found < 0; ++r)
                if (matches(r)) found = r;
            if (found > 0) GotoCell(col, found, true);
        }
    }
    TMyStringGrid::KeyPress(Key);
}

// ---------------------------------------------------------------------------------------------
// Mouse

void TSortGrid::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (comboList_ && comboList_->isVisible()) {
        comboCell_ = QPoint(-1, -1);
        comboList_->hide();
    }
    int c, r;
    MouseToCell(X, Y, c, r);
    mouseDownCell_ = QPoint(c, r);
    const bool multi = multiSelect_ && !EditorMode();
    if (!multi || r <= 0 ||
        (Options().Contains(TGridOption::goRangeSelect) && (Shift & Qt::ShiftModifier))) {
        TMyStringGrid::MouseDown(Button, Shift, X, Y);
        return;
    }
    // Multi-select: the grid decides itself what a press on a data row does.
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    if (Button != Qt::LeftButton || c < 0) return;
    const bool noModifiers = !(Shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    if (IsRowSelected(r)) {
        dragStart_ = QPoint(X, Y);
    } else if (noModifiers) {
        SetOptions(Options() - TGridOption::goRangeSelect);
        MoveColRow(Col(), r, true, true);  // tracking makes it the only selected row
    }
}

void TSortGrid::MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) {
    if (multiSelect_ && dragStart_.x() >= 0 && (HeldButtons() & Qt::LeftButton) &&
        (std::abs(X - dragStart_.x()) > 10 || std::abs(Y - dragStart_.y()) > 10)) {
        dragStart_ = QPoint(-1, -1);
        BeginDrag();
    }
    TMyStringGrid::MouseMove(Shift, X, Y);
}

void TSortGrid::BeginDrag() {
    dragging_ = true;
    TMyStringGrid::BeginDrag();
}

void TSortGrid::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (dragging_) {
        dragging_ = false;
        return;
    }
    dragStart_ = QPoint(-1, -1);
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    TMyStringGrid::MouseUp(Button, Shift, X, Y);
    int c, r;
    MouseToCell(X, Y, c, r);
    const QPoint down = mouseDownCell_;
    mouseDownCell_ = QPoint(-1, 0);

    if (Button == Qt::RightButton && r > 0 && popupMenu_) {
        popupMenu_->popup(QCursor::pos());
        return;
    }
    if (r == 0 && c >= 0 && c == down.x() && down.y() == 0) {
        // The zones at the column's edges belong to resizing.
        const QRect cell = CellRect(c, 0);
        if (sortOptions_.CanSort && !cell.isNull() &&
            IsHeaderSortClick(X, cell.left(), cell.width())) {
            sortOptions_.SortDirection =
                HeaderClickDirection(sortOptions_, c, Button == Qt::RightButton);
            SortByColumn(c);
            InvalidateRow(0);
        }
        return;
    }
    if (r <= 0 || down.y() <= 0) return;

    if (multiSelect_ && !EditorMode() && Button == Qt::LeftButton) {
        if (Shift & Qt::ControlModifier) {
            if (!IsRowSelected(r)) {
                selectedRows_ << r;
                selectionOrder_ << r;
                MakeCurrentUntracked(r);
            } else if (selectedRows_.size() > 1) {
                selectedRows_.removeAll(r);
                selectionOrder_.removeAll(r);
                if (!selectionOrder_.isEmpty()) MakeCurrentUntracked(selectionOrder_.last());
            }
            SetOptions(Options() - TGridOption::goRangeSelect);
        } else if (Shift & Qt::ShiftModifier) {
            SelectRowsOfRectangle();
        } else {
            SetOptions(Options() - TGridOption::goRangeSelect);
            MakeCurrentUntracked(r);
            SetSingleSelection(r);
        }
        InvalidateGrid();
        FireRowSelected();
    }
    if (c >= 0 && c == down.x() && r == down.y()) ActivateSpecialCell(c, r, true, X);
}

void TSortGrid::DblClick() {
    TMyStringGrid::DblClick();
    const QPoint p = LastMousePos();
    int c, r;
    MouseToCell(p.x(), p.y(), c, r);
    if (r != 0 || c < 0) return;
    const QRect cell = CellRect(c, 0);
    if (std::abs(p.x() - (cell.right() + 1)) <= 3)
        AutoSizeColumn(c, true);
    else if (c > 0 && std::abs(p.x() - cell.left()) <= 3)
        AutoSizeColumn(c - 1, true);
}

bool TSortGrid::DoMouseWheelDown(Qt::KeyboardModifiers Shift, QPoint MousePos) {
    bool handled = false;
    if (TMyCustomGrid::OnMouseWheelDown)
        TMyCustomGrid::OnMouseWheelDown(this, Shift, MousePos, handled);
    ScrollToCell(Col(), TopRow() + 2);
    return true;
}

bool TSortGrid::DoMouseWheelUp(Qt::KeyboardModifiers Shift, QPoint MousePos) {
    bool handled = false;
    if (TMyCustomGrid::OnMouseWheelUp)
        TMyCustomGrid::OnMouseWheelUp(this, Shift, MousePos, handled);
    ScrollToCell(Col(), TopRow() - 2);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Layout

void TSortGrid::resizeEvent(QResizeEvent* e) {
    TMyStringGrid::resizeEvent(e);
    StretchLastColumn();
}

// When every column from the left column on is on screen, the last one takes the rest of the
// client width.
void TSortGrid::StretchLastColumn() {
    const int last = ColCount() - 1;
    if (LeftCol() > FixedCols() || CellRect(last, 0).isNull()) return;
    int others = 0, visible = 0;
    for (int c = 0; c <= last; ++c) {
        const int w = ColWidths(c);
        if (w < 0) continue;
        ++visible;
        if (c != last) others += w;
    }
    const int w = viewport()->width() - others - visible;
    if (w > 0) {
        SetColWidths(last, w);
        InvalidateGrid();
        UpdateScrollBars();
    }
}

void TSortGrid::SetProportionalScrollBars(bool v) {
    proportionalScrollBars_ = v;
    UpdateScrollBars();
}

void TSortGrid::ScrollBarsUpdated() {
    if (!proportionalScrollBars_) return;
    const TScrollStyle s = ScrollBars();
    if (s == TScrollStyle::ssVertical || s == TScrollStyle::ssBoth) {
        const QScrollBar* v = verticalScrollBar();
        const double range = v->maximum() - v->minimum();
        const int page =
            std::max(1, RoundHalfEven((VisibleRowCount() + 1.0) / RowCount() * (range + 1)));
        SetScrollPage(Qt::Vertical, page);
    }
    if (s == TScrollStyle::ssHorizontal || s == TScrollStyle::ssBoth) {
        const QScrollBar* h = horizontalScrollBar();
        const double range = h->maximum() - h->minimum();
        const int page =
            std::max(1, RoundHalfEven(double(VisibleColCount()) / ColCount() * (range + 1)));
        SetScrollPage(Qt::Horizontal, page);
    }
}

// ---------------------------------------------------------------------------------------------
// Filtering

void TSortGrid::SetFiltered(bool v) {
    const bool wasFiltered = filtered_;
    filtered_ = v;
    if (!(!v || !IsRowEmpty(1)) || !(v || filteredOutCount_ > 0)) return;
    const bool keepModified = modified_;
    const bool ownUpdate = !NowUpdating();
    if (ownUpdate) BeginUpdate();
    if (v) {
        // Rows already kept back by an earlier filter stay right after the newly kept-back ones
        // and are counted with them, so switching off brings every row back.
        const int before = wasFiltered ? filteredOutCount_ : 0;
        const int rows = RowCount();
        std::vector<int> kept, rejected;
        bool decided = true;
        for (int r = 1; r < rows; ++r) {
            if (!OnSetFilter) {
                decided = false;
                break;
            }
            bool accept = false;
            OnSetFilter(Rows(r).ToStringList(), accept);
            (accept ? kept : rejected).push_back(r);
        }
        if (!decided) {
            kept.clear();
            rejected.clear();
            for (int r = 1; r < rows; ++r)
                rejected.push_back(r);
        }
        std::vector<std::unique_ptr<TStringSparseList>> taken(static_cast<size_t>(rows));
        for (int r = 1; r < rows; ++r)
            taken[size_t(r)] = TakeRowCells(r);
        int pos = 1;
        for (int r : kept)
            PutRowCells(pos++, std::move(taken[size_t(r)]));
        for (int r : rejected)
            PutRowCells(pos++, std::move(taken[size_t(r)]));
        filteredOutCount_ = before + int(rejected.size());
        if (kept.empty()) {
            InsertRowSlot(1);
            filterAddedBlankRow_ = true;
            SetRowCount(2);
        } else {
            SetRowCount(rows - int(rejected.size()));
            SortByColumn(sortOptions_.SortCol);
        }
        GotoCell(0, 1, true);
    } else {
        const int out = filteredOutCount_;
        SetRowCount(RowCount() + out);
        if (filterAddedBlankRow_ && IsRowEmpty(1) && RowCount() > 2) {
            // Only the blank row the filter put in goes, not an empty row of the data.
            TMyStringGrid::DeleteRow(1);
        }
        filterAddedBlankRow_ = false;
        if (out > 0) SortByColumn(sortOptions_.SortCol);
        filteredOutCount_ = 0;
    }
    if (ownUpdate) EndUpdate();
    modified_ = keepModified;
}
