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
    if (SortGrid1->RowCount() <= LapCount) SortGrid1->SetRowCount(LapCount + 1);
    SortGrid1->SetRow(LapCount, row);
    UpdateProtocolButtons();
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
