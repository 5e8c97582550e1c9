#include <gtest/gtest.h>
#include <QCoreApplication>

#include <chrono>
#include <thread>

#include "platform/exception.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/scripteddialogs.h"
#include "platform/tickcounter.h"
#include "serial/comport.h"

using namespace std::chrono_literals;

namespace {

struct Seen {
    QString what;
    std::uint32_t status;
    std::uint32_t tick;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << s.what.toStdString() << " status=0x" << std::hex << s.status << std::dec
              << " tick=" << s.tick;
}

// A port on the fake device with a manual clock; the test thread plays the main thread, which
// dispatches only when the test lets it (Deliver).
class ComThreadTest : public ::testing::Test {
protected:
    ScopedManualClock clock{1000};
    ScopedDialogs dialogs;
    std::vector<Seen> seen;  // outlives the port, whose destruction may still report
    FakeSerialDevice* fake = nullptr;
    std::unique_ptr<TComPort> port;

    void SetUp() override {
        auto device = std::make_unique<FakeSerialDevice>();
        fake = device.get();
        port = std::make_unique<TComPort>(nullptr, std::move(device));
        port->SetEvents({TEvent::evDSR});
        port->OnDSR = Recorder(QStringLiteral("DSR"));
        port->OnClose = [this](TComPort*) { seen.push_back({QStringLiteral("close"), 0, 0}); };
    }

    TLineEventHandler Recorder(const QString& what) {
        return [this, what](TComPort* sender, const TLineEvent& event) {
            EXPECT_EQ(sender, port.get());
            seen.push_back({what, event.modemStatus, event.tick});
        };
    }
    TComPort::TNotifyEvent Noted(const QString& what) {
        return [this, what](TComPort* sender) {
            EXPECT_EQ(sender, port.get());
            seen.push_back({what, 0, 0});
        };
    }

    // The worker has seen everything injected so far (and queued it).
    void Idle() { ASSERT_TRUE(fake->WaitUntilIdle()); }
    void Deliver() { QCoreApplication::processEvents(); }
};

}  // namespace

TEST_F(ComThreadTest, TheDeviceWatchesTheEventsOfTheOpenPort) {
    port->Open();
    Idle();
    EXPECT_EQ(fake->LastWaitMask(), 0x0010u);
    port->SetEvents(TEvents::All());
    port->Open();
    Idle();
    EXPECT_EQ(fake->LastWaitMask(), 0x01FFu);
    port->Close();
    // After the stop the worker drops what the receive queue holds, once per watch.
    EXPECT_EQ(fake->Purges(), (std::vector<std::uint32_t>{0x000A, 0x000A}));
}

TEST_F(ComThreadTest, CallbacksOfOneChangeRunInTheFixedOrder) {
    port->SetEvents(TEvents::All());
    port->OnRxChar = [this](TComPort*, std::int32_t) {
        seen.push_back({QStringLiteral("RxChar"), 0, 0});
    };
    port->OnTxEmpty = Noted(QStringLiteral("TxEmpty"));
    port->OnBreak = Noted(QStringLiteral("Break"));
    port->OnRing = Recorder(QStringLiteral("Ring"));
    port->OnCTS = Recorder(QStringLiteral("CTS"));
    port->OnRLSD = Recorder(QStringLiteral("RLSD"));
    port->OnError = Noted(QStringLiteral("Error"));
    fake->Edit([](LineState& s) { s.outQueue = 5; });  // something waits to be sent
    port->Open();
    Idle();
    fake->Edit([](LineState& s) {
        s.modemStatus = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
        ++s.counters.cts, ++s.counters.dsr, ++s.counters.dcd, ++s.counters.rng;
        ++s.counters.brk, ++s.counters.overrun;
        s.counters.rx += 2;
        s.inQueue = 2;
        s.outQueue = 0;
    });
    Idle();
    Deliver();
    const std::uint32_t all = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
    EXPECT_EQ(seen, (std::vector<Seen>{{QStringLiteral("RxChar"), 0, 0},
                                       {QStringLiteral("TxEmpty"), 0, 0},
                                       {QStringLiteral("Break"), 0, 0},
                                       {QStringLiteral("Ring"), all, 1000},
                                       {QStringLiteral("CTS"), all, 1000},
                                       {QStringLiteral("DSR"), all, 1000},
                                       {QStringLiteral("RLSD"), all, 1000},
                                       {QStringLiteral("Error"), 0, 0}}));
}

TEST_F(ComThreadTest, APulseWhileTheMainThreadIsBusyArrivesAsTwoEdgesWithTheirOwnTicks) {
    port->Open();
    Idle();
    // The photocell: on at 1000 ms, off at 1030 ms, while the main thread sleeps for 50 ms.
    std::thread photocell([this] {
        clock.Set(1000);
        fake->SetModemStatus(MS_DSR_ON);
        EXPECT_TRUE(fake->WaitUntilIdle());
        clock.Set(1030);
        fake->SetModemStatus(0);
        EXPECT_TRUE(fake->WaitUntilIdle());
    });
    std::this_thread::sleep_for(50ms);
    photocell.join();
    clock.Set(1070);
    Deliver();
    EXPECT_EQ(seen, (std::vector<Seen>{{QStringLiteral("DSR"), MS_DSR_ON, 1000},
                                       {QStringLiteral("DSR"), 0, 1030}}));
    // The port's own status is the line as it is now.
    fake->SetModemStatus(MS_DSR_ON);
    EXPECT_EQ(port->ModemStatus(), MS_DSR_ON);
}

TEST_F(ComThreadTest, APulseTooShortToWatchStillGivesBothEdges) {
    port->Open();
    Idle();
    clock.Set(2000);
    fake->Pulse(MS_DSR_ON);
    Idle();
    Deliver();
    EXPECT_EQ(seen, (std::vector<Seen>{{QStringLiteral("DSR"), MS_DSR_ON, 2000},
                                       {QStringLiteral("DSR"), 0, 2000}}));
}

TEST_F(ComThreadTest, UnwatchedEventsAndUnsetCallbacksAreDropped) {
    port->Open();
    Idle();
    fake->SetModemStatus(MS_CTS_ON);  // only DSR is watched
    Idle();
    Deliver();
    EXPECT_TRUE(seen.empty());

    port->OnDSR = nullptr;
    fake->SetModemStatus(MS_CTS_ON | MS_DSR_ON);
    Idle();
    Deliver();
    EXPECT_TRUE(seen.empty());
}

TEST_F(ComThreadTest, CloseDeliversWhatWasSeenBeforeTheStopAndThenRaisesOnClose) {
    port->OnDSR = [this](TComPort* sender, const TLineEvent& event) {
        EXPECT_TRUE(sender->Connected());
        EXPECT_TRUE(fake->IsOpen());
        seen.push_back({QStringLiteral("DSR"), event.modemStatus, event.tick});
    };
    port->Open();
    Idle();
    fake->SetModemStatus(MS_DSR_ON);
    Idle();  // queued, not yet dispatched
    port->Close();
    EXPECT_EQ(seen, (std::vector<Seen>{{QStringLiteral("DSR"), MS_DSR_ON, 1000},
                                       {QStringLiteral("close"), 0, 0}}));
    Deliver();  // the queued call finds nothing more
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(ComThreadTest, CloseWithNothingPendingReturnsPromptly) {
    port->Open();
    Idle();
    const auto start = std::chrono::steady_clock::now();
    port->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(port->Connected());
    EXPECT_FALSE(fake->IsOpen());
}

TEST_F(ComThreadTest, ACallbackThatThrowsIsReportedAndTheWatchGoesOn) {
    port->SetEvents(TEvents::All());
    port->OnCTS = [](TComPort*, const TLineEvent&) {
        throw Exception(QStringLiteral("CTS handler failed"));
    };
    port->Open();
    Idle();
    fake->SetModemStatus(MS_CTS_ON | MS_DSR_ON);
    Idle();
    Deliver();
    EXPECT_EQ(dialogs.errors, QStringList{QStringLiteral("CTS handler failed")});
    ASSERT_EQ(seen.size(), 1u);  // OnDSR of the same change still ran
    fake->SetModemStatus(MS_CTS_ON);
    Idle();
    Deliver();
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(port->Connected());
}

TEST_F(ComThreadTest, AFailedWaitClosesThePortAndTellsTheOperator) {
    port->SetPort(7);
    port->Open();
    Idle();
    fake->SetModemStatus(MS_DSR_ON);
    Idle();
    fake->FailWait(EIO);  // the adapter is pulled out
    ASSERT_TRUE([&] {
        for (int i = 0; i < 10000 && port->Connected(); ++i) {
            Deliver();
            std::this_thread::sleep_for(1ms);
        }
        return !port->Connected();
    }());
    EXPECT_EQ(seen, (std::vector<Seen>{{QStringLiteral("DSR"), MS_DSR_ON, 1000},
                                       {QStringLiteral("close"), 0, 0}}));
    EXPECT_FALSE(fake->IsOpen());
    ASSERT_EQ(dialogs.errors.size(), 1);
    const QString& message = dialogs.errors[0];
    EXPECT_TRUE(message.contains(QStringLiteral("COM7"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Input/output error (5)")))
        << message.toStdString();

    // The port can be opened again once the device is back.
    port->Open();
    EXPECT_TRUE(port->Connected());
}

TEST_F(ComThreadTest, ClosingFromInsideACallbackDropsTheRest) {
    port->OnDSR = [this](TComPort* sender, const TLineEvent& event) {
        seen.push_back({QStringLiteral("DSR"), event.modemStatus, event.tick});
        sender->Close();
    };
    port->Open();
    Idle();
    fake->Pulse(MS_DSR_ON);  // two edges queued
    Idle();
    Deliver();
    EXPECT_EQ(seen, (std::vector<Seen>{{QStringLiteral("DSR"), MS_DSR_ON, 1000},
                                       {QStringLiteral("close"), 0, 0}}));
    EXPECT_FALSE(port->Connected());

    // And the port works normally afterwards.
    port->OnDSR = Recorder(QStringLiteral("DSR"));
    port->Open();
    Idle();
    fake->SetModemStatus(MS_DSR_ON);
    Idle();
    Deliver();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].status, MS_DSR_ON);
}

TEST_F(ComThreadTest, AnEventLoopInsideACallbackDoesNotReenterTheDispatch) {
    int depth = 0;
    port->OnDSR = [&](TComPort*, const TLineEvent& event) {
        ++depth;
        seen.push_back({QStringLiteral("DSR"), event.modemStatus, std::uint32_t(depth)});
        if (seen.size() == 1) {
            // A message box would run the event loop here while the next edge arrives.
            fake->SetModemStatus(0);
            EXPECT_TRUE(fake->WaitUntilIdle());
            QCoreApplication::processEvents();
        }
        --depth;
    };
    port->Open();
    Idle();
    fake->SetModemStatus(MS_DSR_ON);
    Idle();
    Deliver();
    Deliver();
    EXPECT_EQ(seen, (std::vector<Seen>{{QStringLiteral("DSR"), MS_DSR_ON, 1},
                                       {QStringLiteral("DSR"), 0, 1}}));
}

TEST_F(ComThreadTest, OnRxCharGetsTheBytesWaitingAtTheDispatch) {
    port->SetEvents({TEvent::evRxChar});
    std::vector<std::int32_t> counts;
    port->OnRxChar = [&](TComPort*, std::int32_t inQue) { counts.push_back(inQue); };
    port->Open();
    Idle();
    fake->Receive(3);
    Idle();
    fake->Receive(2);
    Idle();
    Deliver();
    EXPECT_EQ(counts, (std::vector<std::int32_t>{5, 5}));
}

TEST_F(ComThreadTest, ABouncingLineKeepsTheFirstEdgesOfEachMillisecondAndItsLastLevel) {
    port->Open();
    Idle();
    // 2000 changes in each of three milliseconds while the main thread is busy.
    std::uint32_t level = 0;
    for (std::uint32_t ms = 0; ms < 3; ++ms) {
        clock.Set(3000 + ms);
        for (int i = 0; i < 2000; ++i) {
            level ^= MS_DSR_ON;
            fake->SetModemStatus(level);
        }
        Idle();
    }
    Deliver();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_LE(seen.size(), 9u);  // at most: first on, first off, last, per millisecond
    EXPECT_EQ(seen.front(), (Seen{QStringLiteral("DSR"), MS_DSR_ON, 3000}));
    EXPECT_EQ(seen.back().status, level);
    EXPECT_EQ(seen.back().tick, 3002u);
    // Each millisecond still shows its first rising and its first falling edge.
    for (std::uint32_t t : {3000u, 3001u, 3002u}) {
        bool on = false, off = false;
        for (const Seen& s : seen)
            if (s.tick == t) (s.status ? on : off) = true;
        EXPECT_TRUE(on && off) << t;
    }
}

TEST_F(ComThreadTest, AFloodOfEventsLetsTheWindowsOtherEventsRun) {
    port->Open();
    Idle();
    int step = 0;
    port->OnDSR = [this, &step](TComPort*, const TLineEvent& event) {
        seen.push_back({QStringLiteral("DSR"), event.modemStatus, event.tick});
        if (step++ > 0) return;
        // More keeps coming while the first is handled, and the window has a job of its own.
        QMetaObject::invokeMethod(
            port.get(),
            [this] {
                seen.push_back({QStringLiteral("window"), 0, 0});
            },
            Qt::QueuedConnection);
        clock.Set(4001);
        fake->SetModemStatus(0);
        ASSERT_TRUE(fake->WaitUntilIdle());
    };
    clock.Set(4000);
    fake->SetModemStatus(MS_DSR_ON);
    Idle();
    for (int i = 0; i < 5; ++i)
        Deliver();
    EXPECT_EQ(seen, (std::vector<Seen>{{QStringLiteral("DSR"), MS_DSR_ON, 4000},
                                       {QStringLiteral("window"), 0, 0},
                                       {QStringLiteral("DSR"), 0, 4001}}));
}

TEST_F(ComThreadTest, EventsSeenByATickCanBeDeliveredAheadOfTheRest) {
    port->Open();
    Idle();
    clock.Set(5000);
    fake->SetModemStatus(MS_DSR_ON);
    Idle();
    clock.Set(5010);
    fake->SetModemStatus(0);
    Idle();
    port->DeliverEventsSeenBy(4999);
    EXPECT_TRUE(seen.empty());
    port->DeliverEventsSeenBy(5005);
    EXPECT_EQ(seen, (std::vector<Seen>{{QStringLiteral("DSR"), MS_DSR_ON, 5000}}));
    Deliver();  // the rest still has its queued call
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen.back(), (Seen{QStringLiteral("DSR"), 0, 5010}));
}
