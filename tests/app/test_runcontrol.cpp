#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/menuitem.h"
#include "platform/ttimer.h"
#include "tests/app/formfixture.h"
#include "widgets/digit.h"

namespace {

struct Expect {
    bool start, lap, stop, reset, cfg, startN, word;
    TColor startC, lapC, stopC, resetC;
};

void CheckState(TFormMain& f, const Expect& e) {
    EXPECT_EQ(f.bSTART->isEnabled(), e.start);
    EXPECT_EQ(f.mStart->Enabled(), e.start);
    EXPECT_EQ(f.bLAP->isEnabled(), e.lap);
    EXPECT_EQ(f.mLAP->Enabled(), e.lap);
    EXPECT_EQ(f.bSTOP->isEnabled(), e.stop);
    EXPECT_EQ(f.mStop->Enabled(), e.stop);
    EXPECT_EQ(f.bRESET->isEnabled(), e.reset);
    EXPECT_EQ(f.mReset->Enabled(), e.reset);
    EXPECT_EQ(f.bCFG->isEnabled(), e.cfg);
    EXPECT_EQ(f.cbStartN->isEnabled(), e.startN);
    EXPECT_EQ(f.LabelNr->isEnabled(), e.startN);
    EXPECT_EQ(f.sbWord->isEnabled(), e.word);
    EXPECT_EQ(f.sbExcel->isEnabled(), e.word);
    EXPECT_EQ(f.bSTART->Color(), e.startC);
    EXPECT_EQ(f.bLAP->Color(), e.lapC);
    EXPECT_EQ(f.bSTOP->Color(), e.stopC);
    EXPECT_EQ(f.bRESET->Color(), e.resetC);
}

}  // namespace

class RunControl : public FormFixture {
protected:
    TFormMain& Ready() {
        TFormMain& f = Build();
        f.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
        return f;
    }
};

TEST_F(RunControl, StateTableThroughAWholeRun) {
    TFormMain& f = Ready();
    CheckState(f, {true, false, false, false, true, false, false, clGreen, clBtnFace, clBtnFace,
                   clBtnFace});
    EXPECT_EQ(f.bLAP->text(), "LAP");

    f.mStart->Click();
    CheckState(
        f, {false, true, true, false, false, true, false, clBtnFace, clYellow, clRed, clBtnFace});
    EXPECT_TRUE(f.Clock->Enabled());
    EXPECT_TRUE(f.TimerGesperrt->Enabled());
    EXPECT_EQ(f.mLAP->ShortCut(), QKeySequence(Qt::Key_Return));
    EXPECT_EQ(f.bLAP->text(), "LAP 1");
    EXPECT_EQ(f.focusWidget(), f.cbStartN);

    for (int i = 0; i < 3; ++i) {
        clock.Advance(1000);
        f.mLAP->Click();
    }
    EXPECT_EQ(f.bLAP->text(), "LAP 4");
    EXPECT_EQ(f.Race().LapCount(), 3);

    f.mStop->Click();
    CheckState(f, {false, false, false, true, true, false, true, clBtnFace, clBtnFace, clBtnFace,
                   clBlack});
    EXPECT_FALSE(f.Clock->Enabled());
    EXPECT_EQ(f.bLAP->text(), "LAP");
    EXPECT_TRUE(f.mLAP->ShortCut().isEmpty());
    EXPECT_EQ(f.focusWidget(), f.bRESET);
    EXPECT_EQ(f.Digit19->Value(), 0);  // row 2 back to zero
    EXPECT_EQ(f.Digit6->Value(), 3);   // row 1 keeps the final time

    dialogs.confirmAnswers = {true};
    f.mReset->Click();
    CheckState(f, {true, false, false, false, true, false, true, clGreen, clBtnFace, clBtnFace,
                   clBtnFace});
    EXPECT_EQ(f.focusWidget(), f.bSTART);
    EXPECT_EQ(f.Digit6->Value(), 0);
    EXPECT_EQ(f.Race().StopTick(), f.Race().StartTick());
}

TEST_F(RunControl, ClockShowsTheRunningTimeFromTheTickCounter) {
    TFormMain& f = Ready();
    f.mStart->Click();
    clock.Advance(2 * 3600 * 1000 + 10 * 60 * 1000 + 5270);  // a two-hour race, no waiting
    f.Clock->Fire();
    EXPECT_EQ(f.Digit2->Value(), 2);
    EXPECT_EQ(f.Digit3->Value(), 1);
    EXPECT_EQ(f.Digit4->Value(), 0);
    EXPECT_EQ(f.Digit6->Value(), 5);
    EXPECT_EQ(f.Digit7->Value(), 2);
    EXPECT_EQ(f.Digit8->Value(), 7);
}

TEST_F(RunControl, RightMousePressStartsAndReleaseDoesNotRepeat) {
    TFormMain& f = Ready();
    QTest::mousePress(f.bSTART, Qt::RightButton);
    EXPECT_TRUE(f.Clock->Enabled());
    const auto start = f.Race().StartTick();
    clock.Advance(50);
    QTest::mouseRelease(f.bSTART, Qt::RightButton);
    EXPECT_EQ(f.Race().StartTick(), start);
    // A press on the disabled START does nothing.
    QTest::mouseClick(f.bSTART, Qt::LeftButton);
    EXPECT_EQ(f.Race().StartTick(), start);
}

TEST_F(RunControl, LapActsOnThePressOfTheButton) {
    TFormMain& f = Ready();
    f.mStart->Click();
    QTest::mousePress(f.bLAP, Qt::LeftButton);
    EXPECT_EQ(f.Race().LapCount(), 1);
    QTest::mouseRelease(f.bLAP, Qt::LeftButton);
    EXPECT_EQ(f.Race().LapCount(), 1);
}

TEST_F(RunControl, EnterInTheStartNumberBoxRecordsExactlyOneLap) {
    TFormMain& f = Ready();
    f.mStart->Click();
    clock.Advance(5230);
    QTest::keyClicks(f.cbStartN->lineEdit(), "117");
    QTest::keyClick(f.cbStartN->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(f.Race().LapCount(), 1);
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "117");
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), "5,23");
    EXPECT_EQ(f.cbStartN->currentText(), "");
    EXPECT_EQ(f.focusWidget(), f.cbStartN);
    QTest::keyClick(f.cbStartN->lineEdit(), Qt::Key_Enter);  // the keypad's Enter too
    EXPECT_EQ(f.Race().LapCount(), 2);
}

TEST_F(RunControl, StartNumberBoxTakesAtMostFiveCharacters) {
    TFormMain& f = Ready();
    f.mStart->Click();
    QTest::keyClicks(f.cbStartN->lineEdit(), "1234567");
    EXPECT_EQ(f.cbStartN->currentText(), "12345");
}

TEST_F(RunControl, EnterAfterStopAsksToClearAndNoChangesNothing) {
    TFormMain& f = Ready();
    f.mStart->Click();
    clock.Advance(1000);
    f.mLAP->Click();
    f.mStop->Click();
    dialogs.confirmAnswers = {false};
    QTest::keyClick(f.bRESET, Qt::Key_Return);
    EXPECT_EQ(dialogs.confirms, QStringList{"Clear protocol?"});
    EXPECT_TRUE(f.bRESET->isEnabled());
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), "1,00");
    EXPECT_EQ(f.Digit6->Value(), 1);
    EXPECT_EQ(f.Race().LapCount(), 1);  // no lap outside a run
}

TEST_F(RunControl, LedTogglesOnlyWithAPortAndStopForcesRed) {
    TFormMain& f = Ready();
    f.LedModusClick();
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkRed);
    f.ComPort->SetPort(3);
    f.LedModusClick();
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkGreen);
    f.LedModusClick();
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkRed);
    f.LedModusClick();
    f.mStart->Click();
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkGreen);  // START leaves it
    f.mStop->Click();
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkRed);
}

TEST_F(RunControl, LockOutIsAOneShotOfOneInterval) {
    TFormMain& f = Ready();
    f.mStart->Click();
    EXPECT_TRUE(f.TimerGesperrt->Enabled());
    f.TimerGesperrt->Fire();
    EXPECT_FALSE(f.TimerGesperrt->Enabled());
}
