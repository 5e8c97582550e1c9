// START, LAP, STOP and RESET: the operator's commands.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "journal/journalstore.h"
#include "platform/ttimer.h"

void TFormMain::SetButtonState(TBitBtnWithColor* b, TMenuItem* m, bool enabled) {
    b->setEnabled(enabled);
    m->SetEnabled(enabled);
}

void TFormMain::mStartClick() {
    const std::uint32_t tick = GetTickCount();  // first, before any screen work
    // The press is the start, even when the operator is asked about the list first.
    if (!MayStartOverList()) return;
    cmd::Start start;
    start.clocks = ReadClocks(tick);
    start.settings = race_.Settings();
    start.settings.port = ComPort->Port();
    Execute(start);
    Clock->SetEnabled(true);
    if (TimerGesperrt->Interval() != 0) TimerGesperrt->SetEnabled(true);
    ShowRunState();
    SetRunControls(true);
    cbStartN->setEditText(QString());
    cbStartN->setFocus();
}

void TFormMain::mLAPClick() {
    // Enter while a start number is being typed over in the list confirms that number: one key
    // never does two things, and no phantom finisher comes of it.
    if (SortGrid1->EditorMode() && QApplication::focusWidget() &&
        SortGrid1->isAncestorOf(QApplication::focusWidget())) {
        SortGrid1->SetEditorMode(false);
        return;
    }
    LapByHand(LapSource::Key);
}

void TFormMain::LapByHand(LapSource source) {
    const std::uint32_t tick = GetTickCount();
    // The photocell finishes seen before this press are rows before it.
    DeliverPhotocellFinishesSeenBy(tick);
    cmd::Lap lap;
    lap.tick = tick;
    lap.startNo = cbStartN->currentText();
    lap.source = source;
    RecordLap(lap);
}

void TFormMain::RecordLap(const cmd::Lap& lap) {
    if (!race_.Accepts(lap.tick)) return;
    const bool running = race_.Running();
    JournalRecord(lap);  // on its way to the disk before anything shows it
    const RaceChange& change = race_.Apply(lap);
    // The display first: its digits repaint at once, and would take along the list's new row
    // with them if that were drawn before.
    if (running) ShowTime(2, TickDiff(race_.LapTick(), race_.StartTick()));
    Show(change);
    // A finish takes its place in time: the first row the lap changed is its own.
    SelectRow(change.list ? race_.RowCount() - 1 : change.firstRow);
    cbStartN->setEditText(QString());
    cbStartN->setFocus();
}

void TFormMain::SelectRow(int row) {
    SortGrid1->SetSelection(TGridRect{0, row, 4, row});
    if (SortGrid1->VisibleRowCount() < row)
        SortGrid1->SetTopRow(row - SortGrid1->VisibleRowCount() + 1);
}

void TFormMain::mStopClick() {
    const std::uint32_t tick = GetTickCount();
    // The photocell finishes seen before STOP still belong to this run.
    ComPort->DeliverEventsSeenBy(tick);
    Execute(cmd::Stop{tick});
    ShowRunState();
    cbStartN->setEditText(QString());
    SetRunControls(false);
    ShowTime(1, TickDiff(race_.StopTick(), race_.StartTick()));
    ShowTime(2, 0);
    bRESET->setFocus();
}

void TFormMain::mResetClick() {
    // Clearing removes results: Enter, pressed once too often, never confirms it.
    if (!Dialogs().Ask(this, QStringLiteral("Clear protocol?"), false)) return;
    Execute(cmd::Reset{});
    SetDefaultColWidths();
    ShowTime(1, 0);
    ShowTime(2, 0);
    ShowRunState();
    bSTART->setFocus();
    UpdateProtocolButtons();
}

void TFormMain::ShowRunState() {
    const RunState state = race_.State();
    const bool ready = state == RunState::Ready, running = state == RunState::Running,
               stopped = state == RunState::Stopped;
    Clock->SetEnabled(running);
    bCFG->setEnabled(!running);
    SetButtonState(bSTART, mStart, ready);
    bSTART->SetColor(ready ? clGreen : clBtnFace);
    SetButtonState(bLAP, mLAP, running);
    bLAP->SetColor(running ? clYellow : clBtnFace);
    bLAP->setText(running ? QStringLiteral("LAP ") + QString::number(race_.LapCount() + 1)
                          : QStringLiteral("LAP"));
    mLAP->SetShortCut(running ? QKeySequence(Qt::Key_Return) : QKeySequence());
    SetButtonState(bSTOP, mStop, running);
    bSTOP->SetColor(running ? clRed : clBtnFace);
    SetButtonState(bRESET, mReset, stopped);
    bRESET->SetColor(stopped ? clBlack : clBtnFace);
    LedModus->SetKind(race_.Armed() ? TLedKind::lkGreen : TLedKind::lkRed);
}

void TFormMain::LedModusClick() {
    Execute(cmd::Arm{ComPort->Port() != 0 && !race_.Armed()});
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
