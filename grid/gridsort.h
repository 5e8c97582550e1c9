#pragma once

#include <QRect>
#include <QString>
#include <functional>
#include <vector>

#include "grid/sortcompare.h"

// The key columns of a sort by col: col first, then the columns of secondaryIndex (a comma list
// of column numbers) in their order, without col. Entries that are not column numbers of the
// grid are left out.
std::vector<int> SortKeyColumns(int col, const QString& secondaryIndex, int colCount);

// The cell text of a grid: (column, row).
using CellTextFunction = std::function<QString(int, int)>;
// Asked once per pass with the pass's column; may change the style.
using GetSortStyleFunction = std::function<void(int, TSortStyle&)>;

// Sorts the data rows 1..rowCount-1 of a grid by col and the secondary columns of options, one
// pass per key column from the least significant to col; every pass keeps the order of the
// previous one among equal values, in either direction.
// The style of a pass is what getSortStyle says (when given) or, when SortStyle is ssAutomatic,
// the detected style of the column; either is stored in options.SortStyle and stays for the
// following passes and sorts. options.SortCompare is cleared at the end.
// Returns the new order: element p (1..rowCount-1) is the row, before the sort, that goes to
// position p; element 0 is 0, the header row, which never moves.
std::vector<int> SortRowOrder(int col, int colCount, int rowCount, const CellTextFunction& cell,
                              TSortOptions& options, const GetSortStyleFunction& getSortStyle = {});

// Where rows selected before a sort are after it (order as SortRowOrder returns it), in their
// new order; the first is the row to make current.
std::vector<int> RowsAfterSort(const std::vector<int>& order, const std::vector<int>& selected);

// The sort column's header.

// A button released in the header over column [left, left + width) at x sorts only away from the
// column's edges, whose 5 pixels on either side belong to resizing.
bool IsHeaderSortClick(int x, int left, int width);

// The direction a header click sorts in: a second click on the sort column turns ascending into
// descending, any other click sorts ascending; the right button always sorts descending.
TSortDirection HeaderClickDirection(const TSortOptions& options, int clickedCol, bool rightButton);

// Where the UP or DOWN glyph (8 by 7) goes in the header cell of the sort column; its caption is
// drawn kSortGlyphTextShift pixels further right.
QRect SortGlyphRect(int cellLeft, int cellWidth, int headerRowHeight);
constexpr int kSortGlyphTextShift = 10;

// A header caption wider than available (the column width - 1, or - 12 for the sort column) has
// its last two characters replaced by ".." and then loses the character before the ".." while
// still too wide and longer than 3 characters. Captions under two characters stay as they are.
QString ShortenedCaption(const QString& caption, int available,
                         const std::function<int(const QString&)>& textWidth);
