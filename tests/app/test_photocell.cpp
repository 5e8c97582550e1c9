#include <QLabel>
#include <QTest>

#include "app/menuitem.h"
#include "platform/fakeserialdevice.h"
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
        f.ComPort->SetTag(algorithm);
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
    EXPECT_EQ(f.LapCount, 0);
    Line(kOff);
    f.LedModusClick();  // armed
    clock.Advance(100);
    Line(kOn);
    EXPECT_EQ(f.LapCount, 1);
    clock.Advance(100);
    Line(kOff);
    EXPECT_EQ(f.LapCount, 1);
}

TEST_F(Photocell, AlgorithmOffCountsTheFallingEdge) {
    TFormMain& f = Open(1);
    StartAndPassLockOut(f);
    f.LedModusClick();
    Line(kOn);
    EXPECT_EQ(f.LapCount, 0);
    clock.Advance(100);
    Line(kOff);
    EXPECT_EQ(f.LapCount, 1);
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
    EXPECT_EQ(f.LapCount, 3);
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
    EXPECT_EQ(f.LapCount, 1);
    clock.Advance(30);
    Line(kOff);
    Line(kOn);  // 35 ms after: a second finisher
    EXPECT_EQ(f.LapCount, 2);
}

TEST_F(Photocell, AnEdgeRightAfterStartIsLockedOut) {
    TFormMain& f = Open(2);
    f.mStart->Click();
    clock.Advance(5);
    Line(kOn);
    EXPECT_EQ(f.LapCount, 0);
}

TEST_F(Photocell, NothingWhileTheClockIsStoppedAndStopLocksAgain) {
    TFormMain& f = Open(0);
    f.LedModusClick();
    Line(kOn);
    EXPECT_EQ(f.LapCount, 0);
    EXPECT_FALSE(f.TimerGesperrt->Enabled());
    Line(kOff);
    StartAndPassLockOut(f);
    clock.Advance(100);
    Line(kOn);
    EXPECT_EQ(f.LapCount, 1);
    f.mStop->Click();
    dialogs.confirmAnswers = {true};
    f.mReset->Click();
    StartAndPassLockOut(f);
    Line(kOff);
    clock.Advance(100);
    Line(kOn);  // the LED is red again after STOP
    EXPECT_EQ(f.LapCount, 0);
}

TEST_F(Photocell, TheFirstEventAfterStartUpIsAlwaysEvaluated) {
    TFormMain& f = Open(2);
    EXPECT_EQ(f.LastModemStatus, 0x55555555u);
    StartAndPassLockOut(f);
    Line(kOn);
    EXPECT_EQ(f.LapCount, 1);
    EXPECT_EQ(f.LastModemStatus, kOn);
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
    EXPECT_EQ(f.LapCount, 1);
    EXPECT_EQ(f.LapTick, edge);
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
    EXPECT_EQ(f.LapCount, 2);
    EXPECT_EQ(f.SortGrid1->Cells(3, 2), "0,03");
    EXPECT_NE(f.LapTick, first);
}
