// Time from the export call to the finished document, with LibreOffice not yet running (it is
// started by the export) and already running; and, through the real window's W and X buttons,
// the longest time the window goes without repainting while an export runs with a cold, a warm
// and a stopped (SIGSTOP) office. Run by hand: build/bench/bench_office.
#include <benchmark/benchmark.h>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <csignal>
#include <cstdio>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "app/panel.h"
#include "bench/benchsupport.h"
#include "bench/officesample.h"
#include "output/excel.h"
#include "output/wordexport.h"
#include "platform/automationthread.h"
#include "platform/libreofficeautomation.h"
#include "tests/support/scripteddialogs.h"

namespace {
QTemporaryDir* g_dir = nullptr;
LibreOfficeAutomation* g_office = nullptr;
AutomationRef g_anchor;  // an open workbook keeps a save-mode export from ending the office

void EndOffice() {
    g_anchor.reset();
    g_office->TerminateOffice();
}

void EnsureOffice() {
    if (g_anchor) return;
    g_anchor = g_office->CreateObject(QStringLiteral("Excel.Application"))
                   ->Get(QStringLiteral("Workbooks"))
                   .ToObject()
                   ->Call(QStringLiteral("add"))
                   .ToObject();
}

void WordSave(benchmark::State& state, bool running) {
    const auto rows = SampleProtocol(static_cast<int>(state.range(0)));
    const QString target = g_dir->filePath(QStringLiteral("bench.doc"));
    for (auto _ : state) {
        state.PauseTiming();
        if (running)
            EnsureOffice();
        else
            EndOffice();
        QFile::remove(target);
        state.ResumeTiming();
        ConvertToWord(rows, BENCH_WORD_TEMPLATE, target, TWordMode::wmSave, *g_office);
        if (!QFile::exists(target)) state.SkipWithError("no document written");
    }
}

void Excel(benchmark::State& state, bool running) {
    const auto rows = SampleProtocol(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        if (running)
            EnsureOffice();
        else
            EndOffice();
        state.ResumeTiming();
        ConvertToExcel(rows, *g_office);
    }
}

void BM_WordSave_OfficeNotRunning(benchmark::State& s) {
    WordSave(s, false);
}
void BM_WordSave_OfficeRunning(benchmark::State& s) {
    WordSave(s, true);
}
void BM_Excel_OfficeNotRunning(benchmark::State& s) {
    Excel(s, false);
}
void BM_Excel_OfficeRunning(benchmark::State& s) {
    Excel(s, true);
}
}  // namespace

BENCHMARK(BM_WordSave_OfficeNotRunning)
    ->Arg(30)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_WordSave_OfficeRunning)
    ->Arg(30)
    ->Arg(300)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Excel_OfficeNotRunning)
    ->Arg(30)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Excel_OfficeRunning)
    ->Arg(30)
    ->Arg(300)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// --- the window during an export ---------------------------------------------------------
namespace {

LibreOfficeOptions g_options;

// Records the longest gap between two paints of a widget that is asked to repaint every 10 ms.
class PaintGaps : public QObject {
public:
    explicit PaintGaps(QWidget* widget) : widget_(widget) {
        widget_->installEventFilter(this);
        ticker_.setInterval(10);
        QObject::connect(&ticker_, &QTimer::timeout, widget_, [this] { widget_->update(); });
    }
    void Start() {
        longest_ = 0;
        clock_.start();
        last_ = 0;
        ticker_.start();
    }
    qint64 Stop() {
        ticker_.stop();
        return std::max(longest_, clock_.elapsed() - last_);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Paint && clock_.isValid()) {
            const qint64 now = clock_.elapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        }
        return false;
    }

private:
    QWidget* widget_;
    QTimer ticker_;
    QElapsedTimer clock_;
    qint64 last_ = 0, longest_ = 0;
};

enum class OfficeState { cold, warm, stopped };

// A window after a race of 30 finishers, its exports driven by a LibreOffice of its own.
struct RaceWindow {
    ScopedDialogs dialogs;  // the messages of a failed export are recorded, never shown
    TFormMain form;
    LibreOfficeAutomation* office = nullptr;
    RaceWindow() {
        auto automation = std::make_unique<LibreOfficeAutomation>(g_options);
        office = automation.get();
        form.SetAutomation(std::move(automation));
        form.show();
        form.mStart->Click();
        for (int i = 0; i < 30; ++i)
            form.mLAP->Click();
        form.mStop->Click();
    }
    void Run(std::function<void(LibreOfficeAutomation&)> job) {
        form.Exports().Post(
            [job](AutomationFactory& f) { job(static_cast<LibreOfficeAutomation&>(f)); }, {});
        form.WaitForExports();
    }
    void Prepare(OfficeState state) {
        // No office on the pipe: neither the one this window started nor the benchmark's own.
        Run([](LibreOfficeAutomation& o) { o.TerminateOffice(); });
        EndOffice();
        if (LibreOfficeAutomation::OfficePidOnPipe(g_options.pipeName) != 0)
            std::fprintf(stderr, "an office is still running\n");
        if (state == OfficeState::cold) return;
        Run([](LibreOfficeAutomation& o) {
            o.CreateObject(QStringLiteral("Excel.Application"))
                ->Get(QStringLiteral("Workbooks"))
                .ToObject()
                ->Call(QStringLiteral("add"));
        });
        if (state == OfficeState::stopped)
            ::kill(static_cast<pid_t>(-office->StartedOfficePid()), SIGSTOP);
    }
};

void WindowDuringExport(benchmark::State& state, bool word, OfficeState office) {
    RaceWindow window;
    PaintGaps gaps(window.form.PanelTimer);
    qint64 longest = 0, exportMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        window.Prepare(office);
        const qsizetype messages = window.dialogs.errors.size();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        gaps.Start();
        (word ? window.form.sbWord : window.form.sbExcel)->click();
        window.form.WaitForExports();
        longest = std::max(longest, gaps.Stop());
        exportMs = timer.elapsed();
        if (office == OfficeState::stopped && window.dialogs.errors.size() == messages)
            state.SkipWithError("the stopped office was not reported");
    }
    state.counters["longest_gap_ms"] = double(longest);
    state.counters["export_ms"] = double(exportMs);
    window.Run([](LibreOfficeAutomation& o) { o.TerminateOffice(); });
}

void BM_Window_Excel_Cold(benchmark::State& s) {
    WindowDuringExport(s, false, OfficeState::cold);
}
void BM_Window_Excel_Warm(benchmark::State& s) {
    WindowDuringExport(s, false, OfficeState::warm);
}
void BM_Window_Excel_Stopped(benchmark::State& s) {
    WindowDuringExport(s, false, OfficeState::stopped);
}
void BM_Window_Word_Cold(benchmark::State& s) {
    WindowDuringExport(s, true, OfficeState::cold);
}
void BM_Window_Word_Warm(benchmark::State& s) {
    WindowDuringExport(s, true, OfficeState::warm);
}
void BM_Window_Word_Stopped(benchmark::State& s) {
    WindowDuringExport(s, true, OfficeState::stopped);
}
}  // namespace

BENCHMARK(BM_Window_Excel_Cold)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Window_Excel_Warm)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Window_Excel_Stopped)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Window_Word_Cold)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Window_Word_Warm)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Window_Word_Stopped)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A race at whole seconds, for looking at: --render FOLDER writes sheet.pdf (the sheet as the
// Excel button fills it) and protocol.doc (the Word save) there.
void Render(LibreOfficeAutomation& office, const QString& folder) {
    std::vector<QStringList> rows = {
        {"Rang", "Nr.", "Time", "Split", "Km/h"},
        {"1.", "117", "1.20", "0", "41.5"},
        {"2.", QString::fromUtf8("Jörg \"Jö\""), "2.50", "1.30", "20.0"},
        {"3.", QString::fromUtf8("ä ö ß é"), "10.00", "8.40", "19,4"},
        {"4.", "1234567890", "10.05", "8.45", "5.5"},
        {"5.", "=1+2", "1:00.00", "58.40", "4.1"}};
    TExcel excel(office);
    excel.SetTextColumns({3, 4});  // as ConvertToExcel does
    if (!excel.Connect()) return;
    excel.NewWorkbook();
    for (const QStringList& row : rows) {
        excel.Values() = ExcelRowValues(row);
        excel.WriteLine();
    }
    excel.AutofitColumns();
    excel.ExcelApp()
        ->Get(QStringLiteral("ActiveWorkbook"))
        .ToObject()
        ->Call(QStringLiteral("SaveAs"), {folder + QStringLiteral("/sheet.pdf")});
    const TExportOutcome word =
        ConvertToWord(rows, BENCH_WORD_TEMPLATE, folder + QStringLiteral("/protocol.doc"),
                      TWordMode::wmSave, office);
    std::printf("%s\n", word.done ? "written" : qPrintable(word.error));
}

int main(int argc, char** argv) {
    BenchEnvironment env(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vz-office-XXXXXX"));
    g_dir = &dir;
    // The Word template beside the program, as installed.
    QFile::copy(BENCH_WORD_TEMPLATE, env.dir.filePath(QStringLiteral("vidazorov.doc")));
    LibreOfficeOptions options;
    options.pipeName = QStringLiteral("vz_bench_%1").arg(QCoreApplication::applicationPid());
    options.profileDir = dir.filePath(QStringLiteral("profile"));
    options.helperScript = BENCH_OFFICE_HELPER;
    options.headless = true;
    g_options = options;
    LibreOfficeAutomation office(options);
    g_office = &office;
    // The first start makes the profile, which a user's office already has: not measured.
    EnsureOffice();
    if (argc > 2 && QByteArray(argv[1]) == "--render") {
        Render(office, QString::fromLocal8Bit(argv[2]));
        EndOffice();
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    EndOffice();
    return 0;
}
