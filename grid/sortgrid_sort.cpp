// Sorting the sort grid's data rows.
#include <algorithm>

#include "grid/gridsort.h"
#include "grid/sortgrid.h"

namespace {

// Clears the in-progress flag and ends the update also when a comparison throws, so that a
// failed sort does not leave the grid disabled and blank.
class SortScope {
public:
    SortScope(bool& sorting, TSortGrid* grid, TSortOptions& options)
        : sorting_(sorting), grid_(grid), options_(options) {
        sorting_ = true;
        grid_->BeginUpdate();
    }
    ~SortScope() {
        if (!sorting_) return;  // finished normally
        options_.SortCompare = nullptr;
        grid_->EndUpdate();
        sorting_ = false;
    }
    void Finish() { sorting_ = false; }
    SortScope(const SortScope&) = delete;
    SortScope& operator=(const SortScope&) = delete;

private:
    bool& sorting_;
    TSortGrid* grid_;
    TSortOptions& options_;
};

}  // namespace

void TSortGrid::SortByColumn(int ACol) {
    if (!sortOptions_.CanSort || sorting_) return;
    sortOptions_.SortCol = ACol;
    SortScope scope(sorting_, this, sortOptions_);
    if (OnBeginSort) {
        OnBeginSort(this, ACol);
        // The glyph belongs on the column actually sorted.
        sortOptions_.SortCol = ACol;
    }
    std::vector<int> selectedBefore(selectedRows_.begin(), selectedRows_.end());
    std::sort(selectedBefore.begin(), selectedBefore.end());

    const int rows = RowCount();
    GetSortStyleFunction getStyle;
    if (OnGetSortStyle)
        getStyle = [this](int col, TSortStyle& style) { OnGetSortStyle(this, col, style); };
    const std::vector<int> order = SortRowOrder(
        ACol, ColCount(), rows, [this](int c, int r) { return Cells(c, r); }, sortOptions_,
        getStyle);

    // Whole stored rows move, so cell objects and the hidden format cell go with their row.
    std::vector<std::unique_ptr<TStringSparseList>> taken(size_t(std::max(rows, 1)));
    for (int r = 1; r < rows; ++r)
        taken[size_t(r)] = TakeRowCells(r);
    for (int p = 1; p < rows; ++p)
        PutRowCells(p, std::move(taken[size_t(order[size_t(p)])]));

    // Row formats follow their rows. A list shorter than the grid grows when an active entry
    // would otherwise move off its end.
    const TFontList before = rowFormats_;
    for (int p = 1; p < rows; ++p) {
        const int from = order[size_t(p)];
        if (from < int(before.size()) && before[size_t(from)].Active &&
            p >= int(rowFormats_.size()))
            rowFormats_.resize(size_t(rows));
    }
    for (int p = 1; p < rows && p < int(rowFormats_.size()); ++p) {
        const int from = order[size_t(p)];
        rowFormats_[size_t(p)] = from < int(before.size()) ? before[size_t(from)] : TFontSetting{};
    }

    // The rows selected before are selected again where they went; the first becomes current.
    const std::vector<int> after = RowsAfterSort(order, selectedBefore);
    if (!after.empty()) {
        SetCurrentCell(std::clamp(Col(), 0, ColCount() - 1), after.front(), true, false);
        selectedRows_.clear();
        selectionOrder_.clear();
        for (int r : after) {
            selectedRows_ << r;
            selectionOrder_ << r;
        }
    }

    scope.Finish();
    sortOptions_.SortCompare = nullptr;
    if (OnEndSort) OnEndSort(this, ACol);
    EndUpdate();
}

TSortStyle TSortGrid::DetectSortStyle(int ACol) {
    QStringList cells;
    cells.reserve(std::max(RowCount() - 1, 0));
    for (int r = 1; r < RowCount(); ++r)
        cells << Cells(ACol, r);
    return ::DetectSortStyle(cells);
}
