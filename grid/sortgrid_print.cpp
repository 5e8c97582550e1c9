// Printing the sort grid: its cells, widths, heights and font as the page routine reads them.
#include "grid/sortgrid.h"

namespace {

class SortGridPrintSource : public GridPrintSource {
public:
    explicit SortGridPrintSource(const TSortGrid& grid) : grid_(grid) {}
    int ColCount() const override { return grid_.ColCount(); }
    int RowCount() const override { return grid_.RowCount(); }
    int ColWidth(int col) const override { return grid_.ColWidths(col); }
    int RowHeight(int row) const override { return grid_.RowHeights(row); }
    QString Cell(int col, int row) const override { return grid_.Cells(col, row); }
    QFont Font() const override { return grid_.font(); }

private:
    const TSortGrid& grid_;
};

}  // namespace

void TSortGrid::Print() {
    const SortGridPrintSource source(*this);
    PrintOnDefaultPrinter(this, source, printOptions_, pageCounter_, logicalDpiX(), logicalDpiY(),
                          [this] { SetFiltered(false); });
}

int TSortGrid::PrintPages(QPainter* Canvas, PrintMode Mode, int FromRow, int ToRow,
                          const PrintPageGeometry& Geometry, const std::function<void()>& NewPage) {
    const SortGridPrintSource source(*this);
    return ::PrintPages(Canvas, Mode, FromRow, ToRow, source, Geometry, printOptions_, pageCounter_,
                        NewPage);
}
