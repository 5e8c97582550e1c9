#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The serial device of one "COM" port number, behind a small interface so that the port
// component can run on a fake in tests. The Linux implementation (serialdevice_linux.cpp) holds
// every operating-system call of the serial line.

// Modem-status bits as the program reads them.
constexpr std::uint32_t MS_CTS_ON = 0x0010;
constexpr std::uint32_t MS_DSR_ON = 0x0020;
constexpr std::uint32_t MS_RING_ON = 0x0040;
constexpr std::uint32_t MS_RLSD_ON = 0x0080;

// Comm-event bits: what a wait reports and what the event mask selects.
constexpr std::uint32_t EV_RXCHAR = 0x0001;
constexpr std::uint32_t EV_RXFLAG = 0x0002;
constexpr std::uint32_t EV_TXEMPTY = 0x0004;
constexpr std::uint32_t EV_CTS = 0x0008;
constexpr std::uint32_t EV_DSR = 0x0010;
constexpr std::uint32_t EV_RLSD = 0x0020;
constexpr std::uint32_t EV_BREAK = 0x0040;
constexpr std::uint32_t EV_ERR = 0x0080;
constexpr std::uint32_t EV_RING = 0x0100;
constexpr std::uint32_t EV_MODEM_LINES = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

// Purge flags.
constexpr std::uint32_t PURGE_TXABORT = 0x0001;
constexpr std::uint32_t PURGE_RXABORT = 0x0002;
constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

constexpr std::uint8_t DTR_CONTROL_DISABLE = 0;
constexpr std::uint8_t DTR_CONTROL_ENABLE = 1;
constexpr std::uint8_t RTS_CONTROL_DISABLE = 0;
constexpr std::uint8_t RTS_CONTROL_ENABLE = 1;
constexpr std::uint8_t RTS_CONTROL_HANDSHAKE = 2;

// The device-control record: line speed, framing and handshake, field by field as the port
// component fills it. Applied to termios by the device.
struct Dcb {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    bool fBinary = false;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    std::uint8_t fDtrControl = 0;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    std::uint8_t fRtsControl = 0;
    bool fAbortOnError = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    bool operator==(const Dcb&) const = default;
};

struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
    bool operator==(const CommTimeouts&) const = default;
};

// Everything Open applies to a device, as one plain value.
struct SerialSettings {
    Dcb dcb;
    CommTimeouts timeouts;
    std::int32_t inQueue = 0;   // receive queue size in bytes
    std::int32_t outQueue = 0;  // transmit queue size in bytes
    bool operator==(const SerialSettings&) const = default;
};

// The driver's running counts of line changes and errors (they only grow, and wrap).
struct LineCounters {
    std::uint32_t cts = 0, dsr = 0, rng = 0, dcd = 0;
    std::uint32_t rx = 0, tx = 0;
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    bool operator==(const LineCounters&) const = default;
};

// One observation of a port: what a wait compares to decide that something happened.
struct LineState {
    std::uint32_t modemStatus = 0;  // MS_ bits
    bool statusValid = false;       // the driver reports modem lines
    LineCounters counters;
    bool countersValid = false;  // the driver keeps counters
    std::int32_t inQueue = 0;    // bytes waiting to be read
    std::int32_t outQueue = 0;   // bytes not yet sent
    // The tick (GetTickCount) at which what a wait reports was seen: the moment the wait
    // returned, taken before anything else, or the look that found it.
    std::uint32_t tick = 0;
    bool operator==(const LineState&) const = default;
};

// One batch of comm events: the EV_ bits and the modem status right after them.
struct CommEvent {
    std::uint32_t mask = 0;
    std::uint32_t modemStatus = 0;
    bool operator==(const CommEvent&) const = default;
};

// The events that lead from one observation to the next, oldest first, limited to evMask.
// A line that changed more than once between the observations (its counter advanced by two or
// more) gives one event per change, so that a short pulse still arrives as its two edges; the
// statuses of the earlier events are reconstructed from the final one. Lines changing together
// share an event. Ring, break, error, received characters and an emptied transmit queue are
// reported with the last event.
std::vector<CommEvent> CommEventsBetween(const LineState& before, const LineState& after,
                                         std::uint32_t evMask);

// "COM" + n.
QString ComPortName(int port);

enum class WaitResult { Changed, Stopped, Failed };

struct OpenResult {
    int error = 0;   // errno; 0 on success
    QString detail;  // a second line for the operator (e.g. how to get permission), or empty
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens the device of "COM" + port exclusively. On failure the device stays closed.
    virtual OpenResult Open(int port) = 0;
    virtual bool IsOpen() const = 0;
    // The path of the open (or last opened) device, for messages.
    virtual QString Path() const = 0;
    // Applies the settings; 0 or the errno of the step that failed.
    virtual int Configure(const SerialSettings& settings) = 0;
    virtual void Close() = 0;

    // MS_ bits of the open device; 0 when closed or when the driver has no modem lines.
    virtual std::uint32_t ModemStatus() = 0;
    // Bytes waiting in the receive queue; 0 when closed.
    virtual std::int32_t InputCount() = 0;
    virtual void Purge(std::uint32_t flags) = 0;

    // Worker side. ReadLineState observes the port now. WaitForChange blocks until `now` differs
    // from `since` in something evMask selects (Changed), until CancelWait (Stopped) or until the
    // device fails (Failed, with the errno in `error`). A stop request wins over a change that
    // arrives at the same time. Only one thread waits at a time.
    virtual LineState ReadLineState(std::uint32_t evMask) = 0;
    virtual WaitResult WaitForChange(std::uint32_t evMask, const LineState& since, LineState& now,
                                     int& error) = 0;
    // Any thread: releases the wait at once, and every later wait, until the next Open.
    virtual void CancelWait() = 0;
    // How the open port is watched, for the operator; empty when closed.
    virtual QString WatchDescription() const { return {}; }

    // The system's text for an errno.
    virtual QString ErrorText(int error) const;
};

// The Linux device, or what the factory below makes.
std::unique_ptr<SerialDevice> CreateSerialDevice();
// Tests: the device every port created without one gets; an empty factory restores the
// system's devices.
void SetSerialDeviceFactory(std::function<std::unique_ptr<SerialDevice>()> factory);

// Worker side: asks for real-time scheduling of the calling thread where the system grants it
// (RLIMIT_RTPRIO), so that the edge's tick is taken the moment the line changes even on a busy
// machine; quietly nothing where it does not. True when granted.
bool RaiseWorkerPriority();

// The ports present on this machine: bit n-1 set for each present "COM" + n (n = 1..16), the
// highest present n in the upper 16 bits; 0 when none.
class SerialSystem;
std::uint32_t ScanComPorts(SerialSystem& system);
std::uint32_t ScanComPorts();
