// START, LAP, STOP and RESET: the operator's commands.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "platform/ttimer.h"

void TFormMain::SetButtonState(TBitBtnWithColor* b, TMenuItem* m, bool enabled) {
    b->setEnabled(enabled);
    m->SetEnabled(enabled);
}

void TFormMain::mStartClick() {
    StartTick = GetTickCount();  // first, before any screen work
    Clock->SetEnabled(true);
    if (TimerGesperrt->Interval() != 0) {
        TimerGesperrt->SetEnabled(true);
        lockOutTick_ = StartTick;
    }
    bCFG->setEnabled(false);
    SetButtonState(bSTART, mStart, false);
    SetButtonState(bLAP, mLAP, true);
    bSTART->SetColor(clBtnFace);
    bLAP->SetColor(clYellow);
    SetButtonState(bSTOP, mStop, true);
    bSTOP->SetColor(clRed);
    SetButtonState(bRESET, mReset, false);
    SetRunControls(true);
    LapTick = StartTick;
    cbStartN->setEditText(QString());
    cbStartN->setFocus();
    mLAP->SetShortCut(QKeySequence(Qt::Key_Return));
    LapCount = 0;
    bLAP->setText(QStringLiteral("LAP 1"));
    JournalStart();
    PublishLive();
}

void TFormMain::mLAPClick() {
    // A photocell lap is timed when the line changed, not when this handler got to run.
    const std::uint32_t tick = edgeTick_ ? *edgeTick_ : GetTickCount();
    // By hand: the photocell finishes seen before this press are rows before it.
    if (!edgeTick_) DeliverPhotocellFinishesSeenBy(tick);
    LapTick = tick;
    LapCount = LapCount + 1;
    ShowTime(2, TickDiff(LapTick, StartTick));
    if (LapCount == 1) FirstLapTick = LapTick;
    const QString splitText = TimeToText(TickDiff(LapTick, FirstLapTick));
    const QString timeText = TimeToText(TickDiff(LapTick, StartTick));
    AddProtocolRow(cbStartN->currentText(), timeText, splitText);
    JournalLap(cbStartN->currentText());
    bLAP->setText(QStringLiteral("LAP ") + QString::number(LapCount + 1));
    SortGrid1->SetSelection(TGridRect{0, LapCount, 4, LapCount});
    if (SortGrid1->VisibleRowCount() < LapCount)
        SortGrid1->SetTopRow(LapCount - SortGrid1->VisibleRowCount() + 1);
    cbStartN->setEditText(QString());
    cbStartN->setFocus();
    PublishLive();
}

void TFormMain::mStopClick() {
    StopTick = GetTickCount();
    // The photocell finishes seen before STOP still belong to this run.
    ComPort->DeliverEventsSeenBy(StopTick);
    ledArmedAtStop_ = LedModus->Kind() != TLedKind::lkRed;
    Clock->SetEnabled(false);
    SetButtonState(bSTART, mStart, false);
    SetButtonState(bLAP, mLAP, false);
    SetButtonState(bSTOP, mStop, false);
    SetButtonState(bRESET, mReset, true);
    bRESET->SetColor(clBlack);
    bLAP->SetColor(clBtnFace);
    bSTOP->SetColor(clBtnFace);
    cbStartN->setEditText(QString());
    SetRunControls(false);
    ShowTime(1, TickDiff(StopTick, StartTick));
    ShowTime(2, 0);
    bLAP->setText(QStringLiteral("LAP"));
    mLAP->SetShortCut(QKeySequence());
    LedModus->SetKind(TLedKind::lkRed);
    bCFG->setEnabled(true);
    bRESET->setFocus();
    JournalStop();
    PublishLive();
}

void TFormMain::mResetClick() {
    if (!Dialogs().Confirm(this, QStringLiteral("Clear protocol?"))) return;
    SortGrid1->Clear();
    SetDefaultColWidths();
    ShowTime(1, 0);
    ShowTime(2, 0);
    SetButtonState(bSTART, mStart, true);
    SetButtonState(bRESET, mReset, false);
    bCFG->setEnabled(true);
    bRESET->SetColor(clBtnFace);
    bSTART->SetColor(clGreen);
    StopTick = StartTick;
    bSTART->setFocus();
    LedModus->SetKind(TLedKind::lkRed);
    UpdateProtocolButtons();
    JournalReset();
    PublishLive();
}

void TFormMain::LedModusClick() {
    if (ComPort->Port() == 0)
        LedModus->SetKind(TLedKind::lkRed);
    else
        LedModus->SetKind(LedModus->Kind() == TLedKind::lkRed ? TLedKind::lkGreen
                                                              : TLedKind::lkRed);
}

void TFormMain::TimerGesperrtTimer() {
    TimerGesperrt->SetEnabled(false);
}

void TFormMain::SetRunControls(bool running) {
    LabelNr->setEnabled(running);
    cbStartN->setEnabled(running);
    sbWord->setEnabled(!running);
    sbExcel->setEnabled(!running);
}
