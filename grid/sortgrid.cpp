// The sort grid: creation, Modified, update mode, size changes, rows and columns, navigation,
// automatic widths and cell validation.
#include "grid/sortgrid.h"

#include <QFontMetrics>
#include <QListWidget>
#include <algorithm>

#include "platform/dialogs.h"

TSortGrid::TSortGrid(QWidget* parent) : TMyStringGrid(parent) {
    SetFixedCols(0);
    columnFormats_.resize(size_t(ColCount()));
    rowFormats_.resize(size_t(RowCount()));
    selectedRows_ = {Row()};
    selectionOrder_ = {Row()};
}

TSortGrid::~TSortGrid() {
    // The drop-down list lives in the parent form; it goes with the grid.
    delete comboList_.data();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TSortGrid::SetModified(bool v) {
    modified_ = v;
    if (v && OnModified) OnModified(this);
}

void TSortGrid::SetHideRows(bool v) {
    hideRows_ = v;
    if (RowCount() > 1) SetCurrentCell(Col(), 1, true, false);
    InvalidateGrid();
}

void TSortGrid::SetMultiSelect(bool v) {
    multiSelect_ = v;
    if (v) SetOptions(Options() + TGridOption::goRowSelect);
    InvalidateGrid();
}

void TSortGrid::SetUserSettings(const QStringList& list) {
    userSettings_ = list;
    SetModified(true);
}

void TSortGrid::SetAlignmentHorz(TAlignment a) {
    if (a == alignmentHorz_) return;
    alignmentHorz_ = a;
    InvalidateGrid();
}

void TSortGrid::SetAlignmentVert(TVertAlignment a) {
    if (a == alignmentVert_) return;
    alignmentVert_ = a;
    InvalidateGrid();
}

void TSortGrid::SetBevelStyle(TCellBevelStyle s) {
    if (s == bevelStyle_) return;
    bevelStyle_ = s;
    InvalidateGrid();
}

void TSortGrid::SetColumnFormatsFirst(bool v) {
    if (v == columnFormatsFirst_) return;
    columnFormatsFirst_ = v;
    InvalidateGrid();
}

QStringList TSortGrid::SelectedRows() const {
    QStringList l;
    for (int r : selectedRows_)
        l << QString::number(r);
    return l;
}

QStringList TSortGrid::SelectionOrder() const {
    QStringList l;
    for (int r : selectionOrder_)
        l << QString::number(r);
    return l;
}

// ---------------------------------------------------------------------------------------------
// Update mode

void TSortGrid::BeginUpdate() {
    const bool wasUpdating = NowUpdating();
    TMyStringGrid::BeginUpdate();
    // Only the outermost call keeps the setting, so that a second BeginUpdate cannot make the
    // switched-off value stick.
    if (!wasUpdating) savedUpdateOnSizeChange_ = sortOptions_.UpdateOnSizeChange;
    sortOptions_.UpdateOnSizeChange = false;
}

void TSortGrid::EndUpdate() {
    const bool wasUpdating = NowUpdating();
    TMyStringGrid::EndUpdate();
    if (wasUpdating) sortOptions_.UpdateOnSizeChange = savedUpdateOnSizeChange_;
    if (OnEndUpdate) OnEndUpdate(this);
}

// ---------------------------------------------------------------------------------------------
// Size changes and format lists

void TSortGrid::ResizeFormats(TFontList& list, int delta, int at) {
    if (delta > 0) {
        const auto pos = at >= 0 && at <= int(list.size()) ? list.begin() + at : list.end();
        list.insert(pos, size_t(delta), TFontSetting{});
    } else if (delta < 0) {
        for (int i = 0; i < -delta && !list.empty(); ++i) {
            if (at >= 0 && at < int(list.size()))
                list.erase(list.begin() + at);
            else
                list.pop_back();
        }
    }
}

void TSortGrid::SizeChanged(int OldColCount, int OldRowCount) {
    SetModified(true);
    ScrollBarsUpdated();
    if (sortOptions_.UpdateOnSizeChange) SortByColumn(sortOptions_.SortCol);
    // A header row comes back as soon as there is room for it again.
    if (RowCount() >= 2 && TMyStringGrid::FixedRows() < 1) TMyStringGrid::SetFixedRows(1);
    if (!NowUpdating()) {
        try {
            GotoCell(0, 1, true);
        } catch (const Exception&) {
        }
    }
    ResizeFormats(columnFormats_, ColCount() - OldColCount, colFormatAt_);
    ResizeFormats(rowFormats_, RowCount() - OldRowCount, rowFormatAt_);
    colFormatAt_ = rowFormatAt_ = -1;
    if (RowCount() < 2) Dialogs().Information(this, QStringLiteral("Rowsize too small"));
    if (OnSizeChanged) OnSizeChanged(this, OldColCount, OldRowCount);
}

void TSortGrid::ColWidthsChanged() {
    TMyStringGrid::ColWidthsChanged();
    if (OnColumnWidthsChanged) OnColumnWidthsChanged(this);
}

void TSortGrid::RowHeightsChanged() {
    TMyStringGrid::RowHeightsChanged();
    if (OnRowHeightsChanged) OnRowHeightsChanged(this);
}

// ---------------------------------------------------------------------------------------------
// Clear

void TSortGrid::Clear() {
    BeginUpdate();
    columnFormats_.clear();
    rowFormats_.clear();
    if (RowCount() > 1) {
        const int col = std::min(Col(), ColCount() - 1);
        SetCurrentCell(col, 1, true, false);
        // Row 1 takes the column the current cell had, but the host decides, as for any other
        // selection, whether that cell may be selected (and so edited): a refused cell stays
        // part of a row selection, which opens no editor. The tracked selection is set below.
        const bool tracking = tracking_;
        tracking_ = false;
        const bool can = SelectCell(col, 1);
        tracking_ = tracking;
        if (!can) {
            const TGridRect s = Selection();
            if (s.Left == s.Right && s.Top == s.Bottom)
                SetSelection(TGridRect{0, 1, ColCount() - 1, 1});
        }
    }
    selectedRows_ = {1};
    selectionOrder_ = {1};
    // Every data row goes, also rows kept beyond the count (filtered out or cut off earlier),
    // so that none of them comes back when the protocol grows again.
    for (int r = StoredRowBound() - 1; r >= 1; --r)
        PutRowCells(r, nullptr);
    filteredOutCount_ = 0;
    filterAddedBlankRow_ = false;
    modified_ = false;
    SetRowCount(2);
    AutoSizeColumns(true);
    EndUpdate();
    FireRowSelected();
}

// ---------------------------------------------------------------------------------------------
// Rows and columns

namespace {
// Switches goAlwaysShowEditor off for the lifetime of the object.
class EditorOptionOff {
public:
    explicit EditorOptionOff(TMyCustomGrid* g)
        : g_(g), had_(g->Options().Contains(TGridOption::goAlwaysShowEditor)) {
        if (had_) g_->SetOptions(g_->Options() - TGridOption::goAlwaysShowEditor);
    }
    ~EditorOptionOff() {
        if (had_) g_->SetOptions(g_->Options() + TGridOption::goAlwaysShowEditor);
    }
    EditorOptionOff(const EditorOptionOff&) = delete;
    EditorOptionOff& operator=(const EditorOptionOff&) = delete;

private:
    TMyCustomGrid* g_;
    bool had_;
};
}  // namespace

void TSortGrid::ClearRowCells(int ARow) {
    for (int c = 0; c < ColCount(); ++c)
        SetCells(c, ARow, QString());
}

void TSortGrid::InsertRow(int ARow) {
    EditorOptionOff off(this);
    // A row inserted at the last data row goes after it; elsewhere before it.
    if (ARow >= RowCount() - 1) ARow = RowCount();
    ARow = std::max(1, ARow);
    // The row is opened in the storage itself, so rows kept beyond the count (filtered out)
    // keep their place after the visible ones.
    InsertRowSlot(ARow);
    rowFormatAt_ = ARow;
    SetRowCount(RowCount() + 1);
    rowFormatAt_ = -1;
    ClearRowCells(ARow);
    SetCurrentCell(std::min(Col(), ColCount() - 1), ARow, true, true);
    selectedRows_ = {ARow};
    selectionOrder_ = {ARow};
    InvalidateGrid();
    if (OnRowInsert) OnRowInsert(this, ARow);
}

void TSortGrid::InsertColumn(int ACol) {
    EditorOptionOff off(this);
    ACol = std::clamp(ACol, 0, ColCount());
    InsertColSlot(ACol);
    colFormatAt_ = ACol;
    SetColCount(ColCount() + 1);
    colFormatAt_ = -1;
    for (int r = 0; r < RowCount(); ++r)
        SetCells(ACol, r, QString());
    SetCurrentCell(ACol, Row(), true, true);
    InvalidateGrid();
    if (OnColumnInsert) OnColumnInsert(this, ACol);
}

void TSortGrid::DeleteRow(int ARow) {
    EditorOptionOff off(this);
    SetModified(true);
    if (RowCount() < 3) {
        // The last data row is only emptied: the grid keeps one data row.
        ClearRowCells(1);
        if (ARow >= 0 && ARow < int(rowFormats_.size())) rowFormats_[size_t(ARow)] = TFontSetting{};
    } else {
        // The row's own format entry goes with it (not one from the end).
        const bool hasEntry = ARow >= 0 && ARow < int(rowFormats_.size());
        rowFormatAt_ = hasEntry ? ARow : -1;
        try {
            TMyStringGrid::DeleteRow(ARow);
        } catch (...) {
            rowFormatAt_ = -1;
            throw;
        }
        rowFormatAt_ = -1;
        selectedRows_.removeAll(ARow);
        selectionOrder_.removeAll(ARow);
        for (int& r : selectedRows_)
            if (r > ARow) --r;
        for (int& r : selectionOrder_)
            if (r > ARow) --r;
        if (selectedRows_.isEmpty()) SetSingleSelection(Row());
    }
    if (OnRowDelete) OnRowDelete(this, ARow);
}

void TSortGrid::DeleteColumn(int ACol) {
    EditorOptionOff off(this);
    const bool hasEntry = ACol >= 0 && ACol < int(columnFormats_.size());
    colFormatAt_ = hasEntry ? ACol : -1;
    try {
        TMyStringGrid::DeleteColumn(ACol);
    } catch (...) {
        colFormatAt_ = -1;
        throw;
    }
    colFormatAt_ = -1;
    if (OnColumnDelete) OnColumnDelete(this, ACol);
}

namespace {
// Moves entry From to To when both exist, shifting those between: formats stay with their rows.
void MoveEntry(TFontList& list, int from, int to) {
    const int n = int(list.size());
    if (from == to || from < 0 || to < 0 || from >= n || to >= n) return;
    auto b = list.begin();
    if (from < to)
        std::rotate(b + from, b + from + 1, b + to + 1);
    else
        std::rotate(b + to, b + from, b + from + 1);
}
}  // namespace

void TSortGrid::MoveRow(int FromIndex, int ToIndex) {
    EditorOptionOff off(this);
    TMyStringGrid::MoveRow(FromIndex, ToIndex);
    MoveEntry(rowFormats_, FromIndex, ToIndex);
}

void TSortGrid::MoveColumn(int FromIndex, int ToIndex) {
    EditorOptionOff off(this);
    TMyStringGrid::MoveColumn(FromIndex, ToIndex);
}

void TSortGrid::ColumnMoved(int FromIndex, int ToIndex) {
    MoveEntry(columnFormats_, FromIndex, ToIndex);
    SetModified(true);
    int& sc = sortOptions_.SortCol;
    if (sc == FromIndex)
        sc = ToIndex;
    else if (FromIndex < ToIndex && sc > FromIndex && sc <= ToIndex)
        --sc;
    else if (ToIndex < FromIndex && sc >= ToIndex && sc < FromIndex)
        ++sc;
    TMyStringGrid::ColumnMoved(FromIndex, ToIndex);
}

void TSortGrid::SwapRows(int ARow1, int ARow2) {
    if (ARow1 == ARow2) return;
    const int a = std::min(ARow1, ARow2), b = std::max(ARow1, ARow2);
    MoveRow(b, a);
    MoveRow(a + 1, b);
}

// ---------------------------------------------------------------------------------------------
// Navigation

void TSortGrid::GotoCell(int ACol, int ARow, bool Scroll) {
    if (RowCount() < 2) return;
    ACol = std::clamp(ACol, 0, ColCount() - 1);
    ARow = std::clamp(ARow, 1, RowCount() - 1);
    if (!SelectCell(ACol, ARow)) return;
    SetCurrentCell(ACol, ARow, true, false);
    selectedRows_ = {ARow};
    selectionOrder_ = {ARow};
    InvalidateGrid();
    if (Scroll) ScrollToCell(ACol, ARow);
}

void TSortGrid::ScrollToCell(int ACol, int ARow) {
    if (RowCount() < 2) return;
    ACol = std::clamp(ACol, 0, ColCount() - 1);
    ARow = std::clamp(ARow, 1, RowCount() - 1);
    ClampInView(ACol, 0);
    int top = std::max(1, RowCount() - VisibleRowCount());
    if (top >= ARow) top = ARow == 1 ? 1 : ARow - 1;
    SetTopRow(top);
}

bool TSortGrid::IsRowEmpty(int ARow) const {
    for (int c = 0; c < ColCount(); ++c)
        if (!Cells(c, ARow).isEmpty()) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Automatic column widths

void TSortGrid::AutoSizeColumn(int ACol, bool Force) {
    if (ACol < 0 || ACol >= ColCount()) throw EGridError(GridErrors::IndexOutOfRange);
    if (!Force && ColWidths(ACol) == -1) return;
    TGridCanvas canvas;
    int widest = 0;
    const int glyphRoom = ACol == sortOptions_.SortCol && sortOptions_.CanSort ? 12 : 0;
    if (OnGetCellFormat) {
        // The handler may give any cell a font of its own.
        for (int r = 0; r < RowCount(); ++r) {
            canvas.Brush.Color = r == 0 ? FixedColor() : Color();
            canvas.Font.Font = font();
            canvas.Font.Color = clWindowText;
            GetCellFormat(ACol, r,
                          r == 0 ? TGridDrawState{TGridDrawStateItem::gdFixed} : TGridDrawState{},
                          canvas);
            widest = std::max(widest, canvas.TextWidth(Cells(ACol, r)) + (r == 0 ? glyphRoom : 0));
        }
    } else {
        // Every cell is in the grid's font. Shaping text is what costs, so a text that could not
        // be wider than the widest so far even in the font's widest character is not measured
        // (only for Latin-1 text, which the font itself draws, without fallback fonts).
        const QFontMetrics metrics(font());
        const qsizetype widestChar = std::max(1, metrics.maxWidth());
        auto latin1 = [](const QString& t) {
            return std::all_of(t.begin(), t.end(), [](QChar ch) { return ch.unicode() < 0x100; });
        };
        for (int r = 0; r < RowCount(); ++r) {
            const QString& text = Cells(ACol, r);
            const int extra = r == 0 ? glyphRoom : 0;
            if (text.size() * widestChar + extra <= widest && latin1(text)) continue;
            widest = std::max(widest, metrics.horizontalAdvance(text) + extra);
        }
    }
    canvas.Font.Font = font();
    SetColWidths(ACol, widest <= 0 ? canvas.TextWidth(QStringLiteral("xx"))
                                   : widest + canvas.TextWidth(QStringLiteral("X")));
}

void TSortGrid::AutoSizeColumns(bool Force) {
    const bool own = !NowUpdating();
    if (own) BeginUpdate();
    for (int c = 0; c < ColCount(); ++c)
        AutoSizeColumn(c, Force);
    if (own) EndUpdate();
}

// ---------------------------------------------------------------------------------------------
// Editing and validation

void TSortGrid::SetEditText(int ACol, int ARow, const QString& Value) {
    const bool changed = Value != Cells(ACol, ARow);
    TMyStringGrid::SetEditText(ACol, ARow, Value);
    if (changed) SetModified(true);
}

void TSortGrid::RememberEditCell() {
    editCol_ = Col();
    editRow_ = Row();
    editText_ = Cells(editCol_, editRow_);
    editModified_ = modified_;
}

void TSortGrid::ValidateEditCell() {
    if (!EditorMode()) return;
    if (editCol_ < 0 || editRow_ < 0 || Cells(editCol_, editRow_) == editText_) {
        RememberEditCell();
        return;
    }
    QString newValue = Cells(editCol_, editRow_);
    bool valid = true;
    if (OnCellValidate) OnCellValidate(this, editCol_, editRow_, editText_, newValue, valid);
    if (valid) {
        if (newValue != Cells(editCol_, editRow_)) SetCells(editCol_, editRow_, newValue);
    } else {
        SetCells(editCol_, editRow_, newValue != Cells(editCol_, editRow_) ? newValue : editText_);
        modified_ = editModified_;
    }
    RefreshEditorText();
    RememberEditCell();
}

void TSortGrid::EditorClosing() {
    ValidateEditCell();
}

// A cell made current by the program (not by a click) is remembered when its editing starts,
// so that its edit is validated too.
void TSortGrid::EditorOpened() {
    if (editCol_ != Col() || editRow_ != Row()) RememberEditCell();
}

void TSortGrid::Click() {
    TMyStringGrid::Click();
    ValidateEditCell();
}

void TSortGrid::DoEnter() {
    RememberEditCell();
    TMyStringGrid::DoEnter();
}

void TSortGrid::DoExit() {
    ValidateEditCell();
    TMyStringGrid::DoExit();
}

// ---------------------------------------------------------------------------------------------
// Selection

bool TSortGrid::SelectCell(int ACol, int ARow) {
    bool can = true;
    if (OnSelectCell) OnSelectCell(this, ACol, ARow, can);
    if (can) can = TMyStringGrid::SelectCell(ACol, ARow);
    if (!can) return false;
    if (EditorMode() && ARow > 0) {
        TGridCanvas canvas;
        canvas.Font.Font = font();
        const TCellFormat f = GetCellFormat(ACol, ARow, {}, canvas);
        if (f.Combobox || f.Ellipsis) {
            if (f.Combobox) {
                OpenComboBox(ACol, ARow);
                if (tabHeld_ && ACol < ColCount() - 2) MoveColRow(ACol + 1, ARow, true, true);
            }
            return false;
        }
    }
    if (tracking_) {
        const int previous = Row();
        selectedRows_ = {ARow};
        selectionOrder_ = {ARow};
        InvalidateRow(previous);
        InvalidateRow(ARow);
        FireRowSelected();
    }
    return true;
}

void TSortGrid::FireRowSelected() {
    if (OnRowSelected) OnRowSelected(this);
}

void TSortGrid::SetSingleSelection(int ARow) {
    selectedRows_ = {ARow};
    selectionOrder_ = {ARow};
}
