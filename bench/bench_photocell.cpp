// The photocell end to end, on emulated serial drivers and the fake device (never on the
// machine's serial ports). Prints five tables:
//  1. the stamp error (the edge's tick as the window gets it, minus the tick of the moment the
//     line changed) of at least 600 edges per driver (serial_core, cdc-acm, the generic
//     usb-serial wait, ftdi_sio with its latency timer), idle and loaded: min, p50, p99, max;
//  2. the polled path: the share of 1, 2 and 3 ms pulses caught, idle and loaded;
//  3. the CPU an open, quiet port costs: the modem wait confirmed by the checker, the same wait
//     re-checked by the timer (the way it was watched before, and the fallback where
//     /proc/self/task/<tid>/syscall cannot be read), and the polled path, in the same run;
//  4. a bounce storm through the real window: the DSR line toggling every 100 us for 10 s with
//     algorithm "With Split" while the clock runs: the longest stall of the event loop, the peak
//     memory and the rows recorded;
//  5. the stamp error at a race's pace with the live results page on, without pages and with
//     300 pages connected.
// The producers never wait for the worker: edges come on their own schedule, so lost edges show.
// "lost" counts edges the driver saw that no event stands for; "merged", edges found in one look
// together with others and passed on as that look's first edge of each level and its last
// (a late look, when the machine held the watch); "unseen", pulses ftdi_sio itself never saw.
// "Loaded" runs 2 busy threads per core beside the program. Without real-time priority (for
// example `capsh --drop=cap_sys_nice -- -c "prlimit --rtprio=0 build/bench/bench_photocell 1"`)
// the figures show what an ordinary thread gets.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "bench/benchsupport.h"
#include "live/liveserver.h"
#include "live/livesnapshot.h"
#include "race/timetext.h"
#include "tests/support/busythreads.h"
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

// A serial driver behind a pseudo-terminal, in real time. The modem-wait drivers keep counters
// and a TIOCMIWAIT that sleeps in a real, signal-interruptible poll() on a pipe, as their kernel
// functions do: serial_core's uart_wait_modem_status() and cdc-acm's wait_serial_change() look
// for a pending signal before the counters after a wake-up (cdc-acm compares with the counts it
// stored at its last check); the generic usb_serial_generic_tiocmiwait() checks the condition
// first; ftdi_sio reads the level live and counts a line only when a status packet (one per
// latency-timer interval: 1 ms with ASYNC_LOW_LATENCY, else 16 ms) differs from the one before.
// The worker shows in /proc/self/task/<tid>/syscall as sitting in TIOCMIWAIT while it does. The
// polled driver has neither counters nor the wait; its DSR level follows a pulse schedule.
class EmulatedDriver : public SerialSystem {
public:
    enum class Kind { SerialCore, CdcAcm, UsbSerial, FtdiSio, Polled };

    explicit EmulatedDriver(Kind kind) : kind_(kind) {
        if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) std::abort();
        if (kind_ == Kind::FtdiSio)
            packets_ = std::thread([this] {
                struct sched_param param {};  // the chip's own clock
                param.sched_priority = 30;
                pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
                std::int64_t t = NowNs();
                while (!stop_) {
                    t += (serialFlags_ & ASYNC_LOW_LATENCY) ? 1'000'000 : 16'000'000;
                    SleepUntil(t);
                    Packet();
                }
            });
    }
    ~EmulatedDriver() override {
        stop_ = true;
        if (packets_.joinable()) packets_.join();
        close(pipe_[0]);
        close(pipe_[1]);
    }

    int deviceFd = -1;
    bool hideSyscalls = false;  // the checker cannot see the worker: the re-check timer works

    // The photocell's edge, now.
    void Toggle() {
        {
            std::lock_guard lock(mutex_);
            bits_ ^= TIOCM_DSR;
            if (kind_ == Kind::FtdiSio) {  // counted by the next packet, if it sees a change
                pending_.push_back(toggles_++);
                return;
            }
            seen_.push_back(toggles_++);
            ++dsr_;
        }
        Wake();
    }

    // The edges (by their index in the order they came) the driver saw: all of them, but on
    // ftdi_sio a pulse that begins and ends between two status packets never shows, and of
    // several edges between two packets the packet shows one change: the earliest edge to the
    // level it reads stands for them.
    std::vector<std::size_t> SeenEdges() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

    // Polled driver: DSR is on during [start + k * period, start + k * period + width).
    std::int64_t pulseStart = 0, pulsePeriod = 0, pulseWidth = 0;
    int pulseCount = 0;

    int Open(const char* path, int flags) override {
        const int fd = SerialSystem::Open(path, flags);
        if (fd >= 0 && deviceFd < 0) deviceFd = fd;
        return fd;
    }
    int Close(int fd) override {
        if (fd == deviceFd) deviceFd = -1;
        return SerialSystem::Close(fd);
    }
    int InterruptThread(pthread_t thread) override {
        {
            std::lock_guard lock(mutex_);
            if (waiting_ && pthread_equal(thread, waiter_)) signalled_ = true;
        }
        return SerialSystem::InterruptThread(thread);
    }
    bool TaskSyscall(pid_t tid, std::string& text) override {
        if (hideSyscalls) return false;
        std::lock_guard lock(mutex_);
        if (waiting_ && tid == waiterTid_) {
            char buffer[96];
            std::snprintf(buffer, sizeof buffer, "%ld 0x%x 0x%lx 0x0 0x0 0x0 0x0 0x0 0x0\n",
                          long(SYS_ioctl), unsigned(deviceFd),
                          static_cast<unsigned long>(TIOCMIWAIT));
            text = buffer;
        } else {
            text = "running\n";
        }
        return true;
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (fd != deviceFd) return SerialSystem::Ioctl(fd, request, arg);
        const bool polled = kind_ == Kind::Polled;
        switch (request) {
            case TIOCMGET:
                *static_cast<int*>(arg) = polled ? PolledBits() : Bits();
                return 0;
            case TIOCMBIS:
            case TIOCMBIC:
                return 0;
            case TIOCGICOUNT: {
                if (polled) return Fail(ENOTTY);
                std::lock_guard lock(mutex_);
                auto* ic = static_cast<serial_icounter_struct*>(arg);
                *ic = {};
                ic->dsr = int(dsr_);
                return 0;
            }
            case TIOCGSERIAL:
                if (kind_ != Kind::FtdiSio) return SerialSystem::Ioctl(fd, request, arg);
                *static_cast<serial_struct*>(arg) = {};
                static_cast<serial_struct*>(arg)->flags = serialFlags_;
                return 0;
            case TIOCSSERIAL:
                if (kind_ != Kind::FtdiSio) return SerialSystem::Ioctl(fd, request, arg);
                serialFlags_ = static_cast<serial_struct*>(arg)->flags;
                return 0;
            case TIOCMIWAIT:
                if (polled) return Fail(EINVAL);
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
    static void SleepUntil(std::int64_t t) {
        struct timespec ts {};
        ts.tv_sec = time_t(t / 1'000'000'000);
        ts.tv_nsec = long(t % 1'000'000'000);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
    }
    void Wake() {
        const char c = 1;
        [[maybe_unused]] auto r = write(pipe_[1], &c, 1);
    }
    void Packet() {
        {
            std::lock_guard lock(mutex_);
            const bool status = bits_ & TIOCM_DSR;
            std::vector<std::size_t> between;
            between.swap(pending_);
            if (status == packetStatus_) return;
            packetStatus_ = status;
            for (std::size_t i : between)  // edge i turns the line on when i is even
                if ((i % 2 == 0) == status) {
                    seen_.push_back(i);
                    break;
                }
            ++dsr_;
        }
        Wake();
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
        std::uint32_t cprev;
        const bool signalFirst = kind_ == Kind::SerialCore || kind_ == Kind::CdcAcm;
        {
            std::lock_guard lock(mutex_);
            if (kind_ == Kind::CdcAcm) {
                const std::uint32_t old = acmOld_;
                acmOld_ = dsr_;
                if (old != dsr_) return 0;
            }
            cprev = dsr_;
            waiting_ = true;
            signalled_ = false;
            waiter_ = pthread_self();
            waiterTid_ = gettid();
        }
        auto leave = [&](int r, int e) {
            std::lock_guard lock(mutex_);
            waiting_ = false;
            errno = e;
            return r;
        };
        for (;;) {
            pollfd p{pipe_[0], POLLIN, 0};
            const int r = poll(&p, 1, -1);
            char buffer[64];
            while (read(pipe_[0], buffer, sizeof buffer) > 0) {
            }
            std::lock_guard lock(mutex_);
            const bool changed = kind_ == Kind::CdcAcm ? acmOld_ != dsr_ : cprev != dsr_;
            const bool signal = r < 0 || signalled_;
            if (signalFirst && signal) {
                waiting_ = false;
                errno = EINTR;
                return -1;
            }
            if (changed) {
                if (kind_ == Kind::CdcAcm) acmOld_ = dsr_;
                waiting_ = false;
                return 0;
            }
            if (signal) {
                waiting_ = false;
                errno = EINTR;
                return -1;
            }
            if (kind_ == Kind::SerialCore) cprev = dsr_;
        }
        return leave(-1, EINTR);
    }

    const Kind kind_;
    int pipe_[2] = {-1, -1};
    std::mutex mutex_;
    int bits_ = 0;
    std::uint32_t dsr_ = 0;
    std::uint32_t acmOld_ = 0;
    bool packetStatus_ = false;
    std::size_t toggles_ = 0;
    std::vector<std::size_t> pending_, seen_;
    std::atomic<int> serialFlags_{0};
    bool waiting_ = false;
    bool signalled_ = false;
    pthread_t waiter_{};
    pid_t waiterTid_ = 0;
    std::atomic<bool> stop_{false};
    std::thread packets_;
};

const char* KindName(EmulatedDriver::Kind k) {
    switch (k) {
        case EmulatedDriver::Kind::SerialCore:
            return "serial_core";
        case EmulatedDriver::Kind::CdcAcm:
            return "cdc-acm";
        case EmulatedDriver::Kind::UsbSerial:
            return "usb-serial";
        case EmulatedDriver::Kind::FtdiSio:
            return "ftdi_sio (1 ms)";
        case EmulatedDriver::Kind::Polled:
            return "polled";
    }
    return "?";
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

// One run of 640 edges 2-12 ms apart on an emulated driver: each event's stamp against the tick
// of its edge, and how many edges never came. `onEvent` sees each event as the window would.
struct StampRun {
    std::vector<double> err;
    int lost = 0;    // edges the driver saw that never came as an event
    int merged = 0;  // edges within a millisecond of others, given as one event by design
    int unseen = 0;  // edges the driver itself never saw (short ftdi_sio pulses)
};
// Edges come 2 to 12 ms apart, or (race pace) as beam breaks of 40 ms about 300 ms apart, the
// 200 finishes a minute of a busy finish.
StampRun RunEdges(EmulatedDriver::Kind kind, bool loaded,
                  const std::function<void(const TLineEvent&)>& onEvent = {},
                  bool racePace = false) {
    Pty pty;
    LinkCom3(pty.Slave());
    EmulatedDriver driver(kind);
    auto port = PhotocellPort(CreateSerialDevice(driver));
    std::vector<TLineEvent> stamps;
    stamps.reserve(1024);
    port->OnDSR = [&](TComPort*, const TLineEvent& e) {
        stamps.push_back(e);
        if (onEvent) onEvent(e);
    };
    port->Open();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // low latency set
    BusyThreads load(loaded ? 2 : 0);  // two spinning threads per core when loaded
    const int kEdges = racePace ? 240 : 640;
    std::vector<std::uint32_t> edges(static_cast<std::size_t>(kEdges), 0u);
    std::atomic<bool> done{false};
    std::thread producer([&] {
        // The photocell is hardware: it keeps its schedule whatever the machine does.
        struct sched_param param {};
        param.sched_priority = 30;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        std::mt19937 rng(unsigned(kEdges) + unsigned(kind) * 2 + loaded);
        std::uniform_int_distribution<std::int64_t> gap(2'000'000, 12'000'000);
        std::uniform_int_distribution<std::int64_t> between(150'000'000, 450'000'000);
        auto next = [&](int i) -> std::int64_t {
            if (!racePace) return gap(rng);
            return i % 2 == 0 ? 40'000'000 : between(rng);  // broken 40 ms, then the next skier
        };
        std::int64_t t = NowNs() + 20'000'000;
        for (int i = 0; i < kEdges; ++i, t += next(i - 1)) {
            SleepUntilNs(t);
            edges[i] = GetTickCount();
            driver.Toggle();
        }
        done = true;
    });
    while (!done || int(stamps.size()) < kEdges) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            QCoreApplication::processEvents();
            break;
        }
    }
    producer.join();
    port->Close();
    // Each event against the next edge the driver saw to its level (edge i goes on when i is
    // even). Edges the driver never saw are the hardware's loss, not the program's, and pairing
    // events with them would shift every later event onto the wrong edge.
    // Several edges the watch finds in one look share its tick; of those, the port passes on
    // the first of each level and the last (the rest cannot change a row): the last event of
    // such a tick stands for every edge up to it.
    const std::vector<std::size_t> seen = driver.SeenEdges();
    StampRun run;
    std::size_t next = 0;
    for (std::size_t k = 0; k < stamps.size(); ++k) {
        const TLineEvent& e = stamps[k];
        const std::size_t parity = (e.modemStatus & MS_DSR_ON) ? 0 : 1;
        while (next < seen.size() && seen[next] % 2 != parity)
            ++next;
        if (next >= seen.size()) break;
        const bool lastOfTick = k + 1 == stamps.size() || stamps[k + 1].tick != e.tick;
        if (lastOfTick && k > 0 && stamps[k - 1].tick == e.tick)
            while (next + 2 < seen.size() && TickDiff(e.tick, edges[seen[next + 2]]) >= 0) {
                next += 2;
                run.merged += 2;
            }
        run.err.push_back(double(TickDiff(e.tick, edges[seen[next]])));
        ++next;
    }
    run.lost = int(seen.size()) - int(run.err.size()) - run.merged;
    run.unseen = kEdges - int(seen.size());
    return run;
}

void PrintRun(const char* driver, const char* load, const StampRun& r) {
    const auto [lo, hi] = std::minmax_element(r.err.begin(), r.err.end());
    std::printf("   %-17s %-7s %5.0f %5.0f %5.0f %5.0f %13d %7d %7d\n", driver, load,
                r.err.empty() ? 0 : *lo, Percentile(r.err, 0.5), Percentile(r.err, 0.99),
                r.err.empty() ? 0 : *hi, r.lost, r.merged, r.unseen);
}

// 1. The stamp error per driver.
void StampErrors() {
    std::printf(
        "1. Stamp error (the tick the window gets minus the tick of the edge), 640 edges 2-12 ms "
        "apart per case\n"
        "   driver            load     min   p50   p99   max (ms)   lost  merged  unseen\n");
    using Kind = EmulatedDriver::Kind;
    for (Kind kind : {Kind::SerialCore, Kind::CdcAcm, Kind::UsbSerial, Kind::FtdiSio})
        for (bool loaded : {false, true})
            PrintRun(KindName(kind), loaded ? "loaded" : "idle", RunEdges(kind, loaded));
}

// 5. The same at a race's pace with the live results page on: every event publishes the list,
// once with no page open and once with 300 pages connected (a process of their own, from
// bench_live).
void StampErrorsWithPages() {
    std::printf("5. Stamp error with the live page on: 120 beam breaks of 40 ms at 200 a minute, every "
                "event publishing the list\n"
                "   driver            pages    min   p50   p99   max (ms)   lost  merged  unseen\n");
    LiveServer server;
    if (const QString problem = server.Start(0, true); !problem.isEmpty()) {
        std::printf("   the live page did not start: %s\n", qPrintable(problem));
        return;
    }
    auto snapshot = std::make_shared<LiveSnapshot>();
    snapshot->state = LiveSnapshot::State::Running;
    snapshot->header = TRace::DefaultHeader();
    auto publish = [&](const TLineEvent& e) {
        auto s = std::make_shared<LiveSnapshot>(*snapshot);
        s->rows.push_back(LiveRow{{RankText(int(s->rows.size()) + 1), QString(),
                                   TimeToText(TRaceTime(e.tick % 100000), 2), QStringLiteral("0,00"),
                                   QStringLiteral("19.5")},
                                  false,
                                  {}});
        s->newest = int(s->rows.size()) - 1;
        s->takenWallMs = QDateTime::currentMSecsSinceEpoch();
        snapshot = s;
        server.Publish(s);
    };
    using Kind = EmulatedDriver::Kind;
    for (Kind kind : {Kind::SerialCore, Kind::FtdiSio})
        PrintRun(KindName(kind), "0", RunEdges(kind, false, publish, true));
    QProcess pages;
    pages.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    pages.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_live"),
                {"--serve-pages", QString::number(server.Port()), "--pages", "300"});
    QByteArray said;
    while (!said.contains("connected\n") && pages.waitForReadyRead(60000))
        said += pages.readAll();
    if (!said.contains("connected\n")) {
        std::printf("   the 300 pages did not connect\n");
        return;
    }
    for (Kind kind : {Kind::SerialCore, Kind::FtdiSio})
        PrintRun(KindName(kind), "300", RunEdges(kind, false, publish, true));
    std::printf("   (the server had %d pages open at the end)\n", server.CurrentStats().pages);
    pages.closeWriteChannel();
    pages.kill();
    pages.waitForFinished(10000);
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
            EmulatedDriver driver(EmulatedDriver::Kind::Polled);
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
            BusyThreads load(loaded ? 2 : 0);  // two spinning threads per core when loaded
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
}

// 3. The quiet port, three ways in the same run.
void QuietPortCpu() {
    std::printf("\n3. CPU of an open, quiet port (4 s each, whole process)\n");
    struct Way {
        const char* name;
        EmulatedDriver::Kind kind;
        bool hide;
    };
    const Way ways[] = {
        {"modem wait, re-check timer every 3 ms (before; was 4 ms)",
         EmulatedDriver::Kind::SerialCore, true},
        {"modem wait, confirmed once by the checker (after)", EmulatedDriver::Kind::SerialCore,
         false},
        {"polled (2 kHz samples)", EmulatedDriver::Kind::Polled, false},
    };
    for (const Way& way : ways) {
        Pty pty;
        LinkCom3(pty.Slave());
        EmulatedDriver driver(way.kind);
        driver.hideSyscalls = way.hide;
        auto port = PhotocellPort(CreateSerialDevice(driver));
        port->Open();
        SleepUntilNs(NowNs() + 200'000'000);
        const double c0 = ProcessCpuSeconds();
        const std::int64_t t0 = NowNs();
        SleepUntilNs(t0 + 4'000'000'000);
        const double cpu = ProcessCpuSeconds() - c0;
        const double wall = double(NowNs() - t0) / 1e9;
        port->Close();
        std::printf("   %-58s %.3f %% of one core\n", way.name, 100.0 * cpu / wall);
    }
}

long PeakRssKb() {
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// 4. The bounce storm through the window.
void BounceStorm() {
    std::printf(
        "\n4. Bounce storm: DSR toggling every 100 us for 10 s, algorithm \"With Split\"\n");
    ScopedDialogs dialogs;
    TFormMain form;
    form.show();
    auto fake = std::make_unique<FakeSerialDevice>();
    FakeSerialDevice* device = fake.get();
    form.ComPort->SetDevice(std::move(fake));
    form.ComPort->SetPort(3);
    RaceSettings settings = form.Race().Settings();
    settings.algorithm = 2;
    form.SetRaceSettings(settings);
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
    const std::uint32_t runMs = GetTickCount() - form.Race().StartTick();
    std::printf(
        "   toggles %ld, longest event-loop stall %.1f ms, peak memory +%ld KiB "
        "(process peak %ld KiB), rows %d (lock-out bound: at most %u)\n",
        toggles, double(worst) / 1e6, PeakRssKb() - rss0, PeakRssKb(), form.Race().LapCount(),
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
    if (all || which == "1") StampErrors();
    if (all || which == "2") PolledPulses();
    if (all || which == "3") QuietPortCpu();
    if (all || which == "4") BounceStorm();
    if (all || which == "5") StampErrorsWithPages();
    return 0;
}
