#include "tests/support/simulatedline.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace {
int Fail(int error) {
    errno = error;
    return -1;
}
}  // namespace

SimulatedLine::SimulatedLine(Driver driver, QString device, std::int64_t startUs)
    : driver_(driver), device_(std::move(device)), nowUs_(startUs) {}

SimulatedLine::~SimulatedLine() = default;

std::int64_t SimulatedLine::NowUs() const {
    return nowUs_.load();
}

std::uint32_t SimulatedLine::Now() const {
    return static_cast<std::uint32_t>(NowUs() / 1000);
}

std::int64_t SimulatedLine::MonotonicNs() {
    return NowUs() * 1000;
}

bool SimulatedLine::Dsr() const {
    std::lock_guard lock(mutex_);
    return dsr_;
}

bool SimulatedLine::LowLatency() const {
    std::lock_guard lock(mutex_);
    return serialFlags_ & ASYNC_LOW_LATENCY;
}

int SimulatedLine::Interrupts() const {
    std::lock_guard lock(mutex_);
    return interrupts_;
}

void SimulatedLine::ExpectThreads(int n) {
    std::lock_guard lock(mutex_);
    expected_ = n;
}

void SimulatedLine::HoldNextEntry(std::int64_t us) {
    std::lock_guard lock(mutex_);
    holdNextEntryUs_ = us;
}

void SimulatedLine::HideSyscalls(bool hide) {
    std::lock_guard lock(mutex_);
    hideSyscalls_ = hide;
}

// A sleeper counts as quiet only once it has looked again after what woke it and found
// nothing to do.
void SimulatedLine::Wake(Thread& t) {
    t.asleep = false;
    t.cv.notify_one();
}

// A line changed: the threads in TIOCMIWAIT look again.
void SimulatedLine::WakeModemWaiters(std::unique_lock<std::mutex>&) {
    for (auto& [tid, t] : threads_)
        if (t.inModemWait) Wake(t);
}

void SimulatedLine::SetDsr(bool on) {
    std::unique_lock lock(mutex_);
    if (dsr_ == on) return;
    dsr_ = on;
    if (driver_ == Driver::FtdiSio) {
        // The chip reports it with its next status packet.
        const std::int64_t period = (serialFlags_ & ASYNC_LOW_LATENCY) ? 1'000 : 16'000;
        if (!packetUs_) packetUs_ = (nowUs_ / period + 1) * period;
    } else {
        ++counts_.dsr;
    }
    WakeModemWaiters(lock);
}

void SimulatedLine::Packet() {
    packetUs_.reset();
    if (dsr_ == packetStatus_) return;
    packetStatus_ = dsr_;
    ++counts_.dsr;
}

SimulatedLine::Thread& SimulatedLine::Me(std::unique_lock<std::mutex>&) {
    Thread& t = threads_[static_cast<pid_t>(gettid())];
    t.handle = pthread_self();
    return t;
}

void SimulatedLine::Sleep(std::unique_lock<std::mutex>& lock, Thread& me) {
    me.asleep = true;
    if (QuietLocked()) quiet_.notify_all();
    me.cv.wait(lock);
}

bool SimulatedLine::QuietLocked() const {
    int known = 0;
    for (const auto& [tid, t] : threads_) {
        ++known;
        if (!t.asleep || (t.dueUs && *t.dueUs <= nowUs_)) return false;
    }
    return known >= expected_;
}

bool SimulatedLine::Settle(int limitMs) {
    std::unique_lock lock(mutex_);
    return quiet_.wait_for(lock, std::chrono::milliseconds(limitMs),
                           [&] { return QuietLocked(); });
}

std::optional<std::int64_t> SimulatedLine::NextDueUs() const {
    std::lock_guard lock(mutex_);
    std::optional<std::int64_t> next = packetUs_;
    auto take = [&](std::optional<std::int64_t> t) {
        if (t && (!next || *t < *next)) next = t;
    };
    for (const auto& [tid, t] : threads_) {
        take(t.dueUs);
        take(t.timerUs);
    }
    return next;
}

void SimulatedLine::RunDue(std::unique_lock<std::mutex>& lock) {
    if (packetUs_ && *packetUs_ <= nowUs_) {
        Packet();
        WakeModemWaiters(lock);
    }
    for (auto& [tid, t] : threads_) {
        while (t.timerUs && *t.timerUs <= nowUs_) {
            // The re-check timer's signal: it reaches the thread only inside a blocking call;
            // one that lands in user space is spent there.
            if (t.asleep || t.inModemWait) {
                t.signal = true;
                Wake(t);
            }
            *t.timerUs += t.timerPeriodUs;
        }
        if (t.dueUs && *t.dueUs <= nowUs_) Wake(t);
    }
}

bool SimulatedLine::AdvanceTo(std::int64_t us, const std::function<void()>& between) {
    for (;;) {
        if (!Settle()) return false;
        const std::optional<std::int64_t> next = NextDueUs();
        std::unique_lock lock(mutex_);
        if (!next || *next > us) {
            if (us > nowUs_) nowUs_ = us;  // (written under the lock, read without it)
            RunDue(lock);
            lock.unlock();
            if (!Settle()) return false;
            if (between) between();
            return true;
        }
        if (*next > nowUs_) nowUs_ = *next;
        RunDue(lock);
    }
}

int SimulatedLine::Open(const char* path, int flags) {
    const int fd = SerialSystem::Open(path, flags);
    std::lock_guard lock(mutex_);
    if (fd >= 0 && fd_ < 0) fd_ = fd;
    return fd;
}

int SimulatedLine::Close(int fd) {
    {
        std::lock_guard lock(mutex_);
        if (fd == fd_) fd_ = -1;
    }
    return SerialSystem::Close(fd);
}

int SimulatedLine::Ioctl(int fd, unsigned long request, void* arg) {
    std::unique_lock lock(mutex_);
    if (fd != fd_ || fd < 0) {
        lock.unlock();
        return SerialSystem::Ioctl(fd, request, arg);
    }
    switch (request) {
        case TIOCMGET:
            *static_cast<int*>(arg) = outputs_ | (dsr_ ? TIOCM_DSR : 0);
            return 0;
        case TIOCMBIS:
            outputs_ |= *static_cast<int*>(arg) & (TIOCM_DTR | TIOCM_RTS);
            return 0;
        case TIOCMBIC:
            outputs_ &= ~*static_cast<int*>(arg);
            return 0;
        case TIOCGICOUNT: {
            auto* ic = static_cast<serial_icounter_struct*>(arg);
            *ic = {};
            ic->dsr = int(counts_.dsr);
            return 0;
        }
        case TIOCGSERIAL:
            *static_cast<serial_struct*>(arg) = {};
            static_cast<serial_struct*>(arg)->flags = serialFlags_;
            return 0;
        case TIOCSSERIAL:
            serialFlags_ = static_cast<serial_struct*>(arg)->flags;
            return 0;
        case TIOCMIWAIT:
            return ModemWait(lock, static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(arg)));
        default:
            lock.unlock();
            return SerialSystem::Ioctl(fd, request, arg);
    }
}

int SimulatedLine::ModemWait(std::unique_lock<std::mutex>& lock, unsigned long mask) {
    Thread& me = Me(lock);
    me.signal = false;  // whatever came before is spent in user space
    if (holdNextEntryUs_ > 0) {
        // Preempted after the look, before the kernel's snapshot: signals of this time land in
        // user space.
        const std::int64_t due = nowUs_ + holdNextEntryUs_;
        holdNextEntryUs_ = 0;
        me.dueUs = due;
        while (nowUs_ < due && !me.urgent)
            Sleep(lock, me);
        me.dueUs.reset();
        if (me.urgent) {
            me.urgent = false;
            me.signal = false;
            return Fail(EINTR);
        }
        me.signal = false;
    }
    const bool dsr = mask & TIOCM_DSR;
    Counts cprev = counts_;
    if (driver_ == Driver::CdcAcm) {
        // wait_serial_change(): the counts against those of the last check, stored anew.
        const Counts old = acmOldcount_;
        acmOldcount_ = counts_;
        if (dsr && old.dsr != counts_.dsr) return 0;
    }
    auto changed = [&] {
        if (driver_ == Driver::CdcAcm) {
            const Counts old = acmOldcount_;
            acmOldcount_ = counts_;
            return dsr && old.dsr != counts_.dsr;
        }
        return dsr && counts_.dsr != cprev.dsr;
    };
    const bool signalFirst = driver_ == Driver::SerialCore || driver_ == Driver::CdcAcm;
    me.inModemWait = true;
    auto leave = [&](int result) {
        me.inModemWait = false;
        me.dueUs.reset();
        if (result == 0) return 0;
        ++interrupts_;
        me.signal = false;
        return Fail(EINTR);
    };
    for (;;) {
        if (driver_ != Driver::CdcAcm && counts_.dsr != cprev.dsr && dsr) return leave(0);
        if (me.signal) return leave(-1);
        Sleep(lock, me);
        const bool woken = me.signal || (dsr && (driver_ == Driver::CdcAcm
                                                     ? acmOldcount_.dsr != counts_.dsr
                                                     : counts_.dsr != cprev.dsr));
        if (!woken) continue;
        // Woken: the thread runs after its wake-up latency (none for the stop, which comes
        // from the main thread and must not wait for simulated time).
        if (!me.urgent) {
            const std::int64_t latency = wakeLatencyUs ? wakeLatencyUs() : 0;
            if (latency > 0) {
                const std::int64_t due = nowUs_ + latency;
                me.dueUs = due;
                while (nowUs_ < due && !me.urgent)
                    Sleep(lock, me);
                me.dueUs.reset();
            }
        }
        me.urgent = false;
        if (signalFirst) {
            // uart_wait_modem_status(), wait_serial_change(): "see if a signal did it" first.
            if (me.signal) return leave(-1);
            if (changed()) return leave(0);
            cprev = counts_;
        } else {
            // wait_event_interruptible(): the condition first.
            if (changed()) return leave(0);
            if (me.signal) return leave(-1);
        }
    }
}

int SimulatedLine::Poll(struct pollfd* fds, unsigned long count, int timeoutMs) {
    if (timeoutMs < 0) return PollUntil(fds, count, -1);
    return PollUntil(fds, count, MonotonicNs() + std::int64_t(timeoutMs) * 1'000'000);
}

int SimulatedLine::PollUntil(struct pollfd* fds, unsigned long count, std::int64_t deadlineNs) {
    std::unique_lock lock(mutex_);
    Thread& me = Me(lock);
    const std::optional<std::int64_t> due =
        deadlineNs < 0 ? std::nullopt : std::optional<std::int64_t>((deadlineNs + 999) / 1000);
    for (;;) {
        const int r = ::poll(fds, count, 0);
        if (r != 0) return r;
        if (me.signal) {
            me.signal = false;
            me.urgent = false;
            return Fail(EINTR);
        }
        if (due && nowUs_ >= *due) return 0;
        me.dueUs = due;
        me.inPoll = true;
        Sleep(lock, me);
        me.inPoll = false;
        me.dueUs.reset();
    }
}

int SimulatedLine::WakeMeAfter(long us) {
    std::unique_lock lock(mutex_);
    Thread& me = Me(lock);
    me.timerPeriodUs = us;
    if (us == 0)
        me.timerUs.reset();
    else
        me.timerUs = nowUs_ + us;
    return 0;
}

long SimulatedLine::Read(int fd, void* buffer, unsigned long size) {
    return ::read(fd, buffer, size);
}

long SimulatedLine::Write(int fd, const void* buffer, unsigned long size) {
    const long r = ::write(fd, buffer, size);
    std::unique_lock lock(mutex_);
    for (auto& [tid, t] : threads_)
        if (t.inPoll) Wake(t);
    return r;
}

int SimulatedLine::InterruptThread(pthread_t thread) {
    std::unique_lock lock(mutex_);
    const bool fromWatch = threads_.count(static_cast<pid_t>(gettid())) != 0;
    for (auto& [tid, t] : threads_)
        if (pthread_equal(t.handle, thread)) {
            // A signal reaches a thread inside a blocking call; in user space it is spent.
            if (t.asleep || t.inModemWait || t.dueUs) {
                t.signal = true;
                if (!fromWatch) t.urgent = true;
                Wake(t);
            }
        }
    return 0;
}

bool SimulatedLine::TaskSyscall(pid_t tid, std::string& text) {
    std::lock_guard lock(mutex_);
    if (hideSyscalls_) return false;
    const auto it = threads_.find(tid);
    if (it != threads_.end() && it->second.inModemWait) {
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "%ld 0x%x 0x%lx 0x0 0x0 0x0 0x0 0x0 0x0\n",
                      long(SYS_ioctl), unsigned(fd_), static_cast<unsigned long>(TIOCMIWAIT));
        text = buffer;
    } else {
        text = "running\n";
    }
    return true;
}
