// The protocol rows: one per finisher, written once at the lap.
#include <QToolButton>

#include "app/formmain.h"
#include "app/panel.h"
#include "app/timetext.h"

void TFormMain::AddProtocolRow(const QString& startNo, const QString& timeText,
                               const QString& splitText) {
    const QStringList row{QString::number(LapCount) + QLatin1Char('.'), startNo, timeText,
                          splitText,
                          SpeedText(std::int32_t(PanelDate->Tag()), TickDiff(LapTick, StartTick))};
    EnsureProtocolColumns();
    if (SortGrid1->RowCount() <= LapCount) SortGrid1->SetRowCount(LapCount + 1);
    SortGrid1->SetRow(LapCount, row);
    lapsSinceOpened_ = true;
    UpdateProtocolButtons();
}

void TFormMain::EnsureProtocolColumns() {
    // An opened protocol may have fewer columns: a lap recorded into it keeps all five values.
    // Columns it already has keep their captions; a new one gets its own.
    const int had = SortGrid1->ColCount();
    if (had >= kProtocolColumns) return;
    SortGrid1->SetColCount(kProtocolColumns);
    for (int c = had; c < kProtocolColumns; ++c)
        if (SortGrid1->Cells(c, 0).isEmpty())
            SortGrid1->SetCells(c, 0, QString::fromLatin1(kProtocolHeader[c]));
}

void TFormMain::SetDefaultColWidths() {
    const int widths[] = {52, 92, 92, 32};
    for (int c = 1; c <= 4; ++c)
        SortGrid1->SetColWidths(c, widths[c - 1]);
}

void TFormMain::FormResize() {
    const int widths[] = {52, 92, 78, 52};
    for (int c = 1; c <= 4; ++c)
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
