// The race journal's cost: the main thread's time per lap through the real LAP command with and
// without the journal (median and 99th percentile), the time from a lap to its line being synced
// to disk, and the restore of a race of 20,000 laps with the size of its journal.
#include <sys/vfs.h>
#include <time.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "bench/benchsupport.h"
#include "journal/journalstore.h"
#include "journal/journalwriter.h"
#include "tests/support/scripteddialogs.h"
#include "platform/tickcounter.h"

namespace {
using Clock = std::chrono::steady_clock;
// CPU time of this thread: what the work costs, whatever else the machine is busy with.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}
double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

struct Stats {
    double median, p99, max;
};
Stats Summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)], v.back()};
}

// A journal that cannot be created: the program then times without one.
class NoFile : public JournalFile {
public:
    int Open(const QString&, bool) override { return EROFS; }
    int Write(const QByteArray&, qsizetype& written) override {
        written = 0;
        return EROFS;
    }
    int Sync() override { return 0; }
    void Close() override {}
};
std::unique_ptr<JournalFile> MakeNoFile() {
    return std::make_unique<NoFile>();
}

Stats LapCost(ManualTickSource& clock, bool journal, int laps) {
    if (!journal) SetJournalFileFactory(&MakeNoFile);
    TFormMain form;
    form.mStart->Click();
    std::vector<double> costs;
    costs.reserve(std::size_t(laps));
    for (int i = 0; i < laps; ++i) {
        clock.Advance(37);
        const auto t0 = Clock::now();
        form.mLAP->Click();
        costs.push_back(Micros(Clock::now() - t0));
    }
    form.mStop->Click();
    SetJournalFileFactory(nullptr);
    return Summarise(costs);
}

}  // namespace

int main(int argc, char** argv) {
    BenchEnvironment env(argc, argv);
    ScopedDialogs dialogs;
    dialogs.defaultConfirm = true;
    ScopedManualClock clock(1000);
    const QString dir = JournalDir();
    struct statfs fs {};
    QDir().mkpath(dir);
    statfs(QFile::encodeName(dir).constData(), &fs);
    std::printf("journal folder %s (filesystem type 0x%lx)\n", qPrintable(dir),
                static_cast<unsigned long>(fs.f_type));

    constexpr int kLaps = 5000;
    // Warm up once, then measure each way.
    LapCost(clock, true, 500);
    for (bool journal : {false, true}) {
        const Stats s = LapCost(clock, journal, kLaps);
        std::printf("LAP on the main thread %-16s median %6.1f us, p99 %6.1f us, max %7.1f us\n",
                    journal ? "with journal:" : "without journal:", s.median, s.p99, s.max);
    }

    // A lap every 20 ms: how long until the worker has synced it.
    {
        JournalWriter w;
        const QString path = dir + QStringLiteral("/sync-probe.journal");
        QFile::remove(path);
        if (w.Create(path) != 0) {
            std::printf("cannot create %s\n", qPrintable(path));
            return 1;
        }
        std::vector<double> toDisk, append;
        for (int i = 0; i < 300; ++i) {
            JournalRecord r{"LAP"};
            r.Add("row", i).Add("tick", std::uint32_t(i * 20));
            const auto t0 = Clock::now();
            w.Append(r);
            const auto t1 = Clock::now();
            const std::uint64_t target = w.AppendedLines();
            while (w.SyncedLines() < target)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            append.push_back(Micros(t1 - t0));
            toDisk.push_back(Micros(Clock::now() - t0) / 1000.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const Stats a = Summarise(append), d = Summarise(toDisk);
        std::printf("one record appended (format + write):  median %6.1f us, p99 %6.1f us\n",
                    a.median, a.p99);
        std::printf(
            "lap to its data synced (fdatasync):    median %6.2f ms, p99 %6.2f ms, max "
            "%6.2f ms\n",
            d.median, d.p99, d.max);
    }

    // A race of 20,000 laps, then the program dies and starts again.
    {
        auto form = std::make_unique<TFormMain>();
        form->mStart->Click();
        for (int i = 0; i < 20000; ++i) {
            clock.Advance(37);
            form->cbStartN->setEditText(QString::number(i % 1000));
            form->mLAP->Click();
        }
        const QString path = form->JournalPath();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray data = f.readAll();
        std::printf("journal of 20,000 laps: %lld bytes (%.1f bytes per lap)\n",
                    static_cast<long long>(data.size()), double(data.size()) / 20000.0);

        auto t0 = Clock::now();
        double c0 = CpuMs();
        const LoadedJournal j = LoadJournal(path);
        std::printf("read, check and replay 20,000 laps:   %7.1f ms (CPU %.1f ms; %d events)\n",
                    Micros(Clock::now() - t0) / 1000.0, CpuMs() - c0, j.race.Events());
        // Keep the journal unfinished: the window's clean exit would end it.
        form.reset();
        QFile back(path);
        back.open(QIODevice::WriteOnly | QIODevice::Truncate);
        back.write(data);
        back.close();
        TFormMain restored;
        t0 = Clock::now();
        c0 = CpuMs();
        const bool ok = restored.OfferJournalRestore();
        std::printf("restore at start-up, window included: %7.1f ms (CPU %.1f ms; %s, %d rows)\n",
                    Micros(Clock::now() - t0) / 1000.0, CpuMs() - c0,
                    ok ? "restored" : "NOT restored", restored.Race().LapCount());
    }
    return 0;
}
