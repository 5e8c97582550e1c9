#include "grid/mygrids.h"

#include <QGuiApplication>
#include <QScrollBar>
#include <algorithm>

namespace {
// The largest row or column count the grid accepts.
constexpr int kMaxCount = 0x7FFFFFF;
}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

TMyCustomGrid::TMyCustomGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    SetBorderStyle(TBorderStyle::bsSingle);
    SetScrollBars(TScrollStyle::ssBoth);
    verticalScrollBar()->setTracking(false);
    horizontalScrollBar()->setTracking(false);
    UpdateScrollBars();
}

TMyCustomGrid::~TMyCustomGrid() {
    // The editor outlives this part of the grid while Qt tears the children down.
    if (editor_) editor_->DetachGrid();
    if (cursorOverridden_) QGuiApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------------------------
// Counts

void TMyCustomGrid::SetColCount(int n) {
    ChangeSize(n, rowCount_);
}
void TMyCustomGrid::SetRowCount(int n) {
    ChangeSize(colCount_, n);
}

void TMyCustomGrid::ChangeSize(int newColCount, int newRowCount) {
    newColCount = std::max(1, newColCount);
    newRowCount = std::max(1, newRowCount);
    if (newColCount > kMaxCount || newRowCount > kMaxCount)
        throw EGridError(GridErrors::GridTooLarge);
    if (newColCount == colCount_ && newRowCount == rowCount_) return;
    const int oldCols = colCount_, oldRows = rowCount_;
    const int oldFixedCols = fixedCols_, oldFixedRows = fixedRows_;
    colCount_ = newColCount;
    rowCount_ = newRowCount;
    if (fixedCols_ >= colCount_) fixedCols_ = colCount_ - 1;
    if (fixedRows_ >= rowCount_) fixedRows_ = rowCount_ - 1;
    if (nowUpdating_) return;
    try {
        if (!colWidths_.empty()) colWidths_.resize(size_t(colCount_), defaultColWidth_);
        rowHeights_.erase(rowHeights_.lower_bound(rowCount_), rowHeights_.end());
        auto clampCell = [&](QPoint& p) {
            p.setX(std::clamp(p.x(), fixedCols_, colCount_ - 1));
            p.setY(std::clamp(p.y(), fixedRows_, rowCount_ - 1));
        };
        clampCell(current_);
        clampCell(anchor_);
        const QPoint oldTopLeft = topLeft_;
        topLeft_.setX(std::clamp(topLeft_.x(), fixedCols_, std::max(fixedCols_, MaxLeftCol())));
        topLeft_.setY(std::clamp(topLeft_.y(), fixedRows_, std::max(fixedRows_, MaxTopRow())));
        UpdateScrollBars();
        if (editorMode_) UpdateEditor();
        viewport()->update();
        if (oldTopLeft != topLeft_) TopLeftChanged();
        SizeChanged(oldCols, oldRows);
    } catch (...) {
        colCount_ = oldCols;
        rowCount_ = oldRows;
        fixedCols_ = oldFixedCols;
        fixedRows_ = oldFixedRows;
        throw;
    }
}

void TMyCustomGrid::SetFixedCols(int n) {
    if (n < 0) throw EGridError(GridErrors::IndexOutOfRange);
    if (n >= colCount_) throw EGridError(GridErrors::FixedColTooBig);
    if (n == fixedCols_) return;
    fixedCols_ = n;
    current_.setX(std::max(current_.x(), n));
    anchor_.setX(std::max(anchor_.x(), n));
    topLeft_.setX(std::max(topLeft_.x(), n));
    topLeft_.setX(std::min(topLeft_.x(), std::max(n, MaxLeftCol())));
    UpdateScrollBars();
    InvalidateGrid();
}

void TMyCustomGrid::SetFixedRows(int n) {
    if (n < 0) throw EGridError(GridErrors::IndexOutOfRange);
    if (n >= rowCount_) throw EGridError(GridErrors::FixedRowTooBig);
    if (n == fixedRows_) return;
    fixedRows_ = n;
    current_.setY(std::max(current_.y(), n));
    anchor_.setY(std::max(anchor_.y(), n));
    topLeft_.setY(std::max(topLeft_.y(), n));
    topLeft_.setY(std::min(topLeft_.y(), std::max(n, MaxTopRow())));
    UpdateScrollBars();
    InvalidateGrid();
}

// ---------------------------------------------------------------------------------------------
// Sizes

void TMyCustomGrid::SetDefaultColWidth(int w) {
    if (w == defaultColWidth_ && colWidths_.empty()) return;
    defaultColWidth_ = w;
    colWidths_.clear();
    ColWidthsChanged();
}

void TMyCustomGrid::SetDefaultRowHeight(int h) {
    if (h == defaultRowHeight_ && rowHeights_.empty()) return;
    defaultRowHeight_ = h;
    rowHeights_.clear();
    RowHeightsChanged();
}

int TMyCustomGrid::ColWidths(int c) const {
    return c >= 0 && c < int(colWidths_.size()) ? colWidths_[size_t(c)] : defaultColWidth_;
}

void TMyCustomGrid::SetColWidths(int c, int w) {
    if (c < 0 || c >= colCount_) throw EGridError(GridErrors::IndexOutOfRange);
    if (w < -1) w = -1;
    if (ColWidths(c) == w) return;
    if (int(colWidths_.size()) < colCount_) colWidths_.resize(size_t(colCount_), defaultColWidth_);
    colWidths_[size_t(c)] = w;
    ColWidthsChanged();
}

int TMyCustomGrid::RowHeights(int r) const {
    auto it = rowHeights_.find(r);
    return it == rowHeights_.end() ? defaultRowHeight_ : it->second;
}

void TMyCustomGrid::SetRowHeights(int r, int h) {
    if (r < 0 || r >= rowCount_) throw EGridError(GridErrors::IndexOutOfRange);
    if (h < -1) h = -1;
    if (RowHeights(r) == h) return;
    if (h == defaultRowHeight_)
        rowHeights_.erase(r);
    else
        rowHeights_[r] = h;
    RowHeightsChanged();
}

void TMyCustomGrid::SetGridLineWidth(int w) {
    w = std::max(0, w);
    if (w == gridLineWidth_) return;
    gridLineWidth_ = w;
    UpdateScrollBars();
    InvalidateGrid();
}

void TMyCustomGrid::SetFixedColor(TColor c) {
    if (c == fixedColor_) return;
    fixedColor_ = c;
    InvalidateGrid();
}

void TMyCustomGrid::SetColor(TColor c) {
    if (c == color_) return;
    color_ = c;
    InvalidateGrid();
}

void TMyCustomGrid::SetBorderStyle(TBorderStyle s) {
    borderStyle_ = s;
    if (s == TBorderStyle::bsSingle) {
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        setLineWidth(1);
    } else {
        setFrameStyle(QFrame::NoFrame);
    }
}

void TMyCustomGrid::SetScrollBars(TScrollStyle s) {
    scrollBars_ = s;
    const bool v = s == TScrollStyle::ssVertical || s == TScrollStyle::ssBoth;
    const bool h = s == TScrollStyle::ssHorizontal || s == TScrollStyle::ssBoth;
    setVerticalScrollBarPolicy(v ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    UpdateScrollBars();
}

void TMyCustomGrid::SetOptions(TGridOptions o) {
    if (o == options_) return;
    const bool rowSelectChanged =
        o.Contains(TGridOption::goRowSelect) != options_.Contains(TGridOption::goRowSelect);
    options_ = o;
    // Without thumb tracking the grid scrolls when the thumb is released.
    verticalScrollBar()->setTracking(o.Contains(TGridOption::goThumbTracking));
    horizontalScrollBar()->setTracking(o.Contains(TGridOption::goThumbTracking));
    if (rowSelectChanged && o.Contains(TGridOption::goRowSelect)) anchor_.setY(current_.y());
    if (!o.Contains(TGridOption::goEditing) && editorMode_) HideEditor();
    if (o.Contains(TGridOption::goAlwaysShowEditor) && o.Contains(TGridOption::goEditing) &&
        !editorMode_ && isVisible())
        ShowEditor();
    InvalidateGrid();
}

void TMyCustomGrid::SetDefaultDrawing(bool v) {
    if (v == defaultDrawing_) return;
    defaultDrawing_ = v;
    InvalidateGrid();
}

void TMyCustomGrid::SetTabStop(bool v) {
    setFocusPolicy(v ? Qt::StrongFocus : Qt::ClickFocus);
}

// ---------------------------------------------------------------------------------------------
// Geometry

int TMyCustomGrid::ColExtent(int c) const {
    const int w = ColWidths(c);
    return w < 0 ? 0 : w + gridLineWidth_;
}

int TMyCustomGrid::RowExtent(int r) const {
    const int h = RowHeights(r);
    return h < 0 ? 0 : h + gridLineWidth_;
}

int TMyCustomGrid::FixedWidth() const {
    int w = 0;
    for (int c = 0; c < fixedCols_; ++c)
        w += ColExtent(c);
    return w;
}

int TMyCustomGrid::FixedHeight() const {
    int h = 0;
    for (int r = 0; r < fixedRows_; ++r)
        h += RowExtent(r);
    return h;
}

int TMyCustomGrid::ColLeft(int c) const {
    int x = 0;
    if (c < fixedCols_) {
        for (int i = 0; i < c; ++i)
            x += ColExtent(i);
        return x;
    }
    x = FixedWidth();
    if (c >= LeftCol()) {
        for (int i = LeftCol(); i < c; ++i)
            x += ColExtent(i);
    } else {
        for (int i = c; i < LeftCol(); ++i)
            x -= ColExtent(i);
    }
    return x;
}

int TMyCustomGrid::RowTop(int r) const {
    if (r < fixedRows_) {
        int y = 0;
        for (int i = 0; i < r; ++i)
            y += RowExtent(i);
        return y;
    }
    // Rows of the default height are counted in one step; only the exceptions are visited.
    const int defExtent = defaultRowHeight_ < 0 ? 0 : defaultRowHeight_ + gridLineWidth_;
    const int a = std::min(r, TopRow()), b = std::max(r, TopRow());
    long long sum = (long long)(b - a) * defExtent;
    for (auto it = rowHeights_.lower_bound(a); it != rowHeights_.end() && it->first < b; ++it)
        sum += RowExtent(it->first) - defExtent;
    const long long y = FixedHeight() + (r >= TopRow() ? sum : -sum);
    return int(std::clamp<long long>(y, -0x3FFFFFFF, 0x3FFFFFFF));
}

int TMyCustomGrid::GridWidth() const {
    int x = FixedWidth();
    const int w = viewport()->width();
    for (int c = LeftCol(); c < colCount_ && x < w; ++c)
        x += ColExtent(c);
    return std::min(x, w);
}

int TMyCustomGrid::GridHeight() const {
    int y = FixedHeight();
    const int h = viewport()->height();
    for (int r = TopRow(); r < rowCount_ && y < h; ++r)
        y += RowExtent(r);
    return std::min(y, h);
}

int TMyCustomGrid::VisibleColCount() const {
    const int w = viewport()->width();
    int x = FixedWidth(), n = 0;
    for (int c = LeftCol(); c < colCount_; ++c) {
        const int cw = ColWidths(c);
        if (cw >= 0 && x + cw > w) break;
        x += ColExtent(c);
        ++n;
    }
    return n;
}

int TMyCustomGrid::VisibleRowCount() const {
    const int h = viewport()->height();
    int y = FixedHeight(), n = 0;
    for (int r = TopRow(); r < rowCount_; ++r) {
        const int rh = RowHeights(r);
        if (rh >= 0 && y + rh > h) break;
        y += RowExtent(r);
        ++n;
    }
    return n;
}

int TMyCustomGrid::LastVisibleRow() const {
    const int h = viewport()->height();
    int y = FixedHeight(), r = TopRow();
    for (; r < rowCount_; ++r) {
        y += RowExtent(r);
        if (y >= h) break;
    }
    return std::min(r, rowCount_ - 1);
}

int TMyCustomGrid::MaxTopRow() const {
    const int avail = viewport()->height() - FixedHeight();
    int t = rowCount_ - 1;
    if (t < fixedRows_) return fixedRows_;
    int need = std::max(0, RowHeights(t));
    while (t - 1 >= fixedRows_ && need + RowExtent(t - 1) <= avail) {
        need += RowExtent(t - 1);
        --t;
    }
    return t;
}

int TMyCustomGrid::MaxLeftCol() const {
    const int avail = viewport()->width() - FixedWidth();
    int l = colCount_ - 1;
    if (l < fixedCols_) return fixedCols_;
    int need = std::max(0, ColWidths(l));
    while (l - 1 >= fixedCols_ && need + ColExtent(l - 1) <= avail) {
        need += ColExtent(l - 1);
        --l;
    }
    return l;
}

void TMyCustomGrid::MouseToCell(int X, int Y, int& ACol, int& ARow) const {
    ACol = ARow = -1;
    const int w = viewport()->width(), h = viewport()->height();
    if (X >= 0 && X < w) {
        int x = 0;
        for (int c = 0; c < fixedCols_ && ACol < 0; ++c) {
            if (X < x + ColExtent(c)) ACol = c;
            x += ColExtent(c);
        }
        for (int c = LeftCol(); c < colCount_ && ACol < 0 && x < w; ++c) {
            if (X < x + ColExtent(c)) ACol = c;
            x += ColExtent(c);
        }
    }
    if (Y >= 0 && Y < h) {
        int y = 0;
        for (int r = 0; r < fixedRows_ && ARow < 0; ++r) {
            if (Y < y + RowExtent(r)) ARow = r;
            y += RowExtent(r);
        }
        for (int r = TopRow(); r < rowCount_ && ARow < 0 && y < h; ++r) {
            if (Y < y + RowExtent(r)) ARow = r;
            y += RowExtent(r);
        }
    }
}

QRect TMyCustomGrid::CellRect(int ACol, int ARow) const {
    if (ACol < 0 || ARow < 0 || ACol >= colCount_ || ARow >= rowCount_) return {};
    if (ACol >= fixedCols_ && ACol < LeftCol()) return {};
    if (ARow >= fixedRows_ && ARow < TopRow()) return {};
    const int w = ColWidths(ACol), h = RowHeights(ARow);
    if (w < 0 || h < 0) return {};
    const int x = ColLeft(ACol), y = RowTop(ARow);
    if (x >= viewport()->width() || y >= viewport()->height()) return {};
    return QRect(x, y, w, h);
}

// ---------------------------------------------------------------------------------------------
// Invalidation

void TMyCustomGrid::InvalidateCell(int ACol, int ARow) {
    const QRect r = CellRect(ACol, ARow);
    if (!r.isNull()) viewport()->update(r.adjusted(-1, -1, gridLineWidth_ + 1, gridLineWidth_ + 1));
}

void TMyCustomGrid::InvalidateRow(int ARow) {
    if (ARow < 0 || ARow >= rowCount_) return;
    if (ARow >= fixedRows_ && (ARow < TopRow() || ARow > LastVisibleRow())) return;
    const int h = RowHeights(ARow);
    if (h < 0) return;
    viewport()->update(QRect(0, RowTop(ARow) - 1, viewport()->width(), h + gridLineWidth_ + 2));
}

void TMyCustomGrid::InvalidateCol(int ACol) {
    if (ACol < 0 || ACol >= colCount_) return;
    const int w = ColWidths(ACol);
    if (w < 0) return;
    viewport()->update(QRect(ColLeft(ACol) - 1, 0, w + gridLineWidth_ + 2, viewport()->height()));
}

void TMyCustomGrid::InvalidateGrid() {
    viewport()->update();
}

void TMyCustomGrid::InvalidateSelection(const TGridRect& s) {
    if (s.Top == s.Bottom && s.Left == s.Right) {
        InvalidateCell(s.Left, s.Top);
        return;
    }
    const int top = std::max(s.Top, TopRow()), bottom = std::min(s.Bottom, LastVisibleRow());
    for (int r = top; r <= bottom; ++r)
        InvalidateRow(r);
}

// ---------------------------------------------------------------------------------------------
// Current cell, selection and scrolling

TGridRect TMyCustomGrid::Selection() const {
    TGridRect r;
    r.Left = std::min(anchor_.x(), current_.x());
    r.Right = std::max(anchor_.x(), current_.x());
    r.Top = std::min(anchor_.y(), current_.y());
    r.Bottom = std::max(anchor_.y(), current_.y());
    if (options_.Contains(TGridOption::goRowSelect)) {
        r.Left = fixedCols_;
        r.Right = colCount_ - 1;
    }
    return r;
}

void TMyCustomGrid::SetSelection(const TGridRect& s) {
    auto inRange = [&](int c, int r) { return c >= 0 && c < colCount_ && r >= 0 && r < rowCount_; };
    if (!inRange(s.Left, s.Top) || !inRange(s.Right, s.Bottom))
        throw EGridError(GridErrors::IndexOutOfRange);
    if (editorMode_) HideEditor();
    const TGridRect old = Selection();
    anchor_ = QPoint(s.Left, s.Top);
    current_ = QPoint(s.Right, s.Bottom);
    if (nowUpdating_) return;
    InvalidateSelection(old);
    InvalidateSelection(Selection());
}

bool TMyCustomGrid::IsSelected(int c, int r) const {
    const TGridRect s = Selection();
    return c >= s.Left && c <= s.Right && r >= s.Top && r <= s.Bottom;
}

bool TMyCustomGrid::MoveColRow(int ACol, int ARow, bool MoveAnchor, bool Show) {
    if (ACol < 0 || ARow < 0 || ACol >= colCount_ || ARow >= rowCount_)
        throw EGridError(GridErrors::IndexOutOfRange);
    if (!SelectCell(ACol, ARow)) return false;
    SetCurrentCell(ACol, ARow, MoveAnchor, Show);
    return true;
}

void TMyCustomGrid::SetCurrentCell(int ACol, int ARow, bool MoveAnchor, bool Show) {
    if (ACol < 0 || ARow < 0 || ACol >= colCount_ || ARow >= rowCount_)
        throw EGridError(GridErrors::IndexOutOfRange);
    const TGridRect old = Selection();
    current_ = QPoint(ACol, ARow);
    if (MoveAnchor || !options_.Contains(TGridOption::goRangeSelect)) anchor_ = current_;
    if (options_.Contains(TGridOption::goRowSelect) && MoveAnchor) anchor_.setY(ARow);
    if (Show) ClampInView(ACol, ARow);
    if (!nowUpdating_) {
        InvalidateSelection(old);
        InvalidateSelection(Selection());
    }
    if (editorMode_) UpdateEditor();
}

void TMyCustomGrid::SetCol(int c) {
    if (c == Col()) return;
    if (MoveColRow(c, Row(), true, true)) Click();
}

void TMyCustomGrid::SetRow(int r) {
    if (r == Row()) return;
    if (MoveColRow(Col(), r, true, true)) Click();
}

void TMyCustomGrid::SetTopRow(int r) {
    MoveTopLeft(LeftCol(), r);
}
void TMyCustomGrid::SetLeftCol(int c) {
    MoveTopLeft(c, TopRow());
}

void TMyCustomGrid::MoveTopLeft(int left, int top) {
    left = std::clamp(left, fixedCols_, std::max(fixedCols_, MaxLeftCol()));
    top = std::clamp(top, fixedRows_, std::max(fixedRows_, MaxTopRow()));
    if (left == LeftCol() && top == TopRow()) return;
    topLeft_ = QPoint(left, top);
    UpdateScrollBars();
    if (editorMode_) UpdateEditor();
    viewport()->update();
    TopLeftChanged();
}

void TMyCustomGrid::ClampInView(int ACol, int ARow) {
    int left = LeftCol(), top = TopRow();
    const int w = viewport()->width(), h = viewport()->height();
    if (ARow >= fixedRows_) {
        if (ARow < top) {
            top = ARow;
        } else {
            // Bottom edge of ARow when TopRow stays: walk back from ARow so that only the rows on
            // screen are visited.
            const int avail = h - FixedHeight();
            int t = ARow, need = std::max(0, RowHeights(ARow));
            if (RowTop(ARow) + need > h) {
                while (t - 1 >= fixedRows_ && need + RowExtent(t - 1) <= avail) {
                    need += RowExtent(t - 1);
                    --t;
                }
                top = std::max(top, t);
            }
        }
    }
    if (ACol >= fixedCols_) {
        if (ACol < left) {
            left = ACol;
        } else {
            const int avail = w - FixedWidth();
            int l = ACol, need = std::max(0, ColWidths(ACol));
            if (ColLeft(ACol) + need > w) {
                while (l - 1 >= fixedCols_ && need + ColExtent(l - 1) <= avail) {
                    need += ColExtent(l - 1);
                    --l;
                }
                left = std::max(left, l);
            }
        }
    }
    MoveTopLeft(left, top);
}

void TMyCustomGrid::UpdateScrollBars() {
    syncingScrollBars_ = true;
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, MaxTopRow() - fixedRows_));
    v->setPageStep(std::max(1, VisibleRowCount()));
    v->setSingleStep(1);
    v->setValue(TopRow() - fixedRows_);
    QScrollBar* hb = horizontalScrollBar();
    hb->setRange(0, std::max(0, MaxLeftCol() - fixedCols_));
    hb->setPageStep(std::max(1, VisibleColCount()));
    hb->setSingleStep(1);
    hb->setValue(LeftCol() - fixedCols_);
    syncingScrollBars_ = false;
    ScrollBarsUpdated();
}

void TMyCustomGrid::SetScrollPage(Qt::Orientation o, int page) {
    syncingScrollBars_ = true;
    (o == Qt::Vertical ? verticalScrollBar() : horizontalScrollBar())
        ->setPageStep(std::max(1, page));
    syncingScrollBars_ = false;
}

void TMyCustomGrid::scrollContentsBy(int, int) {
    if (syncingScrollBars_) return;
    MoveTopLeft(fixedCols_ + horizontalScrollBar()->value(),
                fixedRows_ + verticalScrollBar()->value());
}

void TMyCustomGrid::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    topLeft_.setX(std::clamp(topLeft_.x(), fixedCols_, std::max(fixedCols_, MaxLeftCol())));
    topLeft_.setY(std::clamp(topLeft_.y(), fixedRows_, std::max(fixedRows_, MaxTopRow())));
    UpdateScrollBars();
    if (editorMode_) UpdateEditor();
}

// ---------------------------------------------------------------------------------------------
// Moves and deletions

void TMyCustomGrid::MoveColumn(int FromIndex, int ToIndex) {
    if (FromIndex < 0 || ToIndex < 0 || FromIndex >= colCount_ || ToIndex >= colCount_)
        throw EGridError(GridErrors::IndexOutOfRange);
    if (FromIndex == ToIndex) return;
    if (editorMode_) HideEditor();
    if (!colWidths_.empty()) {
        const int w = colWidths_[size_t(FromIndex)];
        colWidths_.erase(colWidths_.begin() + FromIndex);
        colWidths_.insert(colWidths_.begin() + ToIndex, w);
    }
    MoveStoredColumn(FromIndex, ToIndex);
    auto follow = [&](int c) {
        if (c == FromIndex) return ToIndex;
        if (FromIndex < ToIndex && c > FromIndex && c <= ToIndex) return c - 1;
        if (ToIndex < FromIndex && c >= ToIndex && c < FromIndex) return c + 1;
        return c;
    };
    current_.setX(follow(current_.x()));
    anchor_.setX(follow(anchor_.x()));
    UpdateScrollBars();
    InvalidateGrid();
}

void TMyCustomGrid::MoveRow(int FromIndex, int ToIndex) {
    if (FromIndex < 0 || ToIndex < 0 || FromIndex >= rowCount_ || ToIndex >= rowCount_)
        throw EGridError(GridErrors::IndexOutOfRange);
    if (FromIndex == ToIndex) return;
    if (editorMode_) HideEditor();
    if (!rowHeights_.empty()) {
        const int lo = std::min(FromIndex, ToIndex), hi = std::max(FromIndex, ToIndex);
        std::map<int, int> moved;
        for (auto it = rowHeights_.lower_bound(lo); it != rowHeights_.end() && it->first <= hi;) {
            int r = it->first;
            if (r == FromIndex)
                r = ToIndex;
            else
                r += FromIndex < ToIndex ? -1 : 1;
            moved[r] = it->second;
            it = rowHeights_.erase(it);
        }
        rowHeights_.insert(moved.begin(), moved.end());
    }
    MoveStoredRow(FromIndex, ToIndex);
    auto follow = [&](int r) {
        if (r == FromIndex) return ToIndex;
        if (FromIndex < ToIndex && r > FromIndex && r <= ToIndex) return r - 1;
        if (ToIndex < FromIndex && r >= ToIndex && r < FromIndex) return r + 1;
        return r;
    };
    current_.setY(follow(current_.y()));
    anchor_.setY(follow(anchor_.y()));
    InvalidateGrid();
}

void TMyCustomGrid::InsertRowSlot(int ARow) {
    if (ARow < 0) throw EGridError(GridErrors::IndexOutOfRange);
    if (!rowHeights_.empty()) {
        std::map<int, int> shifted;
        for (auto it = rowHeights_.lower_bound(ARow); it != rowHeights_.end();) {
            shifted[it->first + 1] = it->second;
            it = rowHeights_.erase(it);
        }
        rowHeights_.insert(shifted.begin(), shifted.end());
    }
    InsertStoredRowHook(ARow);
}

void TMyCustomGrid::InsertColSlot(int ACol) {
    if (ACol < 0) throw EGridError(GridErrors::IndexOutOfRange);
    if (!colWidths_.empty() && ACol <= int(colWidths_.size()))
        colWidths_.insert(colWidths_.begin() + ACol, defaultColWidth_);
    InsertStoredColumn(ACol);
}

void TMyCustomGrid::DeleteColumn(int ACol) {
    if (ACol < 0 || ACol >= colCount_) throw EGridError(GridErrors::IndexOutOfRange);
    if (colCount_ - 1 <= fixedCols_) throw EGridError(GridErrors::TooManyDeleted);
    if (editorMode_) HideEditor();
    if (!colWidths_.empty()) colWidths_.erase(colWidths_.begin() + ACol);
    DeleteStoredColumn(ACol);
    if (current_.x() > ACol) current_.rx()--;
    if (anchor_.x() > ACol) anchor_.rx()--;
    ChangeSize(colCount_ - 1, rowCount_);
    InvalidateGrid();
}

void TMyCustomGrid::DeleteRow(int ARow) {
    if (ARow < 0 || ARow >= rowCount_) throw EGridError(GridErrors::IndexOutOfRange);
    if (rowCount_ - 1 <= fixedRows_) throw EGridError(GridErrors::TooManyDeleted);
    if (editorMode_) HideEditor();
    if (!rowHeights_.empty()) {
        std::map<int, int> shifted;
        for (auto it = rowHeights_.lower_bound(ARow); it != rowHeights_.end();) {
            if (it->first > ARow) shifted[it->first - 1] = it->second;
            it = rowHeights_.erase(it);
        }
        rowHeights_.insert(shifted.begin(), shifted.end());
    }
    DeleteStoredRow(ARow);
    if (current_.y() > ARow) current_.ry()--;
    if (anchor_.y() > ARow) anchor_.ry()--;
    ChangeSize(colCount_, rowCount_ - 1);
    InvalidateGrid();
}

// ---------------------------------------------------------------------------------------------
// Bulk update

void TMyCustomGrid::BeginUpdate() {
    if (!nowUpdating_) {
        nowUpdating_ = true;
        if (!cursorOverridden_) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            cursorOverridden_ = true;
        }
        // Input is refused while updating (InputBlocked) instead of disabling the widget: Qt would
        // move the keyboard focus away from a disabled widget.
        viewport()->setUpdatesEnabled(false);
    }
    if (OnBeginUpdate) OnBeginUpdate(this);
}

void TMyCustomGrid::EndUpdate() {
    viewport()->setUpdatesEnabled(true);
    if (cursorOverridden_) {
        QGuiApplication::restoreOverrideCursor();
        cursorOverridden_ = false;
    }
    nowUpdating_ = false;
    // Counts changed during the update were only recorded; bring the positions back into range
    // without running the size-change handling.
    auto clampCell = [&](QPoint& p) {
        p.setX(std::clamp(p.x(), fixedCols_, colCount_ - 1));
        p.setY(std::clamp(p.y(), fixedRows_, rowCount_ - 1));
    };
    clampCell(current_);
    clampCell(anchor_);
    topLeft_.setX(std::clamp(topLeft_.x(), fixedCols_, std::max(fixedCols_, MaxLeftCol())));
    topLeft_.setY(std::clamp(topLeft_.y(), fixedRows_, std::max(fixedRows_, MaxTopRow())));
    UpdateScrollBars();
    if (editorMode_) UpdateEditor();
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Default behaviour of the overridable operations

void TMyCustomGrid::DrawCell(TGridCanvas&, int, int, const QRect&, TGridDrawState) {}
bool TMyCustomGrid::SelectCell(int, int) {
    return true;
}
void TMyCustomGrid::ColumnMoved(int, int) {}
void TMyCustomGrid::RowMoved(int, int) {}
void TMyCustomGrid::SizeChanged(int, int) {}

void TMyCustomGrid::ColWidthsChanged() {
    if (nowUpdating_) return;
    UpdateScrollBars();
    if (editorMode_) UpdateEditor();
    InvalidateGrid();
}

void TMyCustomGrid::RowHeightsChanged() {
    if (nowUpdating_) return;
    UpdateScrollBars();
    if (editorMode_) UpdateEditor();
    InvalidateGrid();
}

void TMyCustomGrid::TopLeftChanged() {
    if (OnTopLeftChanged) OnTopLeftChanged(this);
}

QString TMyCustomGrid::GetEditText(int, int) {
    return {};
}
QString TMyCustomGrid::GetEditMask(int, int) {
    return {};
}
void TMyCustomGrid::SetEditText(int, int, const QString&) {}

void TMyCustomGrid::Click() {
    if (OnClick) OnClick(this);
}

void TMyCustomGrid::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

void TMyCustomGrid::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TMyCustomGrid::DoExit() {
    if (OnExit) OnExit(this);
}

void TMyCustomGrid::BeginDrag() {
    if (OnStartDrag) OnStartDrag(this);
}

// ---------------------------------------------------------------------------------------------
// TMyDrawGrid

TMyDrawGrid::TMyDrawGrid(QWidget* parent) : TMyCustomGrid(parent) {}

void TMyDrawGrid::DrawCell(TGridCanvas&, int ACol, int ARow, const QRect& rect,
                           TGridDrawState state) {
    if (OnDrawCell) OnDrawCell(this, ACol, ARow, rect, state);
}

bool TMyDrawGrid::SelectCell(int ACol, int ARow) {
    bool can = true;
    if (OnSelectCell) OnSelectCell(this, ACol, ARow, can);
    return can;
}

void TMyDrawGrid::ColumnMoved(int FromIndex, int ToIndex) {
    if (OnColumnMoved) OnColumnMoved(this, FromIndex, ToIndex);
}

void TMyDrawGrid::RowMoved(int FromIndex, int ToIndex) {
    if (OnRowMoved) OnRowMoved(this, FromIndex, ToIndex);
}

QString TMyDrawGrid::GetEditText(int ACol, int ARow) {
    QString v;
    if (OnGetEditText) OnGetEditText(this, ACol, ARow, v);
    return v;
}

QString TMyDrawGrid::GetEditMask(int ACol, int ARow) {
    QString v;
    if (OnGetEditMask) OnGetEditMask(this, ACol, ARow, v);
    return v;
}

void TMyDrawGrid::SetEditText(int ACol, int ARow, const QString& Value) {
    if (OnSetEditText) OnSetEditText(this, ACol, ARow, Value);
}
