// Every operating-system call of the serial line lives in this file.
//
// The termios2 interface is used instead of <termios.h> so that any line speed (14400, 56000,
// 128000, 256000 or a user value) can be set; the two headers cannot be mixed.
#include <asm/termbits.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "platform/programpaths.h"
#include "platform/serialdevice.h"
#include "platform/serialsystem.h"
#include "platform/tickcounter.h"

namespace {

// What a driver answers to a modem-line ioctl it does not implement (a pseudo-terminal, cp210x).
// ENOIOCTLCMD is kernel-internal but has been seen leaking out of some USB serial drivers.
constexpr int kENOIOCTLCMD = 515;
bool Unsupported(int error) {
    return error == ENOTTY || error == EINVAL || error == kENOIOCTLCMD;
}

// Events a modem-line wait cannot see; they need the polling watch.
constexpr std::uint32_t kPolledEvents = EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_ERR;

// The polled watch samples the lines on this fixed grid of absolute deadlines: 2 kHz, so that
// a pulse of 2 ms spans four samples and survives a sample delayed by up to 1.5 ms.
constexpr std::int64_t kSamplePeriodNs = 500'000;
// Where the waiter cannot be seen in its wait (no /proc/self/task/<tid>/syscall), the lines are
// looked at again this often while sitting in TIOCMIWAIT: an edge that came between the last
// look and the kernel's own snapshot when the wait was entered does not wake it, and is found
// by this look instead.
constexpr long kRecheckUs = 3'000;
// A look that fails is tried this often before the watch gives up (a USB control transfer can
// fail once without the adapter being gone).
constexpr int kLookAttempts = 3;

// The signal that releases a thread from TIOCMIWAIT. Its handler does nothing: the point is that
// the ioctl returns EINTR because the handler is installed without SA_RESTART.
int WakeSignal() {
    return SIGRTMIN + 5;
}

void WakeHandler(int) {}

void InstallWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = WakeHandler;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        sigaction(WakeSignal(), &sa, nullptr);
    });
}

void UnblockWakeSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, WakeSignal());
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int RetryIoctl(SerialSystem& sys, int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = sys.Ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

std::uint32_t ToModemStatus(int bits) {
    std::uint32_t s = 0;
    if (bits & TIOCM_CTS) s |= MS_CTS_ON;
    if (bits & TIOCM_DSR) s |= MS_DSR_ON;
    if (bits & TIOCM_RNG) s |= MS_RING_ON;
    if (bits & TIOCM_CAR) s |= MS_RLSD_ON;
    return s;
}

unsigned long ModemWaitMask(std::uint32_t evMask) {
    unsigned long m = 0;
    if (evMask & EV_CTS) m |= TIOCM_CTS;
    if (evMask & EV_DSR) m |= TIOCM_DSR;
    if (evMask & EV_RLSD) m |= TIOCM_CAR;
    if (evMask & EV_RING) m |= TIOCM_RNG;
    return m;
}

// A link in the ports folder by the device it points to, and the link.
QString DeviceForMessages(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty() || target == path) return path;
    return QStringLiteral("%1 (%2)").arg(target, path);
}

QString PermissionHint(SerialSystem& sys, const QString& path) {
    // Serial devices belong to "dialout"; a device of the root group is no reason to join it.
    QString group;
    struct stat st {};
    if (sys.Stat(path.toLocal8Bit().constData(), &st) == 0 && st.st_gid != 0)
        group = sys.GroupName(st.st_gid);
    if (group.isEmpty()) group = QStringLiteral("dialout");
    return QStringLiteral(
               "No permission to use %1: add your user to the group \"%2\" "
               "(sudo usermod -aG %2 $USER), then log in again.")
        .arg(DeviceForMessages(path), group);
}

class LinuxSerialDevice final : public SerialDevice {
public:
    explicit LinuxSerialDevice(SerialSystem& sys) : sys_(sys) { InstallWakeHandler(); }
    ~LinuxSerialDevice() override { Close(); }

    OpenResult Open(int port) override;
    bool IsOpen() const override { return fd_ >= 0; }
    QString Path() const override { return shownPath_; }
    int Configure(const SerialSettings& settings) override;
    void Close() override;
    std::uint32_t ModemStatus() override;
    std::int32_t InputCount() override;
    void Purge(std::uint32_t flags) override;
    LineState ReadLineState(std::uint32_t evMask) override;
    WaitResult WaitForChange(std::uint32_t evMask, const LineState& since, LineState& now,
                             int& error, std::optional<std::uint32_t> until) override;
    void CancelWait() override;
    QString WatchDescription() const override;

private:
    // How one TIOCMIWAIT ended.
    struct ModemWaitEnd {
        enum Kind { Woke, Interrupted, Unsupported, NoRecheck, Failed } kind;
        std::optional<std::uint32_t> evidence;  // the tick that proves the first change
        int error = 0;
        std::vector<Sighting> sightings;  // the checker's readings that showed edges
    };
    // What the checker needs to know of the wait the worker is entering.
    struct Entry {
        std::uint64_t generation = 0;
        pid_t tid = 0;
        std::uint32_t evMask = 0;
        LineState look;  // the look the wait was entered after
        std::optional<std::uint32_t> until;
    };

    int Observe(std::uint32_t evMask, LineState& state);
    int ReadCounters(LineState& state);
    ModemWaitEnd ModemWait(std::uint32_t evMask, const LineState& look,
                           std::optional<std::uint32_t> until);
    bool StartChecker();
    void StopChecker();
    void CheckerLoop();
    void Check(const Entry& entry);
    bool HeldInModemWait(const std::string& syscall) const;
    bool Pause(std::int64_t ns);
    int SetModemLine(int line, bool on);
    void AskForLowLatency();
    WaitResult PolledWait(std::uint32_t evMask, const LineState& since, LineState& now, int& error,
                          bool observable, std::optional<std::uint32_t> until);

    SerialSystem& sys_;
    int fd_ = -1;
    int stopFd_ = -1;
    QString path_;
    QString shownPath_;  // the path for messages, resolved once per open (the hint asks often)
    bool setExclusive_ = false;             // this open put the line in exclusive mode
    std::optional<int> serialFlagsBefore_;  // ASYNC_ flags before low latency was asked for
    std::atomic<bool> lowLatency_{false};
    // What the driver turned out not to have; found by the first observation (on the main
    // thread, before the worker starts) or by the worker, never by both at once.
    // (Atomic because the operator's hint reads them from the main thread.)
    std::atomic<bool> modemWaitUnsupported_{false};
    std::atomic<bool> noStatus_{false};
    std::atomic<bool> noCounters_{false};
    std::atomic<bool> noRecheck_{false};  // neither the checker nor the re-check timer works
    std::atomic<std::uint32_t> watchMask_{0};

    // The stop request, who sits in TIOCMIWAIT (so CancelWait knows whom to signal), and what
    // the checker knows of that wait.
    std::mutex mutex_;
    std::condition_variable left_;
    std::atomic<bool> stop_{false};
    bool inModemWait_ = false;
    pthread_t waiter_{};
    std::uint64_t generation_ = 0;
    Entry entry_;
    std::optional<std::uint32_t> checkTick_;  // the checker found an edge, first seen then
    std::vector<Sighting> sightings_;         // the checker's readings that showed edges

    // The checker: one per open port, started with the first modem wait where the waiter can
    // be seen in its system call.
    std::thread checker_;
    int checkFd_ = -1;
    std::atomic<bool> waiterVisible_{true};
    std::atomic<bool> checkerQuit_{false};
};

OpenResult LinuxSerialDevice::Open(int port) {
    Close();
    path_ = ComDevicePath(sys_, port);
    shownPath_ = DeviceForMessages(path_);
    if (path_.isEmpty()) return {ENOENT, {}};
    const int fd =
        sys_.Open(path_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        return {e, e == EACCES || e == EPERM ? PermissionHint(sys_, path_) : QString()};
    }
    auto refuse = [&](int e) {
        sys_.Close(fd);
        return OpenResult{e, {}};
    };
    struct stat st {};
    if (sys_.Fstat(fd, &st) != 0) return refuse(errno);
    if (!S_ISCHR(st.st_mode)) return refuse(ENOTTY);
    struct termios2 t {};
    if (RetryIoctl(sys_, fd, TCGETS2, &t) != 0) return refuse(errno);  // not a terminal
    // The exclusive mode belongs to the terminal, not to this descriptor: it is given back only
    // by the open that set it. One already set is another holder's (root may open anyway).
    int exclusive = 0;
    const bool wasExclusive = RetryIoctl(sys_, fd, TIOCGEXCL, &exclusive) == 0 && exclusive;
    if (RetryIoctl(sys_, fd, TIOCEXCL, nullptr) != 0) return refuse(errno);
    auto giveBack = [&] {
        if (!wasExclusive) RetryIoctl(sys_, fd, TIOCNXCL, nullptr);
    };
    // TIOCEXCL does not hold against root; the lock keeps a second copy of the program off the
    // line whoever runs it.
    if (sys_.Flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno == EWOULDBLOCK ? EBUSY : errno;
        giveBack();
        return refuse(e);
    }
    const int stopFd = sys_.EventFd();
    if (stopFd < 0) {
        const int e = errno;
        giveBack();
        return refuse(e);
    }
    fd_ = fd;
    stopFd_ = stopFd;
    setExclusive_ = !wasExclusive;
    stop_ = false;
    checkerQuit_ = false;
    modemWaitUnsupported_ = false;
    noStatus_ = false;
    noCounters_ = false;
    noRecheck_ = false;
    lowLatency_ = false;
    serialFlagsBefore_.reset();
    watchMask_ = 0;
    return {};
}

int LinuxSerialDevice::SetModemLine(int line, bool on) {
    int bits = line;
    if (RetryIoctl(sys_, fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return 0;
    // A line without modem control (a pseudo-terminal) has nothing to set.
    return Unsupported(errno) ? 0 : errno;
}

int LinuxSerialDevice::Configure(const SerialSettings& settings) {
    if (fd_ < 0) return EBADF;
    const Dcb& d = settings.dcb;

    // The line state.
    if (d.ByteSize < 5 || d.ByteSize > 8 || d.Parity > 4 || d.StopBits > 2 || d.BaudRate == 0 ||
        d.BaudRate > 0x7FFFFFFFu || d.fRtsControl > RTS_CONTROL_HANDSHAKE || d.fDtrControl > 2)
        return EINVAL;
    struct termios2 t {};
    if (RetryIoctl(sys_, fd_, TCGETS2, &t) != 0) return errno;
    t.c_iflag = 0;
    if (d.fOutX) t.c_iflag |= IXON;
    if (d.fInX) t.c_iflag |= IXOFF;
    if (d.fParity) t.c_iflag |= INPCK;
    t.c_oflag = 0;
    t.c_lflag = 0;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag = CREAD | CLOCAL | HUPCL | kSizes[d.ByteSize - 5] | BOTHER;
    switch (d.Parity) {
        case 1:
            t.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            t.c_cflag |= PARENB;
            break;
        case 3:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    // There is no "one and a half" on Linux. CSTOPB asks for the longer stop: a 16550 sends 1.5
    // stop bits with 5-bit characters (the only size one and a half goes with) and 2 otherwise.
    if (d.StopBits != 0) t.c_cflag |= CSTOPB;
    if (d.fOutxCtsFlow || d.fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
    t.c_ispeed = d.BaudRate;  // input speed bits left 0: the same as the output speed
    t.c_ospeed = d.BaudRate;
    std::memset(t.c_cc, 0, sizeof t.c_cc);
    t.c_cc[VSTART] = static_cast<cc_t>(d.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(d.XoffChar);
    // The time-outs ask that a read returns at once with what has arrived: VMIN 0, VTIME 0. The
    // write time-outs have no termios counterpart; nothing is ever written.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (RetryIoctl(sys_, fd_, TCSETS2, &t) != 0) return errno;
    AskForLowLatency();
    if (const int e = SetModemLine(TIOCM_DTR, d.fDtrControl != DTR_CONTROL_DISABLE)) return e;
    if (d.fRtsControl != RTS_CONTROL_HANDSHAKE)
        if (const int e = SetModemLine(TIOCM_RTS, d.fRtsControl == RTS_CONTROL_ENABLE)) return e;

    // The queues: the kernel sizes its own buffers, so only nonsense is refused.
    if (settings.inQueue < 0 || settings.outQueue < 0) return EINVAL;
    return 0;
}

// ftdi_sio reports the lines with its status packets, one per latency-timer interval: 16 ms
// unless the port asks for low latency, which sets the timer to 1 ms. Other drivers take the
// flag or refuse it; either way nothing else changes.
void LinuxSerialDevice::AskForLowLatency() {
    struct serial_struct ss {};
    if (RetryIoctl(sys_, fd_, TIOCGSERIAL, &ss) != 0) return;
    if (ss.flags & ASYNC_LOW_LATENCY) {
        lowLatency_ = true;
        return;
    }
    const int before = ss.flags;
    ss.flags |= ASYNC_LOW_LATENCY;
    if (RetryIoctl(sys_, fd_, TIOCSSERIAL, &ss) != 0) return;
    if (!serialFlagsBefore_) serialFlagsBefore_ = before;
    lowLatency_ = true;
}

void LinuxSerialDevice::Close() {
    if (checker_.joinable()) {
        stop_ = true;
        const std::uint64_t one = 1;
        if (stopFd_ >= 0) sys_.Write(stopFd_, &one, sizeof one);
        checker_.join();
    }
    if (checkFd_ >= 0) {
        sys_.Close(checkFd_);
        checkFd_ = -1;
    }
    if (fd_ >= 0) {
        // What this open changed of the terminal is given back: the latency timer of an FTDI
        // adapter, and the exclusive mode.
        if (serialFlagsBefore_) {
            struct serial_struct ss {};
            if (RetryIoctl(sys_, fd_, TIOCGSERIAL, &ss) == 0) {
                ss.flags &= ~ASYNC_LOW_LATENCY;
                RetryIoctl(sys_, fd_, TIOCSSERIAL, &ss);
            }
            serialFlagsBefore_.reset();
        }
        if (setExclusive_) RetryIoctl(sys_, fd_, TIOCNXCL, nullptr);
        setExclusive_ = false;
        sys_.Close(fd_);
        fd_ = -1;
    }
    if (stopFd_ >= 0) {
        sys_.Close(stopFd_);
        stopFd_ = -1;
    }
}

std::uint32_t LinuxSerialDevice::ModemStatus() {
    int bits = 0;
    if (fd_ < 0 || RetryIoctl(sys_, fd_, TIOCMGET, &bits) != 0) return 0;
    return ToModemStatus(bits);
}

std::int32_t LinuxSerialDevice::InputCount() {
    int n = 0;
    if (fd_ < 0 || RetryIoctl(sys_, fd_, FIONREAD, &n) != 0) return 0;
    return n;
}

void LinuxSerialDevice::Purge(std::uint32_t flags) {
    if (fd_ < 0) return;
    const bool rx = flags & PURGE_RXCLEAR, tx = flags & PURGE_TXCLEAR;
    // Nothing is ever read or written asynchronously, so there is nothing to abort.
    if (!rx && !tx) return;
    const long how = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    RetryIoctl(sys_, fd_, TCFLSH, reinterpret_cast<void*>(how));
}

int LinuxSerialDevice::ReadCounters(LineState& state) {
    struct serial_icounter_struct ic {};
    if (RetryIoctl(sys_, fd_, TIOCGICOUNT, &ic) != 0) {
        if (!Unsupported(errno)) return errno;
        noCounters_ = true;
        state.countersValid = false;
        return 0;
    }
    state.countersValid = true;
    LineCounters& c = state.counters;
    c.cts = std::uint32_t(ic.cts);
    c.dsr = std::uint32_t(ic.dsr);
    c.rng = std::uint32_t(ic.rng);
    c.dcd = std::uint32_t(ic.dcd);
    c.rx = std::uint32_t(ic.rx);
    c.tx = std::uint32_t(ic.tx);
    c.frame = std::uint32_t(ic.frame);
    c.overrun = std::uint32_t(ic.overrun);
    c.parity = std::uint32_t(ic.parity);
    c.brk = std::uint32_t(ic.brk);
    c.bufOverrun = std::uint32_t(ic.buf_overrun);
    return 0;
}

// Fills `state` with what evMask needs; 0, or the errno that says the device failed. The look
// is consistent: counters, level, counters again, repeated while the counters moved, so that
// the level belongs to the count it is read with. Its tick is taken after the reading.
int LinuxSerialDevice::Observe(std::uint32_t evMask, LineState& state) {
    const bool counters = (evMask & (EV_MODEM_LINES | EV_RXCHAR | EV_BREAK | EV_ERR)) != 0;
    for (int attempt = 0;; ++attempt) {
        state = {};
        // What the driver does not have is not asked again: the millisecond poll should cost
        // no more than it must.
        if (counters && !noCounters_)
            if (const int e = ReadCounters(state)) return e;
        if (!noStatus_) {
            int bits = 0;
            if (RetryIoctl(sys_, fd_, TIOCMGET, &bits) == 0) {
                state.statusValid = true;
                state.modemStatus = ToModemStatus(bits);
            } else if (Unsupported(errno)) {
                noStatus_ = true;
            } else {
                return errno;
            }
        }
        if (!state.countersValid || attempt == 3) break;
        LineState again = state;
        if (const int e = ReadCounters(again)) return e;
        if (again.counters == state.counters) break;
    }
    if (evMask & EV_RXCHAR) {
        int n = 0;
        if (RetryIoctl(sys_, fd_, FIONREAD, &n) == 0)
            state.inQueue = n;
        else if (!Unsupported(errno))
            return errno;
    }
    if (evMask & EV_TXEMPTY) {
        int n = 0;
        if (RetryIoctl(sys_, fd_, TIOCOUTQ, &n) == 0)
            state.outQueue = n;
        else if (!Unsupported(errno))
            return errno;
    }
    state.lookTick = GetTickCount();
    state.tick = state.lookTick;
    return 0;
}

LineState LinuxSerialDevice::ReadLineState(std::uint32_t evMask) {
    LineState state;
    watchMask_ = evMask;
    if (fd_ < 0) {
        state.error = EBADF;
    } else if (const int e = Observe(evMask, state)) {
        state = {};
        state.error = e;
    }
    if (state.error) state.lookTick = state.tick = GetTickCount();
    return state;
}

// How the wait is released by a stop request:
// TIOCMIWAIT sleeps in the kernel until a watched modem line changes. It has no time-out, no
// file descriptor can wake it, and closing the device from another thread does not end it (the
// ioctl holds its own reference to the file). Only a signal does. So the stop request sets a
// flag and then signals the waiting thread (handler installed without SA_RESTART) until it has
// left the ioctl; the repetition covers a signal that lands just before the thread enters it.
// The flag is checked before every wait and after every return, before the result is looked
// at, so a stop wins over a line change that arrives with it.
//
// How no edge is lost: the lines and the driver's counters, which keep every edge, are read
// before each wait, so nothing between two waits is lost. But the kernel takes its own snapshot
// of the counters when TIOCMIWAIT is entered (serial_core, the generic usb-serial wait), and an
// edge between the last look and that snapshot does not wake the wait. A checker thread closes
// that window once per wait: it watches /proc/self/task/<worker>/syscall until the worker sits
// in TIOCMIWAIT on this descriptor, then reads the counters. Equal to the look before the wait,
// the kernel's snapshot holds them too and every later edge wakes the wait, so the checker
// sleeps until the next one; different, the edge came in the window, and the checker signals
// the worker with the tick at which it read them. A quiet port thus costs two sleeping threads
// and nothing else. Where that file cannot be read, a timer signals the waiter every
// kRecheckUs instead; where even that fails, the lines are sampled.
//
// How no edge is early: a change is stamped with a tick taken at or after the moment its
// evidence was read: the return of the wait it woke, the checker's reading, or the look that
// found it. Drivers that look for a pending signal before the counters after a wake-up
// (serial_core, cdc-acm) turn a woken wait into EINTR; the look that follows stamps the edge.
//
// Drivers without TIOCMIWAIT, and events it does not cover (received characters, breaks,
// errors), are watched by sampling the lines on a fixed grid of absolute deadlines in poll(),
// which also watches the stop eventfd, so there the stop needs no signal.
WaitResult LinuxSerialDevice::WaitForChange(std::uint32_t evMask, const LineState& since,
                                            LineState& now, int& error,
                                            std::optional<std::uint32_t> until) {
    if (fd_ < 0) {
        error = EBADF;
        return WaitResult::Failed;
    }
    watchMask_ = evMask;
    UnblockWakeSignal();
    // The tick that proved the first change, if any.
    bool proven = false;
    std::uint32_t proof = 0;
    std::vector<Sighting> sightings;
    int failures = 0;
    for (;;) {
        if (stop_) return WaitResult::Stopped;
        LineState look;
        if (const int e = Observe(evMask, look)) {
            if (stop_) return WaitResult::Stopped;
            if (++failures < kLookAttempts && Pause(1'000'000)) continue;
            if (stop_) return WaitResult::Stopped;
            error = e;
            return WaitResult::Failed;
        }
        failures = 0;
        if (LineMoved(since, look, evMask)) {
            if (proven && TickDiff(look.lookTick, proof) >= 0) look.tick = proof;
            look.sightings = std::move(sightings);
            now = look;
            return WaitResult::Changed;
        }
        proven = false;
        sightings.clear();
        if (until && TickDiff(look.lookTick, *until) >= 0) {
            now = look;
            return WaitResult::TimedOut;
        }

        const bool modemOnly = (evMask & EV_MODEM_LINES) && !(evMask & kPolledEvents);
        if (modemOnly && look.statusValid && !modemWaitUnsupported_ && !noRecheck_) {
            const ModemWaitEnd end = ModemWait(evMask, look, until);
            switch (end.kind) {
                case ModemWaitEnd::Woke:
                case ModemWaitEnd::Interrupted:
                    proven = end.evidence.has_value();
                    proof = end.evidence.value_or(0);
                    sightings.insert(sightings.end(), end.sightings.begin(),
                                     end.sightings.end());
                    continue;
                case ModemWaitEnd::Unsupported:
                    modemWaitUnsupported_ = true;
                    StopChecker();  // nothing for it to confirm
                    continue;
                case ModemWaitEnd::NoRecheck:
                    noRecheck_ = true;
                    continue;
                case ModemWaitEnd::Failed:
                    if (stop_) return WaitResult::Stopped;
                    error = end.error;
                    return WaitResult::Failed;
            }
        }

        // Nothing to look at (no modem lines, no data events): only the stop or a hangup ends
        // the wait.
        const bool observable =
            look.statusValid || look.countersValid || (evMask & (EV_RXCHAR | EV_TXEMPTY));
        return PolledWait(evMask, since, now, error, observable, until);
    }
}

LinuxSerialDevice::ModemWaitEnd LinuxSerialDevice::ModemWait(std::uint32_t evMask,
                                                             const LineState& look,
                                                             std::optional<std::uint32_t> until) {
    const bool checked = StartChecker();
    {
        std::lock_guard lock(mutex_);
        if (stop_) return {ModemWaitEnd::Interrupted, {}, 0, {}};
        ++generation_;
        entry_ = {generation_, sys_.ThreadId(), evMask, look, until};
        inModemWait_ = true;
        waiter_ = pthread_self();
        checkTick_.reset();
        sightings_.clear();
    }
    if (checked) {
        const std::uint64_t one = 1;
        sys_.Write(checkFd_, &one, sizeof one);
    } else if (sys_.WakeMeAfter(kRecheckUs) != 0) {
        {
            std::lock_guard lock(mutex_);
            inModemWait_ = false;
        }
        left_.notify_all();
        return {ModemWaitEnd::NoRecheck, {}, 0, {}};
    }
    const int r = sys_.Ioctl(fd_, TIOCMIWAIT, reinterpret_cast<void*>(ModemWaitMask(evMask)));
    const std::uint32_t returned = GetTickCount();
    const int e = r < 0 ? errno : 0;
    if (!checked) sys_.WakeMeAfter(0);
    std::optional<std::uint32_t> checkTick;
    std::vector<Sighting> sightings;
    {
        std::lock_guard lock(mutex_);
        inModemWait_ = false;
        checkTick = checkTick_;
        sightings.swap(sightings_);
    }
    left_.notify_all();
    if (e == 0) return {ModemWaitEnd::Woke, returned, 0, std::move(sightings)};
    // The checker's signal, the re-check timer, the stop, or a signal that beat the wake-up:
    // whatever came, the look that follows finds it.
    if (e == EINTR) return {ModemWaitEnd::Interrupted, checkTick, 0, std::move(sightings)};
    if (Unsupported(e)) return {ModemWaitEnd::Unsupported, {}, 0, {}};
    return {ModemWaitEnd::Failed, {}, e, {}};
}

void LinuxSerialDevice::StopChecker() {
    if (!checker_.joinable()) return;
    checkerQuit_ = true;
    const std::uint64_t one = 1;
    sys_.Write(checkFd_, &one, sizeof one);
    checker_.join();
}

bool LinuxSerialDevice::StartChecker() {
    if (checker_.joinable()) return true;
    if (!waiterVisible_) return false;
    std::string text;
    if (!sys_.TaskSyscall(sys_.ThreadId(), text)) {
        waiterVisible_ = false;
        return false;
    }
    checkFd_ = sys_.EventFd();
    if (checkFd_ < 0) {
        waiterVisible_ = false;
        return false;
    }
    try {
        checker_ = std::thread([this] { CheckerLoop(); });
    } catch (const std::system_error&) {
        sys_.Close(checkFd_);
        checkFd_ = -1;
        waiterVisible_ = false;
        return false;
    }
    return true;
}

void LinuxSerialDevice::CheckerLoop() {
    RaiseWorkerPriority();
    std::uint64_t handled = 0;
    for (;;) {
        struct pollfd fds[2] = {{checkFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int r = sys_.Poll(fds, 2, -1);
        if (stop_ || checkerQuit_) return;
        if (r > 0 && (fds[0].revents & POLLIN)) {
            std::uint64_t count = 0;
            sys_.Read(checkFd_, &count, sizeof count);
        }
        Entry entry;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            if (!inModemWait_ || generation_ == handled) continue;
            entry = entry_;
            handled = generation_;
        }
        Check(entry);
    }
}

// The syscall file of a thread blocked in TIOCMIWAIT on this descriptor reads
// "<SYS_ioctl> 0x<fd> 0x<TIOCMIWAIT> ...".
bool LinuxSerialDevice::HeldInModemWait(const std::string& syscall) const {
    const char* p = syscall.c_str();
    char* end = nullptr;
    const long nr = std::strtol(p, &end, 10);
    if (end == p || nr != SYS_ioctl) return false;
    p = end;
    const unsigned long fd = std::strtoul(p, &end, 16);
    if (end == p || fd != static_cast<unsigned long>(fd_)) return false;
    p = end;
    const unsigned long request = std::strtoul(p, &end, 16);
    return end != p && request == static_cast<unsigned long>(TIOCMIWAIT);
}

// Sleeps for `ns` unless a stop comes first (false then).
bool LinuxSerialDevice::Pause(std::int64_t ns) {
    struct pollfd fds[1] = {{stopFd_, POLLIN, 0}};
    sys_.PollUntil(fds, 1, sys_.MonotonicNs() + ns);
    return !stop_;
}

void LinuxSerialDevice::Check(const Entry& entry) {
    std::optional<std::uint32_t> seen;  // the first reading that showed a change
    LineCounters last = entry.look.counters;
    std::int64_t pauseNs = 20'000;
    std::int64_t nextReading = 0;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stop_ || !inModemWait_ || generation_ != entry.generation) return;
        }
        std::string text;
        if (!sys_.TaskSyscall(entry.tid, text)) {
            // The file went away: the timer takes over from the next wait on.
            waiterVisible_ = false;
            std::lock_guard lock(mutex_);
            if (inModemWait_ && generation_ == entry.generation) sys_.InterruptThread(waiter_);
            return;
        }
        const bool held = HeldInModemWait(text);
        // Until the kernel holds the waiter (it may be preempted on its way in), the counters
        // are read now and then as well, so that an edge meanwhile is stamped when first seen.
        const std::int64_t t = sys_.MonotonicNs();
        if (held || t >= nextReading) {
            LineState reading;
            const int e = Observe(entry.evMask, reading);
            if (!seen && (e != 0 || LineMoved(entry.look, reading, entry.evMask)))
                seen = e ? GetTickCount() : reading.lookTick;
            // Each reading that shows new edges stamps them, should the worker be held up.
            if (e == 0 && reading.countersValid && !(reading.counters == last)) {
                last = reading.counters;
                std::lock_guard lock(mutex_);
                if (inModemWait_ && generation_ == entry.generation && sightings_.size() < 64)
                    sightings_.push_back({reading.lookTick, reading.counters});
            }
            nextReading = t + 1'000'000;
        }
        if (held && !seen) {
            // The kernel's snapshot is the look's: every later edge wakes the wait. Only a debt
            // of the level needs another look at its deadline.
            if (!entry.until) return;
            const std::int32_t left = TickDiff(*entry.until, GetTickCount());
            struct pollfd fds[2] = {{checkFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            if (left > 0 &&
                sys_.PollUntil(fds, 2, sys_.MonotonicNs() + std::int64_t(left) * 1'000'000) != 0)
                return;  // a new wait or the stop
            std::lock_guard lock(mutex_);
            if (inModemWait_ && generation_ == entry.generation) sys_.InterruptThread(waiter_);
            pauseNs = 1'000'000;
        } else if (held) {
            std::lock_guard lock(mutex_);
            if (inModemWait_ && generation_ == entry.generation) {
                checkTick_ = seen;
                sys_.InterruptThread(waiter_);
            }
            pauseNs = 1'000'000;  // and again, should that signal have been spent
        }
        if (!Pause(pauseNs)) return;
        pauseNs = std::min<std::int64_t>(pauseNs * 2, 1'000'000);
    }
}

// Samples on absolute deadlines k * kSamplePeriodNs: a late wake-up costs that one sample, never
// the ones after it, and a sample that came too late for several deadlines goes on with the
// next one still ahead instead of catching up in a burst. Each change is stamped with the tick
// taken after the sample that saw it.
WaitResult LinuxSerialDevice::PolledWait(std::uint32_t evMask, const LineState& since,
                                         LineState& now, int& error, bool observable,
                                         std::optional<std::uint32_t> until) {
    std::int64_t deadline = (sys_.MonotonicNs() / kSamplePeriodNs + 1) * kSamplePeriodNs;
    int failures = 0;
    for (;;) {
        struct pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, 0, 0}};
        const int r = observable ? sys_.PollUntil(fds, 2, deadline) : sys_.Poll(fds, 2, -1);
        if (r < 0 && errno != EINTR) {
            error = errno;
            return WaitResult::Failed;
        }
        if (stop_ || (r > 0 && (fds[0].revents & POLLIN))) return WaitResult::Stopped;
        if (r > 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            error = EIO;  // the line hung up: an unplugged adapter
            return WaitResult::Failed;
        }
        if (!observable) continue;
        LineState look;
        if (const int e = Observe(evMask, look)) {
            if (stop_) return WaitResult::Stopped;
            if (++failures >= kLookAttempts) {
                error = e;
                return WaitResult::Failed;
            }
        } else {
            failures = 0;
            if (LineMoved(since, look, evMask)) {
                now = look;
                return WaitResult::Changed;
            }
            if (until && TickDiff(look.lookTick, *until) >= 0) {
                now = look;
                return WaitResult::TimedOut;
            }
        }
        const std::int64_t t = sys_.MonotonicNs();
        deadline += kSamplePeriodNs;
        if (deadline <= t) deadline = (t / kSamplePeriodNs + 1) * kSamplePeriodNs;
    }
}

QString LinuxSerialDevice::WatchDescription() const {
    if (fd_ < 0) return {};
    if (noStatus_)
        return QStringLiteral("%1 has no modem lines: no photocell can be read from it.")
            .arg(Path());
    const std::uint32_t mask = watchMask_;
    const bool modemOnly = (mask & EV_MODEM_LINES) && !(mask & kPolledEvents);
    if (modemOnly && !modemWaitUnsupported_ && !noCounters_ && !noRecheck_)
        return QStringLiteral(
                   "%1 reports every change of its lines: each edge counts, however short.")
            .arg(Path());
    return QStringLiteral(
               "%1 reports no line changes, so its lines are sampled every %2 ms: a pulse of "
               "2 ms or more is normally caught, a shorter one only by chance.")
        .arg(Path(), QString::number(double(kSamplePeriodNs) / 1e6));
}

void LinuxSerialDevice::CancelWait() {
    std::unique_lock lock(mutex_);
    stop_ = true;
    if (stopFd_ >= 0) {
        const std::uint64_t one = 1;
        sys_.Write(stopFd_, &one, sizeof one);
    }
    while (inModemWait_) {
        sys_.InterruptThread(waiter_);
        left_.wait_for(lock, std::chrono::milliseconds(1));
    }
}

}  // namespace

bool RaiseWorkerPriority() {
    // A timer slack of 1 ns: the sampling deadlines are kept as set, not rounded up by 50 us.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // A modest priority: above every ordinary program, below the kernel's interrupt threads (50)
    // and below what audio servers take. Within RLIMIT_RTPRIO when it is set; without it the
    // request is still made, as a privileged account may be granted it, and a refusal is quiet.
    constexpr rlim_t kWanted = 20;
    struct rlimit limit {};
    rlim_t priority = kWanted;
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur > 0)
        priority = std::min(limit.rlim_cur, kWanted);
    struct sched_param param {};
    param.sched_priority = int(priority);
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

QString SerialDevice::ErrorText(int error) const {
    char buffer[256];
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

std::unique_ptr<SerialDevice> CreateSerialDevice(SerialSystem& system) {
    return std::make_unique<LinuxSerialDevice>(system);
}

namespace {
std::function<std::unique_ptr<SerialDevice>()>& DeviceFactory() {
    static std::function<std::unique_ptr<SerialDevice>()> factory;
    return factory;
}
}  // namespace

void SetSerialDeviceFactory(std::function<std::unique_ptr<SerialDevice>()> factory) {
    DeviceFactory() = std::move(factory);
}

std::unique_ptr<SerialDevice> CreateSerialDevice() {
    if (DeviceFactory()) return DeviceFactory()();
    return CreateSerialDevice(SerialSystem::Default());
}

QString ComDevicePath(SerialSystem& system, int port) {
    if (port < 1 || port > 255) return {};
    const QString entry = ProgramConfigDir() + QStringLiteral("/ports/") + ComPortName(port);
    struct stat st {};
    if (system.Lstat(entry.toLocal8Bit().constData(), &st) == 0) return entry;
    if (port <= 4) return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (port <= 12) return QStringLiteral("/dev/ttyUSB%1").arg(port - 5);
    if (port <= 16) return QStringLiteral("/dev/ttyACM%1").arg(port - 13);
    return {};
}

namespace {

// Whether sysfs knows /dev/<name> as a serial line: a tty with a device behind it (consoles,
// virtual terminals and pseudo-terminals have none). The legacy 8250 driver registers its ttyS
// places whether or not a UART is there, and its driver is called "serial8250" or, since Linux
// 6.5, "port"; any tty that has a UART type says there whether a UART was found, so the type
// is read wherever it exists.
bool SysfsSerialLine(SerialSystem& system, const QString& name) {
    const QString tty = system.SysfsRoot() + QStringLiteral("/class/tty/") + name;
    if (!QFileInfo::exists(tty + QStringLiteral("/device"))) return false;
    const QString driver =
        QFileInfo(QFileInfo(tty + QStringLiteral("/device/driver")).canonicalFilePath()).fileName();
    if (driver.isEmpty()) return false;
    QFile type(tty + QStringLiteral("/type"));
    if (type.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int t = QString::fromLatin1(type.readAll()).trimmed().toInt(&ok);
        if (!ok || t == 0) return false;  // PORT_UNKNOWN: no UART at this place
    }
    return true;
}

// The ttys the kernel writes its console to (a serial console is no photocell line).
QStringList ActiveConsoles(SerialSystem& system) {
    QFile active(system.SysfsRoot() + QStringLiteral("/class/tty/console/active"));
    if (!active.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(active.readAll()).split(QLatin1Char(' '), Qt::SkipEmptyParts)
        .replaceInStrings(QStringLiteral("\n"), QString());
}

bool IsCharDevice(SerialSystem& system, const QString& path) {
    struct stat st {};
    return system.Stat(path.toLocal8Bit().constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

// Ports are found without opening anything: an open raises DTR and RTS, which resets some
// boards, and the machine's own ports may be consoles. A link in the ports folder names a port
// the operator chose and counts whenever its target is a character device (the pseudo-terminal
// of a serial-over-network bridge is not in sysfs); the default devices count when sysfs knows
// them as serial lines. Permission is not asked: a port the user may not open is still listed,
// and opening it explains how to get access.
std::uint32_t ScanComPorts(SerialSystem& system) {
    std::uint32_t mask = 0;
    const QStringList consoles = ActiveConsoles(system);
    const QString folder = ProgramConfigDir() + QStringLiteral("/ports/");
    for (int n = 1; n <= 16; ++n) {
        const QString path = ComDevicePath(system, n);
        if (path.isEmpty()) continue;
        bool present = false;
        if (path.startsWith(folder))
            present = IsCharDevice(system, path);
        else
            present = !consoles.contains(QFileInfo(path).fileName()) &&
                      SysfsSerialLine(system, QFileInfo(path).fileName()) &&
                      IsCharDevice(system, path);
        if (present) mask = (mask & 0xFFFFu) | (1u << (n - 1)) | (std::uint32_t(n) << 16);
    }
    return mask;
}

std::uint32_t ScanComPorts() {
    return ScanComPorts(SerialSystem::Default());
}

// The real system.
int SerialSystem::Open(const char* path, int flags) {
    return ::open(path, flags);
}
int SerialSystem::Close(int fd) {
    return ::close(fd);
}
int SerialSystem::Ioctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}
int SerialSystem::Fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int SerialSystem::Stat(const char* path, struct stat* st) {
    return ::stat(path, st);
}
int SerialSystem::Lstat(const char* path, struct stat* st) {
    return ::lstat(path, st);
}
int SerialSystem::Flock(int fd, int operation) {
    return ::flock(fd, operation);
}
int SerialSystem::Poll(struct pollfd* fds, unsigned long count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}
std::int64_t SerialSystem::MonotonicNs() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

namespace {
// A per-thread resource, released when its thread ends.
struct ThreadFd {
    int fd = -1;
    ~ThreadFd() {
        if (fd >= 0) ::close(fd);
    }
};
struct ThreadTimer {
    timer_t id{};
    bool made = false;
    ~ThreadTimer() {
        if (made) timer_delete(id);
    }
};
}  // namespace

int SerialSystem::PollUntil(struct pollfd* fds, unsigned long count, std::int64_t deadlineNs) {
    thread_local ThreadFd timer;
    if (timer.fd < 0) {
        timer.fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (timer.fd < 0) return -1;
    }
    struct itimerspec when {};
    when.it_value.tv_sec = time_t(deadlineNs / 1'000'000'000);
    when.it_value.tv_nsec = long(deadlineNs % 1'000'000'000);
    if (timerfd_settime(timer.fd, TFD_TIMER_ABSTIME, &when, nullptr) != 0) return -1;
    struct pollfd all[8];
    if (count > 7) {
        errno = EINVAL;
        return -1;
    }
    for (unsigned long i = 0; i < count; ++i)
        all[i] = fds[i];
    all[count] = {timer.fd, POLLIN, 0};
    const int r = ::poll(all, count + 1, -1);
    if (r < 0) return r;
    int ready = 0;
    for (unsigned long i = 0; i < count; ++i) {
        fds[i].revents = all[i].revents;
        if (all[i].revents) ++ready;
    }
    if (all[count].revents & POLLIN) {
        std::uint64_t expirations = 0;
        [[maybe_unused]] const auto n = ::read(timer.fd, &expirations, sizeof expirations);
    }
    return ready;
}

int SerialSystem::WakeMeAfter(long us) {
    thread_local ThreadTimer timer;
    if (!timer.made) {
        if (us == 0) return 0;
        struct sigevent ev {};
        ev.sigev_notify = SIGEV_THREAD_ID;
        ev.sigev_signo = WakeSignal();
        ev._sigev_un._tid = gettid();  // sigev_notify_thread_id, not spelled out by this libc
        if (timer_create(CLOCK_MONOTONIC, &ev, &timer.id) != 0) return -1;
        timer.made = true;
    }
    struct itimerspec when {};
    when.it_value.tv_sec = us / 1'000'000;
    when.it_value.tv_nsec = (us % 1'000'000) * 1000;
    when.it_interval = when.it_value;
    return timer_settime(timer.id, 0, &when, nullptr);
}

QString SerialSystem::SysfsRoot() {
    return QStringLiteral("/sys");
}

int SerialSystem::EventFd() {
    return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}
long SerialSystem::Read(int fd, void* buffer, unsigned long size) {
    return ::read(fd, buffer, size);
}
long SerialSystem::Write(int fd, const void* buffer, unsigned long size) {
    return ::write(fd, buffer, size);
}
int SerialSystem::InterruptThread(pthread_t thread) {
    const int e = pthread_kill(thread, WakeSignal());
    if (e == 0) return 0;
    errno = e;
    return -1;
}
pid_t SerialSystem::ThreadId() {
    return gettid();
}
bool SerialSystem::TaskSyscall(pid_t tid, std::string& text) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/syscall", int(tid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0) return false;
    text.assign(buffer, std::size_t(n));
    return true;
}
QString SerialSystem::GroupName(gid_t gid) {
    struct group g {};
    struct group* found = nullptr;
    char buffer[1024];
    if (getgrgid_r(gid, &g, buffer, sizeof buffer, &found) != 0 || !found) return {};
    return QString::fromLocal8Bit(found->gr_name);
}

SerialSystem& SerialSystem::Default() {
    static SerialSystem system;
    return system;
}
