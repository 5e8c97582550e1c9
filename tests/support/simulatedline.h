#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/serialsystem.h"
#include "platform/tickcounter.h"

// A photocell line behind one of the Linux kernel's serial drivers, in simulated time, for the
// real port, worker thread and window. It is a SerialSystem (every system call of the serial
// device goes through it) and the tick counter: time moves only when the test says so, and only
// once every thread of the watch is asleep with nothing left to do (Settle), so that a run of
// ten thousand edges takes no wall-clock waiting and every stamp is exact to the microsecond.
//
// The drivers, as their sources behave (drivers/tty/serial/serial_core.c,
// drivers/usb/class/cdc-acm.c, drivers/usb/serial/generic.c, drivers/usb/serial/ftdi_sio.c):
//  - SerialCore: uart_wait_modem_status() notes the counters on entry; after a wake-up it looks
//    for a pending signal before it compares the counters, so a signal that arrives before the
//    woken thread runs turns the wake-up into EINTR. Counters and level move together
//    (uart_handle_*_change() from the interrupt).
//  - CdcAcm: wait_serial_change() compares acm->oldcount with the current counts and stores
//    them on every check, so a change since the last wait returns at once; after a wake-up a
//    pending signal wins, as in serial_core. Counters and level move with each SERIAL_STATE
//    notification (acm_process_notification()).
//  - UsbSerial: usb_serial_generic_tiocmiwait() notes the counters on entry and sleeps in
//    wait_event_interruptible(), which checks the condition before the signal: a change wins.
//  - FtdiSio: the generic wait, but TIOCMGET reads the level live (ftdi_tiocmget() asks the
//    chip by a control transfer) while ftdi_process_packet() counts a line only when the status
//    byte of a packet differs from the packet before, and wakes the waiters then. Packets come
//    once per latency-timer interval: 16 ms, or 1 ms once TIOCSSERIAL sets ASYNC_LOW_LATENCY
//    (write_latency_timer()). A pulse between two packets is not counted at all.
// Scheduling is modelled too: a thread woken in TIOCMIWAIT runs only after a wake-up latency,
// and the worker can be held (preempted) on its way into the wait, after its look and before
// the kernel's snapshot.
class SimulatedLine : public SerialSystem, public TickSource {
public:
    enum class Driver { SerialCore, CdcAcm, UsbSerial, FtdiSio };

    // `device` is a pseudo-terminal that stands in for the device node (settings, exclusive
    // mode, locks); the modem lines are the simulation's.
    SimulatedLine(Driver driver, QString device, std::int64_t startUs = 1'000'000'000);
    ~SimulatedLine() override;

    Driver Kind() const { return driver_; }
    std::int64_t NowUs() const;
    std::uint32_t Now() const override;  // the tick counter: milliseconds of NowUs

    // The line. Takes effect at the current simulated time.
    void SetDsr(bool on);
    bool Dsr() const;

    // The number of watch threads (worker, checker) that Settle waits for.
    void ExpectThreads(int n);
    // Blocks (in real time) until every watch thread sleeps with nothing to do now; false if
    // that takes more than `limitMs` of real time.
    bool Settle(int limitMs = 20'000);
    // The earliest simulated moment something is due: a sleeper's deadline, a packet, a timer.
    std::optional<std::int64_t> NextDueUs() const;
    // Moves the clock to `us`, stopping at everything due before it and settling after each;
    // `between` runs after each settle (the window's event loop).
    bool AdvanceTo(std::int64_t us, const std::function<void()>& between);

    // Scheduling: the wake-up latency of a thread woken in TIOCMIWAIT (called per wake-up), and
    // the next entry into TIOCMIWAIT held for `us` before the kernel's snapshot.
    std::function<std::int64_t()> wakeLatencyUs;
    void HoldNextEntry(std::int64_t us);
    // /proc/self/task/<tid>/syscall cannot be read (the timer is the fallback then).
    void HideSyscalls(bool hide);
    bool LowLatency() const;
    int Interrupts() const;  // signals that reached a thread in TIOCMIWAIT

    // SerialSystem.
    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    int Poll(struct pollfd* fds, unsigned long count, int timeoutMs) override;
    std::int64_t MonotonicNs() override;
    int PollUntil(struct pollfd* fds, unsigned long count, std::int64_t deadlineNs) override;
    int WakeMeAfter(long us) override;
    long Read(int fd, void* buffer, unsigned long size) override;
    long Write(int fd, const void* buffer, unsigned long size) override;
    int InterruptThread(pthread_t thread) override;
    bool TaskSyscall(pid_t tid, std::string& text) override;
    QString SysfsRoot() override { return QStringLiteral("/nonexistent/vz-sysfs"); }

private:
    struct Counts {
        std::uint32_t dsr = 0;
        bool operator==(const Counts&) const = default;
    };
    // A watch thread, as the simulation sees it.
    struct Thread {
        pthread_t handle{};
        bool asleep = false;     // in a simulated blocking call, waiting
        bool inModemWait = false;
        bool inPoll = false;
        std::condition_variable cv;
        std::optional<std::int64_t> dueUs;  // it wakes by itself then
        bool signal = false;                // a signal is pending
        bool urgent = false;                // it came from outside the watch (the stop)
        std::optional<std::int64_t> timerUs;  // the re-check timer's next signal
        long timerPeriodUs = 0;
    };

    Thread& Me(std::unique_lock<std::mutex>& lock);
    void Sleep(std::unique_lock<std::mutex>& lock, Thread& me);
    void WakeModemWaiters(std::unique_lock<std::mutex>& lock);
    static void Wake(Thread& t);
    int ModemWait(std::unique_lock<std::mutex>& lock, unsigned long mask);
    void RunDue(std::unique_lock<std::mutex>& lock);
    bool QuietLocked() const;
    void Packet();

    const Driver driver_;
    const QString device_;
    mutable std::mutex mutex_;
    std::condition_variable quiet_;    // Settle: a thread went to sleep
    std::atomic<std::int64_t> nowUs_;
    int fd_ = -1;
    bool dsr_ = false;
    int outputs_ = 0;  // DTR, RTS
    Counts counts_;
    Counts acmOldcount_;
    bool packetStatus_ = false;           // ftdi: the DSR bit of the last packet
    std::optional<std::int64_t> packetUs_;  // ftdi: the next packet that has something to say
    int serialFlags_ = 0;
    bool hideSyscalls_ = false;
    std::int64_t holdNextEntryUs_ = 0;
    int expected_ = 1;
    int interrupts_ = 0;
    std::map<pid_t, Thread> threads_;
};
