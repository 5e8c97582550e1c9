#include <QTemporaryDir>
#include <algorithm>
#include <future>
#include <optional>
#include <thread>

#include "platform/serialdevice.h"
#include "platform/tickcounter.h"
#include "tests/platform/serialtesthelpers.h"

using namespace std::chrono_literals;

namespace {

template <typename P>
bool Eventually(P done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

struct WaitOutcome {
    WaitResult result;
    LineState now;
    int error = 0;
};

class SerialDeviceTest : public ::testing::Test {
protected:
    PortsFolder ports;
    TestSystem sys;
    std::unique_ptr<SerialDevice> device = CreateSerialDevice(sys);

    // Opens COM3 on a pseudo-terminal whose modem lines are emulated.
    void OpenEmulated(Pty& pty, ModemLines& lines) {
        sys.emulated[pty.Slave()] = &lines;
        ports.Link(3, pty.Slave());
        ASSERT_EQ(device->Open(3).error, 0);
    }

    std::future<WaitOutcome> StartWait(std::uint32_t evMask, LineState since) {
        return std::async(std::launch::async, [this, evMask, since] {
            WaitOutcome o;
            o.result = device->WaitForChange(evMask, since, o.now, o.error);
            return o;
        });
    }

    // The wait's outcome if it reports within 2 s; otherwise nothing, and the wait is cancelled
    // so that the test fails instead of hanging.
    std::optional<WaitOutcome> Reported(std::future<WaitOutcome>& wait) {
        if (wait.wait_for(2s) == std::future_status::ready) return wait.get();
        device->CancelWait();
        wait.get();
        return std::nullopt;
    }
};

SerialSettings Settings9600() {
    SerialSettings s;
    s.dcb.DCBlength = 28;
    s.dcb.BaudRate = 9600;
    s.dcb.fBinary = true;
    s.dcb.fDtrControl = DTR_CONTROL_ENABLE;
    s.dcb.ByteSize = 8;
    s.dcb.XonChar = 17;
    s.dcb.XoffChar = 19;
    s.inQueue = s.outQueue = 64;
    return s;
}

// What was written to the device. (A pseudo-terminal would not keep the framing: it forces 8
// bits without parity.)
termios2 Written(const TestSystem& sys) {
    return sys.lastTermios.value_or(termios2{});
}

}  // namespace

TEST(ComDevicePath, DefaultMapThenThePortsFolder) {
    TestSystem sys;
    QDir(ProgramConfigDir() + QStringLiteral("/ports")).removeRecursively();
    EXPECT_EQ(ComDevicePath(sys, 1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(ComDevicePath(sys, 4), QStringLiteral("/dev/ttyS3"));
    EXPECT_EQ(ComDevicePath(sys, 5), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(ComDevicePath(sys, 12), QStringLiteral("/dev/ttyUSB7"));
    EXPECT_EQ(ComDevicePath(sys, 13), QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(ComDevicePath(sys, 16), QStringLiteral("/dev/ttyACM3"));
    for (int none : {0, -1, 17, 255})
        EXPECT_TRUE(ComDevicePath(sys, none).isEmpty()) << none;

    PortsFolder ports;  // a dangling link still names the (missing) device
    EXPECT_EQ(ComDevicePath(sys, 1), ports.Entry(1));
    EXPECT_EQ(ComDevicePath(sys, 16), ports.Entry(16));
    ports.Link(20, QStringLiteral("/dev/null"));
    EXPECT_EQ(ComDevicePath(sys, 20), ports.Entry(20));
    EXPECT_TRUE(ComDevicePath(sys, 0).isEmpty());
}

TEST_F(SerialDeviceTest, AMissingDeviceAndPortZeroGiveCode2) {
    EXPECT_EQ(device->Open(7).error, ENOENT);
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(device->Open(0).error, ENOENT);
    EXPECT_FALSE(device->IsOpen());
}

TEST_F(SerialDeviceTest, AnythingButATerminalIsRefused) {
    const int before = OpenDescriptorsOn(QStringLiteral("/dev/null"));
    ports.Link(5, QStringLiteral("/dev/null"));  // a character device, not a terminal
    EXPECT_EQ(device->Open(5).error, ENOTTY);
    EXPECT_EQ(OpenDescriptorsOn(QStringLiteral("/dev/null")), before);

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ports.Link(6, file.fileName());
    EXPECT_EQ(device->Open(6).error, ENOTTY);
    ports.Link(7, dir.path());
    EXPECT_EQ(device->Open(7).error, EISDIR);
    EXPECT_FALSE(device->IsOpen());
}

TEST_F(SerialDeviceTest, APseudoTerminalOpensExclusively) {
    Pty pty;
    ports.Link(3, pty.Slave());
    ASSERT_EQ(device->Open(3).error, 0);
    EXPECT_TRUE(device->IsOpen());
    // Named by the device the link points to, and by the link.
    EXPECT_EQ(device->Path(), pty.Slave() + " (" + ports.Entry(3) + ")");
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 1);

    auto second = CreateSerialDevice(sys);
    EXPECT_EQ(second->Open(3).error, EBUSY);
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 1);

    device->Close();
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 0);
    EXPECT_EQ(second->Open(3).error, 0);
}

TEST_F(SerialDeviceTest, ALockHeldElsewhereGivesTheExclusiveModeBack) {
    Pty pty;
    ports.Link(3, pty.Slave());
    sys.flockError = EWOULDBLOCK;  // another copy of the program holds the line
    const int closesBefore = sys.closes;
    EXPECT_EQ(device->Open(3).error, EBUSY);
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 0);
    EXPECT_EQ(sys.closes, closesBefore + 1);
    // The terminal's exclusive mode outlives the descriptor: it must be cleared before closing.
    const auto excl = std::find(sys.requests.begin(), sys.requests.end(), TIOCEXCL);
    ASSERT_NE(excl, sys.requests.end());
    EXPECT_NE(std::find(excl, sys.requests.end(), TIOCNXCL), sys.requests.end());
}

TEST_F(SerialDeviceTest, ARefusedPermissionNamesTheDeviceAndItsGroup) {
    Pty pty;
    ports.Link(3, pty.Slave());
    sys.openError = EACCES;
    sys.deviceGroup = 5;
    const QString tty = SerialSystem::Default().GroupName(5);
    ASSERT_FALSE(tty.isEmpty());
    const OpenResult r = device->Open(3);
    EXPECT_EQ(r.error, EACCES);
    EXPECT_FALSE(device->IsOpen());
    EXPECT_TRUE(r.detail.contains(ports.Entry(3))) << r.detail.toStdString();
    EXPECT_TRUE(r.detail.contains("use " + pty.Slave())) << r.detail.toStdString();
    EXPECT_TRUE(r.detail.contains(QStringLiteral("group \"%1\"").arg(tty)))
        << r.detail.toStdString();

    // A device of the root group, or one that cannot be looked at: the usual group is named.
    sys.deviceGroup = 0;
    EXPECT_TRUE(device->Open(3).detail.contains(QStringLiteral("group \"dialout\"")));
    const OpenResult missing = device->Open(4);
    EXPECT_TRUE(missing.detail.contains(QStringLiteral("group \"dialout\"")))
        << missing.detail.toStdString();

    sys.openError = EBUSY;
    EXPECT_TRUE(device->Open(3).detail.isEmpty());
}

TEST_F(SerialDeviceTest, ConfigureWritesTheSettingsIntoTermios) {
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);

    SerialSettings s = Settings9600();
    s.dcb.ByteSize = 5;
    s.dcb.Parity = 2;  // even
    s.dcb.StopBits = 2;
    s.dcb.fOutxCtsFlow = true;
    s.dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    s.dcb.fOutX = s.dcb.fInX = true;
    ASSERT_EQ(device->Configure(s), 0);
    termios2 t = Written(sys);
    EXPECT_EQ(t.c_ospeed, 9600u);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS5));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), tcflag_t(PARENB));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_TRUE(lines.Bits() & TIOCM_DTR);

    // A speed no table has, mark parity, one and a half stop bits, no handshake, DTR off.
    s = Settings9600();
    s.dcb.BaudRate = 28800;
    s.dcb.Parity = 3;
    s.dcb.StopBits = 1;
    s.dcb.fDtrControl = DTR_CONTROL_DISABLE;
    ASSERT_EQ(device->Configure(s), 0);
    t = Written(sys);
    EXPECT_EQ(t.c_ospeed, 28800u);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), tcflag_t(PARENB | PARODD | CMSPAR));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_FALSE(lines.Bits() & TIOCM_DTR);
    EXPECT_FALSE(lines.Bits() & TIOCM_RTS);

    // Settings no line can take.
    s = Settings9600();
    s.dcb.BaudRate = 0;
    EXPECT_EQ(device->Configure(s), EINVAL);
    s.dcb.BaudRate = static_cast<std::uint32_t>(-28800);
    EXPECT_EQ(device->Configure(s), EINVAL);
    s = Settings9600();
    s.dcb.ByteSize = 9;
    EXPECT_EQ(device->Configure(s), EINVAL);
    s = Settings9600();
    s.inQueue = -1;
    EXPECT_EQ(device->Configure(s), EINVAL);
    device->Close();
    EXPECT_EQ(device->Configure(Settings9600()), EBADF);
}

TEST_F(SerialDeviceTest, APseudoTerminalTakesSettingsWithoutModemLines) {
    Pty pty;
    ports.Link(3, pty.Slave());
    ASSERT_EQ(device->Open(3).error, 0);
    EXPECT_EQ(device->Configure(Settings9600()), 0);  // no DTR to raise is no failure
    termios2 t{};
    ASSERT_EQ(ioctl(pty.Master(), TCGETS2, &t), 0);  // a master reads its slave's settings
    EXPECT_EQ(t.c_ospeed, 9600u);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(device->ModemStatus(), 0u);
    EXPECT_EQ(device->InputCount(), 0);
    ASSERT_EQ(write(pty.Master(), "abc", 3), 3);
    EXPECT_TRUE(Eventually([&] { return device->InputCount() == 3; }));
    device->Purge(PURGE_RXABORT | PURGE_RXCLEAR);
    EXPECT_EQ(device->InputCount(), 0);
}

TEST_F(SerialDeviceTest, ModemStatusIsReportedInTheProgramsBits) {
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    lines.Set(TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CAR);
    EXPECT_EQ(device->ModemStatus(), 0xF0u);
    lines.Set(TIOCM_DSR);
    EXPECT_EQ(device->ModemStatus(), MS_DSR_ON);
    device->Close();
    EXPECT_EQ(device->ModemStatus(), 0u);
}

TEST_F(SerialDeviceTest, TheModemWaitSeesEveryChangeAndAStopReleasesIt) {
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    LineState since = device->ReadLineState(EV_DSR);
    EXPECT_TRUE(since.statusValid);
    EXPECT_TRUE(since.countersValid);

    auto wait = StartWait(EV_DSR, since);
    ASSERT_TRUE(Eventually([&] { return lines.inWait.load(); }));
    lines.Set(TIOCM_CTS);  // not watched: the wait goes on
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(wait.wait_for(0s), std::future_status::timeout);
    lines.Set(TIOCM_CTS | TIOCM_DSR);
    ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
    WaitOutcome o = wait.get();
    EXPECT_EQ(o.result, WaitResult::Changed);
    EXPECT_EQ(o.now.modemStatus, MS_CTS_ON | MS_DSR_ON);
    since = o.now;

    // A pulse the waiter could not see edge by edge.
    wait = StartWait(EV_DSR, since);
    ASSERT_TRUE(Eventually([&] { return lines.inWait.load(); }));
    lines.Pulse(TIOCM_DSR);
    ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
    o = wait.get();
    ASSERT_EQ(o.result, WaitResult::Changed);
    EXPECT_EQ(CommEventsBetween(since, o.now, EV_DSR).size(), 2u);
    since = o.now;

    // Some other signal interrupts the ioctl: the wait goes on.
    wait = StartWait(EV_DSR, since);
    ASSERT_TRUE(Eventually([&] { return lines.inWait.load(); }));
    const int waitsBefore = lines.waits;
    SerialSystem::Default().InterruptThread(lines.waiter);
    ASSERT_TRUE(Eventually([&] { return lines.interrupted >= 1; }));
    ASSERT_TRUE(Eventually([&] { return lines.waits > waitsBefore && lines.inWait; }));
    EXPECT_EQ(wait.wait_for(0s), std::future_status::timeout);

    // The stop request releases it.
    device->CancelWait();
    ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(wait.get().result, WaitResult::Stopped);
    // And every later wait, until the device is opened again.
    LineState now;
    int error = 0;
    EXPECT_EQ(device->WaitForChange(EV_DSR, since, now, error), WaitResult::Stopped);
}

TEST_F(SerialDeviceTest, AnEdgeBeforeTheKernelsSnapshotIsFoundByTheChecker) {
    for (bool visible : {true, false}) {
        SCOPED_TRACE(visible ? "checker" : "re-check timer");
        sys.procMissing = !visible;
        ScopedManualClock clock(1000);
        Pty pty;
        ModemLines lines;
        OpenEmulated(pty, lines);
        const LineState since = device->ReadLineState(EV_DSR);
        // The edge comes after the worker's look and before the wait takes its snapshot: the
        // wait itself never wakes for it.
        lines.onEntry = [&] {
            lines.Set(TIOCM_DSR);
            clock.Set(1500);
        };
        auto wait = StartWait(EV_DSR, since);
        const std::optional<WaitOutcome> o = Reported(wait);
        ASSERT_TRUE(o);
        ASSERT_EQ(o->result, WaitResult::Changed);
        EXPECT_EQ(o->now.modemStatus, MS_DSR_ON);
        EXPECT_EQ(o->now.tick, 1500u);  // when it was read, never before
        device->Close();
    }
}

TEST_F(SerialDeviceTest, ARecheckSignalSpentBeforeTheWaitIsFollowedByAnother) {
    ScopedManualClock clock(1000);
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    const LineState since = device->ReadLineState(EV_DSR);
    // The edge falls into the entry window, and the worker is held up (preempted on a busy
    // machine) until the re-check's signal has come and gone before the wait is entered.
    lines.onEntry = [&] {
        lines.Set(TIOCM_DSR);
        std::this_thread::sleep_for(20ms);
    };
    auto wait = StartWait(EV_DSR, since);
    const std::optional<WaitOutcome> o = Reported(wait);
    ASSERT_TRUE(o);
    ASSERT_EQ(o->result, WaitResult::Changed);
    EXPECT_EQ(o->now.modemStatus, MS_DSR_ON);
    EXPECT_EQ(o->now.tick, 1000u);
}

TEST_F(SerialDeviceTest, AnEdgeThatWakesTheWaitKeepsTheTickOfTheWake) {
    ScopedManualClock clock(2000);
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    const LineState since = device->ReadLineState(EV_DSR);
    auto wait = StartWait(EV_DSR, since);
    ASSERT_TRUE(Eventually([&] { return lines.inWait.load(); }));
    // Reading the line after the wake takes the worker 7 ms (a slow adapter, a busy machine).
    lines.onCount = [&] {
        if ((lines.Bits() & TIOCM_DSR) && pthread_equal(pthread_self(), lines.waiter))
            clock.Set(2007);
    };
    lines.Set(TIOCM_DSR);
    ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
    const WaitOutcome o = wait.get();
    ASSERT_EQ(o.result, WaitResult::Changed);
    EXPECT_EQ(o.now.tick, 2000u);
}

TEST_F(SerialDeviceTest, AStopWinsOverALineChangeArrivingWithIt) {
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    const LineState since = device->ReadLineState(EV_DSR);
    lines.Set(TIOCM_DSR);
    device->CancelWait();
    LineState now;
    int error = 0;
    EXPECT_EQ(device->WaitForChange(EV_DSR, since, now, error), WaitResult::Stopped);
}

TEST_F(SerialDeviceTest, AnUnpluggedAdapterFailsTheWaitWithItsError) {
    for (int unplugged : {EIO, ENODEV}) {
        Pty pty;
        ModemLines lines;
        OpenEmulated(pty, lines);
        auto wait = StartWait(EV_DSR, device->ReadLineState(EV_DSR));
        ASSERT_TRUE(Eventually([&] { return lines.inWait.load(); }));
        lines.Fail(unplugged);
        ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
        const WaitOutcome o = wait.get();
        EXPECT_EQ(o.result, WaitResult::Failed);
        EXPECT_EQ(o.error, unplugged);
        device->Close();
    }
}

TEST_F(SerialDeviceTest, ADriverWithoutTheModemWaitIsPolled) {
    Pty pty;
    ModemLines lines;
    lines.waitError = EINVAL;   // like cp210x
    lines.countError = ENOTTY;  // and no counters either
    OpenEmulated(pty, lines);
    const LineState since = device->ReadLineState(EV_DSR);
    EXPECT_FALSE(since.countersValid);

    auto wait = StartWait(EV_DSR, since);
    ASSERT_TRUE(Eventually([&] { return lines.waits >= 1; }));
    std::this_thread::sleep_for(5ms);
    lines.Set(TIOCM_DSR);
    ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
    WaitOutcome o = wait.get();
    EXPECT_EQ(o.result, WaitResult::Changed);
    EXPECT_EQ(o.now.modemStatus, MS_DSR_ON);

    wait = StartWait(EV_DSR, o.now);
    std::this_thread::sleep_for(5ms);
    device->CancelWait();
    ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(wait.get().result, WaitResult::Stopped);
    EXPECT_EQ(lines.waits, 1);  // tried once, then polled
}

// A driver without TIOCMIWAIT and counters, sampled on a simulated clock: every sleep oversleeps
// by a fixed amount, as on a loaded machine, and the DSR line is on during given pulses.
class SampledSystem : public TestSystem {
public:
    std::atomic<std::int64_t> now{1'000'000'000};  // ns
    std::int64_t oversleep = 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> pulses;  // [on, off)
    std::int64_t giveUpAt = 0;                                  // the test's own stop
    SerialDevice* device = nullptr;
    int samples = 0;
    // The test's thread samples; the clock is its own. (The checker, which the device starts
    // for its one try of TIOCMIWAIT, gets no say in it.)
    const pthread_t sampler = pthread_self();
    bool Sampler() const { return pthread_equal(pthread_self(), sampler); }

    std::int64_t MonotonicNs() override { return now; }
    int PollUntil(pollfd* fds, unsigned long count, std::int64_t deadline) override {
        if (!Sampler()) return TestSystem::Poll(fds, count, 0);
        Sleep(std::max<std::int64_t>(deadline - now, 0), fds, count);
        return 0;
    }
    int Poll(pollfd* fds, unsigned long count, int timeoutMs) override {
        if (timeoutMs < 0 || !Sampler()) return TestSystem::Poll(fds, count, timeoutMs);
        Sleep(std::int64_t(timeoutMs) * 1'000'000, fds, count);
        return 0;
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        switch (request) {
            case TIOCMGET: {
                if (Sampler()) ++samples;
                bool on = false;
                for (auto [a, b] : pulses)
                    on = on || (now >= a && now < b);
                *static_cast<int*>(arg) = on ? TIOCM_DSR : 0;
                return 0;
            }
            case TIOCGICOUNT:
                errno = ENOTTY;
                return -1;
            case TIOCMIWAIT:
                errno = EINVAL;
                return -1;
            case TIOCMBIS:
            case TIOCMBIC:
                return 0;
            default:
                return TestSystem::Ioctl(fd, request, arg);
        }
    }

private:
    void Sleep(std::int64_t ns, pollfd* fds, unsigned long count) {
        for (unsigned long i = 0; i < count; ++i)
            fds[i].revents = 0;
        now += ns + oversleep;
        if (giveUpAt && now > giveUpAt) device->CancelWait();
    }
};

TEST(PolledWatch, SamplesOnAbsoluteDeadlinesAndCatchesEveryPulseOf2Ms) {
    PortsFolder ports;
    SampledSystem sys;
    auto device = CreateSerialDevice(sys);
    sys.device = device.get();
    Pty pty;
    ports.Link(3, pty.Slave());

    // Idle, with a small oversleep: at least a sample per millisecond, however long it runs.
    sys.oversleep = 100'000;
    ASSERT_EQ(device->Open(3).error, 0);
    LineState since = device->ReadLineState(EV_DSR);
    ASSERT_FALSE(since.countersValid);
    sys.giveUpAt = sys.now + 100'000'000;
    sys.samples = 0;
    LineState now;
    int error = 0;
    EXPECT_EQ(device->WaitForChange(EV_DSR, since, now, error), WaitResult::Stopped);
    EXPECT_GE(sys.samples, 100);

    // A loaded machine: every wake-up 1.2 ms late. A 2 ms pulse is caught at any phase.
    sys.oversleep = 1'200'000;
    int caught = 0, tried = 0;
    for (std::int64_t phase = 0; phase < 2'000'000; phase += 100'000) {
        ASSERT_EQ(device->Open(3).error, 0);
        since = device->ReadLineState(EV_DSR);
        const std::int64_t on = sys.now + 10'000'000 + phase;
        sys.pulses = {{on, on + 2'000'000}};
        sys.giveUpAt = on + 20'000'000;
        ++tried;
        if (device->WaitForChange(EV_DSR, since, now, error) == WaitResult::Changed) ++caught;
    }
    EXPECT_EQ(caught, tried);
}

TEST_F(SerialDeviceTest, APseudoTerminalWaitsOnlyForTheStopOrAHangup) {
    Pty pty;
    ports.Link(3, pty.Slave());
    ASSERT_EQ(device->Open(3).error, 0);
    auto wait = StartWait(EV_DSR, device->ReadLineState(EV_DSR));
    EXPECT_EQ(wait.wait_for(20ms), std::future_status::timeout);
    device->CancelWait();
    ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(wait.get().result, WaitResult::Stopped);

    ASSERT_EQ(device->Open(3).error, 0);
    wait = StartWait(EV_DSR, device->ReadLineState(EV_DSR));
    pty.CloseMaster();
    ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
    const WaitOutcome o = wait.get();
    EXPECT_EQ(o.result, WaitResult::Failed);
    EXPECT_EQ(o.error, EIO);
}

// A sysfs tree in a temporary folder, as the kernel lays it out for tty devices.
class FakeSysfs {
public:
    explicit FakeSysfs(TestSystem& sys) { sys.sysfsRoot = dir_.path(); }
    // /sys/class/tty/<name>, with a device bound to `driver` (none: a tty without a device).
    void Tty(const QString& name, const QString& driver, const QString& type = {}) {
        const QString tty = dir_.filePath("class/tty/" + name);
        QDir().mkpath(tty);
        if (!type.isEmpty()) Write(tty + "/type", type + "\n");
        if (driver.isEmpty()) return;
        const QString device = dir_.filePath("devices/" + name);
        const QString drivers = dir_.filePath("bus/drivers/" + driver);
        QDir().mkpath(device);
        QDir().mkpath(drivers);
        EXPECT_TRUE(QFile::link(device, tty + "/device"));
        EXPECT_TRUE(QFile::link(drivers, device + "/driver"));
    }

    // /sys/class/tty/console/active: the consoles the kernel writes to.
    void ActiveConsoles(const QString& names) {
        QDir().mkpath(dir_.filePath("class/tty/console"));
        Write(dir_.filePath("class/tty/console/active"), names + "\n");
    }

private:
    static void Write(const QString& path, const QString& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }
    QTemporaryDir dir_;
};

TEST(ScanComPorts, PortsAreFoundInSysfsAndThePortsFolderWithoutOpeningAny) {
    PortsFolder ports;
    TestSystem sys;
    FakeSysfs sysfs(sys);
    EXPECT_EQ(ScanComPorts(sys), 0u);

    for (int n : {1, 2, 3, 5, 6, 13, 14})
        ports.Remove(n);                    // their default devices
    sysfs.Tty("ttyS0", "serial8250", "0");  // a legacy place without a UART
    sysfs.Tty("ttyS1", "serial8250", "4");  // a 16550A
    sysfs.Tty("ttyS2", "serial8250", "4");  // no device node
    sysfs.Tty("ttyUSB0", "ftdi_sio");
    sysfs.Tty("ttyUSB1", "");  // no device behind it
    sysfs.Tty("ttyACM0", "cdc_acm");
    for (const char* node : {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0", "/dev/ttyUSB1",
                             "/dev/ttyACM0", "/dev/ttyACM1"})
        sys.charDevices.insert(node);  // ttyACM1: a node that sysfs does not know

    // The operator's links: a pseudo-terminal (no sysfs entry) counts, a file does not.
    Pty bridge;
    ports.Link(9, bridge.Slave());
    QTemporaryDir files;
    QFile plain(files.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    ports.Link(10, plain.fileName());

    const std::uint32_t expected = (1u << 1) | (1u << 4) | (1u << 8) | (1u << 12) | (13u << 16);
    EXPECT_EQ(ScanComPorts(sys), expected);
    EXPECT_EQ(sys.opens, 0);
    EXPECT_EQ(OpenDescriptorsOn(bridge.Slave()), 0);

    // A port the user may not open is still offered: the scan never asks.
    sys.openError = EACCES;
    EXPECT_EQ(ScanComPorts(sys), expected);
}

// Stamps are never taken before the evidence of the edge was read: an edge that comes after a
// look, however the wait ends, is stamped at or after its own moment.
TEST_F(SerialDeviceTest, AnEdgeAfterAnInterruptedWaitIsNotStampedWithTheLookBeforeIt) {
    ScopedManualClock clock(1000);
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    const LineState since = device->ReadLineState(EV_DSR);
    auto wait = StartWait(EV_DSR, since);
    ASSERT_TRUE(Eventually([&] { return lines.inWait.load(); }));
    // A signal ends the wait; the edge comes 4 ms after the look, before the next one.
    lines.onInterrupted = [&] {
        clock.Set(1004);
        lines.Set(TIOCM_DSR);
    };
    SerialSystem::Default().InterruptThread(lines.waiter);
    const std::optional<WaitOutcome> o = Reported(wait);
    ASSERT_TRUE(o);
    ASSERT_EQ(o->result, WaitResult::Changed);
    EXPECT_GE(o->now.tick, 1004u);
}

// serial_core (uart_wait_modem_status) and cdc-acm (wait_serial_change) check for a pending
// signal before the counters after a wake-up: the edge that woke the wait comes back as EINTR.
TEST_F(SerialDeviceTest, AnEdgeWhoseWakeUpLostToASignalIsStampedWhenItWasSeen) {
    ScopedManualClock clock(1000);
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    const LineState since = device->ReadLineState(EV_DSR);
    auto wait = StartWait(EV_DSR, since);
    ASSERT_TRUE(Eventually([&] { return lines.inWait.load(); }));
    clock.Set(1054);  // the edge, 54 ms after the look before the wait
    lines.signalBeatsNextWake = true;
    lines.Set(TIOCM_DSR);
    const std::optional<WaitOutcome> o = Reported(wait);
    ASSERT_TRUE(o);
    ASSERT_EQ(o->result, WaitResult::Changed);
    EXPECT_EQ(o->now.modemStatus, MS_DSR_ON);
    EXPECT_GE(o->now.tick, 1054u);
    EXPECT_LE(o->now.tick, 1054u + 5);
}

// The worker is preempted between its look and the wait (a busy machine right after a finish):
// the edge that comes meanwhile must not carry the tick from before the preemption.
TEST_F(SerialDeviceTest, AnEdgeWhileTheWorkerIsHeldBeforeTheWaitIsNotTimedEarly) {
    ScopedManualClock clock(1000);
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    const LineState since = device->ReadLineState(EV_DSR);
    lines.onEntry = [&] {
        clock.Set(1300);
        lines.Set(TIOCM_DSR);  // 300 ms after the look
        clock.Set(1301);
    };
    auto wait = StartWait(EV_DSR, since);
    const std::optional<WaitOutcome> o = Reported(wait);
    ASSERT_TRUE(o);
    ASSERT_EQ(o->result, WaitResult::Changed);
    EXPECT_GE(o->now.tick, 1300u);
}

// Where the re-check cannot be armed, an edge in the entry window is still found.
TEST_F(SerialDeviceTest, AnEntryWindowEdgeIsFoundWhenTheRecheckTimerCannotBeSet) {
    sys.procMissing = true;  // so the timer would be needed
    sys.wakeTimerError = EAGAIN;
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    const LineState since = device->ReadLineState(EV_DSR);
    // The edge comes as the wait is entered, or (where the watch samples instead) soon after.
    std::atomic<bool> came{false};
    lines.onEntry = [&] {
        lines.Set(TIOCM_DSR);
        came = true;
    };
    auto wait = StartWait(EV_DSR, since);
    std::this_thread::sleep_for(20ms);
    if (!came.exchange(true)) lines.Set(TIOCM_DSR);
    const std::optional<WaitOutcome> o = Reported(wait);
    ASSERT_TRUE(o);
    ASSERT_EQ(o->result, WaitResult::Changed);
    EXPECT_EQ(o->now.modemStatus, MS_DSR_ON);
}

// Another holder's exclusive mode is left alone when the lock shows the line is taken.
TEST_F(SerialDeviceTest, ALockHeldElsewhereLeavesTheOtherHoldersExclusiveMode) {
    Pty pty;
    ports.Link(3, pty.Slave());
    const int other = ::open(pty.Slave().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(ioctl(other, TIOCEXCL), 0);  // the other copy's line (root may open it anyway)
    sys.flockError = EWOULDBLOCK;
    EXPECT_EQ(device->Open(3).error, EBUSY);
    int exclusive = 0;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    ::close(other);
}

// Kernels since 6.5 bind the 8250 places to the driver "port", not "serial8250"; a place
// without a UART says so in its type whatever the driver is called. And the port the kernel
// writes its console to is no photocell line.
TEST(ScanComPorts, PlaceholdersOfAnyDriverAndTheActiveConsoleAreNotOffered) {
    PortsFolder ports;
    TestSystem sys;
    FakeSysfs sysfs(sys);
    for (int n : {1, 2, 3, 4, 5})
        ports.Remove(n);
    sysfs.Tty("ttyS0", "port", "4");  // a 16550A, the system console
    sysfs.Tty("ttyS1", "port", "0");  // a place without a UART
    sysfs.Tty("ttyS2", "port", "4");
    sysfs.Tty("ttyS3", "serial8250", "0");
    sysfs.Tty("ttyUSB0", "ftdi_sio");  // no type file: a USB adapter
    sysfs.ActiveConsoles("tty0 ttyS0");
    for (const char* node : {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3", "/dev/ttyUSB0"})
        sys.charDevices.insert(node);
    EXPECT_EQ(ScanComPorts(sys), (1u << 2) | (1u << 4) | (5u << 16));
    EXPECT_EQ(sys.opens, 0);
}

// A quiet port sits in one wait: nothing interrupts it to look again.
TEST_F(SerialDeviceTest, AQuietPortStaysInOneWait) {
    Pty pty;
    ModemLines lines;
    OpenEmulated(pty, lines);
    auto wait = StartWait(EV_DSR, device->ReadLineState(EV_DSR));
    ASSERT_TRUE(Eventually([&] { return lines.inWait.load(); }));
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(lines.waits, 1);
    EXPECT_EQ(lines.interrupted, 0);
    device->CancelWait();
    ASSERT_EQ(wait.wait_for(10s), std::future_status::ready);
}

// ftdi_sio's status packets come once per latency-timer interval: the port asks for low latency
// (1 ms instead of 16) and gives the setting back when it closes; a driver that refuses it is
// no failure.
TEST_F(SerialDeviceTest, TheDriverIsAskedForLowLatencyWhileThePortIsOpen) {
    Pty pty;
    ModemLines lines;
    lines.serialInfo = true;
    OpenEmulated(pty, lines);
    ASSERT_EQ(device->Configure(Settings9600()), 0);
    EXPECT_TRUE(lines.LowLatency());
    device->Close();
    EXPECT_FALSE(lines.LowLatency());

    lines.serialInfo = false;  // the request goes to the pseudo-terminal, which refuses it
    ASSERT_EQ(device->Open(3).error, 0);
    EXPECT_EQ(device->Configure(Settings9600()), 0);
}
