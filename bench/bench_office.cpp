// Time from the export call to the finished document, with LibreOffice not yet running (it is
// started by the export) and already running. Run by hand: build/bench/bench_office.
#include <benchmark/benchmark.h>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include "bench/officesample.h"
#include "output/excel.h"
#include "output/wordexport.h"
#include "platform/libreofficeautomation.h"

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

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vz-office-XXXXXX"));
    g_dir = &dir;
    LibreOfficeOptions options;
    options.pipeName = QStringLiteral("vz_bench_%1").arg(QCoreApplication::applicationPid());
    options.profileDir = dir.filePath(QStringLiteral("profile"));
    options.helperScript = BENCH_OFFICE_HELPER;
    options.headless = true;
    LibreOfficeAutomation office(options);
    g_office = &office;
    // The first start makes the profile, which a user's office already has: not measured.
    EnsureOffice();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    EndOffice();
    return 0;
}
