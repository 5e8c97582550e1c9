// The race clock's display: two rows of seven-segment digits.
#include <QLabel>

#include "app/formmain.h"
#include "app/panel.h"
#include "race/timetext.h"
#include "platform/ttimer.h"
#include "widgets/digit.h"

void TFormMain::ClockTimer() {
    ShowTime(1, TickDiff(GetTickCount(), race_.StartTick()));
}

void TFormMain::ShowTime(int row, TRaceTime time) {
    const TimeParts p = SplitTime(time);
    ShowTimeParts(row, p.hours, p.minutes, p.seconds, p.hundredths);
    // A screen reader hears the running time once a second, not at every tick.
    if (auto text = spoken_.Show(row, time, row == 1 && Clock->Enabled(), Resolution()))
        PanelTimer->setAccessibleDescription(*text);
}

void TFormMain::ShowTimeParts(int row, int hours, int minutes, int seconds, int hundredths) {
    const RowDigits d = DisplayRow(row, TimeParts{hours, minutes, seconds, hundredths});
    const TColor lit = row == 1 ? LitColor1 : LitColor2;
    auto colour = [&](int i) { return d.lit[std::size_t(i)] ? lit : DimColor; };
    if (row == 1) {
        TDigit* digits[7] = {Digit2, Digit3, Digit4, Digit5, Digit6, Digit7, Digit8};
        for (int i = 0; i < 7; ++i)
            digits[i]->SetValue(d.value[std::size_t(i)]);
        // The last three digits keep the colour ApplyDisplayColors gave them.
        for (int i = 0; i < 4; ++i)
            digits[i]->SetColorOn(colour(i));
        SetFontColor(LabHour, colour(0));
        SetFontColor(Lab_Hour, colour(0));
        SetFontColor(LabMin, colour(2));
        SetFontColor(Lab_Min, colour(2));
    } else {
        TDigit* digits[7] = {Digit13, Digit15, Digit16, Digit18, Digit19, Digit21, Digit22};
        for (int i = 0; i < 7; ++i) {
            digits[i]->SetValue(d.value[std::size_t(i)]);
            digits[i]->SetColorOn(colour(i));
        }
        SetFontColor(LabHour2, colour(0));
        SetFontColor(LabMin2, colour(2));
        SetFontColor(LabSec2, colour(4));
    }
}

void TFormMain::SetResolution(int r) {
    Digit8->setVisible(r == 2);
    Digit22->setVisible(r == 2);
    Digit7->setVisible(r > 0);
    Digit21->setVisible(r > 0);
    const int bevel = PanelTimer->BevelWidth();
    int w = PanelTimerOwner->width();
    if (r == 0)
        w = LabSec->x() + bevel;
    else if (r == 1)
        w = Digit8->x() + bevel;
    PanelTimer->resize(w, PanelTimer->height());
    PanelTimer->move((PanelTimerOwner->width() - w) / 2, PanelTimer->y());
    Lab_100->move(326 + 20 * r, Lab_100->y());
    Lab_100->setText(QStringLiteral("1/") + QString::number(90 * (r - 1) + 10));
    Lab_100->adjustSize();
    Lab_100->setVisible(r > 0);
    LabSec->setVisible(r > 0);
    LabSec2->setVisible(r > 0);
}

void TFormMain::ApplyDisplayColors() {
    DimColor = TColor(PanelTimer->Tag());
    LitColor1 = PanelTimer->FontColor();
    LitColor2 = TColor(Digit8->Tag());
    const TColor font = PanelTimer->FontColor();
    const TColor back = PanelTimer->Color();
    for (TDigit* d : {Digit2, Digit3, Digit4, Digit5, Digit6, Digit7, Digit8, Digit13, Digit15,
                      Digit16, Digit18, Digit19, Digit21, Digit22}) {
        d->SetColorOn(font);
        d->SetColorOff(back);
        d->SetColor(back);
    }
    for (QLabel* l :
         {LabHour, LabMin, LabSec, Lab_100, Lab_sek, Lab_Min, Lab_Hour, LabHour2, LabMin2, LabSec2})
        SetFontColor(l, font);
}

QString TFormMain::TimeToText(TRaceTime time) const {
    return ::TimeToText(time, Resolution());
}
