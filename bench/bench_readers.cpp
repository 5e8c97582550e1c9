// Reading files of pathological shape: two million columns in one row, one cell of 10 MB, ninety
// thousand lines with a stray quote on every other one, and files just within the
// limits of what is read. Each is timed for the pure
// reader (bytes to protocol data) and for the grid's open (file to grid), one pass each.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "grid/protocolfile.h"
#include "grid/sortgrid.h"

namespace {

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = Dir().filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    return path;
}

const QByteArray kHead =
    "GenerelSettings,0\r\nFontColSettings\r\nFontRowSettings\r\nUserSettings\r\n";

QString ManyColumns() {
    QByteArray row;
    row.reserve(4'000'000);
    for (int i = 0; i < 2'000'000; ++i)
        row += i ? ",x" : "x";
    return Write("columns.txt", kHead + "-1\r\n" + row + "\r\n" + row + "\r\n");
}

// Within the size limit: one row of two million columns, 4 MB.
QString ManyColumnsOneRow() {
    QByteArray row;
    row.reserve(4'000'000);
    for (int i = 0; i < 2'000'000; ++i)
        row += i ? ",x" : "x";
    return Write("columns1.txt", kHead + "-1\r\n" + row + "\r\n");
}

QString BigCell() {
    return Write("cell.txt",
                 kHead + "-1\r\nRang,Nr.\r\n1.," + QByteArray(10'000'000, 'z') + "\r\n");
}

// Files just within the limits of what is read: the most cells a protocol may have, and one
// cell filling the largest file.
QString MostCells() {
    QByteArray rows = "Rang,Nr.,Time,Split,Km/h\r\n";
    for (int i = 1; i < 250'000 / 5; ++i)
        rows += QByteArray::number(i) + ".,100,\"25.00,31\",\"25.00,31\",\"101,3\"\r\n";
    return Write("cells.txt", kHead + "-1\r\n" + rows);
}

QString LargestCell() {
    return Write("largest.txt",
                 kHead + "-1\r\nRang,Nr.\r\n1.," + QByteArray(4 * 1024 * 1024 - 200, 'z') + "\r\n");
}

QString StrayQuotes() {
    QByteArray rows = "Rang,Nr.,Time\r\n";
    for (int i = 0; i < 90'000; ++i)
        rows += QByteArray::number(i) + (i % 2 ? ".,\"x" : ".,\"a b\",c") + "\r\n";
    return Write("quotes.txt", kHead + "-1\r\n" + rows);
}

void Parse(benchmark::State& state, const QString& path) {
    for (auto _ : state) {
        QString error;
        benchmark::DoNotOptimize(LoadProtocolFile(path, false, &error));
    }
}

void Open(benchmark::State& state, const QString& path) {
    TSortGrid grid;
    grid.SortOptions().CanSort = false;
    for (auto _ : state)
        benchmark::DoNotOptimize(grid.LoadFromFile(path, false));
    state.counters["cols"] = grid.ColCount();
    state.counters["rows"] = grid.RowCount();
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const QString columns = ManyColumns(), columns1 = ManyColumnsOneRow(), cell = BigCell(),
                  quotes = StrayQuotes(), cells = MostCells(), largest = LargestCell();
    for (const auto& [name, path] :
         {std::pair{"TwoMillionColumns", columns}, std::pair{"TwoMillionColumnsOneRow", columns1},
          std::pair{"TenMegabyteCell", cell}, std::pair{"StrayQuotes", quotes},
          std::pair{"MostCells", cells}, std::pair{"LargestCell", largest}}) {
        benchmark::RegisterBenchmark((std::string("Parse/") + name).c_str(), Parse, path)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Open/") + name).c_str(), Open, path)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
