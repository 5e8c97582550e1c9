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
                          change.lastRow - change.firstRow > 8 || change.rankLast > change.rankFirst;
        if (bulk) SortGrid1->BeginUpdate();
        // The operator's selection stays on the row it was on, wherever that row went.
        const TGridRect sel = SortGrid1->Selection();
        int selected = sel.Top;
        bool moved = false;  // the selected row itself went out, and came back in elsewhere
        if (change.removedAt > 0) {
            if (selected == change.removedAt)
                moved = change.insertedAt > 0;
            else if (selected > change.removedAt)
                --selected;
        }
        if (change.insertedAt > 0) {
            if (moved)
                selected = change.insertedAt;
            else if (selected >= change.insertedAt)
                ++selected;
        }
        // A row taken out or put in moves the rows after it in the grid's own storage.
        bool grewInstead = false;
        if (change.removedAt > 0) SortGrid1->DeleteRow(change.removedAt);
        if (change.insertedAt > 0) {
            // The grid puts a row inserted at its last data row after that row, so a row that
            // goes in before the last one is made by growing the grid and writing the rows.
            if (change.insertedAt < SortGrid1->RowCount() - 1) {
                SortGrid1->InsertRow(change.insertedAt);
            } else {
                SortGrid1->SetRowCount(SortGrid1->RowCount() + 1);
                grewInstead = true;
            }
        }
        if (SortGrid1->RowCount() != race_.RowCount()) SortGrid1->SetRowCount(race_.RowCount());
        if (SortGrid1->ColCount() < race_.ColCount()) SortGrid1->SetColCount(race_.ColCount());
        // Rows the change moved hold their cells already; the others are written: whole where
        // the race changed them, the rank alone where only that changed. (The grid leaves a cell
        // alone that already holds its text.)
        auto write = [this](int first, int last, int cols) {
            for (int r = std::max(first, 1); r <= last && r < SortGrid1->RowCount(); ++r) {
                const QStringList& cells = race_.Row(r).cells;
                for (int c = 0; c < cols; ++c)
                    SortGrid1->SetCells(c, r, cells.value(c));
            }
        };
        write(change.firstRow, change.lastRow, SortGrid1->ColCount());
        write(change.rankFirst, change.rankLast, 1);
        if (grewInstead) write(change.insertedAt, race_.RowCount() - 1, SortGrid1->ColCount());
        if (change.removedAt > 0 || change.insertedAt > 0) {
            selected = std::clamp(selected, 1, std::max(1, SortGrid1->RowCount() - 1));
            SortGrid1->SetSelection(sel.Top == sel.Bottom && sel.Left == sel.Right
                                        ? TGridRect{sel.Left, selected, sel.Left, selected}
                                        : TGridRect{0, selected, SortGrid1->ColCount() - 1, selected});
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
