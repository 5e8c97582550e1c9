// The string grid: cell texts and objects in sparse storage, and the row and column views.
#include <algorithm>

#include "grid/mygrids.h"

TMyStringGrid::TMyStringGrid(QWidget* parent) : TMyDrawGrid(parent) {}

const QString& TMyStringGrid::Cells(int ACol, int ARow) const {
    static const QString empty;
    const TStringSparseList* row = cells_.Get(ARow);
    return row ? row->Get(ACol) : empty;
}

void TMyStringGrid::SetCells(int ACol, int ARow, const QString& text) {
    if (ACol < 0 || ARow < 0) throw EGridError(GridErrors::IndexOutOfRange);
    TStringSparseList* row = cells_.Get(ARow);
    if (!row) {
        if (text.isEmpty()) return;
        row = &cells_.GetOrCreate(ARow);
    }
    if (row->Get(ACol) == text) return;
    row->Set(ACol, text);
    if (!NowUpdating()) InvalidateCell(ACol, ARow);
}

void* TMyStringGrid::Objects(int ACol, int ARow) const {
    const TStringSparseList* row = cells_.Get(ARow);
    return row ? row->GetObject(ACol) : nullptr;
}

void TMyStringGrid::SetObjects(int ACol, int ARow, void* object) {
    if (ACol < 0 || ARow < 0) throw EGridError(GridErrors::IndexOutOfRange);
    TStringSparseList* row = cells_.Get(ARow);
    if (!row) {
        if (!object) return;
        row = &cells_.GetOrCreate(ARow);
    }
    row->SetObject(ACol, object);
}

void TMyStringGrid::SetRow(int ARow, const QStringList& cells) {
    if (ARow < 0) throw EGridError(GridErrors::IndexOutOfRange);
    for (int c = 0; c < ColCount(); ++c)
        SetCells(c, ARow, c < cells.size() ? cells.at(c) : QString());
}

std::unique_ptr<TStringSparseList> TMyStringGrid::TakeRowCells(int ARow) {
    return cells_.Take(ARow);
}

void TMyStringGrid::PutRowCells(int ARow, std::unique_ptr<TStringSparseList> cells) {
    cells_.Put(ARow, std::move(cells));
    if (!NowUpdating()) InvalidateRow(ARow);
}

TStringSparseList TMyStringGrid::RowCells(int ARow) const {
    const TStringSparseList* row = cells_.Get(ARow);
    return row ? *row : TStringSparseList();
}

void TMyStringGrid::InsertStoredRowHook(int ARow) {
    cells_.Insert(ARow);
}
void TMyStringGrid::ExchangeStoredRows(int A, int B) {
    cells_.Exchange(A, B);
}

void TMyStringGrid::DrawCell(TGridCanvas& canvas, int ACol, int ARow, const QRect& rect,
                             TGridDrawState state) {
    if (DefaultDrawing()) canvas.TextRect(rect, rect.left() + 2, rect.top() + 2, Cells(ACol, ARow));
    TMyDrawGrid::DrawCell(canvas, ACol, ARow, rect, state);
}

QString TMyStringGrid::GetEditText(int ACol, int ARow) {
    QString v = Cells(ACol, ARow);
    if (OnGetEditText) OnGetEditText(this, ACol, ARow, v);
    return v;
}

void TMyStringGrid::SetEditText(int ACol, int ARow, const QString& Value) {
    SetCells(ACol, ARow, Value);
    TMyDrawGrid::SetEditText(ACol, ARow, Value);
}

void TMyStringGrid::MoveStoredColumn(int from, int to) {
    for (int r = 0; r < cells_.Count(); ++r)
        if (TStringSparseList* row = cells_.Get(r)) row->Move(from, to);
}

void TMyStringGrid::MoveStoredRow(int from, int to) {
    cells_.Move(from, to);
}

void TMyStringGrid::DeleteStoredColumn(int c) {
    for (int r = 0; r < cells_.Count(); ++r)
        if (TStringSparseList* row = cells_.Get(r)) row->Delete(c);
}

void TMyStringGrid::DeleteStoredRow(int r) {
    cells_.Delete(r);
}

void TMyStringGrid::InsertStoredColumn(int c) {
    for (int r = 0; r < cells_.Count(); ++r)
        if (TStringSparseList* row = cells_.Get(r)) row->Insert(c);
}

// ---------------------------------------------------------------------------------------------
// Row and column views

int TGridStrings::Count() const {
    return isRow_ ? grid_->ColCount() : grid_->RowCount();
}

QString TGridStrings::Strings(int i) const {
    if (i < 0 || i >= Count()) throw EGridError(GridErrors::IndexOutOfRange);
    return isRow_ ? grid_->Cells(i, index_) : grid_->Cells(index_, i);
}

void TGridStrings::SetStrings(int i, const QString& s) {
    if (i < 0 || i >= Count()) throw EGridError(GridErrors::IndexOutOfRange);
    if (isRow_)
        grid_->SetCells(i, index_, s);
    else
        grid_->SetCells(index_, i, s);
}

void* TGridStrings::Objects(int i) const {
    if (i < 0 || i >= Count()) throw EGridError(GridErrors::IndexOutOfRange);
    return isRow_ ? grid_->Objects(i, index_) : grid_->Objects(index_, i);
}

void TGridStrings::SetObjects(int i, void* o) {
    if (i < 0 || i >= Count()) throw EGridError(GridErrors::IndexOutOfRange);
    if (isRow_)
        grid_->SetObjects(i, index_, o);
    else
        grid_->SetObjects(index_, i, o);
}

QStringList TGridStrings::ToStringList() const {
    QStringList l;
    const int n = Count();
    l.reserve(n);
    for (int i = 0; i < n; ++i)
        l << Strings(i);
    return l;
}

TGridStrings& TGridStrings::operator=(const QStringList& list) {
    const int n = std::min<int>(Count(), int(list.size()));
    for (int i = 0; i < n; ++i) {
        SetStrings(i, list.at(i));
        SetObjects(i, nullptr);
    }
    return *this;
}

TGridStrings& TGridStrings::operator=(const TGridStrings& other) {
    if (&other == this) return *this;
    const QStringList strings = other.ToStringList();
    std::vector<void*> objects;
    for (int i = 0; i < other.Count(); ++i)
        objects.push_back(other.Objects(i));
    const int n = std::min(Count(), other.Count());
    for (int i = 0; i < n; ++i) {
        SetStrings(i, strings.at(i));
        SetObjects(i, objects[size_t(i)]);
    }
    return *this;
}

void TGridStrings::Add(const QString&) {
    throw EGridError(GridErrors::CannotInsertDelete);
}
void TGridStrings::Insert(int, const QString&) {
    throw EGridError(GridErrors::CannotInsertDelete);
}
void TGridStrings::Delete(int) {
    throw EGridError(GridErrors::CannotInsertDelete);
}

void TGridStrings::Clear() {
    for (int i = 0; i < Count(); ++i) {
        SetStrings(i, QString());
        SetObjects(i, nullptr);
    }
}
