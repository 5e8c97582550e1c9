#include <QTemporaryDir>
#include <future>
#include <thread>

#include "platform/serialdevice.h"
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
    EXPECT_EQ(device->Path(), ports.Entry(3));
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 1);

    auto second = CreateSerialDevice(sys);
    EXPECT_EQ(second->Open(3).error, EBUSY);
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 1);

    device->Close();
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 0);
    EXPECT_EQ(second->Open(3).error, 0);
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
    ASSERT_TRUE(Eventually([&] { return lines.waits >= 2 && lines.inWait; }));
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

TEST(ScanComPorts, OnlyRealSerialLinesArePresent) {
    PortsFolder ports;
    TestSystem sys;
    EXPECT_EQ(ScanComPorts(sys), 0u);

    Pty com3, com5, com7, com9;
    ModemLines serial3, serial9, noUart7;
    noUart7.getError = EIO;  // an 8250 port without a UART behind it
    sys.emulated[com3.Slave()] = &serial3;
    sys.emulated[com9.Slave()] = &serial9;
    sys.emulated[com7.Slave()] = &noUart7;
    ports.Link(3, com3.Slave());
    ports.Link(5, com5.Slave());  // a terminal, but no serial line
    ports.Link(7, com7.Slave());
    ports.Link(9, com9.Slave());
    ports.Link(2, QStringLiteral("/dev/null"));
    EXPECT_EQ(ScanComPorts(sys), (1u << 2) | (1u << 8) | (9u << 16));
    for (const Pty* p : {&com3, &com5, &com7, &com9})
        EXPECT_EQ(OpenDescriptorsOn(p->Slave()), 0);
}
