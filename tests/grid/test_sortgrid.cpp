#include <gtest/gtest.h>
#include <QMenu>
#include <QTest>

#include "grid/sortgrid.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testenv.h"

namespace {

const QStringList kHeader{"Rang", "Nr.", "Time", "Split", "Km/h"};

// The protocol grid as the main window creates it.
struct ProtocolGrid {
    ProtocolGrid() {
        g.OnModified = [this](TSortGrid*) { ++modifiedEvents; };
        g.SetDefaultColWidth(42);
        g.SetDefaultRowHeight(20);
        g.SetRowCount(2);
        g.SetOptions({TGridOption::goFixedVertLine, TGridOption::goFixedHorzLine,
                      TGridOption::goVertLine, TGridOption::goHorzLine,
                      TGridOption::goDrawFocusSelected, TGridOption::goColSizing,
                      TGridOption::goEditing});
        g.SetScrollBars(TScrollStyle::ssVertical);
        g.SortOptions().CanSort = false;
        g.SetAlignmentHorz(TAlignment::taRightJustify);
        g.Rows(0) = kHeader;
    }
    void Show(int w = 340, int h = 200) {
        g.SetBorderStyle(TBorderStyle::bsNone);
        g.resize(w, h);
        g.show();
    }
    void AddRows(int n) {
        for (int i = 0; i < n; ++i) {
            const int row = g.IsRowEmpty(1) && g.RowCount() == 2 ? 1 : g.RowCount();
            if (g.RowCount() <= row) g.SetRowCount(row + 1);
            g.SetRow(row, {QString::number(row) + ".", QString::number(100 + row), "1:00", "0,00",
                           "20,0"});
        }
    }
    ScopedDialogs dialogs;
    TSortGrid g;
    int modifiedEvents = 0;
};

QStringList Column(TSortGrid& g, int c) {
    return g.Cols(c).ToStringList();
}

}  // namespace

TEST(SortGrid, CreationAndTheProtocolConfiguration) {
    TSortGrid plain;
    EXPECT_EQ(plain.FixedRows(), 1);
    EXPECT_EQ(plain.FixedCols(), 0);
    EXPECT_FALSE(plain.Modified());
    EXPECT_EQ(plain.ColumnFormats().size(), 5u);
    EXPECT_EQ(plain.RowFormats().size(), 5u);
    EXPECT_EQ(plain.SelectedRows(), QStringList{"1"});
    EXPECT_EQ(plain.SelectionOrder(), QStringList{"1"});
    EXPECT_TRUE(plain.SortOptions().CanSort);
    EXPECT_EQ(plain.PrintOptions().Copies, 0u);
    EXPECT_EQ(plain.AlignmentHorz(), TAlignment::taLeftJustify);

    ProtocolGrid p;
    // Going from the default five rows to two is a size change: the new grid counts as modified.
    EXPECT_TRUE(p.g.Modified());
    EXPECT_GE(p.modifiedEvents, 1);
    EXPECT_EQ(p.g.RowCount(), 2);
    EXPECT_EQ(p.g.RowFormats().size(), 2u);
    EXPECT_EQ(p.g.Rows(0).ToStringList(), kHeader);
}

TEST(SortGrid, ModifiedThroughARaceSequence) {
    ProtocolGrid p;
    TSortGrid& g = p.g;
    g.Clear();
    EXPECT_FALSE(g.Modified());
    const int eventsAfterClear = p.modifiedEvents;
    p.AddRows(1);  // the first lap fills the blank row: no size change
    EXPECT_FALSE(g.Modified());
    EXPECT_EQ(p.modifiedEvents, eventsAfterClear);
    p.AddRows(1);  // the second grows the grid
    EXPECT_TRUE(g.Modified());
    g.SetModified(false);
    g.SetCells(1, 1, "999");  // writing cells leaves it alone
    EXPECT_FALSE(g.Modified());
    g.SetUserSettings({"a", "b"});
    EXPECT_TRUE(g.Modified());
    EXPECT_EQ(g.UserSettings(), (QStringList{"a", "b"}));
    // Setting True fires every time, also when it was True already.
    const int before = p.modifiedEvents;
    g.SetModified(true);
    g.SetModified(true);
    EXPECT_EQ(p.modifiedEvents, before + 2);
}

TEST(SortGrid, InPlaceEditSetsModifiedOnlyWhenTheTextChanges) {
    ProtocolGrid p;
    p.Show();
    TSortGrid& g = p.g;
    g.Clear();
    p.AddRows(1);
    g.SetSelection({1, 1, 1, 1});
    QTest::keyClick(&g, Qt::Key_F2);
    ASSERT_TRUE(g.EditorMode());
    QTest::keyClick(g.InplaceEditor(), Qt::Key_End);
    EXPECT_FALSE(g.Modified());
    QTest::keyClicks(g.InplaceEditor(), "7");
    EXPECT_EQ(g.Cells(1, 1), "1017");
    EXPECT_TRUE(g.Modified());
}

TEST(SortGrid, UpdateModeDoesNotNestAndSkipsSizeChanges) {
    ProtocolGrid p;
    TSortGrid& g = p.g;
    int sizeChanges = 0, endUpdates = 0;
    g.OnSizeChanged = [&](TSortGrid*, int, int) { ++sizeChanges; };
    g.OnEndUpdate = [&](TSortGrid*) { ++endUpdates; };
    g.SortOptions().UpdateOnSizeChange = true;
    g.SetModified(false);
    g.BeginUpdate();
    g.BeginUpdate();
    EXPECT_TRUE(g.NowUpdating());
    EXPECT_FALSE(g.SortOptions().UpdateOnSizeChange);
    g.SetRowCount(10);
    g.SetColCount(7);
    g.EndUpdate();
    EXPECT_FALSE(g.NowUpdating());
    EXPECT_EQ(sizeChanges, 0);
    EXPECT_FALSE(g.Modified());
    EXPECT_EQ(endUpdates, 1);
    EXPECT_TRUE(g.SortOptions().UpdateOnSizeChange);  // the outer value, not the switched-off one
    // Format lists follow only size changes outside an update.
    EXPECT_EQ(g.RowFormats().size(), 2u);
    g.SetRowCount(12);
    EXPECT_EQ(sizeChanges, 1);
    EXPECT_EQ(g.RowFormats().size(), 4u);
    g.SetRowCount(3);
    EXPECT_EQ(g.RowFormats().size(), 0u);  // never below zero entries
}

TEST(SortGrid, SizeChangeGoesToTheFirstRowAndWarnsBelowTwoRows) {
    ProtocolGrid p;
    TSortGrid& g = p.g;
    std::vector<std::pair<int, int>> changes;
    g.OnSizeChanged = [&](TSortGrid*, int oc, int orc) { changes.push_back({oc, orc}); };
    g.SetRowCount(6);
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.Col(), 0);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], std::make_pair(5, 2));
    EXPECT_TRUE(p.dialogs.infos.isEmpty());
    g.SetRowCount(1);
    EXPECT_EQ(p.dialogs.infos, QStringList{"Rowsize too small"});
    EXPECT_EQ(g.RowCount(), 1);  // the change stands
    g.SetRowCount(3);
    EXPECT_EQ(g.FixedRows(), 1);  // the header row is fixed again
}

TEST(SortGrid, InsertRowAppendsAtTheLastRowAndInsertsElsewhere) {
    ProtocolGrid p;
    TSortGrid& g = p.g;
    p.AddRows(3);
    std::vector<int> inserted;
    g.OnRowInsert = [&](TSortGrid*, int r) { inserted.push_back(r); };
    g.InsertRow(3);  // the last data row: the new one goes after it
    EXPECT_EQ(g.RowCount(), 5);
    EXPECT_EQ(Column(g, 0), (QStringList{"Rang", "1.", "2.", "3.", ""}));
    g.InsertRow(2);
    EXPECT_EQ(Column(g, 0), (QStringList{"Rang", "1.", "", "2.", "3.", ""}));
    EXPECT_EQ(inserted, (std::vector<int>{4, 2}));
    EXPECT_EQ(g.Row(), 2);
    EXPECT_EQ(g.SelectedRows(), QStringList{"2"});
    EXPECT_EQ(g.RowFormats().size(), 6u);
}

TEST(SortGrid, DeleteRowKeepsOneDataRow) {
    ProtocolGrid p;
    TSortGrid& g = p.g;
    p.AddRows(1);
    std::vector<int> deleted;
    g.OnRowDelete = [&](TSortGrid*, int r) { deleted.push_back(r); };
    g.DeleteRow(1);
    EXPECT_TRUE(g.Modified());
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_TRUE(g.IsRowEmpty(1));
    EXPECT_EQ(g.Rows(0).ToStringList(), kHeader);
    p.AddRows(4);
    g.RowFormats()[2].Active = true;
    g.RowFormats()[3].Bold = true;
    g.DeleteRow(2);
    EXPECT_EQ(Column(g, 0), (QStringList{"Rang", "1.", "3.", "4."}));
    // The deleted row's own format entry went, the others moved up with their rows.
    ASSERT_EQ(g.RowFormats().size(), 4u);
    EXPECT_FALSE(g.RowFormats()[2].Active);
    EXPECT_TRUE(g.RowFormats()[2].Bold);
    EXPECT_EQ(deleted, (std::vector<int>{1, 2}));
}

// Clear moves the current cell to row 1 through the host's select-cell decision: a cell the host
// refuses does not become an editable single cell, whether or not the host selects a row itself.
TEST(SortGrid, ClearAsksTheHostForRowOnesCell) {
    for (bool hostSelectsTheRow : {false, true}) {
        ProtocolGrid p;
        TSortGrid& g = p.g;
        p.AddRows(3);
        g.SetSelection(TGridRect{4, 3, 4, 3});
        std::vector<std::pair<int, int>> asked;
        g.OnSelectCell = [&](TSortGrid* grid, int c, int r, bool& can) {
            asked.emplace_back(c, r);
            if (c == 1) return;
            if (hostSelectsTheRow) grid->SetSelection(TGridRect{0, r, grid->ColCount() - 1, r});
            can = false;
        };
        g.Clear();
        EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{4, 1}}));
        EXPECT_EQ(g.Row(), 1);
        EXPECT_EQ(g.Selection().Left, 0);
        EXPECT_EQ(g.Selection().Right, 4);
        g.SetEditorMode(true);
        EXPECT_FALSE(g.EditorMode()) << hostSelectsTheRow;
    }
    // A cell the host lets be selected stays current and editable.
    ProtocolGrid p;
    TSortGrid& g = p.g;
    p.AddRows(3);
    g.SetSelection(TGridRect{1, 2, 1, 2});
    g.OnSelectCell = [](TSortGrid*, int c, int, bool& can) { can = c == 1; };
    g.Clear();
    EXPECT_EQ(g.Col(), 1);
    EXPECT_EQ(g.Row(), 1);
    g.SetEditorMode(true);
    EXPECT_TRUE(g.EditorMode());
}

TEST(SortGrid, ClearKeepsTheHeaderAndOneBlankRow) {
    ProtocolGrid p;
    TSortGrid& g = p.g;
    p.AddRows(30);
    g.SetCells(0, 40, "beyond the count");
    int selected = 0;
    g.OnRowSelected = [&](TSortGrid*) { ++selected; };
    const int events = p.modifiedEvents;
    g.Clear();
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.Rows(0).ToStringList(), kHeader);
    EXPECT_TRUE(g.IsRowEmpty(1));
    EXPECT_FALSE(g.Modified());
    EXPECT_EQ(p.modifiedEvents, events);  // cleared without an event
    EXPECT_TRUE(g.ColumnFormats().empty());
    EXPECT_TRUE(g.RowFormats().empty());
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.SelectedRows(), QStringList{"1"});
    EXPECT_EQ(selected, 1);
    g.SetRowCount(41);
    EXPECT_EQ(g.Cells(0, 5), "");  // old rows do not come back
    EXPECT_EQ(g.Cells(0, 40), "");
    EXPECT_TRUE(g.Modified());
    EXPECT_EQ(g.RowFormats().size(), 39u);  // grown by the change only
}

TEST(SortGrid, GotoCellAndScrollToCellShowTheLastPage) {
    ProtocolGrid p;
    p.Show(340, 21 + 8 * 21);  // header and eight rows
    TSortGrid& g = p.g;
    p.AddRows(99);
    ASSERT_EQ(g.RowCount(), 100);
    ASSERT_EQ(g.VisibleRowCount(), 8);
    g.ScrollToCell(0, 50);
    EXPECT_EQ(g.TopRow(), 49);
    g.ScrollToCell(0, 95);  // on the last page: the last page is shown
    EXPECT_EQ(g.TopRow(), 92);
    g.ScrollToCell(0, 1);
    EXPECT_EQ(g.TopRow(), 1);
    g.GotoCell(9, 500, true);  // clamped
    EXPECT_EQ(g.Row(), 99);
    EXPECT_EQ(g.Col(), 4);
    EXPECT_EQ(g.SelectedRows(), QStringList{"99"});
    EXPECT_EQ(g.TopRow(), 92);
    // A handler that refuses the cell keeps everything as it is.
    g.OnSelectCell = [](TSortGrid*, int, int, bool& can) { can = false; };
    g.GotoCell(0, 10, true);
    EXPECT_EQ(g.Row(), 99);
}

TEST(SortGrid, MoveSwapAndUserColumnMoveKeepFormatsAndSortColumn) {
    ProtocolGrid p;
    TSortGrid& g = p.g;
    p.AddRows(4);
    ASSERT_EQ(g.RowFormats().size(), 5u);
    for (int r = 0; r < 5; ++r)
        g.RowFormats()[size_t(r)].Color = r;
    g.SwapRows(1, 4);
    EXPECT_EQ(Column(g, 0), (QStringList{"Rang", "4.", "2.", "3.", "1."}));
    EXPECT_EQ(g.RowFormats()[1].Color, 4);
    EXPECT_EQ(g.RowFormats()[4].Color, 1);
    EXPECT_EQ(g.RowFormats()[2].Color, 2);

    // A column moved by the user in the header.
    p.Show();
    g.SetOptions(g.Options() + TGridOption::goColMoving - TGridOption::goColSizing);
    g.SetModified(false);
    g.SortOptions().SortCol = 1;
    for (int c = 0; c < 5; ++c)
        g.ColumnFormats()[size_t(c)].Color = c;
    int movedFrom = -1, movedTo = -1;
    g.OnColumnMoved = [&](TMyCustomGrid*, int f, int t) {
        movedFrom = f;
        movedTo = t;
    };
    const QRect from = g.CellRect(0, 0), to = g.CellRect(2, 0);
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, from.center());
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, to.center());
    EXPECT_EQ(g.Rows(0).ToStringList(), (QStringList{"Nr.", "Time", "Rang", "Split", "Km/h"}));
    EXPECT_EQ(std::make_pair(movedFrom, movedTo), std::make_pair(0, 2));
    EXPECT_TRUE(g.Modified());
    EXPECT_EQ(g.SortOptions().SortCol, 0);  // still on "Nr."
    EXPECT_EQ(g.ColumnFormats()[2].Color, 0);
    // A programmatic move is a plain move.
    g.SetModified(false);
    g.MoveColumn(2, 0);
    EXPECT_FALSE(g.Modified());
    EXPECT_EQ(g.Rows(0).ToStringList(), kHeader);
}

TEST(SortGrid, InsertAndDeleteColumnsKeepTheRowFormatCell) {
    ProtocolGrid p;
    TSortGrid& g = p.g;
    g.Clear();
    p.AddRows(1);
    g.SetCells(5, 1, "clRed,1,0,0,clWhite");  // the hidden format cell right of the last column
    std::vector<int> events;
    g.OnColumnInsert = [&](TSortGrid*, int c) { events.push_back(c); };
    g.OnColumnDelete = [&](TSortGrid*, int c) { events.push_back(-c); };
    g.InsertColumn(1);
    EXPECT_EQ(g.ColCount(), 6);
    EXPECT_EQ(g.Rows(0).ToStringList(), (QStringList{"Rang", "", "Nr.", "Time", "Split", "Km/h"}));
    EXPECT_EQ(g.Cells(6, 1), "clRed,1,0,0,clWhite");
    EXPECT_EQ(g.Col(), 1);
    g.DeleteColumn(1);
    EXPECT_EQ(g.Rows(0).ToStringList(), kHeader);
    EXPECT_EQ(g.Cells(5, 1), "clRed,1,0,0,clWhite");
    EXPECT_EQ(events, (std::vector<int>{1, -1}));
}

TEST(SortGrid, CellValidationRestoresRejectedText) {
    ProtocolGrid p;
    p.Show();
    TSortGrid& g = p.g;
    g.Clear();
    p.AddRows(3);
    g.SetModified(false);
    QString seenOld, seenNew;
    g.OnCellValidate = [&](TSortGrid*, int, int, const QString& oldValue, QString& newValue,
                           bool& valid) {
        seenOld = oldValue;
        seenNew = newValue;
        valid = newValue.toInt() > 0;
    };
    QApplication::setActiveWindow(&g);
    g.setFocus();
    ASSERT_TRUE(g.hasFocus());
    g.SetSelection({1, 1, 1, 1});
    QTest::keyClick(&g, Qt::Key_F2);
    ASSERT_TRUE(g.EditorMode());
    g.InplaceEditor()->selectAll();
    QTest::keyClicks(g.InplaceEditor(), "abc");
    EXPECT_TRUE(g.Modified());
    QTest::keyClick(g.InplaceEditor(), Qt::Key_Down);  // leaving the cell validates it
    EXPECT_EQ(seenOld, "101");
    EXPECT_EQ(seenNew, "abc");
    EXPECT_EQ(g.Cells(1, 1), "101");
    EXPECT_FALSE(g.Modified());
    EXPECT_EQ(g.Row(), 2);
    g.InplaceEditor()->selectAll();
    QTest::keyClicks(g.InplaceEditor(), "55");
    QTest::keyClick(g.InplaceEditor(), Qt::Key_Return);  // Enter validates too
    EXPECT_EQ(seenNew, "55");
    EXPECT_EQ(g.Cells(1, 2), "55");
    EXPECT_TRUE(g.Modified());
}

TEST(SortGrid, AutoSizeColumnFitsTheWidestText) {
    ProtocolGrid p;
    TSortGrid& g = p.g;
    g.Clear();
    p.AddRows(2);
    g.SetCells(2, 2, "10:00.00,00");
    const QFontMetrics fm(g.font());
    g.AutoSizeColumn(2, false);
    EXPECT_EQ(g.ColWidths(2), fm.horizontalAdvance("10:00.00,00") + fm.horizontalAdvance("X"));
    g.Rows(0) = QStringList{"", "", "", "", ""};
    for (int r = 1; r < g.RowCount(); ++r)
        g.SetCells(4, r, "");
    g.AutoSizeColumn(4, true);
    EXPECT_EQ(g.ColWidths(4), fm.horizontalAdvance("xx"));
    g.SetColWidths(3, -1);
    g.AutoSizeColumn(3, false);  // a hidden column stays hidden unless forced
    EXPECT_EQ(g.ColWidths(3), -1);
    g.SortOptions().CanSort = true;
    g.SortOptions().SortCol = 1;
    g.SetCells(1, 0, "Number");
    g.AutoSizeColumn(1, false);  // room for the sort glyph
    EXPECT_EQ(g.ColWidths(1), fm.horizontalAdvance("Number") + 12 + fm.horizontalAdvance("X"));
}

TEST(SortGrid, HeaderClickChoosesTheSortDirection) {
    ProtocolGrid p;
    p.Show();
    TSortGrid& g = p.g;
    g.SortOptions().CanSort = true;
    g.SetOptions(g.Options() - TGridOption::goColSizing);
    QWidget* vp = g.viewport();
    const QRect h2 = g.CellRect(2, 0);
    QTest::mouseClick(vp, Qt::LeftButton, {}, h2.center());
    EXPECT_EQ(g.SortOptions().SortCol, 2);
    EXPECT_EQ(g.SortOptions().SortDirection, TSortDirection::sdAscending);
    QTest::mouseClick(vp, Qt::LeftButton, {}, h2.center());
    EXPECT_EQ(g.SortOptions().SortDirection, TSortDirection::sdDescending);
    QTest::mouseClick(vp, Qt::LeftButton, {}, h2.center());
    EXPECT_EQ(g.SortOptions().SortDirection, TSortDirection::sdAscending);
    QTest::mouseClick(vp, Qt::RightButton, {}, h2.center());
    EXPECT_EQ(g.SortOptions().SortDirection, TSortDirection::sdDescending);
    // Near a column edge nothing is sorted.
    const QRect h3 = g.CellRect(3, 0);
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(h3.left() + 3, h3.center().y()));
    EXPECT_EQ(g.SortOptions().SortCol, 2);
    // With sorting off a click changes nothing.
    g.SortOptions().CanSort = false;
    QTest::mouseClick(vp, Qt::LeftButton, {}, h3.center());
    EXPECT_EQ(g.SortOptions().SortCol, 2);
}

TEST(SortGrid, AppendingManyRowsKeepsFormatListsInStep) {
    ProtocolGrid p;
    p.Show();
    TSortGrid& g = p.g;
    g.Clear();
    p.AddRows(2000);
    EXPECT_EQ(g.RowCount(), 2001);
    EXPECT_EQ(g.RowFormats().size(), 1999u);  // emptied by Clear, then grown by each change
    EXPECT_EQ(g.Cells(0, 2000), "2000.");
}

TEST(SortGrid, RightClickOnADataRowShowsThePopupMenu) {
    ProtocolGrid p;
    p.Show();
    TSortGrid& g = p.g;
    p.AddRows(3);
    QMenu menu;
    menu.addAction("Delete");
    g.SetPopupMenu(&menu);
    QTest::mouseClick(g.viewport(), Qt::RightButton, {}, g.CellRect(1, 0).center());
    EXPECT_FALSE(menu.isVisible());  // not in the header
    QTest::mouseClick(g.viewport(), Qt::RightButton, {}, g.CellRect(1, 2).center());
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
}

TEST(SortGrid, DoubleClickOnAHeaderEdgeFitsTheColumn) {
    ProtocolGrid p;
    p.Show();
    TSortGrid& g = p.g;
    p.AddRows(2);
    g.SetCells(2, 2, "12:34.56,78 and more");
    const QFontMetrics fm(g.font());
    const int fitted = fm.horizontalAdvance("12:34.56,78 and more") + fm.horizontalAdvance("X");
    const QRect h2 = g.CellRect(2, 0);
    QTest::mouseDClick(g.viewport(), Qt::LeftButton, {}, QPoint(h2.right() + 1, h2.center().y()));
    EXPECT_EQ(g.ColWidths(2), fitted);
    g.SetColWidths(2, 30);
    const QRect h3 = g.CellRect(3, 0);  // just right of the previous column's edge
    QTest::mouseDClick(g.viewport(), Qt::LeftButton, {}, QPoint(h3.left() + 2, h3.center().y()));
    EXPECT_EQ(g.ColWidths(2), fitted);
}
