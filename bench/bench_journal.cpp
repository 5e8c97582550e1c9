// The race journal's cost and promises:
// - the LAP command's time on the main thread, journal included, around row 20,000 (median, p99),
//   against the same without a journal;
// - the time from a lap until its line is synced to disk, on a quiet disk and while another
//   process writes to the same disk as fast as it can (the durability the README states);
// - the restore at start-up of a race of 20,000 laps, until its window is painted;
// - a race of 1,000,000 laps (VZ_BENCH_MILLION=1): journal written and restored, nothing lost.
#include <sys/resource.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "bench/benchsupport.h"
#include "journal/journalstore.h"
#include "journal/journalwriter.h"
#include "platform/tickcounter.h"
#include "tests/support/scripteddialogs.h"

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

// LAP by hand through the real command, measured on laps 20,000 to 22,000 of a race.
Stats LapCost(ManualTickSource& clock, bool journal) {
    if (!journal) SetJournalFileFactory(&MakeNoFile);
    TFormMain form;
    form.mStart->Click();
    while (form.Race().LapCount() < 20000) {
        clock.Advance(37);
        form.mLAP->Click();
    }
    std::vector<double> costs;
    for (int i = 0; i < 2000; ++i) {
        clock.Advance(37);
        form.cbStartN->setEditText(QString::number(i));
        const auto t0 = Clock::now();
        form.mLAP->Click();
        costs.push_back(Micros(Clock::now() - t0));
    }
    form.mStop->Click();
    SetJournalFileFactory(nullptr);
    return Summarise(costs);
}

// A lap every 20 ms for `laps` laps: how long until the worker has synced each.
Stats SyncDelay(const QString& dir, int laps) {
    JournalWriter w;
    const QString path = dir + QStringLiteral("/sync-probe.journal");
    QFile::remove(path);
    if (w.Create(path) != 0) return {0, 0, 0};
    std::vector<double> toDisk;
    for (int i = 0; i < laps; ++i) {
        JournalRecord r{"LAP"};
        r.Add("tick", std::uint32_t(i * 20)).Add("nr", QString::number(i));
        const auto t0 = Clock::now();
        w.Append(r);
        const std::uint64_t target = w.AppendedLines();
        while (w.SyncedLines() < target)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        toDisk.push_back(Micros(Clock::now() - t0) / 1000.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    w.Close();
    QFile::remove(path);
    return Summarise(toDisk);
}

// Another program writing to the same disk as fast as it can, syncing every 64 MB.
class WriteLoad {
public:
    explicit WriteLoad(const QString& dir) : path_(QFile::encodeName(dir + "/load.bin")) {
        thread_ = std::thread([this] {
            const std::vector<char> block(1 << 20, 'x');
            while (!stop_) {
                FILE* f = std::fopen(path_.constData(), "wb");
                if (!f) return;
                for (int i = 0; i < 64 && !stop_; ++i)
                    std::fwrite(block.data(), 1, block.size(), f);
                std::fflush(f);
                ::fsync(fileno(f));
                std::fclose(f);
            }
        });
    }
    ~WriteLoad() {
        stop_ = true;
        thread_.join();
        std::remove(path_.constData());
    }

private:
    QByteArray path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Times a race of `laps` laps into a journal, then restores it in a new window, painted.
void RaceAndRestore(ManualTickSource& clock, int laps, bool measureLaps) {
    QString path;
    QByteArray data;
    std::vector<QStringList> shownRows;
    {
        TFormMain form;
        form.mStart->Click();
        const auto t0 = Clock::now();
        for (int i = 0; i < laps; ++i) {
            clock.Advance(37);
            form.cbStartN->setEditText(QString::number(i % 1000));
            form.mLAP->Click();
        }
        if (measureLaps)
            std::printf("%d laps timed through LAP:            %7.1f s\n", laps,
                        Micros(Clock::now() - t0) / 1e6);
        path = form.JournalPath();
        for (int r : {1, laps / 2, laps})
            shownRows.push_back({form.SortGrid1->Cells(0, r), form.SortGrid1->Cells(1, r),
                                 form.SortGrid1->Cells(2, r), form.SortGrid1->Cells(3, r),
                                 form.SortGrid1->Cells(4, r)});
        // Closed with the clock running: the race is offered at the next start.
    }
    data = ReadAll(path);
    std::printf("journal of %d laps:                   %lld bytes (%.1f bytes per lap)\n", laps,
                static_cast<long long>(data.size()), double(data.size()) / laps);

    auto t0 = Clock::now();
    double c0 = CpuMs();
    const LoadedJournal j = LoadJournal(path);
    std::printf("read, check and replay %d laps:       %7.1f ms (CPU %.1f ms; %d events)\n", laps,
                Micros(Clock::now() - t0) / 1000.0, CpuMs() - c0, j.race.Events());
    TFormMain restored;
    restored.show();
    QApplication::processEvents();
    t0 = Clock::now();
    c0 = CpuMs();
    const bool ok = restored.OfferJournalRestore();
    // Painted as the operator first sees it.
    const QPixmap painted = restored.grab();
    std::printf("restore at start-up, window painted:  %7.1f ms (CPU %.1f ms; %s, %d laps)\n",
                Micros(Clock::now() - t0) / 1000.0, CpuMs() - c0, ok ? "restored" : "NOT restored",
                restored.Race().LapCount());
    int lost = 0;
    int k = 0;
    for (int r : {1, laps / 2, laps}) {
        const QStringList& want = shownRows[std::size_t(k++)];
        for (int c = 0; c < 5; ++c)
            if (restored.SortGrid1->Cells(c, r) != want[c]) ++lost;
    }
    std::printf("rows compared after the restore:      %s\n", lost == 0 ? "all equal" : "DIFFER");
    (void)painted;
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

    for (bool journal : {false, true}) {
        const Stats s = LapCost(clock, journal);
        std::printf("LAP at row 20,000 %-16s median %6.1f us, p99 %6.1f us, max %7.1f us\n",
                    journal ? "with journal:" : "without journal:", s.median, s.p99, s.max);
    }

    {
        const Stats quiet = SyncDelay(dir, 300);
        std::printf("lap to disk, quiet disk:     median %6.2f ms, p99 %6.2f ms, max %7.2f ms\n",
                    quiet.median, quiet.p99, quiet.max);
        WriteLoad load(dir);
        const Stats busy = SyncDelay(dir, 500);
        std::printf("lap to disk, under write load: median %6.2f ms, p99 %6.2f ms, max %7.2f ms\n",
                    busy.median, busy.p99, busy.max);
    }

    RaceAndRestore(clock, 20000, false);
    if (qEnvironmentVariableIntValue("VZ_BENCH_MILLION") != 0) RaceAndRestore(clock, 1000000, true);

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("peak resident memory: %.1f MB\n", double(ru.ru_maxrss) / 1024.0);
    return 0;
}
