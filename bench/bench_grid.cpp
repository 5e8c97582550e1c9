// The protocol grid at race scale: appending finishers one at a time, painting, filtering.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>

#include "grid/sortgrid.h"

namespace {

// A grid set up as the protocol grid, shown offscreen at a typical size.
std::unique_ptr<TSortGrid> MakeProtocolGrid() {
    auto g = std::make_unique<TSortGrid>();
    g->SetDefaultColWidth(42);
    g->SetDefaultRowHeight(20);
    g->SetRowCount(2);
    g->SetOptions({TGridOption::goFixedVertLine, TGridOption::goFixedHorzLine, TGridOption::goVertLine,
                   TGridOption::goHorzLine, TGridOption::goDrawFocusSelected, TGridOption::goColSizing,
                   TGridOption::goEditing});
    g->SetScrollBars(TScrollStyle::ssVertical);
    g->SortOptions().CanSort = false;
    g->SetAlignmentHorz(TAlignment::taRightJustify);
    QFont f(QStringLiteral("Courier New"));
    f.setPixelSize(15);
    g->setFont(f);
    g->Rows(0) = QStringList{"Rang", "Nr.", "Time", "Split", "Km/h"};
    const int widths[] = {42, 52, 92, 92, 32};
    for (int c = 0; c < 5; ++c) g->SetColWidths(c, widths[c]);
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
    for (int r = 1; r <= rows; ++r) g.SetRow(r, RowFor(r));
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
BENCHMARK(BM_AppendRowAt)->Arg(1000)->Arg(10000)->Arg(20000)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// 20,000 laps from an empty protocol, one at a time (the whole race).
void BM_AppendTwentyThousand(benchmark::State& state) {
    for (auto _ : state) {
        auto g = MakeProtocolGrid();
        g->Clear();
        for (int n = 1; n <= 20000; ++n) AppendRow(*g, n);
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
    for (auto& f : g->RowFormats()) f.Active = true;
    for (int r = 1; r <= 20000; r += 3) g->SetCells(5, r, QStringLiteral("clMaroon,0,1,0,clSkyBlue"));
    g->OnGetCellFormat = [](TSortGrid*, int c, int, TGridDrawState, TFormatOptions& fo, bool& cb, bool&, bool&) {
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
    g->OnSetFilter = [](const QStringList& row, bool& accept) { accept = row.at(1).toInt() % 2 == 0; };
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
