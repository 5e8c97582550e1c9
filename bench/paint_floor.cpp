// The least a running clock can cost: a window the size of the main form whose only work is a
// 10 ms timer, and, in the other modes, the display's own digits repainted the way the running
// clock repaints them. bench/cpu_running.sh measures it beside the program, in the same run, so the
// program's figure can be read against what the toolkit and the X server cost on their own.
//
// usage: paint_floor timer|digit|row|window
//   timer   the timer alone, nothing drawn
//   digit   one digit set to the next figure every tick (what the hundredths cost)
//   row     the clock's seven digits set from the running time every tick
//   window  the hundredths digit's pictures drawn straight into a window of their own, past the
//           widgets' repaint machinery: the toolkit's least path to the X server
#include <QApplication>
#include <QBackingStore>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <array>
#include <cstdio>
#include <cstring>

#include "platform/application.h"
#include "widgets/digit.h"

namespace {

// A native window painted by hand: begin, draw the changed rectangle, end, flush.
class DigitWindow : public QWindow {
public:
    std::array<QImage, 10> faces;
    int value = 0;

    void Draw() {
        if (!isExposed()) return;
        if (store_.size() != size()) store_.resize(size());
        const QRect r(QPoint(0, 0), faces[0].size());
        store_.beginPaint(r);
        {
            QPainter p(store_.paintDevice());
            p.drawImage(r.topLeft(), faces[std::size_t(value)]);
        }
        store_.endPaint();
        store_.flush(r);
    }

protected:
    void exposeEvent(QExposeEvent*) override { Draw(); }

private:
    QBackingStore store_{this};
};

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    const bool timerOnly = !std::strcmp(mode, "timer");
    const bool row = !std::strcmp(mode, "row");
    const bool ownWindow = !std::strcmp(mode, "window");
    if (!timerOnly && !row && !ownWindow && std::strcmp(mode, "digit")) {
        std::fputs("usage: paint_floor timer|digit|row|window\n", stderr);
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
    DigitWindow* own = nullptr;
    if (ownWindow) {
        // The faces are the real digit's pictures; the window takes the hundredths' place.
        own = new DigitWindow;
        for (int v = 0; v < 10; ++v) {
            digits[6]->SetValue(v);
            own->faces[std::size_t(v)] = digits[6]->grab().toImage();
        }
        QWidget* container = QWidget::createWindowContainer(own, &panel);
        container->setGeometry(digits[6]->geometry());
        digits[6]->hide();
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
        if (own) {
            const int v = int(hundredths % 10);
            if (v == own->value) return;
            own->value = v;
            own->Draw();
            return;
        }
        if (!row) {
            digits[6]->SetValue(int(hundredths % 10));
            return;
        }
        // h, mm, ss, hh as the display lays them out.
        const qint64 s = hundredths / 100;
        const std::array<qint64, 7> v{s / 3600 % 10,  s / 60 % 60 / 10, s / 60 % 10,
                                      s % 60 / 10,    s % 10,           hundredths % 100 / 10,
                                      hundredths % 10};
        for (std::size_t i = 0; i < digits.size(); ++i)
            digits[i]->SetValue(int(v[i]));
    });
    tick.start();
    return QApplication::exec();
}
