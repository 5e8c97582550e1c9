#include "serial/comport.h"

#include <system_error>

#include "platform/dialogs.h"
#include "platform/guard.h"
#include "serial/comthread.h"

std::uint32_t BaudRateValue(TBaudRate rate, std::int32_t user) {
    static constexpr std::uint32_t kRates[] = {110,   300,   600,    1200,   2400,
                                               4800,  9600,  14400,  19200,  38400,
                                               56000, 57600, 115200, 128000, 256000};
    if (rate == TBaudRate::brUser) return static_cast<std::uint32_t>(user);
    return kRates[int(rate)];
}

std::uint32_t EventMaskOf(TEvents events) {
    static constexpr std::uint32_t kBits[] = {EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING, EV_BREAK,
                                              EV_CTS,    EV_DSR,     EV_ERR,    EV_RLSD};
    std::uint32_t mask = 0;
    for (int i = 0; i < 9; ++i)
        if (events.Contains(TEvent(i))) mask |= kBits[i];
    return mask;
}

TComPort::TComPort(QObject* owner, std::unique_ptr<SerialDevice> device)
    : QObject(owner), device_(device ? std::move(device) : CreateSerialDevice()) {}

TComPort::~TComPort() {
    Close();
}

void TComPort::SetDataBits(std::uint8_t value) {
    if (value == dataBits_) return;
    dataBits_ = value > 8 ? 8 : value < 5 ? 5 : value;
}

void TComPort::SetDevice(std::unique_ptr<SerialDevice> device) {
    Close();
    device_ = device ? std::move(device) : CreateSerialDevice();
}

SerialSettings TComPort::DeviceSettings() const {
    SerialSettings s;
    Dcb& d = s.dcb;
    d.DCBlength = 28;
    d.BaudRate = BaudRateValue(baudRate_, baudRateUser_);
    d.fBinary = true;
    d.fDtrControl = enableDTR_ ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    if (flowControl_ == TFlowControl::fcRtsCts) {
        d.fOutxCtsFlow = true;
        d.fRtsControl = RTS_CONTROL_HANDSHAKE;
    }
    if (flowControl_ == TFlowControl::fcXonXoff) {
        d.fOutX = true;
        d.fInX = true;
    }
    d.XonLim = static_cast<std::uint16_t>(writeBufSize_ / 4);
    d.XoffLim = 1;
    d.ByteSize = dataBits_;
    d.Parity = static_cast<std::uint8_t>(parity_);
    d.StopBits = static_cast<std::uint8_t>(stopBits_);
    d.XonChar = 17;
    d.XoffChar = 19;
    s.timeouts = {0xFFFFFFFFu, 0, 0, 1000, 1500};
    s.inQueue = readBufSize_;
    s.outQueue = writeBufSize_;
    return s;
}

void TComPort::Open() {
    Close();
    const OpenResult opened = device_->Open(port_);
    if (opened.error != 0) {
        QString message =
            QStringLiteral("Unable to open com port: ") + QString::number(opened.error);
        if (!opened.detail.isEmpty()) message += QLatin1Char('\n') + opened.detail;
        throw EComHandle(message, opened.error);
    }
    // A device that was opened but cannot be configured is let go again, so that the next Open
    // of the same port does not find it held.
    auto fail = [&](int error) {
        device_->Close();
        throw EComState(QStringLiteral("Unable to set com state: ") + QString::number(error));
    };
    if (const int error = device_->Configure(DeviceSettings())) fail(error);
    try {
        thread_ = std::make_unique<TComThread>(*this);
    } catch (const std::system_error& e) {
        fail(e.code().value());
    }
    connected_ = true;
    if (OnOpen) OnOpen(this);
}

void TComPort::Close() {
    if (!connected_ || closing_) return;
    closing_ = true;
    std::unique_ptr<TComThread> thread = std::move(thread_);
    thread->Terminate();
    if (thread->Dispatching()) {
        // Closed from one of the thread's own callbacks: the dispatch on the stack deletes the
        // thread when it unwinds, and the events still queued belong to a port its owner closed.
        thread->Abandon();
        thread.release();
    } else {
        // What the worker saw before the stop is delivered, with the device still open.
        thread->DispatchEvents();
        thread.reset();
    }
    device_->Close();
    connected_ = false;
    closing_ = false;
    if (OnClose) OnClose(this);
}

void TComPort::DeliverEventsSeenBy(std::uint32_t tick) {
    if (connected_ && thread_ && !closing_) thread_->DispatchEventsSeenBy(tick);
}

std::uint32_t TComPort::ModemStatus() {
    return device_->ModemStatus();
}

std::int32_t TComPort::InputCount() {
    return device_->InputCount();
}

void TComPort::WatchFailed(int error) {
    const QString message =
        QStringLiteral("The serial port %1 (%2) has failed and was closed: %3 (%4).")
            .arg(DeviceName(), device_->Path(), device_->ErrorText(error), QString::number(error));
    Guarded([&] { Close(); });
    Guarded([&] { Dialogs().Error(nullptr, message); });
}

void TComPort::DoRxChar() {
    if (OnRxChar) OnRxChar(this, InputCount());
}
void TComPort::DoTxEmpty() {
    if (OnTxEmpty) OnTxEmpty(this);
}
void TComPort::DoBreak() {
    if (OnBreak) OnBreak(this);
}
void TComPort::DoRing(const TLineEvent& event) {
    if (OnRing) OnRing(this, event);
}
void TComPort::DoCTS(const TLineEvent& event) {
    if (OnCTS) OnCTS(this, event);
}
void TComPort::DoDSR(const TLineEvent& event) {
    if (OnDSR) OnDSR(this, event);
}
void TComPort::DoRxFlag() {
    if (OnRxFlag) OnRxFlag(this);
}
void TComPort::DoRLSD(const TLineEvent& event) {
    if (OnRLSD) OnRLSD(this, event);
}
void TComPort::DoError() {
    if (OnError) OnError(this);
}
