// The photocell end to end, on emulated serial drivers and the fake device (never on the
// machine's serial ports). Prints three tables:
//  1. tick error and edge-to-row latency of the modem-wait path with the main thread busy 0, 20,
//     100 and 500 ms per event, idle and loaded, including edges placed in the wait's entry
//     window (between the worker's last look and the kernel's snapshot); the worker's wake
//     latency (edge to the return of the wait);
//  2. the polled path: the share of 1, 2 and 3 ms pulses caught, idle and loaded; and the CPU an
//     open, quiet port costs on either path;
//  3. a bounce storm through the real window: the DSR line toggling every 100 us for 10 s with
//     algorithm "With Split" while the clock runs: the longest stall of the event loop, the peak
//     memory and the rows recorded.
// The producers never wait for the worker: edges come on their own schedule, so lost edges show.
// "Loaded" runs 2 busy threads per core beside the program.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "bench/benchsupport.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/scripteddialogs.h"
#include "platform/serialsystem.h"
#include "platform/tickcounter.h"
#include "platform/ttimer.h"
#include "serial/comport.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

void SleepUntilNs(std::int64_t t) {
    // steady_clock is CLOCK_MONOTONIC here.
    struct timespec ts {};
    ts.tv_sec = time_t(t / 1'000'000'000);
    ts.tv_nsec = long(t % 1'000'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

void BusyFor(std::chrono::milliseconds ms) {
    const auto end = Clock::now() + ms;
    while (Clock::now() < end) {
    }
}

// Two spinning threads per core, for the "loaded" runs.
class Load {
public:
    explicit Load(bool on) {
        if (!on) return;
        const unsigned n = 2 * std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i)
            threads_.emplace_back([this] {
                volatile std::uint64_t x = 0;
                while (!stop_)
                    x = x + 1;
            });
    }
    ~Load() {
        stop_ = true;
        for (auto& t : threads_)
            t.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// A serial driver behind a pseudo-terminal: modem lines with counters and a TIOCMIWAIT that
// snapshots the counters on entry, like the kernel's; or (polled) a driver with neither, whose
// DSR level follows a pulse schedule in real time.
class EmulatedDriver : public SerialSystem {
public:
    explicit EmulatedDriver(bool polled) : polled_(polled) {
        if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) std::abort();
    }
    ~EmulatedDriver() override {
        close(pipe_[0]);
        close(pipe_[1]);
    }

    int deviceFd = -1;

    // Modem-wait driver: the producer's edge, now.
    void Toggle() {
        {
            std::lock_guard lock(mutex_);
            bits_ ^= TIOCM_DSR;
            ++dsr_;
            lastEdgeNs_ = NowNs();
        }
        const char c = 1;
        [[maybe_unused]] auto r = write(pipe_[1], &c, 1);
    }
    // The next entry into the wait makes the edge inside its window.
    std::atomic<bool> edgeInWindow{false};
    std::atomic<std::int64_t> windowEdgeNs{0};
    std::atomic<std::uint32_t> windowEdgeTick{0};

    // Polled driver: DSR is on during [start + k * period, start + k * period + width).
    std::int64_t pulseStart = 0, pulsePeriod = 0, pulseWidth = 0;
    int pulseCount = 0;

    // Wake latency: edge to the return of the wait that it woke.
    std::vector<double> wakeLatencyUs;

    int Open(const char* path, int flags) override {
        const int fd = SerialSystem::Open(path, flags);
        if (fd >= 0 && deviceFd < 0) deviceFd = fd;
        return fd;
    }
    int Close(int fd) override {
        if (fd == deviceFd) deviceFd = -1;
        return SerialSystem::Close(fd);
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (fd != deviceFd) return SerialSystem::Ioctl(fd, request, arg);
        switch (request) {
            case TIOCMGET:
                *static_cast<int*>(arg) = polled_ ? PolledBits() : Bits();
                return 0;
            case TIOCMBIS:
            case TIOCMBIC:
                return 0;
            case TIOCGICOUNT: {
                if (polled_) return Fail(ENOTTY);
                std::lock_guard lock(mutex_);
                auto* ic = static_cast<serial_icounter_struct*>(arg);
                *ic = {};
                ic->dsr = int(dsr_);
                return 0;
            }
            case TIOCMIWAIT:
                if (polled_) return Fail(EINVAL);
                return Wait();
            default:
                return SerialSystem::Ioctl(fd, request, arg);
        }
    }

private:
    static int Fail(int e) {
        errno = e;
        return -1;
    }
    int Bits() {
        std::lock_guard lock(mutex_);
        return bits_;
    }
    int PolledBits() const {
        const std::int64_t t = NowNs() - pulseStart;
        if (t < 0 || pulsePeriod == 0) return 0;
        const std::int64_t k = t / pulsePeriod;
        return k < pulseCount && t - k * pulsePeriod < pulseWidth ? TIOCM_DSR : 0;
    }
    int Wait() {
        if (edgeInWindow.exchange(false)) {
            // After the worker's look, before the snapshot: the wait does not wake for it.
            windowEdgeTick = GetTickCount();
            windowEdgeNs = NowNs();
            std::lock_guard lock(mutex_);
            bits_ ^= TIOCM_DSR;
            ++dsr_;
        }
        std::uint32_t snapshot;
        {
            std::lock_guard lock(mutex_);
            snapshot = dsr_;
        }
        for (;;) {
            pollfd p{pipe_[0], POLLIN, 0};
            if (poll(&p, 1, -1) < 0) return -1;  // EINTR: the re-check or the stop
            char buffer[64];
            while (read(pipe_[0], buffer, sizeof buffer) > 0) {
            }
            std::lock_guard lock(mutex_);
            if (dsr_ != snapshot) {
                wakeLatencyUs.push_back(double(NowNs() - lastEdgeNs_) / 1000.0);
                return 0;
            }
        }
    }

    const bool polled_;
    int pipe_[2] = {-1, -1};
    std::mutex mutex_;
    int bits_ = 0;
    std::uint32_t dsr_ = 0;
    std::int64_t lastEdgeNs_ = 0;
};

struct Stats {
    double avg = 0, max = 0;
};
Stats Summary(const std::vector<double>& v) {
    Stats s;
    for (double x : v) {
        s.avg += x;
        s.max = std::max(s.max, x);
    }
    if (!v.empty()) s.avg /= double(v.size());
    return s;
}

std::unique_ptr<TComPort> PhotocellPort(std::unique_ptr<SerialDevice> device) {
    auto port = std::make_unique<TComPort>(nullptr, std::move(device));
    port->SetDataBits(5);
    port->SetEvents({TEvent::evDSR});
    port->SetReadBufSize(64);
    port->SetWriteBufSize(64);
    port->SetPort(3);
    return port;
}

void LinkCom3(const QString& target) {
    const QString entry = ProgramConfigDir() + QStringLiteral("/ports/COM3");
    QFile::remove(entry);
    QFile::link(target, entry);
}

struct Pty {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    Pty() {
        grantpt(master);
        unlockpt(master);
    }
    ~Pty() { close(master); }
    QString Slave() const { return QString::fromLocal8Bit(ptsname(master)); }
};

// 1. Tick error and edge-to-row latency.
void EdgeToRow() {
    std::printf(
        "1. Modem-wait path: 16 edges 30 ms apart, every 4th in the wait's entry window\n"
        "   load    busy/event  tick error avg/max (ms)  window-edge tick error max (ms)  "
        "edge-to-row avg/max (ms)  lost  wake latency avg/max (us)\n");
    for (bool loaded : {false, true}) {
        for (int busy : {0, 20, 100, 500}) {
            Pty pty;
            LinkCom3(pty.Slave());
            EmulatedDriver driver(false);
            auto port = PhotocellPort(CreateSerialDevice(driver));
            struct Row {
                std::uint32_t tick;
                std::int64_t at;
            };
            std::vector<Row> rows;
            rows.reserve(64);
            port->OnDSR = [&](TComPort*, const TLineEvent& e) {
                rows.push_back({e.tick, NowNs()});
                BusyFor(std::chrono::milliseconds(busy));
            };
            port->Open();
            Load load(loaded);
            constexpr int kEdges = 16;
            std::vector<std::uint32_t> edgeTick(kEdges);
            std::vector<std::int64_t> edgeNs(kEdges);
            std::vector<bool> inWindow(kEdges);
            std::atomic<bool> done{false};
            std::thread producer([&] {
                std::int64_t t = NowNs() + 50'000'000;
                for (int i = 0; i < kEdges; ++i, t += 30'000'000) {
                    SleepUntilNs(t);
                    inWindow[i] = i % 4 == 3;
                    if (inWindow[i]) {
                        driver.windowEdgeNs = 0;
                        driver.edgeInWindow = true;
                        // The edge happens at the worker's next entry into the wait.
                        while (driver.windowEdgeNs == 0)
                            std::this_thread::sleep_for(std::chrono::microseconds(50));
                        edgeTick[i] = driver.windowEdgeTick;
                        edgeNs[i] = driver.windowEdgeNs;
                    } else {
                        edgeTick[i] = GetTickCount();
                        edgeNs[i] = NowNs();
                        driver.Toggle();
                    }
                }
                done = true;
            });
            const std::int64_t until = NowNs() + 50'000'000 + kEdges * 30'000'000LL +
                                       std::int64_t(kEdges) * busy * 1'000'000 + 300'000'000;
            while (NowNs() < until && !(done && int(rows.size()) >= kEdges)) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            producer.join();
            port->Close();
            std::vector<double> err, windowErr, latency;
            const int n = std::min<int>(kEdges, int(rows.size()));
            for (int i = 0; i < n; ++i) {
                const double e = std::abs(double(std::int32_t(rows[i].tick - edgeTick[i])));
                err.push_back(e);
                if (inWindow[i]) windowErr.push_back(e);
                latency.push_back(double(rows[i].at - edgeNs[i]) / 1e6);
            }
            const Stats se = Summary(err), sw = Summary(windowErr), sl = Summary(latency),
                        sk = Summary(driver.wakeLatencyUs);
            std::printf(
                "   %-7s %4d ms     %6.2f / %5.1f              %5.1f                           "
                "%7.1f / %7.1f        %3d   %7.1f / %8.1f\n",
                loaded ? "loaded" : "idle", busy, se.avg, se.max, sw.max, sl.avg, sl.max,
                kEdges - int(rows.size()), sk.avg, sk.max);
        }
    }
}

double ProcessCpuSeconds() {
    struct timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// 2. The polled path.
void PolledPulses() {
    std::printf(
        "\n2. Polled path (no TIOCMIWAIT, no counters): 200 pulses 20 ms apart per width\n"
        "   load    width  caught\n");
    for (bool loaded : {false, true}) {
        for (int widthUs : {1000, 2000, 3000}) {
            Pty pty;
            LinkCom3(pty.Slave());
            EmulatedDriver driver(true);
            auto port = PhotocellPort(CreateSerialDevice(driver));
            int rising = 0;
            port->OnDSR = [&](TComPort*, const TLineEvent& e) {
                if (e.modemStatus & MS_DSR_ON) ++rising;
            };
            constexpr int kPulses = 200;
            driver.pulseStart = NowNs() + 100'000'000;
            driver.pulsePeriod = 20'000'000;
            driver.pulseWidth = std::int64_t(widthUs) * 1000;
            driver.pulseCount = kPulses;
            port->Open();
            Load load(loaded);
            const std::int64_t until =
                driver.pulseStart + kPulses * driver.pulsePeriod + 100'000'000;
            while (NowNs() < until) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            QCoreApplication::processEvents();
            port->Close();
            std::printf("   %-7s %d ms   %3d / %d (%.1f %%)\n", loaded ? "loaded" : "idle",
                        widthUs / 1000, rising, kPulses, 100.0 * rising / kPulses);
        }
    }
    std::printf("   CPU of an open, quiet port (2 s, whole process):\n");
    for (bool polled : {true, false}) {
        Pty pty;
        LinkCom3(pty.Slave());
        EmulatedDriver driver(polled);
        auto port = PhotocellPort(CreateSerialDevice(driver));
        port->Open();
        const double c0 = ProcessCpuSeconds();
        const std::int64_t t0 = NowNs();
        SleepUntilNs(t0 + 2'000'000'000);
        const double cpu = ProcessCpuSeconds() - c0;
        const double wall = double(NowNs() - t0) / 1e9;
        port->Close();
        std::printf("   %-28s %.2f %% of one core\n",
                    polled ? "polled (2 kHz samples)" : "modem wait (4 ms re-check)",
                    100.0 * cpu / wall);
    }
}

long PeakRssKb() {
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// 3. The bounce storm through the window.
void BounceStorm() {
    std::printf(
        "\n3. Bounce storm: DSR toggling every 100 us for 10 s, algorithm \"With Split\"\n");
    ScopedDialogs dialogs;
    TFormMain form;
    form.show();
    auto fake = std::make_unique<FakeSerialDevice>();
    FakeSerialDevice* device = fake.get();
    form.ComPort->SetDevice(std::move(fake));
    form.ComPort->SetPort(3);
    form.ComPort->SetTag(2);
    form.ComPort->Open();
    device->WaitUntilIdle();
    form.mStart->Click();
    QCoreApplication::processEvents();
    const long rss0 = PeakRssKb();

    std::atomic<bool> done{false};
    long toggles = 0;
    std::thread producer([&] {
        std::int64_t t = NowNs() + 20'000'000;
        const std::int64_t end = t + 10'000'000'000LL;
        std::uint32_t level = 0;
        for (; t < end; t += 100'000) {
            SleepUntilNs(t);
            level ^= MS_DSR_ON;
            device->SetModemStatus(level);
            ++toggles;
        }
        done = true;
    });
    // The event loop's pulse: a 1 ms timer; its longest gap is the longest stall.
    QElapsedTimer since;
    since.start();
    qint64 last = 0, worst = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(1);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = since.nsecsElapsed();
        if (last) worst = std::max(worst, now - last);
        last = now;
    });
    beat.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done) loop.quit();
    });
    poll.start();
    loop.exec();
    producer.join();
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    beat.stop();
    const std::uint32_t runMs = GetTickCount() - form.StartTick;
    std::printf(
        "   toggles %ld, longest event-loop stall %.1f ms, peak memory +%ld KiB "
        "(process peak %ld KiB), rows %d (lock-out bound: at most %u)\n",
        toggles, double(worst) / 1e6, PeakRssKb() - rss0, PeakRssKb(), form.LapCount,
        runMs / 10 + 1);
    // The lock-out: no two rows closer than 10 ms.
    form.mStop->Click();
    form.ComPort->Close();
}

}  // namespace

int main(int argc, char** argv) {
    BenchEnvironment env(argc, argv);
    const bool all = argc < 2;
    const QString which = all ? QString() : QString::fromLocal8Bit(argv[1]);
    if (all || which == "1") EdgeToRow();
    if (all || which == "2") PolledPulses();
    if (all || which == "3") BounceStorm();
    return 0;
}
