#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

// An earlier reading of the counters that already showed some of the edges a look reports (the
// checker reads them while the worker is on its way into the wait): the edges it showed are
// stamped with its tick.
struct Sighting {
    std::uint32_t tick = 0;  // taken after the reading
    LineCounters counters;
    bool operator==(const Sighting&) const = default;
};

// One observation of a port: what a wait compares to decide that something happened.
struct LineState {
    std::uint32_t modemStatus = 0;  // MS_ bits
    bool statusValid = false;       // the driver reports modem lines
    LineCounters counters;
    bool countersValid = false;  // the driver keeps counters
    std::int32_t inQueue = 0;    // bytes waiting to be read
    std::int32_t outQueue = 0;   // bytes not yet sent
    // The tick (GetTickCount) for the first change this observation shows: taken at or after
    // the moment its evidence was read (the return of the wait it woke, the check that found
    // it, or the look itself), never before.
    std::uint32_t tick = 0;
    // The tick taken right after the look read the line: every change it shows came by then,
    // so it is the stamp of the changes after the first.
    std::uint32_t lookTick = 0;
    int error = 0;  // the errno of a look that failed (then nothing else is valid)
    std::vector<Sighting> sightings;  // earlier readings since the last look, oldest first
    bool operator==(const LineState&) const = default;
};

// One batch of comm events: the EV_ bits and the modem status right after them.
struct CommEvent {
    std::uint32_t mask = 0;
    std::uint32_t modemStatus = 0;
    bool operator==(const CommEvent&) const = default;
};

// The events that lead from one observation to the next, oldest first, limited to evMask.
// Where the driver keeps counters they say how many edges a line had, and `before.modemStatus`
// is taken as the level those edges started from: a line that changed more than once between
// the observations gives one event per change, so that a short pulse still arrives as its two
// edges, and the levels of the events follow from the count. A level that disagrees with the
// count is not an edge (LineEdges settles it). Without counters the level decides. Lines
// changing together share an event. Ring, break, error, received characters and an emptied
// transmit queue are reported with the last event.
std::vector<CommEvent> CommEventsBetween(const LineState& before, const LineState& after,
                                         std::uint32_t evMask);

// Whether `now` shows anything evMask selects that `since` did not (a counter, a level, data).
bool LineMoved(const LineState& since, const LineState& now, std::uint32_t evMask);
// Whether the observation `ahead` has seen every edge that `behind` has: its counters have
// reached those of `behind` (or, without counters, it was taken at or after it).
bool LineCaughtUp(const LineState& ahead, const LineState& behind, std::uint32_t evMask);

// One edge (or batch of lines changing together) as the watch reports it.
struct LineEdge {
    std::uint32_t mask = 0;         // EV_ bits
    std::uint32_t modemStatus = 0;  // the lines right after it
    std::uint32_t tick = 0;         // never taken before its evidence
    bool operator==(const LineEdge&) const = default;
};

// Turns the watch's successive observations into edges. The counters are the truth; a level
// that disagrees with them is a debt that the driver's next counter change pays (ftdi_sio reads
// the level live but counts only with its next status packet). Only a disagreement that lasts
// kLevelWinsMs lets the level win, once, stamped with the look that first saw it; the counter
// that then catches up pays that edge instead of making another.
class LineEdges {
public:
    static constexpr std::uint32_t kLevelWinsMs = 20;

    explicit LineEdges(std::uint32_t evMask) : evMask_(evMask) {}
    // The first good look of a watch: what came before it is not an edge.
    void Baseline(const LineState& look);
    // The edges since the last look, oldest first.
    std::vector<LineEdge> Next(const LineState& look);
    // The last look (what the next wait compares with).
    const LineState& Last() const { return last_; }
    // The tick by which the watch must look again for a debt to be settled; none without one.
    std::optional<std::uint32_t> Deadline() const;

private:
    static constexpr int kLineCount = 3;  // CTS, DSR, RLSD
    std::uint32_t evMask_;
    LineState last_;
    std::uint32_t level_ = 0;  // the watched lines' levels as the edges so far left them
    std::optional<std::uint32_t> debtSince_[kLineCount];
    std::optional<std::uint32_t> credit_[kLineCount];  // the level won at this tick, not yet counted
};

// "COM" + n.
QString ComPortName(int port);

enum class WaitResult { Changed, Stopped, Failed, TimedOut };

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

    // ReadLineState observes the port now (any thread; a failed look carries its errno).
    // Worker side: WaitForChange blocks until `now` differs from `since` in something evMask
    // selects (Changed), until the tick `until` has come with nothing new (TimedOut, `now` a
    // fresh look), until CancelWait (Stopped) or until the device fails (Failed, with the errno
    // in `error`). A stop request wins over a change that arrives at the same time. Only one
    // thread waits at a time.
    virtual LineState ReadLineState(std::uint32_t evMask) = 0;
    virtual WaitResult WaitForChange(std::uint32_t evMask, const LineState& since, LineState& now,
                                     int& error, std::optional<std::uint32_t> until = {}) = 0;
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
