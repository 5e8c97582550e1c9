#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <thread>

#include "app/menuitem.h"
#include "config/cfgdialog.h"
#include "tests/support/fakeserialdevice.h"
#include "platform/serialdevice.h"
#include "platform/ttimer.h"
#include "tests/app/formfixture.h"

// The photocell through the real port, event thread and dispatch, on a fake device.
class Photocell : public FormFixture {
protected:
    FakeSerialDevice* device = nullptr;

    TFormMain& Open(int algorithm) {
        TFormMain& f = Build();
        auto fake = std::make_unique<FakeSerialDevice>();
        device = fake.get();
        f.ComPort->SetDevice(std::move(fake));
        f.ComPort->SetPort(3);
        SetAlgorithm(f, algorithm);
        f.ComPort->Open();
        EXPECT_TRUE(device->WaitUntilIdle());
        return f;
    }
    // A line change seen by the event thread at the clock's current tick, then handled.
    void Line(std::uint32_t status) {
        device->SetModemStatus(status);
        ASSERT_TRUE(device->WaitUntilIdle());
        Deliver();
    }
    // A line change the event thread has seen, not yet handled by the window.
    void Seen(std::uint32_t status) {
        device->SetModemStatus(status);
        ASSERT_TRUE(device->WaitUntilIdle());
    }
    void Deliver() {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    void StartAndPassLockOut(TFormMain& f) {
        f.mStart->Click();
        clock.Advance(20);
        f.TimerGesperrt->Fire();
    }
    static constexpr std::uint32_t kOn = MS_DSR_ON, kOff = 0;
};

TEST_F(Photocell, OpenPortShowsModeAndLed) {
    TFormMain& f = Open(0);
    EXPECT_TRUE(f.LedModus->isVisibleTo(&f));
    EXPECT_TRUE(f.LabelMadus2->isVisibleTo(&f));
    EXPECT_EQ(f.LabelMadus2->text(), "&Mode:");
    f.show();
    SaveShot(Render(&f), "port_open");
    f.ComPort->Close();
    EXPECT_FALSE(f.LedModus->isVisibleTo(&f));
    EXPECT_EQ(f.LabelMadus2->text(), "Mode:");
}

TEST_F(Photocell, AlgorithmOnCountsTheRisingEdgeOnlyWhenArmed) {
    TFormMain& f = Open(0);
    StartAndPassLockOut(f);
    Line(kOn);  // LED red: locked
    EXPECT_EQ(f.Race().LapCount(), 0);
    Line(kOff);
    f.LedModusClick();  // armed
    clock.Advance(100);
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 1);
    clock.Advance(100);
    Line(kOff);
    EXPECT_EQ(f.Race().LapCount(), 1);
}

TEST_F(Photocell, AlgorithmOffCountsTheFallingEdge) {
    TFormMain& f = Open(1);
    StartAndPassLockOut(f);
    f.LedModusClick();
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 0);
    clock.Advance(100);
    Line(kOff);
    EXPECT_EQ(f.Race().LapCount(), 1);
}

TEST_F(Photocell, WithSplitIgnoresTheLed) {
    TFormMain& f = Open(2);
    StartAndPassLockOut(f);
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkRed);
    for (int i = 0; i < 3; ++i) {
        clock.Advance(500);
        Line(kOn);
        clock.Advance(500);
        Line(kOff);
    }
    EXPECT_EQ(f.Race().LapCount(), 3);
}

TEST_F(Photocell, EdgesInsideTheLockOutAreIgnored) {
    TFormMain& f = Open(2);
    StartAndPassLockOut(f);
    clock.Advance(100);
    Line(kOn);
    clock.Advance(2);
    Line(kOff);
    clock.Advance(3);  // bounce 5 ms after the counted edge
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 1);
    clock.Advance(30);
    Line(kOff);
    Line(kOn);  // 35 ms after: a second finisher
    EXPECT_EQ(f.Race().LapCount(), 2);
}

TEST_F(Photocell, AnEdgeRightAfterStartIsLockedOut) {
    TFormMain& f = Open(2);
    f.mStart->Click();
    clock.Advance(5);
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 0);
}

TEST_F(Photocell, NothingWhileTheClockIsStoppedAndStopLocksAgain) {
    TFormMain& f = Open(0);
    f.LedModusClick();
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 0);
    EXPECT_FALSE(f.TimerGesperrt->Enabled());
    Line(kOff);
    StartAndPassLockOut(f);
    clock.Advance(100);
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 1);
    f.mStop->Click();
    dialogs.confirmAnswers = {true};
    f.mReset->Click();
    StartAndPassLockOut(f);
    Line(kOff);
    clock.Advance(100);
    Line(kOn);  // the LED is red again after STOP
    EXPECT_EQ(f.Race().LapCount(), 0);
}

TEST_F(Photocell, TheFirstEventAfterStartUpIsAlwaysEvaluated) {
    TFormMain& f = Open(2);
    EXPECT_EQ(f.Photocell.LastModemStatus, 0x55555555u);
    StartAndPassLockOut(f);
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 1);
    EXPECT_EQ(f.Photocell.LastModemStatus, kOn);
}

TEST_F(Photocell, APulseWhileTheWindowIsBusyIsTimedAtItsEdge) {
    TFormMain& f = Open(2);
    StartAndPassLockOut(f);
    const std::uint32_t edge = clock.Now() + 1000;
    clock.Set(edge);
    Seen(kOn);
    clock.Advance(30);
    Seen(kOff);
    clock.Advance(50);  // the window was busy: nothing handled until now
    Deliver();
    EXPECT_EQ(f.Race().LapCount(), 1);
    EXPECT_EQ(f.Race().LapTick(), edge);
}

TEST_F(Photocell, TwoFinishersThirtyMsApartBothCountWhenHandledTogether) {
    TFormMain& f = Open(2);
    StartAndPassLockOut(f);
    clock.Advance(1000);
    const std::uint32_t first = clock.Now();
    Seen(kOn);
    clock.Advance(15);
    Seen(kOff);
    clock.Advance(15);
    Seen(kOn);
    clock.Advance(200);
    Deliver();
    EXPECT_EQ(f.Race().LapCount(), 2);
    EXPECT_EQ(f.SortGrid1->Cells(3, 2), "0,03");
    EXPECT_NE(f.Race().LapTick(), first);
}

TEST_F(Photocell, TheLockOutHoldsInAlgorithmsOnAndOff) {
    for (int algorithm : {0, 1}) {
        SCOPED_TRACE(algorithm);
        TFormMain& f = Open(algorithm);
        const std::uint32_t counted = algorithm == 0 ? kOn : kOff;
        const std::uint32_t other = algorithm == 0 ? kOff : kOn;
        Line(other);
        StartAndPassLockOut(f);
        f.LedModusClick();
        clock.Advance(100);
        Line(counted);
        EXPECT_EQ(f.Race().LapCount(), 1);
        clock.Advance(2);
        Line(other);
        clock.Advance(7);  // a bounce 9 ms after the counted edge
        Line(counted);
        EXPECT_EQ(f.Race().LapCount(), 1);
        clock.Advance(1);
        Line(other);
        Line(counted);  // 10 ms after: the next finisher
        EXPECT_EQ(f.Race().LapCount(), 2);
        form.reset();
    }
}

TEST_F(Photocell, AlgorithmOffWithTheLedRedRecordsNothing) {
    TFormMain& f = Open(1);
    StartAndPassLockOut(f);
    for (int i = 0; i < 3; ++i) {
        clock.Advance(100);
        Line(kOn);
        clock.Advance(100);
        Line(kOff);
    }
    EXPECT_EQ(f.Race().LapCount(), 0);
    EXPECT_FALSE(f.TimerGesperrt->Enabled());
}

TEST_F(Photocell, AnUnknownAlgorithmRecordsNothing) {
    for (std::intptr_t algorithm : {3, -1, 255}) {
        SCOPED_TRACE(algorithm);
        TFormMain& f = Open(0);
        SetAlgorithm(f, algorithm);
        StartAndPassLockOut(f);
        f.LedModusClick();
        for (int i = 0; i < 2; ++i) {
            clock.Advance(100);
            Line(kOn);
            clock.Advance(100);
            Line(kOff);
        }
        EXPECT_EQ(f.Race().LapCount(), 0);
        EXPECT_EQ(f.Photocell.LastModemStatus, kOff);  // still read and remembered
        form.reset();
    }
}

TEST_F(Photocell, TheLastStatusSurvivesReopeningThePort) {
    TFormMain& f = Open(2);
    StartAndPassLockOut(f);
    clock.Advance(100);
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 1);
    f.ComPort->Close();
    EXPECT_EQ(f.Photocell.LastModemStatus, kOn);
    f.ComPort->Open();
    ASSERT_TRUE(device->WaitUntilIdle());
    EXPECT_EQ(f.Photocell.LastModemStatus, kOn);
    // The line still on: an event that reports the same word is no new finish.
    clock.Advance(100);
    device->Edit([](LineState& s) { s.counters.dsr += 2; });  // a pulse the worker saw as two edges
    ASSERT_TRUE(device->WaitUntilIdle());
    Deliver();
    EXPECT_EQ(f.Race().LapCount(), 2);  // the pulse's rising edge
    clock.Advance(100);
    Line(kOff);
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 3);
}

TEST_F(Photocell, AnEdgeSeenBeforeStopIsStillAFinish) {
    TFormMain& f = Open(2);
    StartAndPassLockOut(f);
    clock.Advance(1000);
    const std::uint32_t edge = clock.Now();
    Seen(kOn);  // seen, not yet handled: the window is busy
    clock.Advance(5);
    f.mStop->Click();
    Deliver();
    ASSERT_EQ(f.Race().LapCount(), 1);
    EXPECT_EQ(f.Race().LapTick(), edge);
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), f.TimeToText(TickDiff(edge, f.Race().StartTick())));
    EXPECT_EQ(f.bLAP->text(), "LAP");  // the stopped display stays
    EXPECT_FALSE(f.bLAP->isEnabled());
}

TEST_F(Photocell, AnEdgeReportedAfterStopWithATickBeforeItIsAFinish) {
    for (int algorithm : {0, 2}) {
        SCOPED_TRACE(algorithm);
        TFormMain& f = Open(algorithm);
        StartAndPassLockOut(f);
        if (algorithm == 0) f.LedModusClick();
        clock.Advance(1000);
        const std::uint32_t edge = clock.Now();
        clock.Advance(3);
        f.mStop->Click();
        EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkRed);
        // The worker found this edge late, but knows when it came.
        device->StampNextChange(edge);
        Line(kOn);
        ASSERT_EQ(f.Race().LapCount(), 1);
        EXPECT_EQ(f.Race().LapTick(), edge);
        EXPECT_EQ(f.bLAP->text(), "LAP");
        // After STOP's tick nothing counts, and RESET closes the run for good.
        clock.Advance(100);
        Line(kOff);
        Line(kOn);
        EXPECT_EQ(f.Race().LapCount(), 1);
        dialogs.confirmAnswers = {true};
        f.mReset->Click();
        Line(kOff);
        device->StampNextChange(edge + 1);
        Line(kOn);
        EXPECT_EQ(f.SortGrid1->Cells(2, 1), "");
        form.reset();
    }
}

TEST_F(Photocell, AnEdgeSeenBeforeStartDoesNotShortenStartsLockOut) {
    TFormMain& f = Open(0);
    f.LedModusClick();
    clock.Advance(1000);
    Seen(kOn);  // 2 ms before START, handled after it
    clock.Advance(2);
    f.mStart->Click();
    Deliver();
    EXPECT_EQ(f.Race().LapCount(), 0);
    Line(kOff);
    clock.Advance(8);
    Line(kOn);  // 8 ms after START: inside START's lock-out
    EXPECT_EQ(f.Race().LapCount(), 0);
    clock.Advance(2);
    f.TimerGesperrt->Fire();
    Line(kOff);
    Line(kOn);
    EXPECT_EQ(f.Race().LapCount(), 1);
}

TEST_F(Photocell, AManualLapAfterAQueuedFinishComesSecond) {
    TFormMain& f = Open(2);
    StartAndPassLockOut(f);
    clock.Advance(1000);
    const std::uint32_t edge = clock.Now();
    Seen(kOn);
    clock.Advance(40);
    f.cbStartN->setEditText("17");
    f.mLAP->Click();  // by hand, while the photocell's finish still waits in the queue
    clock.Advance(50);
    Seen(kOff);
    Deliver();
    ASSERT_EQ(f.Race().LapCount(), 2);
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), f.TimeToText(TickDiff(edge, f.Race().StartTick())));
    EXPECT_EQ(f.SortGrid1->Cells(2, 2), f.TimeToText(TickDiff(edge + 40, f.Race().StartTick())));
    EXPECT_EQ(f.SortGrid1->Cells(3, 2), "0,04");
    // The number typed for the press stays with the press.
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "");
    EXPECT_EQ(f.SortGrid1->Cells(1, 2), "17");
    EXPECT_EQ(f.Race().LapTick(), edge + 40);

    // What the photocell saw after the press waits for its turn after the press.
    clock.Advance(100);
    const std::uint32_t later = clock.Now();
    Seen(kOn);
    clock.Advance(30);
    Seen(kOff);
    device->StampNextChange(later + 50);
    Seen(kOn);
    f.mLAP->Click();  // at later + 30
    EXPECT_EQ(f.Race().LapCount(), 4);
    Deliver();
    ASSERT_EQ(f.Race().LapCount(), 5);
    EXPECT_EQ(f.SortGrid1->Cells(2, 3), f.TimeToText(TickDiff(later, f.Race().StartTick())));
    EXPECT_EQ(f.SortGrid1->Cells(2, 4), f.TimeToText(TickDiff(later + 30, f.Race().StartTick())));
    EXPECT_EQ(f.SortGrid1->Cells(2, 5), f.TimeToText(TickDiff(later + 50, f.Race().StartTick())));
}

// A LAP by hand waits for an edge the worker has already seen but not yet handed over: the
// finish that came first is the first row, and no split is ever negative.
TEST_F(Photocell, AManualLapWaitsForAnEdgeTheWorkerIsStillHandingOver) {
    TFormMain& f = Open(2);
    StartAndPassLockOut(f);
    clock.Advance(1000);
    const std::uint32_t edge = clock.Now();
    device->HoldReports(true);
    device->SetModemStatus(kOn);
    ASSERT_TRUE(device->WaitUntilHolding());  // seen, not yet queued
    clock.Advance(40);
    f.cbStartN->setEditText("17");
    std::thread release([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        device->HoldReports(false);
    });
    f.mLAP->Click();
    release.join();
    Deliver();
    ASSERT_EQ(f.Race().LapCount(), 2);
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), f.TimeToText(TickDiff(edge, f.Race().StartTick())));
    EXPECT_EQ(f.SortGrid1->Cells(1, 2), "17");
    EXPECT_EQ(f.SortGrid1->Cells(3, 2), "0,04");
}

// An edge stamped exactly at STOP's tick belongs to the run, whether it was queued before STOP
// or reported after it.
TEST_F(Photocell, AnEdgeAtExactlyStopsTickIsAFinishHoweverLateItIsReported) {
    for (bool queued : {true, false}) {
        SCOPED_TRACE(queued);
        TFormMain& f = Open(2);
        StartAndPassLockOut(f);
        clock.Advance(1000);
        if (queued) Seen(kOn);
        f.mStop->Click();
        if (!queued) {
            device->StampNextChange(f.Race().StopTick());
            Line(kOn);
        }
        Deliver();
        EXPECT_EQ(f.Race().LapCount(), 1);
        EXPECT_EQ(f.SortGrid1->Cells(2, 1), f.TimeToText(TickDiff(f.Race().StopTick(), f.Race().StartTick())));
        form.reset();
    }
}

TEST_F(Photocell, TheModeHintSaysHowThePortIsWatched) {
    TFormMain& f = Open(2);
    EXPECT_EQ(f.LabelMadus2->text(), "&Mode:");
    EXPECT_TRUE(f.LabelMadus2->toolTip().contains("reports every change"))
        << f.LabelMadus2->toolTip().toStdString();
    f.ComPort->Close();
    EXPECT_TRUE(f.LabelMadus2->toolTip().isEmpty());
}

// Start-up with a configured port the user may not open: the message with its hint, once; an
// absent port stays silent.
class PhotocellStartUp : public FormFixture {
protected:
    int error = 0;
    void SetUp() override {
        FormFixture::SetUp();
        SetSerialDeviceFactory([this] {
            auto fake = std::make_unique<FakeSerialDevice>();
            last = fake.get();
            if (error == EACCES)
                fake->SetOpenError(EACCES,
                                   "No permission to use /dev/ttyUSB0: add your user to "
                                   "the group \"dialout\"");
            else if (error)
                fake->SetOpenError(error);
            return fake;
        });
    }
    void TearDown() override {
        FormFixture::TearDown();
        SetSerialDeviceFactory({});
    }
    FakeSerialDevice* last = nullptr;
};

TEST_F(PhotocellStartUp, ARefusedPermissionIsShownOnce) {
    error = EACCES;
    WriteSettings("Port=5\nAlg=2\n");
    TFormMain& f = Build();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Unable to open com port: 13"));
    EXPECT_TRUE(dialogs.errors[0].contains("dialout"));
    EXPECT_FALSE(f.ComPort->Connected());
    EXPECT_FALSE(f.LedModus->isVisibleTo(&f));
}

TEST_F(PhotocellStartUp, AnAbsentPortStaysSilent) {
    error = ENOENT;
    WriteSettings("Port=5\nAlg=2\n");
    Build();
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

// The operator fixes the permission (or plugs the adapter in) and confirms the dialog with the
// port that was refused at start-up: it is opened now, not only at the next start.
TEST_F(PhotocellStartUp, APortRefusedAtStartUpIsOpenedWhenTheDialogConfirmsIt) {
    error = EACCES;
    WriteSettings("Port=5\nAlg=2\n");
    TFormMain& f = Build();
    ASSERT_FALSE(f.ComPort->Connected());
    ASSERT_TRUE(last);
    last->SetOpenError(0);
    f.PortMask = (5u << 16) | (1u << 4);  // COM5 present
    delete f.CfgDialog;
    f.CreateCfgDialog();
    dialogs.onExec = [](QDialog*) { return QDialog::Accepted; };
    f.bCFGClick();
    EXPECT_TRUE(f.ComPort->Connected());
    EXPECT_TRUE(f.LedModus->isVisibleTo(&f));
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkRed);
}
