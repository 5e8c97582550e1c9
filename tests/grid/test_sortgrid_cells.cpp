#include <gtest/gtest.h>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include "grid/gridglyphs.h"
#include "grid/sortgrid.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testenv.h"

namespace {

// A shown grid of five columns and ten data rows with plain cell texts "r<row>c<col>".
struct CellGrid {
    explicit CellGrid(int rows = 10, int w = 400, int h = 300) {
        g.SetBorderStyle(TBorderStyle::bsNone);
        g.SetScrollBars(TScrollStyle::ssNone);
        g.SetRowCount(std::max(2, rows + 1));
        for (int c = 0; c < 5; ++c)
            g.SetCells(c, 0, "H" + QString::number(c));
        for (int r = 1; r <= rows; ++r)
            for (int c = 0; c < 5; ++c)
                g.SetCells(c, r, QString("r%1c%2").arg(r).arg(c));
        g.SetModified(false);
        g.resize(w, h);
        g.show();
        QApplication::setActiveWindow(&g);
        g.setFocus();
    }
    QImage Shot() { return Render(&g); }
    ScopedDialogs dialogs;
    TSortGrid g;
};

// Left-most and right-most columns with dark (text) pixels inside a rectangle; -1 when none.
std::pair<int, int> InkColumns(const QImage& img, const QRect& r) {
    int lo = -1, hi = -1;
    for (int x = r.left(); x <= r.right(); ++x)
        for (int y = r.top(); y <= r.bottom(); ++y)
            if (img.pixelColor(x, y).lightness() < 110) {
                if (lo < 0) lo = x;
                hi = x;
                break;
            }
    return {lo, hi};
}

int InkTop(const QImage& img, const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y).lightness() < 110) return y;
    return -1;
}

bool HasInk(const QImage& img, const QRect& r) {
    return InkColumns(img, r).first >= 0;
}

QStringList Column(TSortGrid& g, int c) {
    return g.Cols(c).ToStringList();
}

void SendKey(QWidget* w, QEvent::Type type, int key, Qt::KeyboardModifiers mods,
             const QString& text = {}) {
    QKeyEvent e(type, key, mods, text);
    QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(SortGridCells, FormatDefaultsAndNegotiation) {
    CellGrid t;
    TSortGrid& g = t.g;
    TGridCanvas canvas;
    auto f = g.GetCellFormat(1, 1, {}, canvas);
    EXPECT_EQ(f.AlignmentHorz, TAlignment::taLeftJustify);
    EXPECT_EQ(f.BevelStyle, TCellBevelStyle::cbNone);
    EXPECT_EQ(f.LightColor, clWindow);
    EXPECT_FALSE(f.CheckBox || f.Combobox || f.Ellipsis || f.HideText);
    g.SetBevelStyle(TCellBevelStyle::cbRaised);
    f = g.GetCellFormat(1, 1, {}, canvas);
    EXPECT_EQ(f.LightColor, clBtnHighlight);
    EXPECT_EQ(f.DarkColor, clBtnShadow);
    g.SetBevelStyle(TCellBevelStyle::cbLowered);
    f = g.GetCellFormat(1, 1, {}, canvas);
    EXPECT_EQ(f.LightColor, clBtnShadow);
    EXPECT_EQ(f.DarkColor, clBtnHighlight);

    std::vector<std::pair<QPoint, TGridDrawState>> seen;
    g.OnGetCellFormat = [&](TSortGrid*, int c, int r, TGridDrawState s, TFormatOptions& fo,
                            bool& cb, bool&, bool&) {
        seen.push_back({QPoint(c, r), s});
        if (c == 2) {
            fo.AlignmentHorz = TAlignment::taCenter;
            fo.Brush.Color = clYellow;
            cb = true;
        }
    };
    canvas.Brush.Color = clWindow;
    f = g.GetCellFormat(2, 3, {TGridDrawStateItem::gdSelected}, canvas);
    EXPECT_TRUE(f.CheckBox);
    EXPECT_EQ(f.AlignmentHorz, TAlignment::taCenter);
    EXPECT_EQ(canvas.Brush.Color, clYellow);  // the canvas's own brush
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].second.Contains(TGridDrawStateItem::gdSelected));

    // While painting, the current cell of a focused grid comes with gdFocused.
    seen.clear();
    g.SetSelection({3, 4, 3, 4});
    t.Shot();
    bool focusedSeen = false;
    for (const auto& [cell, state] : seen)
        if (state.Contains(TGridDrawStateItem::gdFocused)) {
            EXPECT_EQ(cell, QPoint(3, 4));
            focusedSeen = true;
        }
    EXPECT_TRUE(focusedSeen);
}

TEST(SortGridCells, AlignmentOffsetsInRenderedPixels) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SetDefaultColWidth(120);
    g.SetDefaultRowHeight(40);
    g.SetSelection({4, 8, 4, 8});  // keep the highlight away from the probed cell
    const QRect cell = g.CellRect(1, 2);
    const QString text = g.Cells(1, 2);
    const QFontMetrics fm(g.font());
    const int tw = fm.horizontalAdvance(text), th = fm.height();

    const auto [leftInk, leftInkEnd] = InkColumns(t.Shot(), cell);
    const int leftTop = InkTop(t.Shot(), cell);
    ASSERT_GE(leftInk, cell.left() + 2);
    g.SetAlignmentHorz(TAlignment::taRightJustify);
    EXPECT_EQ(InkColumns(t.Shot(), cell).first - leftInk, (cell.width() - tw - 2) - 2);
    g.SetAlignmentHorz(TAlignment::taCenter);
    EXPECT_EQ(InkColumns(t.Shot(), cell).first - leftInk, (cell.width() - tw) / 2 - 2);
    g.SetAlignmentVert(TVertAlignment::taBottomJustify);
    EXPECT_EQ(InkTop(t.Shot(), cell) - leftTop, (cell.height() - th - 3) - 2);
    g.SetAlignmentVert(TVertAlignment::taMiddle);
    EXPECT_EQ(InkTop(t.Shot(), cell) - leftTop, (cell.height() - th) / 2 - 2);
    (void)leftInkEnd;
}

TEST(SortGridCells, BevelEdgesFollowTheLineOptions) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SetSelection({4, 9, 4, 9});
    const QRect cell = g.CellRect(1, 2);
    const QPoint midLeft(cell.left(), cell.center().y()), midRight(cell.right(), cell.center().y());
    const QPoint midTop(cell.center().x(), cell.top()), midBottom(cell.center().x(), cell.bottom());
    g.SetBevelStyle(TCellBevelStyle::cbRaised);
    QImage img = t.Shot();
    SaveShot(img, "sortgrid_bevel_raised");
    EXPECT_EQ(img.pixelColor(midLeft), ToQColor(clBtnHighlight));
    EXPECT_EQ(img.pixelColor(midRight), ToQColor(clBtnShadow));
    EXPECT_EQ(img.pixelColor(midTop), ToQColor(clBtnHighlight));
    EXPECT_EQ(img.pixelColor(midBottom), ToQColor(clBtnShadow));
    // The header row gets no edge of this kind.
    const QRect head = g.CellRect(1, 0);
    EXPECT_NE(img.pixelColor(head.center().x(), head.bottom()), ToQColor(clBtnHighlight));
    g.SetBevelStyle(TCellBevelStyle::cbLowered);
    img = t.Shot();
    EXPECT_EQ(img.pixelColor(midLeft), ToQColor(clBtnShadow));
    EXPECT_EQ(img.pixelColor(midRight), ToQColor(clBtnHighlight));
    // Without the fixed vertical lines only the horizontal edges are drawn.
    g.SetOptions(g.Options() - TGridOption::goFixedVertLine);
    img = t.Shot();
    EXPECT_EQ(img.pixelColor(midLeft), ToQColor(clWindow));
    EXPECT_EQ(img.pixelColor(midTop), ToQColor(clBtnShadow));
}

TEST(SortGridCells, FormatPrecedenceBetweenColumnAndRowEntries) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SetSelection({4, 9, 4, 9});
    const QPoint probe = g.CellRect(1, 2).bottomRight() - QPoint(2, 2);
    g.ColumnFormats()[1] = TFontSetting{clBlack, clYellow, false, false, false, true};
    g.RowFormats()[2].Active = true;
    g.SetCells(g.ColCount(), 2, "clWhite,1,0,0,clLime");      // the row's hidden format cell
    EXPECT_EQ(t.Shot().pixelColor(probe), ToQColor(clLime));  // the row wins by default
    g.SetColumnFormatsFirst(true);
    EXPECT_EQ(t.Shot().pixelColor(probe), ToQColor(clYellow));
    g.SetColumnFormatsFirst(false);
    g.RowFormats()[2].Active = false;
    EXPECT_EQ(t.Shot().pixelColor(probe), ToQColor(clYellow));
    // Entries beyond the lists' ends count as inactive.
    g.ColumnFormats().resize(1);
    g.RowFormats().clear();
    EXPECT_EQ(t.Shot().pixelColor(probe), ToQColor(clWindow));
    // An inactive entry is never applied, whatever it holds.
    g.ColumnFormats().resize(5);
    g.ColumnFormats()[1].BkColor = clRed;
    EXPECT_EQ(t.Shot().pixelColor(probe), ToQColor(clWindow));
}

TEST(SortGridCells, CheckBoxesCompareExactlyAndToggleToOneOrEmpty) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SetDefaultColWidth(60);
    g.OnGetCellFormat = [](TSortGrid*, int c, int r, TGridDrawState, TFormatOptions&, bool& cb,
                           bool&, bool&) { cb = c == 2 && r > 0; };
    std::vector<std::pair<int, bool>> events;
    g.OnSetChecked = [&](TSortGrid*, int, int r, bool state) { events.push_back({r, state}); };
    g.SetCells(2, 1, "TRUE");
    g.SetCells(2, 2, "true");
    g.SetCells(2, 3, "1");
    g.SetSelection({4, 9, 4, 9});
    const QImage img = t.Shot();
    SaveShot(img, "sortgrid_checkboxes");
    auto tickInside = [&](int row) {
        const QRect c = g.CellRect(2, row);
        const int left = c.left() + (c.width() - 10) / 2, top = g.RowHeights(row) / 2 + c.top() - 5;
        return HasInk(img, QRect(left + 2, top + 2, 6, 6));
    };
    EXPECT_FALSE(tickInside(1));  // "TRUE" is not "true"
    EXPECT_TRUE(tickInside(2));
    EXPECT_TRUE(tickInside(3));
    EXPECT_FALSE(
        HasInk(img, QRect(g.CellRect(2, 4).left() + 2, g.CellRect(2, 4).top() + 2, 8, 14)) &&
        tickInside(4));

    // Space released on the current cell toggles; a click on the same cell too.
    g.SetSelection({2, 1, 2, 1});
    SendKey(&g, QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    SendKey(&g, QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_EQ(g.Cells(2, 1), "1");
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.CellRect(2, 1).center());
    EXPECT_EQ(g.Cells(2, 1), "");
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.CellRect(2, 3).center());
    EXPECT_EQ(g.Cells(2, 3), "");
    EXPECT_EQ(events, (std::vector<std::pair<int, bool>>{{1, true}, {1, false}, {3, false}}));
    // Pressing on one cell and releasing on another toggles nothing.
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, g.CellRect(2, 2).center());
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, g.CellRect(2, 5).center());
    EXPECT_EQ(g.Cells(2, 2), "true");
}

TEST(SortGridCells, HideRowsBlanksEveryDataRow) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SetSelection({3, 5, 3, 5});
    g.SetHideRows(true);
    EXPECT_TRUE(g.HideRows());
    EXPECT_EQ(g.Row(), 1);
    const QImage img = t.Shot();
    SaveShot(img, "sortgrid_hiderows");
    EXPECT_TRUE(HasInk(img, g.CellRect(0, 0)));
    for (int r = 1; r <= 10; ++r)
        EXPECT_FALSE(HasInk(img, g.CellRect(0, r).adjusted(1, 1, -1, -1))) << r;
    g.SetHideRows(false);
    EXPECT_TRUE(HasInk(t.Shot(), g.CellRect(0, 3)));
}

TEST(SortGridCells, FilterKeepsRowsBackBeyondTheLastRow) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SortOptions().CanSort = false;  // the rows as the filter arranged them
    g.SetModified(true);
    g.OnSetFilter = [](const QStringList& row, bool& accept) {
        accept = row.at(0).mid(1).split('c').at(0).toInt() % 3 == 0;
    };
    g.SetFiltered(true);
    EXPECT_TRUE(g.Filtered());
    EXPECT_EQ(g.FilteredOutCount(), 7);
    EXPECT_EQ(g.RowCount(), 4);
    EXPECT_EQ(Column(g, 0), (QStringList{"H0", "r3c0", "r6c0", "r9c0"}));
    EXPECT_EQ(g.Cells(0, 4), "r1c0");  // kept in the storage after the visible rows
    EXPECT_TRUE(g.Modified());
    EXPECT_EQ(g.Row(), 1);
    g.SetFiltered(false);
    EXPECT_EQ(g.FilteredOutCount(), 0);
    EXPECT_EQ(Column(g, 0), (QStringList{"H0", "r3c0", "r6c0", "r9c0", "r1c0", "r2c0", "r4c0",
                                         "r5c0", "r7c0", "r8c0", "r10c0"}));
    EXPECT_TRUE(g.Modified());
}

TEST(SortGridCells, FilterAcceptingNothingShowsOneBlankRow) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SortOptions().CanSort = false;
    g.OnSetFilter = [](const QStringList&, bool& accept) { accept = false; };
    g.SetFiltered(true);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_TRUE(g.IsRowEmpty(1));
    EXPECT_EQ(g.FilteredOutCount(), 10);
    EXPECT_FALSE(g.Modified());
    // Filtering again on the blank row does nothing.
    g.SetFiltered(true);
    EXPECT_EQ(g.FilteredOutCount(), 10);
    g.SetFiltered(false);
    EXPECT_EQ(g.RowCount(), 11);
    EXPECT_EQ(g.Cells(0, 1), "r1c0");
    EXPECT_EQ(g.Cells(0, 10), "r10c0");
    EXPECT_FALSE(g.Modified());

    // A filter without a handler hides every row as well.
    g.OnSetFilter = nullptr;
    g.SetFiltered(true);
    EXPECT_EQ(g.FilteredOutCount(), 10);
    g.SetFiltered(false);
    EXPECT_EQ(g.RowCount(), 11);
}

TEST(SortGridCells, FilterOnEmptyGridAndRepeatedFilters) {
    CellGrid t(0);
    TSortGrid& g = t.g;
    ASSERT_EQ(g.RowCount(), 2);
    int calls = 0;
    g.OnSetFilter = [&](const QStringList&, bool& accept) {
        ++calls;
        accept = true;
    };
    g.SetFiltered(true);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(g.FilteredOutCount(), 0);

    // Two filters in a row: switching off brings back the rows of both.
    CellGrid u;
    TSortGrid& h = u.g;
    h.OnSetFilter = [](const QStringList& row, bool& accept) {
        accept = row.at(1).startsWith("r1");
    };
    h.SetFiltered(true);
    EXPECT_EQ(h.RowCount(), 3);  // r1 and r10
    h.OnSetFilter = [](const QStringList& row, bool& accept) { accept = row.at(1) == "r10c1"; };
    h.SetFiltered(true);
    EXPECT_EQ(h.RowCount(), 2);
    EXPECT_EQ(h.FilteredOutCount(), 9);
    h.SetFiltered(false);
    EXPECT_EQ(h.RowCount(), 11);
    QStringList all = Column(h, 0).mid(1);
    all.sort();
    EXPECT_EQ(all.size(), 10);
    EXPECT_EQ(all.removeDuplicates(), 0);
}

TEST(SortGridCells, MultiSelectWithCtrlAndShift) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SetMultiSelect(true);
    EXPECT_TRUE(g.Options().Contains(TGridOption::goRowSelect));
    int selectedEvents = 0;
    g.OnRowSelected = [&](TSortGrid*) { ++selectedEvents; };
    QWidget* vp = g.viewport();
    QTest::mouseClick(vp, Qt::LeftButton, {}, g.CellRect(1, 3).center());
    EXPECT_EQ(g.SelectedRows(), QStringList{"3"});
    EXPECT_GT(selectedEvents, 0);
    // Ctrl+click on the only selected row keeps it.
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, g.CellRect(1, 3).center());
    EXPECT_EQ(g.SelectedRows(), QStringList{"3"});
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, g.CellRect(1, 6).center());
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, g.CellRect(1, 8).center());
    EXPECT_EQ(g.SelectedRows(), (QStringList{"3", "6", "8"}));
    EXPECT_EQ(g.SelectionOrder(), (QStringList{"3", "6", "8"}));
    EXPECT_EQ(g.Row(), 8);
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, g.CellRect(1, 8).center());
    EXPECT_EQ(g.SelectedRows(), (QStringList{"3", "6"}));
    EXPECT_EQ(g.Row(), 6);  // the row last in the order
    const QImage img = t.Shot();
    SaveShot(img, "sortgrid_multiselect");
    EXPECT_EQ(img.pixelColor(g.CellRect(2, 3).center() + QPoint(0, 8)), ToQColor(clHighlight));
    EXPECT_EQ(img.pixelColor(g.CellRect(2, 5).center() + QPoint(0, 8)), ToQColor(clWindow));
    // A plain click makes one row the selection again.
    QTest::mouseClick(vp, Qt::LeftButton, {}, g.CellRect(1, 2).center());
    EXPECT_EQ(g.SelectedRows(), QStringList{"2"});

    // Shift and arrows: the range from the anchor.
    SendKey(&g, QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    for (int i = 0; i < 3; ++i) {
        SendKey(&g, QEvent::KeyPress, Qt::Key_Down, Qt::ShiftModifier);
        SendKey(&g, QEvent::KeyRelease, Qt::Key_Down, Qt::ShiftModifier);
    }
    SendKey(&g, QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
    EXPECT_EQ(g.SelectedRows(), (QStringList{"2", "3", "4", "5"}));
    EXPECT_EQ(g.SelectionOrder().first(), "2");
    EXPECT_EQ(g.Row(), 5);
    // A plain arrow goes back to one row.
    SendKey(&g, QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    SendKey(&g, QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
    EXPECT_EQ(g.SelectedRows(), QStringList{"6"});
    EXPECT_FALSE(g.Options().Contains(TGridOption::goRangeSelect));
    // Shift+click extends from the current row.
    SendKey(&g, QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, g.CellRect(1, 8).center());
    SendKey(&g, QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
    EXPECT_EQ(g.SelectedRows(), (QStringList{"6", "7", "8"}));
}

TEST(SortGridCells, DraggingStartsBeyondTenPixels) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SetMultiSelect(true);
    int drags = 0;
    g.OnStartDrag = [&](TMyCustomGrid*) { ++drags; };
    QWidget* vp = g.viewport();
    const QPoint p = g.CellRect(1, 3).center();
    QTest::mouseClick(vp, Qt::LeftButton, {}, p);
    auto moveHeld = [&](QPoint to) {
        QMouseEvent e(QEvent::MouseMove, QPointF(to), vp->mapToGlobal(QPointF(to)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    };
    QTest::mousePress(vp, Qt::LeftButton, {}, p);  // on a selected row: a drag may start
    moveHeld(p + QPoint(10, 0));
    EXPECT_EQ(drags, 0);
    moveHeld(p + QPoint(0, 11));
    EXPECT_EQ(drags, 1);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, p + QPoint(0, 11));  // ignored: the drag owns it
    EXPECT_EQ(g.SelectedRows(), QStringList{"3"});
}

TEST(SortGridCells, ExtendedKeysInsertAndDelete) {
    CellGrid t(1);
    TSortGrid& g = t.g;
    g.SetSelection({1, 1, 1, 1});
    QTest::keyClick(&g, Qt::Key_Delete, Qt::ControlModifier);  // without ExtendedKeys: nothing
    EXPECT_EQ(g.RowCount(), 2);
    g.SetExtendedKeys(true);
    QTest::keyClick(&g, Qt::Key_Delete, Qt::ControlModifier);  // one data row: nothing
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.Cells(0, 1), "r1c0");
    QTest::keyClick(&g, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(g.RowCount(), 3);
    EXPECT_EQ(Column(g, 0), (QStringList{"H0", "r1c0", ""}));
    QTest::keyClick(&g, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Column(g, 0), (QStringList{"H0", "r1c0"}));
    g.SetSelection({1, 1, 1, 1});
    QTest::keyClick(&g, Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(g.ColCount(), 6);
    EXPECT_EQ(g.Rows(0).ToStringList(), (QStringList{"H0", "", "H1", "H2", "H3", "H4"}));
    QTest::keyClick(&g, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(g.Rows(0).ToStringList(), (QStringList{"H0", "H1", "H2", "H3", "H4"}));
}

TEST(SortGridCells, CharacterJumpsToTheNextRowInTheSortColumn) {
    CellGrid t(6);
    TSortGrid& g = t.g;
    const QStringList names{"Berg", "anna", "Bob", "carl", "beat", "Alf"};
    for (int r = 1; r <= 6; ++r)
        g.SetCells(2, r, names.at(r - 1));
    g.SortOptions().SortCol = 2;
    g.SetSelection({0, 1, 0, 1});
    QTest::keyClicks(&g, "b");
    EXPECT_EQ(g.Row(), 3);
    EXPECT_EQ(g.Col(), 2);
    QTest::keyClicks(&g, "b");
    EXPECT_EQ(g.Row(), 5);
    QTest::keyClicks(&g, "b");  // wraps to the top
    EXPECT_EQ(g.Row(), 1);
    QTest::keyClicks(&g, "A");
    EXPECT_EQ(g.Row(), 2);
    QTest::keyClicks(&g, "z");
    EXPECT_EQ(g.Row(), 2);
}

TEST(SortGridCells, ComboboxListChoosesAnItem) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.OnGetCellFormat = [](TSortGrid*, int c, int r, TGridDrawState, TFormatOptions&, bool&,
                           bool& combo, bool&) { combo = c == 3 && r > 0; };
    QStringList offered{"Zulu", "Alpha", "Mike"};
    int width = 0;
    g.OnGetComboBox = [&](TSortGrid*, int, int, QStringList& items, int& w, int&, bool&) {
        items = offered;
        w = width;
    };
    std::vector<QString> chosen;
    g.OnSetComboBox = [&](TSortGrid*, int c, int r, const QString& s) {
        EXPECT_EQ(QPoint(c, r), QPoint(3, 2));
        chosen.push_back(s);
    };
    g.SetCells(3, 2, "Mike");
    g.SetSelection({3, 2, 3, 2});
    SendKey(&g, QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    QListWidget* list = g.ComboList();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(list->isVisible());
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "Alpha");  // sorted
    EXPECT_EQ(list->currentItem()->text(), "Mike");
    EXPECT_EQ(list->width(), g.CellRect(3, 2).width() + 1);
    EXPECT_EQ(list->pos(), g.CellRect(3, 2).topLeft() + QPoint(2, 1) + g.viewport()->pos());
    const QImage img = t.Shot();
    SaveShot(img, "sortgrid_combobox");
    list->setCurrentRow(2);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(g.Cells(3, 2), "Zulu");
    EXPECT_EQ(chosen, std::vector<QString>{"Zulu"});
    // No items: nothing opens.
    offered.clear();
    SendKey(&g, QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(g.Cells(3, 2), "Zulu");
}

TEST(SortGridCells, EllipsisFiresOnlyInTheButtonArea) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.OnGetCellFormat = [](TSortGrid*, int c, int r, TGridDrawState, TFormatOptions&, bool&, bool&,
                           bool& ell) { ell = c == 1 && r > 0; };
    std::vector<QPoint> fired;
    g.OnSetEllipsis = [&](TSortGrid*, int c, int r) { fired.push_back(QPoint(c, r)); };
    const QRect cell = g.CellRect(1, 4);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 5, cell.center().y()));
    EXPECT_TRUE(fired.empty());
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {},
                      QPoint(cell.right() - 3, cell.center().y()));
    EXPECT_EQ(fired, std::vector<QPoint>{QPoint(1, 4)});
    SendKey(&g, QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_EQ(fired.size(), 2u);
}

TEST(SortGridCells, ProportionalThumbsRoundHalfToEven) {
    TSortGrid g;
    g.SetBorderStyle(TBorderStyle::bsNone);
    g.SetScrollBars(TScrollStyle::ssVertical);
    g.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    g.SetRowCount(8);
    g.resize(300, 25 + 4 * 25);  // header and four rows
    g.show();
    ASSERT_EQ(g.VisibleRowCount(), 4);
    ASSERT_EQ(g.verticalScrollBar()->maximum(), 3);  // top row 1..4
    g.SetProportionalScrollBars(true);
    // (4 + 1) / 8 * (3 + 1) = 2.5: to the even 2.
    EXPECT_EQ(g.verticalScrollBar()->pageStep(), 2);
    g.SetRowCount(10);  // (5 / 10) * 6 = 3
    EXPECT_EQ(g.verticalScrollBar()->pageStep(), 3);
    g.SetRowCount(6);  // (5 / 6) * 2 = 1.67
    EXPECT_EQ(g.verticalScrollBar()->pageStep(), 2);
}

TEST(SortGridCells, WheelScrollsThroughScrollToCell) {
    CellGrid t(40, 300, 25 + 8 * 25);
    TSortGrid& g = t.g;
    ASSERT_EQ(g.VisibleRowCount(), 8);
    auto wheel = [&](int dy) {
        QWheelEvent e(QPointF(50, 50), g.viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                      QPoint(0, dy), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(g.viewport(), &e);
    };
    wheel(-120);
    EXPECT_EQ(g.TopRow(), 2);  // ScrollToCell(Col, 1 + 2) puts row 3 second from the top
    wheel(-120);
    EXPECT_EQ(g.TopRow(), 3);
    wheel(120);
    EXPECT_EQ(g.TopRow(), 1);
    for (int i = 0; i < 40; ++i)
        wheel(-120);
    EXPECT_EQ(g.TopRow(), 41 - 8);
}

TEST(SortGridCells, LastColumnStretchesToTheClientWidth) {
    CellGrid t(3, 500, 200);
    TSortGrid& g = t.g;
    g.resize(520, 200);
    EXPECT_EQ(g.ColWidths(4), 520 - 4 * 64 - 5);
    const QRect last = g.CellRect(4, 1);
    EXPECT_EQ(last.right() + 1 + g.GridLineWidth(), 520);
}

TEST(SortGridCells, GlyphsHaveTheirSizes) {
    EXPECT_EQ(GridGlyph(TGridGlyph::Checked).size(), QSize(10, 10));
    EXPECT_EQ(GridGlyph(TGridGlyph::Unchecked).size(), QSize(10, 10));
    EXPECT_EQ(GridGlyph(TGridGlyph::ComboBox).size(), QSize(16, 16));
    EXPECT_EQ(GridGlyph(TGridGlyph::Ellipsis).size(), QSize(16, 16));
    EXPECT_EQ(GridGlyph(TGridGlyph::Up).size(), QSize(8, 7));
    EXPECT_EQ(GridGlyph(TGridGlyph::Down).size(), QSize(8, 7));
    EXPECT_NE(GridGlyph(TGridGlyph::Up), GridGlyph(TGridGlyph::Down));
}

TEST(SortGridCells, ShowcaseScreenshot) {
    CellGrid t(12, 460, 330);
    TSortGrid& g = t.g;
    g.SetDefaultColWidth(88);
    g.SetDefaultRowHeight(22);
    g.SortOptions().SortCol = 1;
    g.SortOptions().SortDirection = TSortDirection::sdDescending;
    g.SetCells(1, 0, "A long caption");
    g.SetBevelStyle(TCellBevelStyle::cbRaised);
    g.SetMultiSelect(true);
    g.ColumnFormats()[3] = TFontSetting{clNavy, clCream, true, false, false, true};
    g.RowFormats()[9].Active = true;
    g.SetCells(g.ColCount(), 9, "clMaroon,0,1,0,clSkyBlue");
    for (int r = 1; r <= 12; ++r)
        g.SetCells(0, r, r % 2 ? "1" : "");
    g.OnGetCellFormat = [](TSortGrid*, int c, int r, TGridDrawState, TFormatOptions& fo, bool& cb,
                           bool& combo, bool& ell) {
        if (r == 0) return;
        cb = c == 0;
        combo = c == 2;
        ell = c == 4;
        if (c == 1) fo.AlignmentHorz = TAlignment::taRightJustify;
        if (c == 3) fo.AlignmentHorz = TAlignment::taCenter;
    };
    QWidget* vp = g.viewport();
    QTest::mouseClick(vp, Qt::LeftButton, {}, g.CellRect(1, 2).center());
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, g.CellRect(1, 5).center());
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, g.CellRect(1, 6).center());
    const QImage img = t.Shot();
    SaveShot(img, "sortgrid_showcase");
    EXPECT_EQ(g.SelectedRows(), (QStringList{"2", "5", "6"}));
}

TEST(SortGridCells, EditorModeRefusesSpecialCellsAndOpensTheList) {
    CellGrid t;
    TSortGrid& g = t.g;
    g.SetOptions(g.Options() + TGridOption::goEditing);
    g.OnGetCellFormat = [](TSortGrid*, int c, int r, TGridDrawState, TFormatOptions&, bool&,
                           bool& combo, bool& ell) {
        combo = c == 2 && r > 0;
        ell = c == 3 && r > 0;
    };
    g.OnGetComboBox = [](TSortGrid*, int, int, QStringList& items, int&, int&, bool&) {
        items = {"x", "y"};
    };
    g.SetSelection({1, 1, 1, 1});
    QTest::keyClick(&g, Qt::Key_F2);
    ASSERT_TRUE(g.EditorMode());
    QTest::keyClick(g.InplaceEditor(), Qt::Key_End);
    QTest::keyClick(g.InplaceEditor(), Qt::Key_Right);  // into the combobox column: refused
    EXPECT_EQ(g.Col(), 1);
    ASSERT_NE(g.ComboList(), nullptr);
    EXPECT_TRUE(g.ComboList()->isVisible());
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.CellRect(4, 5).center());
    EXPECT_FALSE(g.ComboList()->isVisible());  // a press in the grid hides the list
}
