// The photocell on the serial port's DSR line: its edges become the race's finishes.
#include <QComboBox>
#include <QLabel>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "platform/serialdevice.h"
#include "platform/ttimer.h"

void TFormMain::ComPortOpen() {
    LabelMadus2->setText(QStringLiteral("&Mode:"));
    ShowPortWatch();
    LabelMadus2->show();
    LedModus->show();
    LedModus->setCursor(Qt::PointingHandCursor);
}

void TFormMain::ComPortClose() {
    LabelMadus2->setText(QStringLiteral("Mode:"));
    LabelMadus2->setToolTip(QString());
    LabelMadus2->hide();
    LedModus->hide();
    LedModus->setCursor(Qt::ArrowCursor);
}

// The hint of the "Mode:" label tells the operator how the open port is watched, and so which
// pulses it is sure to catch. The worker may find out more about the driver once it runs, so the
// hint is brought up to date with each line event as well.
void TFormMain::ShowPortWatch() {
    const QString hint = ComPort->Connected() || ComPort->Device().IsOpen()
                             ? ComPort->Device().WatchDescription()
                             : QString();
    if (LabelMadus2->toolTip() != hint) LabelMadus2->setToolTip(hint);
}

void TFormMain::DeliverPhotocellFinishesSeenBy(std::uint32_t tick) {
    if (!ComPort->Connected()) return;
    const QString typed = cbStartN->currentText();
    cbStartN->setEditText(QString());
    ComPort->DeliverEventsSeenBy(tick);
    cbStartN->setEditText(typed);
}

void TFormMain::ComPortDSR(const TLineEvent& event) {
    ShowPortWatch();
    // Edges are judged by their own tick, however late this handler runs.
    std::optional<cmd::Lap> lap = Photocell.ComPortDSR(race_, event.modemStatus, event.tick);
    if (!lap) return;
    // The number typed for the next finisher is this finisher's, as for a LAP by hand.
    lap->startNo = cbStartN->currentText();
    RecordLap(*lap);
    if (race_.Running() && TimerGesperrt->Interval() > 0) TimerGesperrt->SetEnabled(true);
}
