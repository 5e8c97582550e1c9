#include "grid/gridsort.h"

#include <algorithm>

#include "grid/commalist.h"

namespace {

// The values of one pass, parsed once instead of at every comparison. The comparison is the
// same as CompareEntries on the texts.
class SortPass {
public:
    SortPass(std::vector<QString> values, const TSortOptions& options, const RegionalParser& parser)
        : values_(std::move(values)),
          style_(options.SortStyle),
          custom_(options.SortCompare),
          descending_(options.SortDirection == TSortDirection::sdDescending) {
        if (!options.SortCaseSensitive)
            for (QString& v : values_)
                v = FoldAsciiCase(v);
        const size_t n = values_.size();
        switch (style_) {
            case TSortStyle::ssNumeric:
                numbers_.resize(n);
                for (size_t i = 0; i < n; ++i)
                    numbers_[i] = parser.Number(values_[i]);
                break;
            case TSortStyle::ssDateTime:
            case TSortStyle::ssTime:
                instants_.resize(n);
                for (size_t i = 0; i < n; ++i)
                    instants_[i] = style_ == TSortStyle::ssTime
                                       ? std::optional<qint64>(parser.Time(values_[i]))
                                       : parser.DateTime(values_[i]);
                break;
            default:
                break;
        }
    }

    // Entry positions in sorted order (0-based positions of the values).
    std::vector<int> Sorted() const {
        std::vector<int> index(values_.size());
        for (size_t i = 0; i < index.size(); ++i)
            index[i] = int(i);
        // Merge sort: stays within bounds even where a style's comparison is not transitive.
        std::stable_sort(index.begin(), index.end(),
                         [this](int a, int b) { return Compare(a, b) < 0; });
        return index;
    }

private:
    int CompareValues(int a, int b) const {
        switch (style_) {
            case TSortStyle::ssNumeric:
                if (numbers_[a] && numbers_[b])
                    return *numbers_[a] < *numbers_[b] ? -1 : (*numbers_[b] < *numbers_[a]);
                return CompareText(values_[a], values_[b]);
            case TSortStyle::ssDateTime:
            case TSortStyle::ssTime:
                if (instants_[a] && instants_[b])
                    return *instants_[a] < *instants_[b] ? -1 : (*instants_[b] < *instants_[a]);
                return CompareText(values_[a], values_[b]);
            default:
                return CompareByStyle(style_, values_[a], values_[b], custom_);
        }
    }

    int Compare(int a, int b) const {
        if (a == b) return 0;
        const int r = CompareValues(a, b);
        if (r == 0) return a < b ? -1 : 1;
        return descending_ ? -r : r;
    }

    std::vector<QString> values_;
    TSortStyle style_;
    const TSortCompare& custom_;
    bool descending_;
    std::vector<std::optional<double>> numbers_;
    std::vector<std::optional<qint64>> instants_;
};

}  // namespace

std::vector<int> SortKeyColumns(int col, const QString& secondaryIndex, int colCount) {
    std::vector<int> keys{col};
    for (const QString& item : ParseCommaList(secondaryIndex)) {
        bool ok = false;
        const int k = item.toInt(&ok);
        if (ok && k >= 0 && k < colCount && k != col) keys.push_back(k);
    }
    return keys;
}

std::vector<int> SortRowOrder(int col, int colCount, int rowCount, const CellTextFunction& cell,
                              TSortOptions& options, const GetSortStyleFunction& getSortStyle) {
    std::vector<int> order(size_t(std::max(rowCount, 1)));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    const RegionalParser parser;
    const std::vector<int> keys = SortKeyColumns(col, options.SecondaryIndex, colCount);
    const int dataRows = std::max(rowCount - 1, 0);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        std::vector<QString> values(static_cast<size_t>(dataRows));
        for (int p = 0; p < dataRows; ++p)
            values[p] = cell(*key, order[p + 1]);
        if (getSortStyle) {
            getSortStyle(*key, options.SortStyle);
        } else if (options.SortStyle == TSortStyle::ssAutomatic) {
            options.SortStyle = DetectSortStyle(QStringList(values.begin(), values.end()));
        }
        const std::vector<int> sorted = SortPass(std::move(values), options, parser).Sorted();
        std::vector<int> next(order.size());
        next[0] = 0;
        for (int p = 0; p < dataRows; ++p)
            next[p + 1] = order[sorted[p] + 1];
        order.swap(next);
    }
    options.SortCompare = nullptr;
    return order;
}

std::vector<int> RowsAfterSort(const std::vector<int>& order, const std::vector<int>& selected) {
    std::vector<bool> wasSelected(order.size(), false);
    for (int row : selected)
        if (row > 0 && size_t(row) < order.size()) wasSelected[size_t(row)] = true;
    std::vector<int> rows;
    for (size_t p = 1; p < order.size(); ++p)
        if (wasSelected[size_t(order[p])]) rows.push_back(int(p));
    return rows;
}

bool IsHeaderSortClick(int x, int left, int width) {
    return x > left + 5 && x < left + width - 5;
}

TSortDirection HeaderClickDirection(const TSortOptions& options, int clickedCol, bool rightButton) {
    if (rightButton) return TSortDirection::sdDescending;
    if (options.SortDirection == TSortDirection::sdAscending && options.SortCol == clickedCol)
        return TSortDirection::sdDescending;
    return TSortDirection::sdAscending;
}

QRect SortGlyphRect(int cellLeft, int cellWidth, int headerRowHeight) {
    const int width = cellWidth <= 10 ? cellWidth - 3 : 8;
    return QRect(cellLeft + 3, headerRowHeight / 2 - 4, width, 7);
}

QString ShortenedCaption(const QString& caption, int available,
                         const std::function<int(const QString&)>& textWidth) {
    if (caption.size() < 2 || textWidth(caption) <= available) return caption;
    QString text = caption.left(caption.size() - 2) + QStringLiteral("..");
    while (text.size() > 3 && textWidth(text) > available)
        text.remove(text.size() - 3, 1);
    return text;
}
