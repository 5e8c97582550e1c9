// The protocol: the race's list, shown in the grid.
#include <QToolButton>
#include <algorithm>

#include "app/formmain.h"
#include "app/panel.h"

void TFormMain::ShowList(const RaceChange& change) {
    if (change.cleared) {
        SortGrid1->Clear();
    } else if (change.list) {
        SortGrid1->BeginUpdate();  // one repaint for a whole list
        SortGrid1->SetColCount(race_.ColCount());
        SortGrid1->SetRow(0, race_.Header());
        SortGrid1->SetRowCount(race_.RowCount());
        for (int r = 1; r < race_.RowCount(); ++r) {
            const ListRow& row = race_.Row(r);
            if (!row.Empty() || !SortGrid1->IsRowEmpty(r)) SortGrid1->SetRow(r, row.cells);
        }
        SortGrid1->EndUpdate();
    } else {
        // A bulk change paints once; a lap's row needs no such care.
        const bool bulk = change.removedAt > 0 || change.insertedAt > 0 ||
                          change.lastRow - change.firstRow > 8;
        if (bulk) SortGrid1->BeginUpdate();
        // A row taken out or put in moves the rows after it in the grid's own storage; only the
        // cells that then differ are written (after a correction high up a long list, mostly
        // the ranks).
        if (change.removedAt > 0) SortGrid1->DeleteRow(change.removedAt);
        if (change.insertedAt > 0) {
            // The grid puts a row inserted at its last data row after that row, so a row that
            // goes in before the last one is made by growing the grid and writing the rows.
            if (change.insertedAt < SortGrid1->RowCount() - 1)
                SortGrid1->InsertRow(change.insertedAt);
            else
                SortGrid1->SetRowCount(SortGrid1->RowCount() + 1);
        }
        if (SortGrid1->RowCount() != race_.RowCount()) SortGrid1->SetRowCount(race_.RowCount());
        if (SortGrid1->ColCount() < race_.ColCount()) SortGrid1->SetColCount(race_.ColCount());
        const int structuralFrom =
            change.insertedAt > 0 && change.removedAt > 0 ? std::min(change.insertedAt, change.removedAt)
            : change.insertedAt > 0                       ? change.insertedAt
                                                          : change.removedAt;
        const int last = structuralFrom > 0 ? race_.RowCount() - 1 : change.lastRow;
        const int first = structuralFrom > 0 && change.firstRow <= change.lastRow
                              ? std::min(structuralFrom, change.firstRow)
                              : structuralFrom > 0 ? structuralFrom : change.firstRow;
        for (int r = first; r <= last; ++r) {
            const QStringList& cells = race_.Row(r).cells;
            for (int c = 0; c < SortGrid1->ColCount(); ++c) {
                const QString& want = c < cells.size() ? cells[c] : QString();
                if (SortGrid1->Cells(c, r) != want) SortGrid1->SetCells(c, r, want);
            }
        }
        if (bulk) SortGrid1->EndUpdate();
    }
    SortGrid1->SetModified(race_.Modified());
    if (change.list || change.rowCount) UpdateProtocolButtons();
}

// An opened protocol may have fewer columns: only those it has are sized.
void TFormMain::SetDefaultColWidths() {
    const int widths[] = {52, 92, 92, 32};
    for (int c = 1; c <= 4 && c < SortGrid1->ColCount(); ++c)
        SortGrid1->SetColWidths(c, widths[c - 1]);
}

void TFormMain::FormResize() {
    const int widths[] = {52, 92, 78, 52};
    for (int c = 1; c <= 4 && c < SortGrid1->ColCount(); ++c)
        SortGrid1->SetColWidths(c, widths[c - 1]);
}

void TFormMain::UpdateProtocolButtons() {
    sbPrint->setEnabled(SortGrid1->RowCount() > 1);
    sbSave->setEnabled(sbPrint->isEnabled());
}

void TFormMain::SortGrid1SelectCell(int aCol, int aRow, bool& canSelect) {
    if (aCol == 1) return;
    SortGrid1->SetSelection(TGridRect{0, aRow, SortGrid1->ColCount() - 1, aRow});
    canSelect = false;
}
