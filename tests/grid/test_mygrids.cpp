#include <gtest/gtest.h>
#include <QTest>

#include "grid/mygrids.h"
#include "tests/support/testenv.h"

namespace {

// A shown grid without frame or scroll bars, so that the client area is the widget itself.
struct ShownGrid {
    explicit ShownGrid(int w = 400, int h = 300) {
        g.SetBorderStyle(TBorderStyle::bsNone);
        g.SetScrollBars(TScrollStyle::ssNone);
        g.resize(w, h);
        g.show();
    }
    TMyStringGrid g;
};

QString ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

}  // namespace

TEST(SparseCells, RowsAndCellsOutsideTheCountsSurvive) {
    TMyStringGrid g;
    g.SetRowCount(10);
    for (int r = 0; r < 10; ++r)
        g.SetCells(1, r, QString::number(r));
    g.SetRowCount(2);
    EXPECT_EQ(g.RowCount(), 2);
    g.SetRowCount(10);
    for (int r = 2; r < 10; ++r)
        EXPECT_EQ(g.Cells(1, r), QString::number(r));

    g.SetColCount(5);
    g.SetCells(4, 3, QStringLiteral("x"));
    g.SetColCount(2);
    g.SetColCount(5);
    EXPECT_EQ(g.Cells(4, 3), QStringLiteral("x"));
    EXPECT_EQ(g.Cells(3, 900), QString());  // never written
    int object = 0;
    g.SetObjects(2, 2, &object);
    EXPECT_EQ(g.Objects(2, 2), &object);
    EXPECT_EQ(g.Objects(2, 3), nullptr);
}

TEST(SparseCells, ListOperationsKeepNeighbours) {
    TStringSparseList l;
    l.Set(0, QStringLiteral("a"));
    l.Set(3, QStringLiteral("d"));
    l.Insert(1);
    EXPECT_EQ(l.Get(4), QStringLiteral("d"));
    l.Move(4, 0);
    EXPECT_EQ(l.Get(0), QStringLiteral("d"));
    EXPECT_EQ(l.Get(1), QStringLiteral("a"));
    l.Delete(0);
    EXPECT_EQ(l.Get(0), QStringLiteral("a"));
    l.Set(0, QString());
    EXPECT_TRUE(l.IsBlank());
    EXPECT_EQ(l.Count(), 0);
}

TEST(GridBase, CountRulesAndMessages) {
    TMyStringGrid g;
    EXPECT_EQ(g.ColCount(), 5);
    EXPECT_EQ(g.RowCount(), 5);
    EXPECT_EQ(g.FixedCols(), 1);
    EXPECT_EQ(g.FixedRows(), 1);
    EXPECT_EQ(g.DefaultColWidth(), 64);
    EXPECT_EQ(g.DefaultRowHeight(), 24);
    EXPECT_EQ(ErrorOf([&] { g.SetFixedRows(5); }), "Fixed row count must be less than row count");
    EXPECT_EQ(ErrorOf([&] { g.SetFixedCols(5); }),
              "Fixed column count must be less than column count");
    EXPECT_EQ(ErrorOf([&] { g.SetRowCount(0x10000000); }), "Grid too large for operation");
    EXPECT_EQ(g.RowCount(), 5);
    EXPECT_EQ(ErrorOf([&] { g.DeleteRow(5); }), "Grid index out of range");
    EXPECT_EQ(ErrorOf([&] { g.MoveColumn(0, 7); }), "Grid index out of range");
    EXPECT_EQ(ErrorOf([&] { g.SetColWidths(5, 10); }), "Grid index out of range");
    EXPECT_EQ(ErrorOf([&] { g.Rows(1).Insert(0, QStringLiteral("x")); }),
              "Cannot insert or delete rows from grid");
    EXPECT_EQ(ErrorOf([&] { g.Cols(1).Add(QStringLiteral("x")); }),
              "Cannot insert or delete rows from grid");
    g.SetRowCount(2);
    EXPECT_EQ(ErrorOf([&] { g.DeleteRow(1); }), "Too many rows or columns deleted");
    // A row count at or below the fixed count lowers the fixed count.
    g.SetRowCount(1);
    EXPECT_EQ(g.FixedRows(), 0);
    g.SetRowCount(0);
    EXPECT_EQ(g.RowCount(), 1);
}

TEST(GridBase, RowAndColumnViewsCopyOnAssign) {
    TMyStringGrid g;
    g.Rows(2) = QStringList{"a", "b", "c", "d", "e", "f", "g"};  // longer than the row
    EXPECT_EQ(g.Cells(0, 2), "a");
    EXPECT_EQ(g.Cells(4, 2), "e");
    EXPECT_EQ(g.Cells(5, 2), "");
    g.Rows(3) = QStringList{"x"};  // shorter: the rest stays
    g.Rows(3) = QStringList{"y"};
    EXPECT_EQ(g.Cells(0, 3), "y");
    g.Rows(4) = g.Rows(2);
    EXPECT_EQ(g.Rows(4).ToStringList(), (QStringList{"a", "b", "c", "d", "e"}));
    g.SetCells(1, 2, "changed");
    EXPECT_EQ(g.Cells(1, 4), "b");  // a copy, not a link
    EXPECT_EQ(g.Cols(0).ToStringList(), (QStringList{"", "", "a", "y", "a"}));
    g.SetRow(4, {"1", "2"});
    EXPECT_EQ(g.Rows(4).ToStringList(), (QStringList{"1", "2", "", "", ""}));
}

TEST(GridBase, MovesAndDeletionsCarryCells) {
    TMyStringGrid g;
    g.SetRowCount(6);
    for (int r = 0; r < 6; ++r)
        g.SetCells(0, r, QString::number(r));
    g.SetCells(4, 1, "hidden-beyond");
    g.SetColCount(4);  // column 4 now lies outside the count
    g.MoveRow(1, 4);
    EXPECT_EQ(g.Cols(0).ToStringList(), (QStringList{"0", "2", "3", "4", "1", "5"}));
    EXPECT_EQ(g.Cells(4, 4), "hidden-beyond");  // moves with its row
    g.DeleteRow(2);
    EXPECT_EQ(g.RowCount(), 5);
    EXPECT_EQ(g.Cols(0).ToStringList(), (QStringList{"0", "2", "4", "1", "5"}));
    g.SetRowCount(6);
    EXPECT_EQ(g.Cells(0, 5), "");  // a deleted row does not come back
    for (int c = 0; c < 4; ++c)
        g.SetCells(c, 0, QString(QChar('A' + c)));
    g.MoveColumn(0, 2);
    EXPECT_EQ(g.Rows(0).ToStringList(), (QStringList{"B", "C", "A", "D"}));
    g.DeleteColumn(1);
    EXPECT_EQ(g.Rows(0).ToStringList(), (QStringList{"B", "A", "D"}));
}

TEST(GridBase, GeometryCellRectMouseToCellAndHiddenColumns) {
    ShownGrid s(400, 300);
    TMyStringGrid& g = s.g;
    g.SetRowCount(100);
    EXPECT_EQ(g.CellRect(0, 0), QRect(0, 0, 64, 24));
    EXPECT_EQ(g.CellRect(2, 3), QRect(130, 75, 64, 24));
    int c, r;
    g.MouseToCell(130, 75, c, r);
    EXPECT_EQ(QPoint(c, r), QPoint(2, 3));
    g.MouseToCell(129, 74, c, r);  // the grid line belongs to the cell before it
    EXPECT_EQ(QPoint(c, r), QPoint(1, 2));
    g.MouseToCell(399, 299, c, r);
    EXPECT_EQ(QPoint(c, r), QPoint(-1, 11));
    EXPECT_EQ(g.VisibleRowCount(), 11);  // (300 - 25) / 25
    EXPECT_EQ(g.VisibleColCount(), 4);

    g.SetColWidths(1, -1);
    EXPECT_TRUE(g.CellRect(1, 1).isNull());
    EXPECT_EQ(g.CellRect(2, 1), QRect(65, 25, 64, 24));
    g.SetRowHeights(2, 50);
    EXPECT_EQ(g.CellRect(2, 3), QRect(65, 101, 64, 24));
    g.SetDefaultColWidth(30);  // forgets the individual widths
    EXPECT_EQ(g.ColWidths(1), 30);

    g.SetTopRow(50);
    EXPECT_EQ(g.TopRow(), 50);
    EXPECT_EQ(g.CellRect(2, 50), QRect(62, 25, 30, 24));
    EXPECT_TRUE(g.CellRect(2, 49).isNull());
    g.SetTopRow(1000);  // clamped so that the last page stays full
    EXPECT_EQ(g.TopRow(), 100 - g.VisibleRowCount());
}

TEST(GridBase, RowPositionsWithManyRowsNeedNoWalk) {
    ShownGrid s(400, 300);
    TMyStringGrid& g = s.g;
    g.SetRowCount(20001);
    g.SetRowHeights(10, 4);
    g.SetRowHeights(19000, 100);
    g.SetTopRow(19990);
    EXPECT_EQ(g.TopRow(), 19990);
    EXPECT_EQ(g.CellRect(1, 19990).top(), 25);
    EXPECT_EQ(g.CellRect(1, 19991).top(), 50);
    g.SetTopRow(18995);
    EXPECT_EQ(g.CellRect(1, 19001).top(), 25 + 5 * 25 + 101);
}

TEST(GridBase, SelectionAndCurrentCell) {
    ShownGrid s;
    TMyStringGrid& g = s.g;
    g.SetRowCount(20);
    g.SetSelection({1, 3, 4, 5});
    EXPECT_EQ(g.Selection(), (TGridRect{1, 3, 4, 5}));
    EXPECT_EQ(g.Col(), 4);
    EXPECT_EQ(g.Row(), 5);
    EXPECT_EQ(ErrorOf([&] { g.SetSelection({1, 3, 5, 5}); }), "Grid index out of range");

    int refused = 0;
    g.OnSelectCell = [&](TMyCustomGrid*, int ACol, int, bool& can) {
        if (ACol == 2) {
            can = false;
            ++refused;
        }
    };
    g.SetRow(7);
    EXPECT_EQ(g.Selection(), (TGridRect{4, 7, 4, 7}));
    g.SetCol(2);
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(g.Col(), 4);
    g.SetOptions(g.Options() + TGridOption::goRowSelect);
    EXPECT_EQ(g.Selection(), (TGridRect{1, 7, 4, 7}));
}

TEST(GridBase, KeyboardNavigationAndRangeSelection) {
    ShownGrid s;
    TMyStringGrid& g = s.g;
    g.SetRowCount(30);
    QTest::keyClick(&g, Qt::Key_Down);
    QTest::keyClick(&g, Qt::Key_Right);
    EXPECT_EQ(QPoint(g.Col(), g.Row()), QPoint(2, 2));
    QTest::keyClick(&g, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(g.Selection(), (TGridRect{2, 2, 2, 3}));
    QTest::keyClick(&g, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(g.Row(), 29);
    EXPECT_GE(g.TopRow() + g.VisibleRowCount() - 1, 29);  // scrolled into view
    QTest::keyClick(&g, Qt::Key_Home);
    EXPECT_EQ(g.Col(), 1);
    QTest::keyClick(&g, Qt::Key_PageUp);
    EXPECT_EQ(g.Row(), 29 - g.VisibleRowCount());
    g.SetColWidths(2, -1);
    QTest::keyClick(&g, Qt::Key_Right);
    EXPECT_EQ(g.Col(), 3);  // the hidden column is stepped over
}

TEST(GridBase, InplaceEditorF2TypingEnterAndEscape) {
    ShownGrid s;
    TMyStringGrid& g = s.g;
    QStringList setTexts;
    g.OnSetEditText = [&](TMyCustomGrid*, int, int, const QString& v) { setTexts << v; };
    g.SetCells(1, 1, "old");
    QTest::keyClick(&g, Qt::Key_A);  // editing off: nothing opens
    EXPECT_FALSE(g.EditorMode());
    g.SetOptions(g.Options() + TGridOption::goEditing);
    QTest::keyClick(&g, Qt::Key_F2);
    ASSERT_TRUE(g.EditorMode());
    EXPECT_EQ(g.InplaceEditor()->text(), "old");
    QTest::keyClick(&g, Qt::Key_Return);
    EXPECT_FALSE(g.EditorMode());

    QTest::keyClicks(&g, "x");  // typing opens the editor with the character
    ASSERT_TRUE(g.EditorMode());
    EXPECT_EQ(g.Cells(1, 1), "x");
    QTest::keyClicks(g.InplaceEditor(), "yz");
    EXPECT_EQ(g.Cells(1, 1), "xyz");
    EXPECT_EQ(setTexts.last(), "xyz");
    QTest::keyClick(g.InplaceEditor(), Qt::Key_Escape);  // back to the text before editing
    EXPECT_FALSE(g.EditorMode());
    EXPECT_EQ(g.Cells(1, 1), "old");

    QTest::keyClick(&g, Qt::Key_F2);
    QTest::keyClick(g.InplaceEditor(), Qt::Key_Down);  // the editor follows the current cell
    EXPECT_TRUE(g.EditorMode());
    EXPECT_EQ(g.Row(), 2);
    EXPECT_EQ(g.InplaceEditor()->geometry(), g.CellRect(1, 2));
    g.SetSelection({1, 2, 3, 2});  // a range selection ends editing
    EXPECT_FALSE(g.EditorMode());
    QTest::keyClicks(&g, "q");
    EXPECT_FALSE(g.EditorMode());
}

TEST(GridBase, ColumnSizingByDraggingInTheFixedRow) {
    ShownGrid s;
    TMyStringGrid& g = s.g;
    g.SetOptions(g.Options() + TGridOption::goColSizing);
    QWidget* vp = g.viewport();
    // Column 1 spans x 65..128; its grid line is at 129.
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(129, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 10), vp->mapToGlobal(QPointF(100, 10)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &move);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(100, 10));
    EXPECT_EQ(g.ColWidths(1), 35);
    // A click in a data cell selects it.
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(120, 60));
    EXPECT_EQ(QPoint(g.Col(), g.Row()), QPoint(2, 2));
}

TEST(GridBase, UpdateModeDoesNotNestAndRecordsCountsOnly) {
    ShownGrid s;
    TMyStringGrid& g = s.g;
    int begins = 0;
    g.OnBeginUpdate = [&](TMyCustomGrid*) { ++begins; };
    g.SetRowCount(40);
    g.SetTopRow(30);
    g.SetSelection({1, 35, 1, 35});
    g.BeginUpdate();
    g.BeginUpdate();
    EXPECT_EQ(begins, 2);
    g.SetRowCount(3);
    EXPECT_EQ(g.RowCount(), 3);
    EXPECT_EQ(g.Row(), 35);  // not moved into range while updating
    g.EndUpdate();
    EXPECT_FALSE(g.NowUpdating());
    EXPECT_EQ(g.Row(), 2);  // back in range once the update ended
    EXPECT_EQ(g.TopRow(), 1);
}

TEST(GridBase, PaintsVisibleTextAndSelection) {
    ShownGrid s(300, 120);
    TMyStringGrid& g = s.g;
    g.SetCells(1, 1, "Hello");
    g.SetSelection({2, 2, 3, 2});
    const QImage img = Render(&g);
    SaveShot(img, "mygrids_base");
    // The selected block is painted in the highlight colour; an unselected data cell in the window
    // colour.
    EXPECT_EQ(img.pixelColor(150, 60), ToQColor(clHighlight));
    EXPECT_EQ(img.pixelColor(200, 100), ToQColor(clWindow));
    EXPECT_EQ(img.pixelColor(10, 40), ToQColor(clBtnFace));
    // Some dark text pixels inside cell (1, 1).
    bool text = false;
    for (int x = 67; x < 128 && !text; ++x)
        for (int y = 27; y < 48 && !text; ++y)
            text = img.pixelColor(x, y).lightness() < 100;
    EXPECT_TRUE(text);
}
