// Cost of one race-clock tick, including the repaint of the digits it changes, over a simulated
// hour of running time (360,000 ticks of 10 ms).
#include <benchmark/benchmark.h>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "bench/benchsupport.h"
#include "tests/support/scripteddialogs.h"
#include "platform/tickcounter.h"

namespace {

void BM_ClockTick(benchmark::State& state) {
    ScopedDialogs dialogs;
    dialogs.defaultConfirm = true;
    ScopedManualClock clock(5000);
    TFormMain form;
    form.show();
    QApplication::processEvents();
    form.mStart->Click();
    for (auto _ : state) {
        clock.Advance(10);
        form.ClockTimer();
    }
    state.SetLabel("simulated " + std::to_string(state.iterations() / 360000.0) + " h");
}
BENCHMARK(BM_ClockTick)->Iterations(360000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    BenchEnvironment env(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
