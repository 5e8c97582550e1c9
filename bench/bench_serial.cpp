// Photocell timing through the real event thread and dispatch:
//  - BM_TimestampError: how far the tick a callback reports lies from the tick of the edge, with
//    the main thread busy 0, 20 or 100 ms per event (and, for comparison, how late the callback
//    itself runs, which is what a finish time read in the callback would be off by);
//  - BM_RaceBursts: ten simulated minutes at 200 impulses per minute in bursts of five impulses
//    50 ms apart, time compressed, every edge checked for loss and for its tick;
//  - BM_IdleThreadCpu: CPU used by the event thread of an open port that sees nothing.
// Runs on the fake device and on pseudo-terminals; never on the machine's serial ports.
#include <asm/termbits.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/support/fakeserialdevice.h"
#include "platform/programpaths.h"
#include "platform/serialsystem.h"
#include "platform/tickcounter.h"
#include "serial/comport.h"

using namespace std::chrono;

namespace {

struct Seen {
    std::uint32_t eventTick;  // what the port says
    std::uint32_t runTick;    // when the callback actually ran
    std::uint32_t status;
};

std::unique_ptr<TComPort> PhotocellPort(FakeSerialDevice*& fake) {
    auto device = std::make_unique<FakeSerialDevice>();
    fake = device.get();
    auto port = std::make_unique<TComPort>(nullptr, std::move(device));
    port->SetDataBits(5);
    port->SetEvents({TEvent::evDSR});
    port->SetReadBufSize(64);
    port->SetWriteBufSize(64);
    return port;
}

void BusyFor(milliseconds ms) {
    const auto end = steady_clock::now() + ms;
    while (steady_clock::now() < end) {
    }
}

void BM_TimestampError(benchmark::State& state) {
    const auto busy = milliseconds(state.range(0));
    constexpr int kEdges = 20;
    constexpr auto kSpacing = milliseconds(30);
    double errSum = 0, errMax = 0, lateSum = 0, lateMax = 0;
    int lost = 0;
    for (auto _ : state) {
        FakeSerialDevice* fake = nullptr;
        auto port = PhotocellPort(fake);
        std::vector<Seen> seen;
        port->OnDSR = [&](TComPort*, const TLineEvent& e) {
            seen.push_back({e.tick, GetTickCount(), e.modemStatus});
            BusyFor(busy);
        };
        port->Open();
        fake->WaitUntilIdle();
        std::vector<std::uint32_t> injected;
        std::atomic<bool> done{false};
        std::thread photocell([&] {
            for (int i = 0; i < kEdges; ++i) {
                injected.push_back(GetTickCount());
                fake->SetModemStatus(i % 2 == 0 ? MS_DSR_ON : 0);
                std::this_thread::sleep_for(kSpacing);
            }
            done = true;
        });
        while (!done || seen.size() < std::size_t(kEdges)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (done && seen.size() < std::size_t(kEdges)) {
                fake->WaitUntilIdle();
                QCoreApplication::processEvents();
                break;
            }
        }
        photocell.join();
        port->Close();
        lost += kEdges - int(seen.size());
        for (std::size_t i = 0; i < seen.size() && i < injected.size(); ++i) {
            const double err = std::abs(TickDiff(seen[i].eventTick, injected[i]));
            const double late = TickDiff(seen[i].runTick, injected[i]);
            errSum += err;
            errMax = std::max(errMax, err);
            lateSum += late;
            lateMax = std::max(lateMax, late);
        }
    }
    const double n = double(state.iterations()) * kEdges;
    state.counters["err_mean_ms"] = errSum / n;
    state.counters["err_max_ms"] = errMax;
    state.counters["callback_late_mean_ms"] = lateSum / n;
    state.counters["callback_late_max_ms"] = lateMax;
    state.counters["lost"] = lost;
}
BENCHMARK(BM_TimestampError)
    ->Arg(0)
    ->Arg(20)
    ->Arg(100)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Simulated time runs on a manual clock; real time is the simulated time divided by `scale`.
// The photocell thread sets the clock to each edge's simulated time, switches the line and waits
// until the worker has taken it (on real hardware the worker is woken within microseconds);
// the main thread spends `busy` real milliseconds in every callback, so bursts pile up.
void BM_RaceBursts(benchmark::State& state) {
    const int scale = int(state.range(0));
    const auto busy = microseconds(state.range(1));
    constexpr int kMinutes = 10, kPerMinute = 200, kBurst = 5;
    constexpr std::uint32_t kGapMs = 50, kPulseMs = 20;
    constexpr std::uint32_t kBurstPeriodMs = 60000 * kBurst / kPerMinute;  // 1500 ms
    constexpr int kBursts = kMinutes * kPerMinute / kBurst;                // 400
    int impulses = 0, recordedOn = 0, recordedOff = 0, wrongTicks = 0, outOfOrder = 0;
    double maxBacklog = 0;
    for (auto _ : state) {
        ScopedManualClock clock(0);
        FakeSerialDevice* fake = nullptr;
        auto port = PhotocellPort(fake);
        std::vector<Seen> seen;
        port->OnDSR = [&](TComPort*, const TLineEvent& e) {
            seen.push_back({e.tick, 0, e.modemStatus});
            std::this_thread::sleep_for(busy);
        };
        port->Open();
        fake->WaitUntilIdle();

        struct Edge {
            std::uint32_t tick;
            std::uint32_t status;
        };
        std::vector<Edge> edges;
        for (int b = 0; b < kBursts; ++b)
            for (int i = 0; i < kBurst; ++i) {
                const std::uint32_t on = 1000 + b * kBurstPeriodMs + i * kGapMs;
                edges.push_back({on, MS_DSR_ON});
                edges.push_back({on + kPulseMs, 0});
            }
        std::atomic<std::size_t> injected{0};
        const auto start = steady_clock::now();
        std::thread photocell([&] {
            for (const Edge& e : edges) {
                std::this_thread::sleep_until(start +
                                              microseconds(std::int64_t(e.tick) * 1000 / scale));
                clock.Set(e.tick);
                fake->SetModemStatus(e.status);
                fake->WaitUntilIdle();
                ++injected;
            }
        });
        while (injected < edges.size() || seen.size() < edges.size()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            maxBacklog = std::max(maxBacklog, double(injected) - double(seen.size()));
            if (injected == edges.size() && seen.size() < edges.size()) {
                QCoreApplication::processEvents();
                if (seen.size() < edges.size()) break;
            }
        }
        photocell.join();
        port->Close();
        impulses += int(edges.size() / 2);
        for (std::size_t i = 0; i < seen.size(); ++i) {
            (seen[i].status & MS_DSR_ON ? recordedOn : recordedOff)++;
            if (i < edges.size() && seen[i].eventTick != edges[i].tick) ++wrongTicks;
            if (i > 0 && TickDiff(seen[i].eventTick, seen[i - 1].eventTick) < 0) ++outOfOrder;
        }
    }
    state.counters["impulses"] = impulses;
    state.counters["recorded_on"] = recordedOn;
    state.counters["recorded_off"] = recordedOff;
    state.counters["lost"] = impulses - std::min(recordedOn, recordedOff);
    state.counters["wrong_ticks"] = wrongTicks;
    state.counters["out_of_order"] = outOfOrder;
    state.counters["max_backlog"] = maxBacklog;
}
BENCHMARK(BM_RaceBursts)
    ->Args({25, 5000})  // 1/25 of real time, main thread busy 5 ms (125 simulated ms) per event
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A seam that gives a pseudo-terminal the modem lines of a serial driver: a constant DSR, and
// either no TIOCMIWAIT (as cp210x: the 1 ms poll) or a TIOCMIWAIT that sleeps until the stop
// signal interrupts it, like the real one on a quiet line.
class QuietLineSystem : public SerialSystem {
public:
    explicit QuietLineSystem(bool modemWait) : modemWait_(modemWait) {
        if (pipe2(pipe_, O_CLOEXEC) != 0) std::abort();  // nothing to measure without it
    }
    ~QuietLineSystem() override {
        close(pipe_[0]);
        close(pipe_[1]);
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (request == TIOCMGET) {
            *static_cast<int*>(arg) = TIOCM_DSR;
            return 0;
        }
        if (request == TIOCMIWAIT) {
            if (!modemWait_) {
                errno = EINVAL;
                return -1;
            }
            pollfd p{pipe_[0], POLLIN, 0};
            return poll(&p, 1, -1);  // only a signal ends it (EINTR)
        }
        if (request == TIOCGICOUNT) {
            errno = ENOTTY;
            return -1;
        }
        return SerialSystem::Ioctl(fd, request, arg);
    }

private:
    bool modemWait_;
    int pipe_[2] = {-1, -1};
};

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Arg: 0 a bare pseudo-terminal (no modem lines: the thread waits for the stop only),
// 1 a driver without TIOCMIWAIT (polled every millisecond), 2 a driver with TIOCMIWAIT.
void BM_IdleThreadCpu(benchmark::State& state) {
    const int kind = int(state.range(0));
    const double seconds = qEnvironmentVariableIsSet("VZ_BENCH_IDLE_SECONDS")
                               ? qEnvironmentVariable("VZ_BENCH_IDLE_SECONDS").toDouble()
                               : 10.0;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    const QString ports = ProgramConfigDir() + QStringLiteral("/ports");
    QDir().mkpath(ports);
    QFile::remove(ports + QStringLiteral("/COM3"));
    QFile::link(QString::fromLocal8Bit(ptsname(master)), ports + QStringLiteral("/COM3"));

    QuietLineSystem system(kind == 2);
    double cpu = 0;
    for (auto _ : state) {
        TComPort port(nullptr, kind == 0 ? CreateSerialDevice() : CreateSerialDevice(system));
        port.SetPort(3);
        port.SetDataBits(5);
        port.SetEvents({TEvent::evDSR});
        port.Open();
        std::this_thread::sleep_for(100ms);  // settled in its wait
        const double before = ProcessCpuMs();
        std::this_thread::sleep_for(duration<double>(seconds));
        cpu = ProcessCpuMs() - before;
        port.Close();
    }
    close(master);
    state.counters["span_s"] = seconds;
    state.counters["cpu_ms"] = cpu;
    state.counters["cpu_percent_of_core"] = cpu / (seconds * 10.0);
}
BENCHMARK(BM_IdleThreadCpu)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // A private ports folder: the benchmark names its own devices.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
