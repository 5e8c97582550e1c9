// The photocell on the serial port's DSR line: which edges record a lap.
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

bool TFormMain::LockedOutAt(std::uint32_t tick) const {
    const int interval = TimerGesperrt->Interval();
    if (!lockOutTick_ || interval <= 0) return false;
    const TRaceTime since = TickDiff(tick, *lockOutTick_);
    return since >= 0 && since < interval;
}

bool TFormMain::RunOpenAt(std::uint32_t tick) const {
    if (TickDiff(tick, StartTick) < 0) return false;  // before START: no run yet
    if (bLAP->isEnabled()) return true;
    // Handled after STOP, seen at or before it: still a finish of the run that STOP ended,
    // whether it was queued when STOP came or not. (RESET sets StopTick to StartTick, which
    // closes this window.)
    return TickDiff(tick, StopTick) < 0 || (tick == StopTick && StopTick != StartTick);
}

void TFormMain::DeliverPhotocellFinishesSeenBy(std::uint32_t tick) {
    if (!ComPort->Connected()) return;
    const QString typed = cbStartN->currentText();
    cbStartN->setEditText(QString());
    ComPort->DeliverEventsSeenBy(tick);
    cbStartN->setEditText(typed);
}

void TFormMain::LapAtEdge(std::uint32_t tick) {
    struct Reset {
        std::optional<std::uint32_t>& t;
        ~Reset() { t.reset(); }
    } reset{edgeTick_};
    edgeTick_ = tick;
    if (bLAP->isEnabled()) {
        mLAP->Click();
        return;
    }
    // A finish seen before STOP and handled after it: its row, but the stopped display stays.
    mLAPClick();
    bLAP->setText(QStringLiteral("LAP"));
    ShowTime(2, 0);
}

void TFormMain::ComPortDSR(const TLineEvent& event) {
    ShowPortWatch();
    const std::uint32_t status = event.modemStatus;
    if (status == LastModemStatus) return;
    LastModemStatus = status;
    const bool dsr = (status & MS_DSR_ON) != 0;
    // Edges are judged by their own tick, however late this handler runs.
    const std::uint32_t tick = event.tick;
    switch (ComPort->Tag()) {
        case 0:
            if (dsr) PhotocellTrigger(tick);
            break;
        case 1:
            if (!dsr) PhotocellTrigger(tick);
            break;
        case 2:
            if (dsr && RunOpenAt(tick) && !LockedOutAt(tick)) {
                LapAtEdge(tick);
                StartLockOut(tick);
            }
            break;
        default:
            break;
    }
}

void TFormMain::PhotocellTrigger(std::uint32_t edgeTick) {
    // STOP locks the LED; an edge it ended the run after is judged by the LED as it was then.
    const bool beforeStop = !bLAP->isEnabled() && RunOpenAt(edgeTick);
    const bool armed = beforeStop ? ledArmedAtStop_ : LedModus->Kind() != TLedKind::lkRed;
    if (!armed) return;
    if (LockedOutAt(edgeTick)) return;
    if (RunOpenAt(edgeTick)) LapAtEdge(edgeTick);
    StartLockOut(edgeTick);
}

void TFormMain::StartLockOut(std::uint32_t tick) {
    if (LockedOutAt(tick)) return;
    // Only an edge of the run starts one: an edge seen before START, handled after it, would
    // otherwise pull the lock-out that START began back before START.
    if (RunOpenAt(tick) && TimerGesperrt->Interval() > 0) {
        lockOutTick_ = tick;
        TimerGesperrt->SetEnabled(true);
    }
}
