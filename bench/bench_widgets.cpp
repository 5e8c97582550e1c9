// Painting and text costs of the display widgets, so regressions in the paths the race clock
// hits (run buttons recoloured at every command, the LED switched by the photocell, the
// distance edit's key filter) show up as numbers.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>

#include "widgets/bitbtnwithcolor.h"
#include "widgets/floatkeyfilter.h"
#include "widgets/led.h"

namespace {

void BM_LedPaint(benchmark::State& state) {
    TLed led;
    led.SetValue(true);
    QImage target(16, 16, QImage::Format_RGB32);
    for (auto _ : state) {
        led.SetKind(led.Kind() == TLedKind::lkRed ? TLedKind::lkGreen : TLedKind::lkRed);
        led.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_LedPaint);

void BM_ButtonRecolourAndPaint(benchmark::State& state) {
    TBitBtnWithColor button;
    button.resize(75, 25);
    button.setText(QStringLiteral("LAP 12"));
    QFont f = button.font();
    f.setBold(true);
    button.setFont(f);
    QImage target(75, 25, QImage::Format_RGB32);
    bool yellow = false;
    for (auto _ : state) {
        yellow = !yellow;
        button.SetColor(yellow ? clYellow : clBtnFace);
        button.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_ButtonRecolourAndPaint);

void BM_ButtonWithGlyphPaint(benchmark::State& state) {
    TBitBtnWithColor button;
    button.resize(75, 25);
    button.SetKind(TBitBtnWithColorKind::bkOK);
    QImage target(75, 25, QImage::Format_RGB32);
    for (auto _ : state) {
        button.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_ButtonWithGlyphPaint);

void BM_FloatKeyDecision(benchmark::State& state) {
    TFloatKeyInput in;
    in.text = QStringLiteral("42,19");
    in.selStart = 5;
    in.key = QLatin1Char('5');
    in.digits = 3;
    in.decimalChar = QLatin1Char(',');
    for (auto _ : state)
        benchmark::DoNotOptimize(DecideFloatKey(in));
}
BENCHMARK(BM_FloatKeyDecision);

void BM_FloatToText(benchmark::State& state) {
    Extended v = 42.195L;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FloatToText(v, 3, QLatin1Char(',')));
        v += 0.5L;
    }
}
BENCHMARK(BM_FloatToText);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
