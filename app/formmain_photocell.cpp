// The photocell on the serial port's DSR line: which edges record a lap.
#include <QLabel>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "platform/serialdevice.h"
#include "platform/ttimer.h"

void TFormMain::ComPortOpen() {
    LabelMadus2->setText(QStringLiteral("&Mode:"));
    LabelMadus2->show();
    LedModus->show();
    LedModus->setCursor(Qt::PointingHandCursor);
}

void TFormMain::ComPortClose() {
    LabelMadus2->setText(QStringLiteral("Mode:"));
    LabelMadus2->hide();
    LedModus->hide();
    LedModus->setCursor(Qt::ArrowCursor);
}

bool TFormMain::LockedOutAt(std::uint32_t tick) const {
    const int interval = TimerGesperrt->Interval();
    if (!lockOutTick_ || interval <= 0) return false;
    const TRaceTime since = TickDiff(tick, *lockOutTick_);
    return since >= 0 && since < interval;
}

void TFormMain::LapAtEdge(std::uint32_t tick) {
    struct Reset {
        std::optional<std::uint32_t>& t;
        ~Reset() { t.reset(); }
    } reset{edgeTick_};
    edgeTick_ = tick;
    mLAP->Click();
}

void TFormMain::ComPortDSR() {
    const std::uint32_t status = ComPort->ModemStatus();
    if (status == LastModemStatus) return;
    LastModemStatus = status;
    const bool dsr = (status & MS_DSR_ON) != 0;
    // Edges are judged by the tick they were seen at, however late this handler runs.
    const std::uint32_t tick = ComPort->EventTick();
    switch (ComPort->Tag()) {
        case 0:
            if (dsr) PhotocellTrigger(tick);
            break;
        case 1:
            if (!dsr) PhotocellTrigger(tick);
            break;
        case 2:
            if (dsr && bLAP->isEnabled() && !LockedOutAt(tick) && TickDiff(tick, StartTick) >= 0) {
                LapAtEdge(tick);
                StartLockOut(tick);
            }
            break;
        default:
            break;
    }
}

void TFormMain::PhotocellTrigger(std::uint32_t edgeTick) {
    if (LedModus->Kind() == TLedKind::lkRed) return;
    if (LockedOutAt(edgeTick)) return;
    // An edge seen before START (handled after it) belongs to no run.
    if (bLAP->isEnabled() && TickDiff(edgeTick, StartTick) >= 0) {
        LapAtEdge(edgeTick);
    }
    StartLockOut(edgeTick);
}

void TFormMain::StartLockOut(std::uint32_t tick) {
    if (LockedOutAt(tick)) return;
    if (bSTOP->isEnabled() && TimerGesperrt->Interval() > 0) {
        lockOutTick_ = tick;
        TimerGesperrt->SetEnabled(true);
    }
}
