#pragma once

// Helpers for tests of the serial line without hardware: a private ports folder, pseudo-
// terminals, and a system seam that emulates the modem lines of a chosen device. Nothing here
// ever opens the machine's own serial ports.

#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/programpaths.h"
#include "platform/serialsystem.h"

// <config>/ports for this test program, emptied at the end. Every port number a test could
// reach gets an entry, so the default map to /dev/ttyS* is never used.
class PortsFolder {
public:
    PortsFolder() : dir_(ProgramConfigDir() + QStringLiteral("/ports")) {
        QDir(dir_).removeRecursively();
        QDir().mkpath(dir_);
        for (int n = 1; n <= 16; ++n)
            Link(n, QStringLiteral("/nonexistent/vz-missing-%1").arg(n));
    }
    ~PortsFolder() { QDir(dir_).removeRecursively(); }
    void Link(int port, const QString& target) {
        const QString entry = Entry(port);
        QFile::remove(entry);
        EXPECT_TRUE(QFile::link(target, entry)) << entry.toStdString();
    }
    QString Entry(int port) const { return dir_ + QStringLiteral("/COM%1").arg(port); }
    // The port falls back to its default device.
    void Remove(int port) { QFile::remove(Entry(port)); }

private:
    QString dir_;
};

// A pseudo-terminal pair; the device side is the slave.
class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        grantpt(master_);
        unlockpt(master_);
        slave_ = QString::fromLocal8Bit(ptsname(master_));
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    int Master() const { return master_; }
    const QString& Slave() const { return slave_; }
    // The other end goes away: the device side hangs up.
    void CloseMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    QString slave_;
};

// How many descriptors of this process are open on a path.
inline int OpenDescriptorsOn(const QString& path) {
    int n = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& name :
         fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System))
        if (QFileInfo(fds.filePath(name)).symLinkTarget() == path) ++n;
    return n;
}

// Modem lines of an emulated serial driver. TIOCMIWAIT is emulated by poll() on a pipe, a real
// blocking call that the device's wake-up signal interrupts, so the stop protocol runs for real.
class ModemLines {
public:
    ModemLines() { EXPECT_EQ(pipe2(pipe_, O_CLOEXEC | O_NONBLOCK), 0); }
    ~ModemLines() {
        close(pipe_[0]);
        close(pipe_[1]);
    }
    ModemLines(const ModemLines&) = delete;
    ModemLines& operator=(const ModemLines&) = delete;

    // TIOCM_ bits; every changed input line counts one edge. With `packets` set (ftdi_sio) the
    // level changes at once and the counters only with the next StatusPacket().
    void Set(int bits) {
        {
            std::lock_guard lock(mutex_);
            const int changed = (bits_ ^ bits) & ~(TIOCM_DTR | TIOCM_RTS);
            bits_ = (bits_ & (TIOCM_DTR | TIOCM_RTS)) | bits;
            if (packets) return;
            Count(changed);
        }
        Wake();
    }
    // ftdi_sio's ftdi_process_packet(): a status packet counts the lines that differ from the
    // status of the packet before, then wakes the waiters.
    void StatusPacket() {
        {
            std::lock_guard lock(mutex_);
            const int status = bits_ & (TIOCM_CTS | TIOCM_DSR | TIOCM_CAR);
            Count(status ^ packetStatus_);
            packetStatus_ = status;
        }
        Wake();
    }
    std::atomic<bool> packets{false};
    // serial_core's uart_wait_modem_status() and cdc-acm's wait_serial_change() look for a
    // pending signal after the wake-up before the counters: the next wake-up by an edge comes
    // back as EINTR, as when a signal arrived before the woken thread ran.
    std::atomic<bool> signalBeatsNextWake{false};
    // Runs on the waiting thread when the wait returns EINTR, before the caller looks again.
    std::function<void()> onInterrupted;
    // The next `failingGets` TIOCMGET calls fail with EIO (a USB control transfer that failed).
    std::atomic<int> failingGets{0};
    // The line flips twice before anyone looks.
    void Pulse(int line) {
        {
            std::lock_guard lock(mutex_);
            if (line & TIOCM_DSR) counters_.dsr += 2;
            if (line & TIOCM_CTS) counters_.cts += 2;
        }
        Wake();
    }
    int Bits() {
        std::lock_guard lock(mutex_);
        return bits_;
    }
    // Errors the driver gives: TIOCMGET (EIO: 8250 without a UART, ENOTTY: not a serial
    // line), TIOCMIWAIT (EINVAL: not implemented, EIO/ENODEV: unplugged), TIOCGICOUNT.
    std::atomic<int> getError{0};
    std::atomic<int> waitError{0};
    std::atomic<int> countError{0};
    std::atomic<int> waits{0};        // TIOCMIWAIT calls
    std::atomic<int> interrupted{0};  // of which ended by a signal
    std::atomic<bool> inWait{false};
    std::atomic<pthread_t> waiter{};
    std::atomic<pid_t> waiterTid{0};
    // TIOCGSERIAL/TIOCSSERIAL as ftdi_sio has them: ASYNC_LOW_LATENCY sets its latency timer
    // to 1 ms (otherwise 16 ms). Without `serialInfo` the request goes to the pseudo-terminal,
    // which refuses it.
    std::atomic<bool> serialInfo{false};
    std::atomic<int> serialFlags{0};
    bool LowLatency() const { return serialFlags & ASYNC_LOW_LATENCY; }
    // Runs on the waiting thread as it enters TIOCMIWAIT, before the kernel's snapshot of the
    // counters: a change made here falls into the window between the last look and the wait.
    std::function<void()> onEntry;
    // Runs after each reading of the counters.
    std::function<void()> onCount;

    void Fail(int error) {
        getError = error;
        waitError = error;
        Wake();
    }

    int Ioctl(unsigned long request, void* arg) {
        switch (request) {
            case TIOCMGET:
                if (getError) return Error(getError);
                if (failingGets > 0) {
                    --failingGets;
                    return Error(EIO);
                }
                *static_cast<int*>(arg) = Bits();
                return 0;
            case TIOCMBIS:
            case TIOCMBIC: {
                std::lock_guard lock(mutex_);
                const int v = *static_cast<int*>(arg);
                bits_ = request == TIOCMBIS ? bits_ | v : bits_ & ~v;
                return 0;
            }
            case TIOCGICOUNT: {
                if (countError) return Error(countError);
                {
                    std::lock_guard lock(mutex_);
                    auto* ic = static_cast<serial_icounter_struct*>(arg);
                    *ic = {};
                    ic->cts = int(counters_.cts);
                    ic->dsr = int(counters_.dsr);
                    ic->dcd = int(counters_.dcd);
                }
                if (onCount) onCount();
                return 0;
            }
            case TIOCMIWAIT:
                return Wait(static_cast<int>(reinterpret_cast<std::uintptr_t>(arg)));
            case TIOCGSERIAL:
                if (!serialInfo) return -2;
                *static_cast<serial_struct*>(arg) = {};
                static_cast<serial_struct*>(arg)->flags = serialFlags;
                return 0;
            case TIOCSSERIAL:
                if (!serialInfo) return -2;
                serialFlags = static_cast<serial_struct*>(arg)->flags;
                return 0;
            default:
                return -2;  // not emulated
        }
    }

private:
    struct Counters {
        unsigned cts = 0, dsr = 0, dcd = 0;
    };
    static int Error(int e) {
        errno = e;
        return -1;
    }
    void Wake() {
        const char c = 1;
        [[maybe_unused]] auto r = write(pipe_[1], &c, 1);
    }
    // As the kernel does it: the counters of the watched lines are taken when the wait is
    // entered, and only a change after that ends it; a signal ends it with EINTR.
    int Wait(int watched) {
        ++waits;
        if (waitError) return Error(waitError);
        waiter = pthread_self();
        waiterTid = gettid();
        if (onEntry) {
            auto hook = std::move(onEntry);
            onEntry = nullptr;
            hook();
        }
        const Counters snapshot = Snapshot();
        inWait = true;
        for (;;) {
            pollfd p{pipe_[0], POLLIN, 0};
            const int r = poll(&p, 1, -1);
            const int e = errno;
            if (r < 0) {
                inWait = false;
                if (e == EINTR) {
                    ++interrupted;
                    if (onInterrupted) {
                        auto hook = std::move(onInterrupted);
                        onInterrupted = nullptr;
                        hook();
                    }
                }
                return Error(e);
            }
            char buffer[64];
            while (read(pipe_[0], buffer, sizeof buffer) > 0) {
            }
            if (waitError) {
                inWait = false;
                return Error(waitError);
            }
            const Counters c = Snapshot();
            if (((watched & TIOCM_CTS) && c.cts != snapshot.cts) ||
                ((watched & TIOCM_DSR) && c.dsr != snapshot.dsr) ||
                ((watched & TIOCM_CAR) && c.dcd != snapshot.dcd)) {
                inWait = false;
                if (signalBeatsNextWake.exchange(false)) {
                    ++interrupted;
                    return Error(EINTR);
                }
                return 0;
            }
        }
    }
    void Count(int changed) {
        if (changed & TIOCM_CTS) ++counters_.cts;
        if (changed & TIOCM_DSR) ++counters_.dsr;
        if (changed & TIOCM_CAR) ++counters_.dcd;
    }
    Counters Snapshot() {
        std::lock_guard lock(mutex_);
        return counters_;
    }

    std::mutex mutex_;
    int bits_ = 0;
    int packetStatus_ = 0;
    Counters counters_;
    int pipe_[2] = {-1, -1};
};

// The real system, except that the machine's own serial ports are never opened, an open can be
// refused on purpose, and descriptors opened on an emulated path get emulated modem lines.
class TestSystem : public SerialSystem {
public:
    int openError = 0;
    std::map<QString, ModemLines*> emulated;  // canonical device path -> its lines
    std::optional<gid_t> deviceGroup;         // the group every device seems to belong to
    std::optional<termios2> lastTermios;      // the last settings written to a device
    int flockError = 0;                       // every lock is refused with this errno
    std::vector<unsigned long> requests;      // every ioctl request, in order
    int closes = 0;

    bool procMissing = false;  // no /proc/self/task/<tid>/syscall
    // A thread in an emulated TIOCMIWAIT shows there as the kernel would show it.
    bool TaskSyscall(pid_t tid, std::string& text) override {
        if (procMissing) return false;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [fd, lines] : lines_)
                if (lines->inWait && lines->waiterTid == tid) {
                    char buffer[96];
                    std::snprintf(buffer, sizeof buffer, "%ld 0x%x 0x%lx 0x0 0x0 0x0 0x0 0x0 0x0\n",
                                  long(SYS_ioctl), unsigned(fd), static_cast<unsigned long>(TIOCMIWAIT));
                    text = buffer;
                    return true;
                }
        }
        return SerialSystem::TaskSyscall(tid, text);
    }
    int wakeTimerError = 0;  // the re-check timer cannot be set up
    int WakeMeAfter(long us) override {
        if (wakeTimerError && us != 0) {
            errno = wakeTimerError;
            return -1;
        }
        return SerialSystem::WakeMeAfter(us);
    }

    int Flock(int fd, int operation) override {
        if (flockError) {
            errno = flockError;
            return -1;
        }
        return SerialSystem::Flock(fd, operation);
    }

    std::set<QString> charDevices;  // device nodes that seem to exist (never opened)
    QString sysfsRoot = QStringLiteral("/nonexistent/vz-sysfs");
    int opens = 0;

    QString SysfsRoot() override { return sysfsRoot; }

    int Stat(const char* path, struct stat* st) override {
        if (charDevices.count(QString::fromLocal8Bit(path))) {
            *st = {};
            st->st_mode = S_IFCHR | 0660;
            st->st_gid = deviceGroup.value_or(20);
            return 0;
        }
        const int r = SerialSystem::Stat(path, st);
        if (r == 0 && deviceGroup) st->st_gid = *deviceGroup;
        return r;
    }

    int Open(const char* path, int flags) override {
        const QString canonical = QFileInfo(QString::fromLocal8Bit(path)).canonicalFilePath();
        if (QString::fromLocal8Bit(path).startsWith(QStringLiteral("/dev/ttyS")) ||
            canonical.startsWith(QStringLiteral("/dev/ttyS"))) {
            ADD_FAILURE() << "a test tried to open " << path;
            errno = EACCES;
            return -1;
        }
        ++opens;
        if (openError) {
            errno = openError;
            return -1;
        }
        const int fd = SerialSystem::Open(path, flags);
        std::lock_guard lock(mutex_);
        if (fd >= 0) {
            auto it = emulated.find(canonical);
            if (it != emulated.end()) lines_[fd] = it->second;
        }
        return fd;
    }
    int Close(int fd) override {
        {
            std::lock_guard lock(mutex_);
            lines_.erase(fd);
            ++closes;
        }
        return SerialSystem::Close(fd);
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        ModemLines* lines = nullptr;
        {
            std::lock_guard lock(mutex_);
            auto it = lines_.find(fd);
            if (it != lines_.end()) lines = it->second;
        }
        {
            std::lock_guard lock(mutex_);
            requests.push_back(request);
            if (request == TCSETS2) lastTermios = *static_cast<const termios2*>(arg);
        }
        if (lines) {
            const int r = lines->Ioctl(request, arg);
            if (r != -2) return r;
        }
        return SerialSystem::Ioctl(fd, request, arg);
    }

private:
    std::mutex mutex_;
    std::map<int, ModemLines*> lines_;
};
