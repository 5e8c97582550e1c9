#include <gtest/gtest.h>
#include <QCoreApplication>

#include <chrono>
#include <thread>

#include "tests/support/fakeserialdevice.h"
#include "tests/support/scripteddialogs.h"
#include "serial/comport.h"
#include "tests/platform/serialtesthelpers.h"

namespace {

std::unique_ptr<TComPort> FakePort(FakeSerialDevice*& fake) {
    auto device = std::make_unique<FakeSerialDevice>();
    fake = device.get();
    return std::make_unique<TComPort>(nullptr, std::move(device));
}

// The main window's photocell port.
void MakePhotocellPort(TComPort& port) {
    port.SetBaudRate(TBaudRate::br9600);
    port.SetDataBits(5);
    port.SetEvents({TEvent::evDSR});
    port.SetWriteBufSize(64);
    port.SetReadBufSize(64);
}

template <typename E>
QString MessageOf(TComPort& port) {
    try {
        port.Open();
    } catch (const E& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

}  // namespace

TEST(ComPortProperties, ValuesAtCreation) {
    FakeSerialDevice* fake = nullptr;
    auto port = FakePort(fake);
    EXPECT_EQ(port->BaudRate(), TBaudRate::br9600);
    EXPECT_EQ(port->BaudRateUser(), 28800);
    EXPECT_EQ(port->Port(), 1);
    EXPECT_EQ(port->Parity(), TParity::prNone);
    EXPECT_EQ(port->StopBits(), TStopBits::sbOneStopBit);
    EXPECT_EQ(port->FlowControl(), TFlowControl::fcNone);
    EXPECT_EQ(port->DataBits(), 8);
    EXPECT_EQ(port->Events(), TEvents::All());
    EXPECT_TRUE(port->EnableDTR());
    EXPECT_EQ(port->WriteBufSize(), 2048);
    EXPECT_EQ(port->ReadBufSize(), 2048);
    EXPECT_EQ(port->Tag(), 0);
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(fake->OpenCount(), 0);  // creating never opens
    EXPECT_FALSE(port->OnDSR || port->OnOpen || port->OnClose || port->OnRxChar);
    port->SetTag(2);
    EXPECT_EQ(port->Tag(), 2);
}

TEST(ComPortProperties, DataBitsAreHeldBetween5And8) {
    FakeSerialDevice* fake = nullptr;
    auto port = FakePort(fake);
    const std::pair<int, int> cases[] = {{9, 8}, {4, 5}, {0, 5}, {255, 8},
                                         {6, 6}, {5, 5}, {7, 7}, {8, 8}};
    for (auto [in, out] : cases) {
        port->SetDataBits(std::uint8_t(in));
        EXPECT_EQ(port->DataBits(), out) << in;
    }
}

TEST(ComPortSettings, ANewPortRunsAt9600With8BitsAndLargeQueues) {
    FakeSerialDevice* fake = nullptr;
    const SerialSettings s = FakePort(fake)->DeviceSettings();
    Dcb d;
    d.DCBlength = 28;
    d.BaudRate = 9600;
    d.fBinary = true;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.XonLim = 512;
    d.XoffLim = 1;
    d.ByteSize = 8;
    d.XonChar = 17;
    d.XoffChar = 19;
    EXPECT_EQ(s.dcb, d);  // every other field (parity check, handshakes, chars) stays 0
    EXPECT_EQ(s.timeouts, (CommTimeouts{0xFFFFFFFFu, 0, 0, 1000, 1500}));
    EXPECT_EQ(s.inQueue, 2048);
    EXPECT_EQ(s.outQueue, 2048);
}

TEST(ComPortSettings, ThePhotocellLine) {
    FakeSerialDevice* fake = nullptr;
    auto port = FakePort(fake);
    MakePhotocellPort(*port);
    const SerialSettings s = port->DeviceSettings();
    EXPECT_EQ(s.dcb.BaudRate, 9600u);
    EXPECT_EQ(s.dcb.ByteSize, 5);
    EXPECT_EQ(s.dcb.XonLim, 16);  // from the transmit queue
    EXPECT_EQ(s.inQueue, 64);
    EXPECT_EQ(s.outQueue, 64);
    EXPECT_EQ(EventMaskOf(port->Events()), 0x0010u);
}

TEST(ComPortSettings, SpeedsFramingAndHandshakes) {
    const std::uint32_t table[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int i = 0; i <= int(TBaudRate::br256000); ++i)
        EXPECT_EQ(BaudRateValue(TBaudRate(i), 28800), table[i]) << i;
    EXPECT_EQ(BaudRateValue(TBaudRate::br76500, 0), 57600u);
    EXPECT_EQ(BaudRateValue(TBaudRate::brUser, 28800), 28800u);

    FakeSerialDevice* fake = nullptr;
    auto port = FakePort(fake);
    port->SetBaudRate(TBaudRate::brUser);
    port->SetBaudRateUser(31250);
    port->SetParity(TParity::prEven);
    port->SetStopBits(TStopBits::sbOne5StopBits);
    port->SetFlowControl(TFlowControl::fcRtsCts);
    port->SetEnableDTR(false);
    port->SetWriteBufSize(7);
    SerialSettings s = port->DeviceSettings();
    EXPECT_EQ(s.dcb.BaudRate, 31250u);
    EXPECT_EQ(s.dcb.Parity, 2);
    EXPECT_FALSE(s.dcb.fParity);  // no parity check on receive, whatever the parity
    EXPECT_EQ(s.dcb.StopBits, 1);
    EXPECT_TRUE(s.dcb.fOutxCtsFlow);
    EXPECT_EQ(s.dcb.fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_FALSE(s.dcb.fOutX || s.dcb.fInX);
    EXPECT_EQ(s.dcb.fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_EQ(s.dcb.XonLim, 1);

    port->SetParity(TParity::prSpace);
    port->SetStopBits(TStopBits::sbTwoStopBits);
    port->SetFlowControl(TFlowControl::fcXonXoff);
    s = port->DeviceSettings();
    EXPECT_EQ(s.dcb.Parity, 4);
    EXPECT_EQ(s.dcb.StopBits, 2);
    EXPECT_TRUE(s.dcb.fOutX && s.dcb.fInX);
    EXPECT_FALSE(s.dcb.fOutxCtsFlow);
    EXPECT_EQ(s.dcb.fRtsControl, RTS_CONTROL_DISABLE);
    EXPECT_EQ(s.dcb.XonChar, 17);
    EXPECT_EQ(s.dcb.XoffChar, 19);
}

TEST(ComPortSettings, EventMasks) {
    EXPECT_EQ(EventMaskOf(TEvents::All()), 0x01FFu);
    EXPECT_EQ(EventMaskOf({}), 0u);
    const std::pair<TEvent, std::uint32_t> bits[] = {
        {TEvent::evRxChar, 0x0001}, {TEvent::evTxEmpty, 0x0004}, {TEvent::evRxFlag, 0x0002},
        {TEvent::evRing, 0x0100},   {TEvent::evBreak, 0x0040},   {TEvent::evCTS, 0x0008},
        {TEvent::evDSR, 0x0010},    {TEvent::evError, 0x0080},   {TEvent::evRLSD, 0x0020}};
    for (auto [e, bit] : bits)
        EXPECT_EQ(EventMaskOf({e}), bit) << int(e);
    TEvents set{TEvent::evCTS, TEvent::evDSR};
    EXPECT_EQ(set.Bits(), (1u << 5) | (1u << 6));
    set -= TEvent::evCTS;
    EXPECT_EQ(set, TEvents{TEvent::evDSR});
}

class ComPortOpenClose : public ::testing::Test {
protected:
    QStringList log;  // outlives the port, whose destruction may still report
    FakeSerialDevice* fake = nullptr;
    std::unique_ptr<TComPort> port = FakePort(fake);

    void SetUp() override {
        port->OnOpen = [this](TComPort* sender) {
            EXPECT_EQ(sender, port.get());
            EXPECT_TRUE(sender->Connected());
            log << QStringLiteral("open");
        };
        port->OnClose = [this](TComPort* sender) {
            EXPECT_EQ(sender, port.get());
            EXPECT_FALSE(sender->Connected());
            EXPECT_FALSE(fake->IsOpen());  // the device is gone before OnClose
            log << QStringLiteral("close");
        };
    }
};

TEST_F(ComPortOpenClose, OpenConfiguresTheDeviceThenRaisesOnOpen) {
    port->SetPort(12);
    MakePhotocellPort(*port);
    port->Open();
    EXPECT_TRUE(port->Connected());
    EXPECT_EQ(port->DeviceName(), QStringLiteral("COM12"));
    EXPECT_EQ(fake->LastPort(), 12);
    EXPECT_TRUE(fake->IsOpen());
    EXPECT_EQ(fake->LastSettings(), port->DeviceSettings());
    EXPECT_EQ(log, QStringList{QStringLiteral("open")});
    port->Close();
    EXPECT_EQ(log, (QStringList{QStringLiteral("open"), QStringLiteral("close")}));
    port->Close();  // already closed: nothing
    EXPECT_EQ(log.size(), 2);
}

TEST_F(ComPortOpenClose, ClosingAPortNeverOpenedRaisesNothing) {
    port->Close();
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(fake->CloseCount(), 0);
}

TEST_F(ComPortOpenClose, OpeningAnOpenPortClosesItFirst) {
    port->Open();
    port->Open();
    EXPECT_EQ(log, (QStringList{QStringLiteral("open"), QStringLiteral("close"),
                                QStringLiteral("open")}));
    EXPECT_EQ(fake->OpenCount(), 2);
    EXPECT_EQ(fake->CloseCount(), 1);
}

TEST_F(ComPortOpenClose, NewSettingsWaitForTheNextOpen) {
    port->Open();
    const SerialSettings first = fake->LastSettings();
    port->SetBaudRate(TBaudRate::br19200);
    port->SetEvents({TEvent::evDSR});
    ASSERT_TRUE(fake->WaitUntilIdle());
    EXPECT_EQ(fake->LastSettings(), first);
    EXPECT_EQ(fake->LastWaitMask(), 0x1FFu);
    port->Open();
    ASSERT_TRUE(fake->WaitUntilIdle());
    EXPECT_EQ(fake->LastSettings().dcb.BaudRate, 19200u);
    EXPECT_EQ(fake->LastWaitMask(), 0x10u);
}

TEST_F(ComPortOpenClose, OpenFailuresNameTheSystemError) {
    port->SetPort(0);
    EXPECT_EQ(MessageOf<EComHandle>(*port), QStringLiteral("Unable to open com port: 2"));
    port->SetPort(17);
    EXPECT_EQ(MessageOf<EComHandle>(*port), QStringLiteral("Unable to open com port: 2"));
    port->SetPort(1);
    fake->SetOpenError(16);
    EXPECT_EQ(MessageOf<EComHandle>(*port), QStringLiteral("Unable to open com port: 16"));
    fake->SetOpenError(13, QStringLiteral("No permission to use /dev/ttyUSB0."));
    EXPECT_EQ(MessageOf<EComHandle>(*port),
              QStringLiteral("Unable to open com port: 13\nNo permission to use /dev/ttyUSB0."));
    EXPECT_FALSE(port->Connected());
    EXPECT_TRUE(log.isEmpty());
    // Both errors are program errors with a message.
    fake->SetOpenError(5);
    EXPECT_THROW(port->Open(), Exception);
}

TEST_F(ComPortOpenClose, AConfigurationFailureLetsTheDeviceGo) {
    fake->SetConfigureError(EINVAL);
    EXPECT_EQ(MessageOf<EComState>(*port), QStringLiteral("Unable to set com state: 22"));
    EXPECT_FALSE(port->Connected());
    EXPECT_FALSE(fake->IsOpen());
    EXPECT_EQ(fake->CloseCount(), 1);
    port->Close();
    EXPECT_TRUE(log.isEmpty());

    fake->SetConfigureError(0);
    port->Open();
    EXPECT_TRUE(port->Connected());
    EXPECT_EQ(log, QStringList{QStringLiteral("open")});
}

TEST_F(ComPortOpenClose, DestroyingAnOpenPortClosesIt) {
    port->Open();
    port->OnClose = [this](TComPort*) { log << QStringLiteral("close"); };
    port.reset();
    EXPECT_EQ(log, (QStringList{QStringLiteral("open"), QStringLiteral("close")}));
}

TEST_F(ComPortOpenClose, AClosedPortReportsNothing) {
    EXPECT_EQ(port->ModemStatus(), 0u);
    EXPECT_EQ(port->InputCount(), 0);
    fake->SetModemStatus(MS_DSR_ON);
    port->Open();
    EXPECT_EQ(port->ModemStatus(), MS_DSR_ON);
    port->Close();
    EXPECT_EQ(port->ModemStatus(), 0u);
}

// The real Linux device, on a private ports folder (nothing of the machine's is opened).
class ComPortOnLinux : public ::testing::Test {
protected:
    PortsFolder ports;
    TestSystem sys;
    TComPort port{nullptr, CreateSerialDevice(sys)};
};

TEST_F(ComPortOnLinux, MissingDevicesAndNonSerialDevicesAreRefused) {
    port.SetPort(0);
    EXPECT_EQ(MessageOf<EComHandle>(port), QStringLiteral("Unable to open com port: 2"));
    port.SetPort(4);  // a link to nowhere
    EXPECT_EQ(MessageOf<EComHandle>(port), QStringLiteral("Unable to open com port: 2"));
    ports.Link(5, QStringLiteral("/dev/null"));
    port.SetPort(5);
    EXPECT_EQ(MessageOf<EComHandle>(port), QStringLiteral("Unable to open com port: 25"));
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortOnLinux, AConfigurationFailureLeavesNoDescriptorOpen) {
    Pty pty;
    ports.Link(3, pty.Slave());
    port.SetPort(3);
    MakePhotocellPort(port);
    port.SetBaudRate(TBaudRate::brUser);
    port.SetBaudRateUser(0);
    EXPECT_EQ(MessageOf<EComState>(port), QStringLiteral("Unable to set com state: 22"));
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 0);

    // So the same port opens at once with a speed it can take.
    port.SetBaudRate(TBaudRate::br9600);
    bool opened = false;
    port.OnOpen = [&](TComPort*) { opened = true; };
    port.Open();
    EXPECT_TRUE(opened);
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 1);
    port.Close();
    EXPECT_EQ(OpenDescriptorsOn(pty.Slave()), 0);
}

// The photocell port on an emulated driver of the real Linux device: what OnDSR reports.
class PhotocellOnDriver : public ComPortOnLinux {
protected:
    ScopedDialogs dialogs;
    Pty pty;
    ModemLines lines;
    std::vector<std::uint32_t> levels;  // the DSR level of each OnDSR

    // The emulated lines go before the port does.
    void TearDown() override { port.Close(); }

    void OpenPort() {
        sys.emulated[pty.Slave()] = &lines;
        ports.Link(3, pty.Slave());
        port.SetPort(3);
        MakePhotocellPort(port);
        port.OnDSR = [this](TComPort*, const TLineEvent& event) {
            levels.push_back(event.modemStatus & MS_DSR_ON);
        };
        port.Open();
    }
    // Runs the window's event loop until `n` events have arrived (false after 2 s).
    bool Until(std::size_t n) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (levels.size() < n) {
            if (std::chrono::steady_clock::now() > end) return false;
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    void Settle(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

// ftdi_sio reads the level live (a control transfer) while its counters move only with the
// next status packet (ftdi_process_packet): a look in between sees a level the counters do not
// know yet. That is a debt the next packet pays, never an edge of its own.
TEST_F(PhotocellOnDriver, OneBeamBreakOnAnFtdiAdapterIsTwoEdges) {
    lines.packets = true;
    OpenPort();
    ASSERT_TRUE(port.Connected());
    for (int skier = 0; skier < 3; ++skier) {
        lines.Set(TIOCM_DSR);  // the beam is broken; the next packet is 16 ms away
        Settle(20);
        lines.StatusPacket();
        ASSERT_TRUE(Until(2 * skier + 1));
        Settle(20);
        lines.Set(0);
        Settle(20);
        lines.StatusPacket();
        ASSERT_TRUE(Until(2 * skier + 2));
        Settle(20);
    }
    Settle(30);
    EXPECT_EQ(levels, (std::vector<std::uint32_t>{MS_DSR_ON, 0, MS_DSR_ON, 0, MS_DSR_ON, 0}));
}

// A first look that fails once (an EIO from a USB control transfer) must not leave the watch
// deaf: every later edge is still reported.
TEST_F(PhotocellOnDriver, AFailedFirstLookDoesNotLeaveTheWatchDeaf) {
    lines.failingGets = 1;
    OpenPort();
    ASSERT_TRUE(port.Connected());
    for (int i = 0; i < 2000 && !lines.inWait; ++i)  // the watch is up
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(lines.inWait);
    for (int i = 0; i < 10; ++i) {
        lines.Set(i % 2 == 0 ? TIOCM_DSR : 0);
        ASSERT_TRUE(Until(std::size_t(i) + 1)) << "edge " << i << " was not reported";
    }
    EXPECT_EQ(levels.size(), 10u);
}

// A watch that cannot observe the line at all does not pretend to: the port closes with the
// usual message.
TEST_F(PhotocellOnDriver, AWatchThatCannotLookAtTheLineClosesThePort) {
    lines.getError = EIO;
    OpenPort();
    for (int i = 0; i < 2000 && port.Connected(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(port.Connected());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(QStringLiteral("COM3"))) << dialogs.errors[0].toStdString();
    EXPECT_TRUE(dialogs.errors[0].contains(QStringLiteral("(5)"))) << dialogs.errors[0].toStdString();
}
