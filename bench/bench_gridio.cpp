// Protocol files, exports and sorting at the size of a big race: 20,000 finishers.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
#include <random>

#include "grid/gridsort.h"
#include "grid/htmlexport.h"
#include "grid/protocolfile.h"

namespace {

constexpr int kFinishers = 20000;

QString RaceTimeText(int ms) {
    const int hundredths = ms / 10 % 100;
    const int seconds = ms / 1000 % 60;
    const int minutes = ms / 60000 % 60;
    const int hours = ms / 3600000;
    const QString fraction = QStringLiteral(",%1").arg(hundredths, 2, 10, QLatin1Char('0'));
    if (hours > 0)
        return QStringLiteral("%1:%2.%3")
                   .arg(hours)
                   .arg(minutes, 2, 10, QLatin1Char('0'))
                   .arg(seconds, 2, 10, QLatin1Char('0')) +
               fraction;
    if (minutes > 0)
        return QStringLiteral("%1.%2").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0')) +
               fraction;
    return QString::number(seconds) + fraction;
}

// The protocol in finishing order, then shuffled so that sorting has work to do.
std::vector<QStringList> Rows(bool shuffled) {
    std::mt19937 random(2026);
    std::vector<QStringList> rows;
    rows.reserve(kFinishers + 1);
    rows.push_back({"Rang", "Nr.", "Time", "Split", "Km/h"});
    const int first = 25 * 60000 + 310;
    for (int i = 1; i <= kFinishers; ++i) {
        const int time = first + i * 173 + int(random() % 97);
        rows.push_back({QString::number(i) + ".", QString::number(1 + random() % 2500),
                        RaceTimeText(time), RaceTimeText(time - first),
                        QString::number(15000.0 / (time / 3600.0), 'f', 2).replace('.', ',')});
    }
    if (shuffled) std::shuffle(rows.begin() + 1, rows.end(), random);
    return rows;
}

ProtocolFileData Protocol() {
    ProtocolFileData data;
    data.columnFormatsFirst = false;
    data.columnFormats.assign(5, TFontSetting{});
    data.rowFormats.assign(kFinishers + 1, TFontSetting{});
    data.rows = Rows(false);
    return data;
}

void BM_SaveProtocol(benchmark::State& state) {
    const ProtocolFileData data = Protocol();
    QTemporaryDir dir;
    const QString name = dir.filePath("protocol.txt");
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveProtocolFile(name, data));
}
BENCHMARK(BM_SaveProtocol)->Unit(benchmark::kMillisecond);

void BM_LoadProtocol(benchmark::State& state) {
    QTemporaryDir dir;
    const QString name = dir.filePath("protocol.txt");
    SaveProtocolFile(name, Protocol());
    for (auto _ : state) {
        std::optional<ProtocolFileData> data = LoadProtocolFile(name, false);
        if (!data || data->RowCount() != kFinishers + 1) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(data);
    }
}
BENCHMARK(BM_LoadProtocol)->Unit(benchmark::kMillisecond);

void BM_SaveHtml(benchmark::State& state) {
    const std::vector<QStringList> rows = Rows(false);
    QTemporaryDir dir;
    const QString name = dir.filePath("protocol.html");
    HtmlPageInfo info;
    info.applicationTitle = QStringLiteral("Vidazorov-ZavEzazi");
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveHtmlFile(name, rows, info));
}
BENCHMARK(BM_SaveHtml)->Unit(benchmark::kMillisecond);

void BM_SaveSemicolonFile(benchmark::State& state) {
    const std::vector<QStringList> rows = Rows(false);
    QTemporaryDir dir;
    const QString name = dir.filePath("protocol.csv");
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveSemicolonFile(name, rows));
}
BENCHMARK(BM_SaveSemicolonFile)->Unit(benchmark::kMillisecond);

// Sorts the shuffled protocol by a column; the style as given, secondary keys optional.
void Sort(benchmark::State& state, int col, TSortStyle style, const QString& secondary,
          const std::vector<QStringList>& rows) {
    for (auto _ : state) {
        TSortOptions options;
        options.SortStyle = style;
        options.SecondaryIndex = secondary;
        benchmark::DoNotOptimize(SortRowOrder(
            col, 5, int(rows.size()), [&rows](int c, int r) { return rows[r][c]; }, options));
    }
}

void BM_SortTimeNumericExtended(benchmark::State& state) {
    Sort(state, 2, TSortStyle::ssNumericExtended, {}, Rows(true));
}
BENCHMARK(BM_SortTimeNumericExtended)->Unit(benchmark::kMillisecond);

void BM_SortStartNumberNumericExtended(benchmark::State& state) {
    Sort(state, 1, TSortStyle::ssNumericExtended, {}, Rows(true));
}
BENCHMARK(BM_SortStartNumberNumericExtended)->Unit(benchmark::kMillisecond);

void BM_SortStartNumberThenTimeNumericExtended(benchmark::State& state) {
    Sort(state, 1, TSortStyle::ssNumericExtended, QStringLiteral("2"), Rows(true));
}
BENCHMARK(BM_SortStartNumberThenTimeNumericExtended)->Unit(benchmark::kMillisecond);

void BM_SortTimeAutomatic(benchmark::State& state) {
    Sort(state, 2, TSortStyle::ssAutomatic, {}, Rows(true));
}
BENCHMARK(BM_SortTimeAutomatic)->Unit(benchmark::kMillisecond);

void BM_SortStartNumberAutomatic(benchmark::State& state) {
    Sort(state, 1, TSortStyle::ssAutomatic, {}, Rows(true));
}
BENCHMARK(BM_SortStartNumberAutomatic)->Unit(benchmark::kMillisecond);

// Times of day (regional time format), parsed once per row.
void BM_SortTimeOfDay(benchmark::State& state) {
    std::vector<QStringList> rows = Rows(true);
    std::mt19937 random(5);
    for (size_t r = 1; r < rows.size(); ++r)
        rows[r][3] = QStringLiteral("%1:%2:%3")
                         .arg(random() % 24, 2, 10, QLatin1Char('0'))
                         .arg(random() % 60, 2, 10, QLatin1Char('0'))
                         .arg(random() % 60, 2, 10, QLatin1Char('0'));
    Sort(state, 3, TSortStyle::ssTime, {}, rows);
}
BENCHMARK(BM_SortTimeOfDay)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
