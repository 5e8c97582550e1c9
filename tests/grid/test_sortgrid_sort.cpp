#include <gtest/gtest.h>
#include <QApplication>
#include <QPainter>
#include <QTest>

#include "grid/gridglyphs.h"
#include "grid/sortgrid.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testenv.h"

namespace {

// A shown sortable grid: columns "Nr.", "Name", "Time", rows as given.
struct SortableGrid {
    explicit SortableGrid(const std::vector<QStringList>& rows) {
        g.SetBorderStyle(TBorderStyle::bsNone);
        g.SetScrollBars(TScrollStyle::ssNone);
        g.SetDefaultColWidth(80);
        g.SetColCount(3);
        g.SetRowCount(int(rows.size()) + 1);
        g.Rows(0) = QStringList{"Nr.", "Name", "Time"};
        for (size_t r = 0; r < rows.size(); ++r)
            g.SetRow(int(r) + 1, rows[r]);
        g.SetModified(false);
        g.resize(260, 200);
        g.show();
        QApplication::setActiveWindow(&g);
    }
    QStringList Col(int c) { return g.Cols(c).ToStringList().mid(1); }
    void ClickHeader(int col, Qt::MouseButton button = Qt::LeftButton, int dx = 0) {
        const QRect r = g.CellRect(col, 0);
        const QPoint at = dx == 0
                              ? r.center()
                              : QPoint(dx > 0 ? r.left() + dx : r.right() + 1 + dx, r.center().y());
        QTest::mouseClick(g.viewport(), button, {}, at);
    }
    ScopedDialogs dialogs;
    TSortGrid g;
};

const std::vector<QStringList> kRace{{"12", "Carla", "1:02,50"},
                                     {"3", "Anna", "58,10"},
                                     {"7", "Berta", "1:02,50"},
                                     {"21", "Dora", "59,00"}};

}  // namespace

TEST(SortGridSort, ByColumnWithStylesAndBothDirections) {
    SortableGrid t(kRace);
    TSortGrid& g = t.g;
    g.SortOptions().SortStyle = TSortStyle::ssAutomatic;
    g.SortByColumn(0);
    EXPECT_EQ(t.Col(0), (QStringList{"3", "7", "12", "21"}));  // detected numeric
    EXPECT_EQ(g.SortOptions().SortStyle, TSortStyle::ssNumeric);
    EXPECT_EQ(t.Col(1), (QStringList{"Anna", "Berta", "Carla", "Dora"}));  // rows move whole
    // The detected style stays: the names are compared as text, the numbers unparsable.
    g.SortOptions().SortDirection = TSortDirection::sdDescending;
    g.SortByColumn(1);
    EXPECT_EQ(t.Col(1), (QStringList{"Dora", "Carla", "Berta", "Anna"}));
    EXPECT_EQ(g.SortOptions().SortCol, 1);
    // Start numbers with ssNumericExtended.
    g.SortOptions().SortStyle = TSortStyle::ssNumericExtended;
    g.SortOptions().SortDirection = TSortDirection::sdAscending;
    g.SortByColumn(0);
    EXPECT_EQ(t.Col(0), (QStringList{"3", "7", "12", "21"}));
    EXPECT_FALSE(g.Modified());  // sorting is no change of the contents
    EXPECT_FALSE(g.NowUpdating());
}

TEST(SortGridSort, DetectSortStyleOfAGridColumn) {
    SortableGrid t({{"10", "a", "1:00"}, {"9", "b", "2:00"}, {"", "c", "x"}});
    TSortGrid& g = t.g;
    EXPECT_EQ(g.DetectSortStyle(0), TSortStyle::ssNormal);  // the empty cell
    g.SortOptions().SortStyle = TSortStyle::ssAutomatic;
    g.SortByColumn(0);
    EXPECT_EQ(t.Col(0), (QStringList{"", "10", "9"}));
    g.SetCells(0, 1, "11");
    EXPECT_EQ(g.DetectSortStyle(0), TSortStyle::ssNumeric);
    g.SortOptions().SortStyle = TSortStyle::ssAutomatic;
    g.SortByColumn(0);
    EXPECT_EQ(t.Col(0), (QStringList{"9", "10", "11"}));
}

TEST(SortGridSort, EqualKeysKeepTheirOrderInBothDirectionsAndSecondaryKeys) {
    SortableGrid t(
        {{"1", "x", "b"}, {"2", "y", "a"}, {"3", "x", "a"}, {"4", "y", "b"}, {"5", "x", "a"}});
    TSortGrid& g = t.g;
    g.SortOptions().SortDirection = TSortDirection::sdDescending;
    g.SortByColumn(1);
    EXPECT_EQ(t.Col(0), (QStringList{"2", "4", "1", "3", "5"}));
    g.SortByColumn(1);  // descending twice does not reverse the equal rows
    EXPECT_EQ(t.Col(0), (QStringList{"2", "4", "1", "3", "5"}));
    g.SortOptions().SortDirection = TSortDirection::sdAscending;
    g.SortByColumn(1);
    EXPECT_EQ(t.Col(0), (QStringList{"1", "3", "5", "2", "4"}));

    // Column 2 decides among equal values of column 1, in the same direction.
    g.SortOptions().SecondaryIndex = "2";
    g.SortOptions().SortDirection = TSortDirection::sdDescending;
    g.SortByColumn(1);
    EXPECT_EQ(t.Col(0), (QStringList{"4", "2", "1", "3", "5"}));
}

TEST(SortGridSort, RowsCarryObjectsFormatsAndSelection) {
    SortableGrid t({{"c", "", ""}, {"a", "", ""}, {"d", "", ""}, {"b", "", ""}});
    TSortGrid& g = t.g;
    int objects[4];
    for (int r = 1; r <= 4; ++r)
        g.SetObjects(1, r, &objects[r - 1]);
    g.SetCells(g.ColCount(), 3, "clRed,1,0,0,clWhite");  // the hidden format cell of "d"
    g.RowFormats().resize(5);
    g.RowFormats()[3].Active = true;
    g.RowFormats()[3].Color = clRed;
    g.SetMultiSelect(true);
    QWidget* vp = g.viewport();
    QTest::mouseClick(vp, Qt::LeftButton, {}, g.CellRect(0, 1).center());                   // "c"
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, g.CellRect(0, 3).center());  // "d"
    ASSERT_EQ(g.SelectedRows(), (QStringList{"1", "3"}));

    g.SortByColumn(0);
    EXPECT_EQ(t.Col(0), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(g.Objects(1, 1), &objects[1]);
    EXPECT_EQ(g.Objects(1, 4), &objects[2]);
    EXPECT_EQ(g.Cells(g.ColCount(), 4), "clRed,1,0,0,clWhite");
    EXPECT_TRUE(g.Cells(g.ColCount(), 3).isEmpty());
    EXPECT_TRUE(g.RowFormats()[4].Active);
    EXPECT_EQ(g.RowFormats()[4].Color, clRed);
    EXPECT_FALSE(g.RowFormats()[3].Active);
    // "c" and "d" are selected where they went; the first of them is current.
    EXPECT_EQ(g.SelectedRows(), (QStringList{"3", "4"}));
    EXPECT_EQ(g.SelectionOrder(), (QStringList{"3", "4"}));
    EXPECT_EQ(g.Row(), 3);
}

TEST(SortGridSort, EventsAndTheCustomComparison) {
    SortableGrid t(kRace);
    TSortGrid& g = t.g;
    std::vector<std::string> calls;
    g.OnBeginSort = [&](TSortGrid* s, int& col) {
        EXPECT_TRUE(s->NowUpdating());
        calls.push_back("begin " + std::to_string(col));
        col = 1;  // sort by the names instead
        s->SortOptions().SortStyle = TSortStyle::ssCustom;
        s->SortOptions().SortCompare = [](const QString& a, const QString& b) {
            return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
        };
    };
    g.OnGetSortStyle = [&](TSortGrid*, int col, TSortStyle& style) {
        calls.push_back("style " + std::to_string(col));
        EXPECT_EQ(style, TSortStyle::ssCustom);
    };
    g.OnEndSort = [&](TSortGrid* s, int col) {
        calls.push_back("end " + std::to_string(col));
        EXPECT_FALSE(s->SortOptions().SortCompare);  // reset after every sort
    };
    g.SortOptions().SecondaryIndex = "0";
    g.SortByColumn(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"begin 2", "style 0", "style 1", "end 1"}));
    // Names by length; among equal lengths the secondary key, start numbers, by length too.
    EXPECT_EQ(t.Col(1), (QStringList{"Anna", "Dora", "Berta", "Carla"}));
    EXPECT_EQ(g.SortOptions().SortCol, 1);

    // A throwing comparison leaves the grid usable and the rows as they were.
    const QStringList before = t.Col(1);
    g.OnBeginSort = [](TSortGrid* s, int&) {
        s->SortOptions().SortCompare = [](const QString&, const QString&) -> int {
            throw Exception("broken");
        };
    };
    g.OnGetSortStyle = nullptr;
    g.OnEndSort = nullptr;
    EXPECT_THROW(g.SortByColumn(1), Exception);
    EXPECT_FALSE(g.NowUpdating());
    EXPECT_FALSE(g.SortOptions().SortCompare);
    EXPECT_EQ(t.Col(1), before);
}

TEST(SortGridSort, NothingSortsWithoutCanSort) {
    SortableGrid t(kRace);
    TSortGrid& g = t.g;
    g.SortOptions().CanSort = false;
    g.SortOptions().UpdateOnSizeChange = true;
    bool began = false;
    g.OnBeginSort = [&](TSortGrid*, int&) { began = true; };
    g.SortByColumn(1);
    t.ClickHeader(1);
    g.SetRowCount(6);
    EXPECT_FALSE(began);
    EXPECT_EQ(t.Col(0).mid(0, 4), (QStringList{"12", "3", "7", "21"}));
    EXPECT_EQ(g.SortOptions().SortCol, 0);

    // With sorting allowed, a new row re-sorts when asked to.
    g.SortOptions().CanSort = true;
    g.SortOptions().SortCol = 1;
    g.SetRowCount(7);
    EXPECT_TRUE(began);
    EXPECT_EQ(t.Col(1).mid(2), (QStringList{"Anna", "Berta", "Carla", "Dora"}));
}

TEST(SortGridSort, TheFilterSortsWhatItShowsAndWhatComesBack) {
    SortableGrid t(kRace);
    TSortGrid& g = t.g;
    g.SortOptions().SortCol = 1;
    g.OnSetFilter = [](const QStringList& row, bool& accept) { accept = row.at(0).size() == 2; };
    g.SetFiltered(true);
    EXPECT_EQ(t.Col(1), (QStringList{"Carla", "Dora"}));
    g.SetFiltered(false);
    EXPECT_EQ(t.Col(1), (QStringList{"Anna", "Berta", "Carla", "Dora"}));
    EXPECT_FALSE(g.Modified());
}

TEST(SortGridSort, HeaderClicksSortTheRows) {
    SortableGrid t(kRace);
    TSortGrid& g = t.g;
    t.ClickHeader(1);  // a new column: ascending
    EXPECT_EQ(t.Col(1), (QStringList{"Anna", "Berta", "Carla", "Dora"}));
    t.ClickHeader(1);  // again: descending
    EXPECT_EQ(t.Col(1), (QStringList{"Dora", "Carla", "Berta", "Anna"}));
    t.ClickHeader(1);
    EXPECT_EQ(t.Col(1), (QStringList{"Anna", "Berta", "Carla", "Dora"}));
    t.ClickHeader(0, Qt::RightButton);  // right: descending also on a new column
    EXPECT_EQ(g.SortOptions().SortDirection, TSortDirection::sdDescending);
    EXPECT_EQ(t.Col(1),
              (QStringList{"Berta", "Anna", "Dora", "Carla"}));  // "7" > "3" > "21" > "12"

    // Within 5 pixels of either edge of a column nothing sorts.
    const QStringList before = t.Col(1);
    for (int dx : {2, 5, -2, -5}) {
        t.ClickHeader(2, Qt::LeftButton, dx);
        EXPECT_EQ(g.SortOptions().SortCol, 0) << dx;
        EXPECT_EQ(t.Col(1), before) << dx;
    }
    t.ClickHeader(2, Qt::LeftButton, 6);
    EXPECT_EQ(g.SortOptions().SortCol, 2);

    // Press in one column, release in another: no sort.
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, g.CellRect(0, 0).center());
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, g.CellRect(1, 0).center());
    EXPECT_EQ(g.SortOptions().SortCol, 2);
}

TEST(SortGridSort, GlyphAndShortenedCaptionInTheHeader) {
    SortableGrid t(kRace);
    TSortGrid& g = t.g;
    g.SetCells(2, 0, "Finishing time of the day");
    g.SortByColumn(1);
    QImage img = Render(&g);
    SaveShot(img, "sortgrid_sorted_ascending");
    const QRect cell = g.CellRect(1, 0);
    const QRect glyph(cell.left() + 3, g.RowHeights(0) / 2 - 4, 8, 7);
    // The glyph as it looks on the header's background.
    auto onHeader = [&](const QImage& image, TGridGlyph which) {
        QImage ref(glyph.size(), QImage::Format_RGB32);
        ref.fill(image.pixelColor(cell.left() + 1, glyph.top()));
        QPainter(&ref).drawImage(0, 0, GridGlyph(which));
        return ref;
    };
    auto at = [&](const QImage& image) {
        return image.copy(glyph).convertToFormat(QImage::Format_RGB32);
    };
    EXPECT_EQ(at(img), onHeader(img, TGridGlyph::Up));

    g.SortOptions().SortDirection = TSortDirection::sdDescending;
    g.SortByColumn(1);
    img = Render(&g);
    SaveShot(img, "sortgrid_sorted_descending");
    EXPECT_EQ(at(img), onHeader(img, TGridGlyph::Down));
    EXPECT_NE(onHeader(img, TGridGlyph::Up), onHeader(img, TGridGlyph::Down));

    // Only a grid that may sort shows it.
    g.SortOptions().CanSort = false;
    EXPECT_NE(at(Render(&g)), onHeader(img, TGridGlyph::Down));
    g.SortOptions().CanSort = true;

    // The long caption is drawn shortened: its cell looks like that of a grid whose caption is
    // the shortened text itself.
    const QFontMetrics fm(g.font());
    const int available = g.ColWidths(2) - 1;
    QString expected = QString("Finishing time of the day").left(23) + "..";
    while (fm.horizontalAdvance(expected) > available && expected.size() > 3)
        expected.remove(expected.size() - 3, 1);
    ASSERT_LT(expected.size(), 25);
    ASSERT_TRUE(expected.endsWith(".."));
    SortableGrid plain(kRace);
    plain.g.SortOptions().SortCol = 1;
    plain.g.SetCells(2, 0, expected);
    const QImage other = Render(&plain.g);
    const QRect header = g.CellRect(2, 0);
    EXPECT_EQ(img.copy(header), other.copy(header));
    plain.g.SetCells(2, 0, "Finishing time of the day");
    EXPECT_EQ(Render(&plain.g).copy(header), other.copy(header));
}
