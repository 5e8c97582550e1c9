// The least a running clock can cost: a window the size of the main form whose only work is a
// 10 ms timer, and, in the other modes, the display's own digits repainted the way the running
// clock repaints them. bench/cpu_running.sh measures it beside the program, in the same run, so the
// program's figure can be read against what the toolkit and the X server cost on their own.
//
// usage: paint_floor timer|digit|row
//   timer  the timer alone, nothing drawn
//   digit  one digit set to the next figure every tick (what the hundredths cost)
//   row    the clock's seven digits set from the running time every tick
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdio>
#include <cstring>

#include "platform/application.h"
#include "widgets/digit.h"

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    const bool timerOnly = !std::strcmp(mode, "timer");
    const bool row = !std::strcmp(mode, "row");
    if (!timerOnly && !row && std::strcmp(mode, "digit")) {
        std::fputs("usage: paint_floor timer|digit|row\n", stderr);
        return 2;
    }
    PreferSocketImageTransfer();
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("paint_floor"));
    window.resize(792, 394);
    QWidget panel(&window);
    panel.setGeometry(8, 40, 452, 111);
    std::array<TDigit*, 7> digits{};
    const std::array<int, 7> x{8, 88, 136, 216, 264, 344, 392};
    for (std::size_t i = 0; i < digits.size(); ++i) {
        digits[i] = new TDigit(&panel);
        digits[i]->setGeometry(x[i], 11, 45, 89);
        digits[i]->SetThickness(5);
        digits[i]->SetColorOn(clYellow);
    }
    window.show();

    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (timerOnly) return;
        const qint64 hundredths = clock.elapsed() / 10;
        if (!row) {
            digits[6]->SetValue(int(hundredths % 10));
            return;
        }
        // h, mm, ss, hh as the display lays them out.
        const qint64 s = hundredths / 100;
        const std::array<qint64, 7> v{s / 3600 % 10, s / 60 % 60 / 10, s / 60 % 10, s % 60 / 10,
                                      s % 10,        hundredths % 100 / 10, hundredths % 10};
        for (std::size_t i = 0; i < digits.size(); ++i)
            digits[i]->SetValue(int(v[i]));
    });
    tick.start();
    return QApplication::exec();
}
