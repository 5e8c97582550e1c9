// 20,000 finishers through the real LAP command on an offscreen window with a manual clock:
// the cost of one lap around rows 1,000, 10,000 and 20,000, one paint of the grid at 20,000 rows,
// and the process's peak resident memory.
#include <sys/resource.h>

#include <QPainter>
#include <QPixmap>
#include <chrono>
#include <cstdio>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "bench/benchsupport.h"
#include "tests/support/scripteddialogs.h"
#include "platform/tickcounter.h"

namespace {
using Clock = std::chrono::steady_clock;
double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}
}  // namespace

int main(int argc, char** argv) {
    BenchEnvironment env(argc, argv);
    ScopedDialogs dialogs;
    dialogs.defaultConfirm = true;
    ScopedManualClock clock(1000);
    for (bool shown : {true, false}) {
        std::printf("%s\n", shown ? "window shown (each lap repaints the display row and the grid):"
                                  : "window hidden (the lap's own work, no painting):");
        TFormMain form;
        if (shown) form.show();
        QApplication::processEvents();
        form.mStart->Click();
        const int marks[] = {1000, 10000, 20000};
        constexpr int kWindow = 200;  // laps measured around each mark
        for (int mark : marks) {
            while (form.Race().LapCount() < mark - kWindow) {
                clock.Advance(37);
                form.mLAP->Click();
            }
            const auto t0 = Clock::now();
            for (int i = 0; i < kWindow; ++i) {
                clock.Advance(37);
                form.mLAP->Click();
            }
            std::printf("lap at row %5d: %7.1f us per lap\n", mark,
                        Micros(Clock::now() - t0) / kWindow);
        }
        if (!shown) continue;
        QApplication::processEvents();
        QPixmap pm(form.SortGrid1->viewport()->size());
        const auto t0 = Clock::now();
        constexpr int kPaints = 50;
        for (int i = 0; i < kPaints; ++i)
            form.SortGrid1->viewport()->render(&pm);
        std::printf("paint of the grid at %d rows: %.1f us\n", form.SortGrid1->RowCount() - 1,
                    Micros(Clock::now() - t0) / kPaints);
    }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("peak resident memory: %.1f MB\n", double(ru.ru_maxrss) / 1024.0);
    return 0;
}
