#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

#include "platform/exception.h"
#include "platform/serialdevice.h"

enum class TBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br76500,
    br115200,
    br128000,
    br256000,
    brUser
};
enum class TParity { prNone, prOdd, prEven, prMark, prSpace };
enum class TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TFlowControl { fcNone, fcRtsCts, fcXonXoff };
enum class TEvent { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD };

// A set of TEvent: bit n stands for the event of ordinal n.
class TEvents {
public:
    constexpr TEvents() = default;
    constexpr TEvents(std::initializer_list<TEvent> events) {
        for (TEvent e : events)
            bits_ |= Bit(e);
    }
    static constexpr TEvents All() { return FromBits(0x1FF); }
    static constexpr TEvents FromBits(std::uint16_t bits) {
        TEvents s;
        s.bits_ = bits & 0x1FF;
        return s;
    }
    constexpr std::uint16_t Bits() const { return bits_; }
    constexpr bool Contains(TEvent e) const { return bits_ & Bit(e); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TEvents& operator+=(TEvent e) {
        bits_ |= Bit(e);
        return *this;
    }
    constexpr TEvents& operator-=(TEvent e) {
        bits_ &= std::uint16_t(~Bit(e));
        return *this;
    }
    constexpr bool operator==(const TEvents&) const = default;

private:
    static constexpr std::uint16_t Bit(TEvent e) { return std::uint16_t(1u << int(e)); }
    std::uint16_t bits_ = 0;
};

// The line speed in bit/s of a TBaudRate (br76500 runs at 57600; brUser at `user`).
std::uint32_t BaudRateValue(TBaudRate rate, std::int32_t user);
// The device's EV_ event mask for a set of events.
std::uint32_t EventMaskOf(TEvents events);

class EComHandle : public Exception {
public:
    explicit EComHandle(QString message, int error = 0)
        : Exception(std::move(message)), error_(error) {}
    // The system's error code (errno) of the failed open.
    int Error() const { return error_; }

private:
    int error_;
};
class EComState : public Exception {
public:
    using Exception::Exception;
};

class TComThread;
class TComPort;

// One change of a modem line, as the worker saw it.
struct TLineEvent {
    std::uint32_t modemStatus = 0;  // MS_ bits of the line right after this edge
    std::uint32_t tick = 0;         // GetTickCount() of the edge: never taken before its evidence
};
using TLineEventHandler = std::function<void(TComPort* sender, const TLineEvent& event)>;

// A serial port: opens and configures one serial device and reports its line events through
// callbacks, always on the main thread. Settings take effect at the next Open.
class TComPort : public QObject {
public:
    using TNotifyEvent = std::function<void(TComPort* sender)>;
    using TRxCharEvent = std::function<void(TComPort* sender, std::int32_t inQue)>;

    // Without a device the port uses the system's serial devices.
    explicit TComPort(QObject* owner = nullptr, std::unique_ptr<SerialDevice> device = nullptr);
    ~TComPort() override;
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value) { baudRate_ = value; }
    std::int32_t BaudRateUser() const { return baudRateUser_; }
    void SetBaudRateUser(std::int32_t value) { baudRateUser_ = value; }
    std::uint8_t Port() const { return port_; }
    void SetPort(std::uint8_t value) { port_ = value; }
    TParity Parity() const { return parity_; }
    void SetParity(TParity value) { parity_ = value; }
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value) { stopBits_ = value; }
    TFlowControl FlowControl() const { return flowControl_; }
    void SetFlowControl(TFlowControl value) { flowControl_ = value; }
    std::uint8_t DataBits() const { return dataBits_; }
    void SetDataBits(std::uint8_t value);  // clamps to 5..8
    TEvents Events() const { return events_; }
    void SetEvents(TEvents value) { events_ = value; }
    bool EnableDTR() const { return enableDTR_; }
    void SetEnableDTR(bool value) { enableDTR_ = value; }
    std::int32_t WriteBufSize() const { return writeBufSize_; }
    void SetWriteBufSize(std::int32_t value) { writeBufSize_ = value; }
    std::int32_t ReadBufSize() const { return readBufSize_; }
    void SetReadBufSize(std::int32_t value) { readBufSize_ = value; }
    // A free value for the owner.
    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t value) { tag_ = value; }

    // Replaces the device (closing the port first).
    void SetDevice(std::unique_ptr<SerialDevice> device);
    SerialDevice& Device() { return *device_; }

    // Closes the port if open, then opens "COM" + Port with the current settings and starts
    // watching its events. Raises EComHandle when the device cannot be opened and EComState when
    // it cannot be configured; either way the port is left closed and holds no device.
    void Open();
    // Stops the watch (delivering the events seen before the stop), closes the device and raises
    // OnClose; nothing at all when the port is not open.
    void Close();
    bool Connected() const { return connected_; }
    // Main thread: waits, bounded to a few ms, until the worker has looked at the line past
    // `tick`, then runs the callbacks of every event stamped at or before `tick` that is still
    // waiting. Nothing when closed or inside a callback.
    void DeliverEventsSeenBy(std::uint32_t tick);
    QString DeviceName() const { return ComPortName(port_); }

    // The device's current modem-status word (MS_ bits; 0 when closed). A line callback gets
    // the status right after its own edge with the event instead.
    std::uint32_t ModemStatus();
    // Bytes waiting in the receive queue (0 when closed).
    std::int32_t InputCount();

    // What Open applies to the device, built from the properties.
    SerialSettings DeviceSettings() const;

    // Event raisers, run by the event thread's dispatch on the main thread: each calls its
    // callback with this port as sender when the callback is set.
    void DoRxChar();
    void DoTxEmpty();
    void DoBreak();
    void DoRing(const TLineEvent& event);
    void DoCTS(const TLineEvent& event);
    void DoDSR(const TLineEvent& event);
    void DoRxFlag();
    void DoRLSD(const TLineEvent& event);
    void DoError();

    TRxCharEvent OnRxChar;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TLineEventHandler OnRing;
    TLineEventHandler OnCTS;
    TLineEventHandler OnDSR;
    TLineEventHandler OnRLSD;
    TNotifyEvent OnError;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnOpen;
    TNotifyEvent OnClose;

private:
    friend class TComThread;
    // The event thread's hook: the watch cannot go on.
    void WatchFailed(int error);

    TBaudRate baudRate_ = TBaudRate::br9600;
    std::int32_t baudRateUser_ = 28800;
    std::uint8_t port_ = 1;
    TParity parity_ = TParity::prNone;
    TStopBits stopBits_ = TStopBits::sbOneStopBit;
    TFlowControl flowControl_ = TFlowControl::fcNone;
    std::uint8_t dataBits_ = 8;
    TEvents events_ = TEvents::All();
    bool enableDTR_ = true;
    std::int32_t writeBufSize_ = 2048;
    std::int32_t readBufSize_ = 2048;
    std::intptr_t tag_ = 0;

    std::unique_ptr<SerialDevice> device_;
    std::unique_ptr<TComThread> thread_;
    bool connected_ = false;
    bool closing_ = false;
};
