// The protocol: the race's list, shown in the grid.
#include <QToolButton>

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
        if (change.rowCount) SortGrid1->SetRowCount(race_.RowCount());
        if (SortGrid1->ColCount() < race_.ColCount()) SortGrid1->SetColCount(race_.ColCount());
        for (int r = change.firstRow; r <= change.lastRow; ++r)
            SortGrid1->SetRow(r, race_.Row(r).cells);
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
