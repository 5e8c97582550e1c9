// The protocol grid at race scale: appending finishers one at a time, painting, filtering.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>
#include <random>

#include "grid/sortgrid.h"

namespace {

// A grid set up as the protocol grid, shown offscreen at a typical size.
std::unique_ptr<TSortGrid> MakeProtocolGrid() {
    auto g = std::make_unique<TSortGrid>();
    g->SetDefaultColWidth(42);
    g->SetDefaultRowHeight(20);
    g->SetRowCount(2);
    g->SetOptions({TGridOption::goFixedVertLine, TGridOption::goFixedHorzLine,
                   TGridOption::goVertLine, TGridOption::goHorzLine,
                   TGridOption::goDrawFocusSelected, TGridOption::goColSizing,
                   TGridOption::goEditing});
    g->SetScrollBars(TScrollStyle::ssVertical);
    g->SortOptions().CanSort = false;
    g->SetAlignmentHorz(TAlignment::taRightJustify);
    QFont f(QStringLiteral("Courier New"));
    f.setPixelSize(15);
    g->setFont(f);
    g->Rows(0) = QStringList{"Rang", "Nr.", "Time", "Split", "Km/h"};
    const int widths[] = {42, 52, 92, 92, 32};
    for (int c = 0; c < 5; ++c)
        g->SetColWidths(c, widths[c]);
    g->resize(340, 600);
    g->show();
    return g;
}

QStringList RowFor(int n) {
    return {QString::number(n) + ".", QString::number(100 + n % 900), QStringLiteral("2:10.05,27"),
            QStringLiteral("1.02,50"), QStringLiteral("19,5")};
}

// What one lap does to the grid: grow by a row when needed, write the row, select it and
// scroll it into view as the lowest visible row.
void AppendRow(TSortGrid& g, int n) {
    if (g.RowCount() <= n) g.SetRowCount(n + 1);
    g.SetRow(n, RowFor(n));
    g.SetSelection({0, n, 4, n});
    const int top = n - g.VisibleRowCount() + 1;
    if (top > g.TopRow()) g.SetTopRow(top);
}

void Prefill(TSortGrid& g, int rows) {
    g.BeginUpdate();
    g.SetRowCount(rows + 1);
    for (int r = 1; r <= rows; ++r)
        g.SetRow(r, RowFor(r));
    g.EndUpdate();
}

// µs per appended row once the protocol holds state.range(0) rows.
void BM_AppendRowAt(benchmark::State& state) {
    auto g = MakeProtocolGrid();
    int n = int(state.range(0));
    Prefill(*g, n - 1);
    for (auto _ : state) {
        AppendRow(*g, n);
        ++n;
    }
    state.counters["rows_at_end"] = n;
}
BENCHMARK(BM_AppendRowAt)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(20000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

// 20,000 laps from an empty protocol, one at a time (the whole race).
void BM_AppendTwentyThousand(benchmark::State& state) {
    for (auto _ : state) {
        auto g = MakeProtocolGrid();
        g->Clear();
        for (int n = 1; n <= 20000; ++n)
            AppendRow(*g, n);
        benchmark::DoNotOptimize(g->RowCount());
    }
}
BENCHMARK(BM_AppendTwentyThousand)->Iterations(1)->Unit(benchmark::kMillisecond);

// One full paint of the protocol grid showing its last page at 20,000 rows.
void BM_PaintAt20000(benchmark::State& state) {
    auto g = MakeProtocolGrid();
    Prefill(*g, 20000);
    g->SetTopRow(20000);
    QImage img(g->viewport()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&img);
        g->PaintCells(p, img.rect());
    }
}
BENCHMARK(BM_PaintAt20000)->Unit(benchmark::kMicrosecond);

// A full screen of formatted cells: bevels, check boxes, column and row formats, centred text.
void BM_PaintFormatted(benchmark::State& state) {
    auto g = MakeProtocolGrid();
    Prefill(*g, 20000);
    g->resize(800, 1000);
    g->SetBevelStyle(TCellBevelStyle::cbRaised);
    g->ColumnFormats()[2] = TFontSetting{clNavy, clCream, true, false, false, true};
    for (auto& f : g->RowFormats())
        f.Active = true;
    for (int r = 1; r <= 20000; r += 3)
        g->SetCells(5, r, QStringLiteral("clMaroon,0,1,0,clSkyBlue"));
    g->OnGetCellFormat = [](TSortGrid*, int c, int, TGridDrawState, TFormatOptions& fo, bool& cb,
                            bool&, bool&) {
        cb = c == 0;
        fo.AlignmentHorz = TAlignment::taCenter;
        fo.AlignmentVert = TVertAlignment::taMiddle;
    };
    g->SetTopRow(10000);
    QImage img(g->viewport()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&img);
        g->PaintCells(p, img.rect());
    }
}
BENCHMARK(BM_PaintFormatted)->Unit(benchmark::kMicrosecond);

// Switching a filter on (state.range(0) == 1) or off over 20,000 rows; half the rows pass.
void BM_Filter(benchmark::State& state) {
    auto g = MakeProtocolGrid();
    Prefill(*g, 20000);
    g->OnSetFilter = [](const QStringList& row, bool& accept) {
        accept = row.at(1).toInt() % 2 == 0;
    };
    const bool on = state.range(0) == 1;
    for (auto _ : state) {
        if (on) {
            g->SetFiltered(true);
            state.PauseTiming();
            g->SetFiltered(false);
            state.ResumeTiming();
        } else {
            state.PauseTiming();
            g->SetFiltered(true);
            state.ResumeTiming();
            g->SetFiltered(false);
        }
    }
}
BENCHMARK(BM_Filter)->Arg(1)->Arg(0)->Iterations(50)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// Sorting, saving and loading a protocol of 20,000 finishers through the grid itself.

QString RaceTime(int ms) {
    const int minutes = ms / 60000, seconds = ms / 1000 % 60, hundredths = ms / 10 % 100;
    return QStringLiteral("%1.%2,%3")
        .arg(minutes)
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(hundredths, 2, 10, QLatin1Char('0'));
}

// A sortable grid of 20,000 finishers in shuffled order; start numbers repeat, so a secondary key
// has ties to decide.
std::unique_ptr<TSortGrid> MakeRaceGrid() {
    auto g = MakeProtocolGrid();
    g->SortOptions().CanSort = true;
    std::mt19937 random(2026);
    std::vector<int> order(20000);
    for (int i = 0; i < 20000; ++i)
        order[size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), random);
    g->BeginUpdate();
    g->SetRowCount(20001);
    for (int r = 1; r <= 20000; ++r) {
        const int i = order[size_t(r - 1)];
        const int time = 25 * 60000 + i * 173 + int(random() % 97);
        g->SetRow(r, {QString::number(i + 1) + ".", QString::number(1 + random() % 2500),
                      RaceTime(time), RaceTime(time - 25 * 60000), QStringLiteral("19,5")});
    }
    g->EndUpdate();
    return g;
}

// Sorts by state.range(0) (1 start number, 2 time) with ssNumericExtended; range(1) == 1 adds the
// other of the two columns as secondary key. Every iteration starts from the shuffled order.
void BM_SortGrid(benchmark::State& state) {
    auto g = MakeRaceGrid();
    const int col = int(state.range(0));
    if (state.range(1) == 1) g->SortOptions().SecondaryIndex = QString::number(col == 1 ? 2 : 1);
    const QStringList lines = g->SaveToStrings(false);
    for (auto _ : state) {
        g->SortOptions().SortStyle = TSortStyle::ssNumericExtended;
        g->SortByColumn(col);
        state.PauseTiming();
        QStringList copy = lines;
        g->SortOptions().CanSort = false;
        g->LoadFromStrings(copy, false);
        g->SortOptions().CanSort = true;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SortGrid)
    ->ArgNames({"col", "secondary"})
    ->Args({2, 0})
    ->Args({1, 0})
    ->Args({2, 1})
    ->Args({1, 1})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

void BM_SaveGridToFile(benchmark::State& state) {
    auto g = MakeRaceGrid();
    QTemporaryDir dir;
    const QString name = dir.filePath("protocol.txt");
    for (auto _ : state)
        g->SaveToFile(name, false);
}
BENCHMARK(BM_SaveGridToFile)->Iterations(10)->Unit(benchmark::kMillisecond);

void BM_LoadGridFromFile(benchmark::State& state) {
    auto g = MakeRaceGrid();
    QTemporaryDir dir;
    const QString name = dir.filePath("protocol.txt");
    g->SaveToFile(name, false);
    g->SortOptions().CanSort = false;  // the protocol grid's setting: loading does not sort
    for (auto _ : state)
        g->LoadFromFile(name, false);
}
BENCHMARK(BM_LoadGridFromFile)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
