#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QToolButton>

#include "app/menuitem.h"
#include "app/panel.h"
#include "grid/sortgrid.h"
#include "platform/ttimer.h"
#include "tests/app/formfixture.h"

class Protocol : public FormFixture {
protected:
    void TearDown() override {
        QLocale::setDefault(QLocale::c());
        FormFixture::TearDown();
    }
    // Three finishers: the third passes 2:10.05,27 after the start and 1.02,50 after the first.
    void WorkedRun(TFormMain& f) {
        f.mStart->Click();
        clock.Advance(7805270 - 62500);
        f.mLAP->Click();
        clock.Advance(30000);
        f.mLAP->Click();
        clock.Advance(32500);
        f.cbStartN->setEditText("117");
        f.mLAP->Click();
    }
    // A run, RESET (answered Yes), then a run with one finisher: after RESET the grid counts as
    // unchanged, and the one lap fills its empty row without making it Modified.
    void OneLapAfterReset(TFormMain& f) {
        f.mStart->Click();
        f.mStop->Click();
        dialogs.confirmAnswers = {true};
        f.mReset->Click();
        f.mStart->Click();
        clock.Advance(1000);
        f.mLAP->Click();
        f.mStop->Click();
    }
    QStringList Row(TFormMain& f, int r) {
        QStringList l;
        for (int c = 0; c < 5; ++c)
            l << f.SortGrid1->Cells(c, r);
        return l;
    }
};

TEST_F(Protocol, WorkedRowWithAPointAndWithAComma) {
    QLocale::setDefault(QLocale::c());
    TFormMain& f = Build();
    WorkedRun(f);
    EXPECT_EQ(Row(f, 3), QStringList({"3.", "117", "2:10.05,27", "1.02,50", "19.5"}));
    EXPECT_EQ(Row(f, 1)[3], "0,00");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TFormMain& g = Build();
    WorkedRun(g);
    EXPECT_EQ(Row(g, 3)[4], "19,5");
}

TEST_F(Protocol, FirstSplitIsZeroInTheCurrentResolution) {
    TFormMain& f = Build();
    SetResolutionSetting(f, 1);
    f.mStart->Click();
    clock.Advance(5230);
    f.mLAP->Click();
    EXPECT_EQ(Row(f, 1), QStringList({"1.", "", "5,2", "0,0", f.SortGrid1->Cells(4, 1)}));
    SetResolutionSetting(f, 0);
    clock.Advance(1000);
    f.mLAP->Click();
    EXPECT_EQ(f.SortGrid1->Cells(2, 2), "6");  // only rows written afterwards change
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), "5,2");
}

TEST_F(Protocol, ALapInTheStartTickHasAZeroSpeed) {
    TFormMain& f = Build();
    f.mStart->Click();
    f.mLAP->Click();
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), "0,00");
    EXPECT_EQ(f.SortGrid1->Cells(4, 1), "0.0");
}

TEST_F(Protocol, ModifiedThroughARun) {
    TFormMain& f = Build();
    EXPECT_TRUE(f.SortGrid1->Modified());  // set while the window was built
    f.mStart->Click();
    clock.Advance(1000);
    f.mStop->Click();
    dialogs.confirmAnswers = {true};
    f.mReset->Click();
    EXPECT_FALSE(f.SortGrid1->Modified());
    f.mStart->Click();
    clock.Advance(1000);
    f.mLAP->Click();  // fills the empty row: the row count is unchanged
    EXPECT_FALSE(f.SortGrid1->Modified());
    f.SortGrid1->SetCells(1, 1, "42");
    EXPECT_FALSE(f.SortGrid1->Modified());
    clock.Advance(1000);
    f.mLAP->Click();
    EXPECT_TRUE(f.SortGrid1->Modified());
    EXPECT_EQ(f.SortGrid1->RowCount(), 3);
}

// One lap after RESET changes no row count, so the grid's flag stays clear; the finisher is still
// in no file the operator saved, and closing asks. Once saved, it closes without asking.
TEST_F(Protocol, AfterResetOneUnsavedLapIsAskedAboutAtExit) {
    TFormMain& f = Build();
    OneLapAfterReset(f);
    ASSERT_FALSE(f.SortGrid1->Modified());
    bool can = true;
    dialogs.confirmAnswers = {false};
    f.FormCloseQuery(can);
    EXPECT_FALSE(can);
    EXPECT_EQ(dialogs.confirms, (QStringList{"Clear protocol?", "Exit program?"}));
    dialogs.saveAnswers = {{dir.filePath("one.txt"), 4}};
    f.sbSaveClick();
    can = true;
    f.FormCloseQuery(can);
    EXPECT_TRUE(can);
    EXPECT_EQ(dialogs.confirms.size(), 2);
}

TEST_F(Protocol, ColumnWidthsOnResizeAndReset) {
    TFormMain& f = Build();
    f.show();
    f.resize(900, 450);
    QApplication::processEvents();
    EXPECT_EQ(f.SortGrid1->ColWidths(3), 78);
    EXPECT_EQ(f.SortGrid1->ColWidths(4), 52);
    f.mStart->Click();
    f.mStop->Click();
    dialogs.confirmAnswers = {true};
    f.mReset->Click();
    EXPECT_EQ(f.SortGrid1->ColWidths(3), 92);
    EXPECT_EQ(f.SortGrid1->ColWidths(4), 32);
    EXPECT_TRUE(f.sbSave->isEnabled());
    EXPECT_TRUE(f.sbPrint->isEnabled());
}

TEST_F(Protocol, NewRowIsSelectedAndTheLowestVisible) {
    TFormMain& f = Build();
    f.show();
    f.mStart->Click();
    for (int i = 0; i < 40; ++i) {
        clock.Advance(700);
        f.mLAP->Click();
    }
    const TGridRect sel = f.SortGrid1->Selection();
    EXPECT_EQ(sel.Top, 40);
    EXPECT_EQ(sel.Bottom, 40);
    EXPECT_EQ(sel.Left, 0);
    EXPECT_EQ(sel.Right, 4);
    EXPECT_EQ(f.SortGrid1->TopRow() + f.SortGrid1->VisibleRowCount() - 1, 40);
}

TEST_F(Protocol, ClickingATimeSelectsTheRowAndAStartNumberCanBeTyped) {
    TFormMain& f = Build();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.mStart->Click();
    clock.Advance(1000);
    f.cbStartN->setEditText("7");
    f.mLAP->Click();
    clock.Advance(1000);
    f.mLAP->Click();
    f.mStop->Click();
    TSortGrid* g = f.SortGrid1;
    QWidget* vp = g->viewport();
    QTest::mouseClick(vp, Qt::LeftButton, {}, g->CellRect(2, 1).center());
    EXPECT_EQ(g->Selection().Left, 0);
    EXPECT_EQ(g->Selection().Right, 4);
    EXPECT_EQ(g->Selection().Top, 1);
    QTest::keyClicks(vp, "9");
    EXPECT_EQ(g->Cells(2, 1), "1,00");  // no editing of a time
    QTest::mouseClick(vp, Qt::LeftButton, {}, g->CellRect(1, 2).center());
    EXPECT_EQ(g->Col(), 1);
    EXPECT_EQ(g->Row(), 2);
    g->SetModified(false);
    // Keys go where the focus is: the first opens the editor, the rest type into it.
    for (char key : {'1', '2'})
        QTest::keyClick(QApplication::focusWidget(), key);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(g->Cells(1, 2), "12");
    EXPECT_TRUE(g->Modified());
}

// After RESET the current cell may lie in any column: a click, a typed key or F2 must still
// edit nothing but a start number, and the exit file must not gain a made-up speed.
TEST_F(Protocol, AfterResetOnlyTheStartNumberIsEditable) {
    TFormMain& f = Build();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.mStart->Click();
    clock.Advance(1000);
    f.mLAP->Click();
    clock.Advance(1000);
    f.mLAP->Click();
    f.mStop->Click();
    dialogs.confirmAnswers = {true};
    f.mReset->Click();
    TSortGrid* g = f.SortGrid1;
    QWidget* vp = g->viewport();
    QTest::mouseClick(vp, Qt::LeftButton, {}, g->CellRect(4, 1).center());
    QTest::keyClick(QApplication::focusWidget(), '5');
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(g->EditorMode());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    EXPECT_FALSE(g->EditorMode());
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(g->Cells(c, 1), "") << c;
    // The start number of the same row still can be typed.
    QTest::mouseClick(vp, Qt::LeftButton, {}, g->CellRect(1, 1).center());
    QTest::keyClick(QApplication::focusWidget(), '8');
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(g->Cells(1, 1), "8");
    EXPECT_EQ(g->Cells(4, 1), "");
    Destroy();
    QFile exitFile(dir.filePath("vidazorov.txt"));
    ASSERT_TRUE(exitFile.open(QIODevice::ReadOnly));
    const QByteArray saved = exitFile.readAll();
    EXPECT_TRUE(saved.contains("\r\n,8,,,\r\n")) << saved.toStdString();
    EXPECT_FALSE(saved.contains(",5")) << saved.toStdString();
}

// A protocol of another shape opened before a run: every lap keeps all five values, and none
// fails.
TEST_F(Protocol, LapsIntoAProtocolOfThreeColumnsKeepEveryValue) {
    {
        TSortGrid narrow;
        narrow.SetColCount(3);
        narrow.SetRowCount(3);
        narrow.SetCells(0, 0, "Rang");
        narrow.SetCells(1, 0, "Nr.");
        narrow.SetCells(2, 0, "Zeit");
        narrow.SetCells(0, 1, "1.");
        narrow.SetCells(1, 1, "12");
        narrow.SetCells(2, 1, "9,00");
        ASSERT_TRUE(narrow.SaveToFile(dir.filePath("narrow.txt"), false));
    }
    QLocale::setDefault(QLocale::c());
    TFormMain& f = Build();
    f.show();
    dialogs.defaultConfirm = true;
    dialogs.openAnswers = {dir.filePath("narrow.txt")};
    f.sbLoadClick();
    ASSERT_EQ(f.SortGrid1->ColCount(), 3);
    f.mStart->Click();
    for (int lap = 1; lap <= 3; ++lap) {
        clock.Advance(1000);
        f.cbStartN->setEditText(QString::number(lap));
        EXPECT_NO_THROW(f.mLAP->Click());
    }
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(f.SortGrid1->ColCount(), 5);
    EXPECT_EQ(Row(f, 0), QStringList({"Rang", "Nr.", "Zeit", "Split", "Km/h"}));
    EXPECT_EQ(Row(f, 1), QStringList({"1.", "1", "1,00", "0,00", "151902.0"}));
    EXPECT_EQ(Row(f, 3), QStringList({"3.", "3", "3,00", "2,00", "50634.0"}));
    const TGridRect sel = f.SortGrid1->Selection();
    EXPECT_EQ(sel.Top, 3);
    EXPECT_EQ(sel.Right, 4);
}

// Opening a protocol replaces the grid: the question comes whenever it holds results not yet
// opened from a file, also when one lap changed no row count.
TEST_F(Protocol, OneFinisherIsNotReplacedWithoutAQuestion) {
    TFormMain& f = Build();
    f.SortGrid1->SaveToFile(dir.filePath("empty.txt"), false);
    OneLapAfterReset(f);
    ASSERT_FALSE(f.SortGrid1->Modified());
    dialogs.confirms.clear();
    dialogs.confirmAnswers = {false};
    dialogs.openAnswers = {dir.filePath("empty.txt")};
    f.sbLoadClick();
    EXPECT_EQ(dialogs.confirms, QStringList{"Clear protocol?"});
    EXPECT_EQ(f.SortGrid1->Cells(0, 1), "1.");
    // Over an opened protocol: a run's first rows overwrite its rows without growing it.
    {
        TSortGrid two;
        two.SetColCount(5);
        two.SetRowCount(3);
        two.SetCells(0, 1, "1.");
        two.SetCells(0, 2, "2.");
        ASSERT_TRUE(two.SaveToFile(dir.filePath("two.txt"), false));
    }
    dialogs.confirmAnswers = {true};
    f.mReset->Click();
    dialogs.confirms.clear();
    dialogs.openAnswers = {dir.filePath("two.txt"), dir.filePath("two.txt")};
    f.sbLoadClick();
    ASSERT_EQ(f.SortGrid1->RowCount(), 3);
    f.sbLoadClick();  // nothing recorded since it was opened: no question
    EXPECT_TRUE(dialogs.confirms.isEmpty());
    // A run never writes over an opened protocol's rows: START asks to clear it first, and No
    // starts nothing.
    dialogs.confirmAnswers = {false};
    f.mStart->Click();
    EXPECT_EQ(dialogs.confirms, QStringList{"Clear protocol?"});
    EXPECT_FALSE(f.Clock->Enabled());
    EXPECT_EQ(f.SortGrid1->Cells(0, 2), "2.");
    dialogs.confirmAnswers = {true};
    f.mStart->Click();
    EXPECT_TRUE(f.Clock->Enabled());
    EXPECT_EQ(f.SortGrid1->RowCount(), 2);
    clock.Advance(1000);
    f.mLAP->Click();
    f.mStop->Click();
    ASSERT_FALSE(f.SortGrid1->Modified());
    dialogs.confirms.clear();
    dialogs.confirmAnswers = {false};
    dialogs.openAnswers = {dir.filePath("empty.txt")};
    f.sbLoadClick();
    EXPECT_EQ(dialogs.confirms, QStringList{"Clear protocol?"});
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), "1,00");
}

// RESET over a protocol of three columns, opened after STOP: the widths it has are set, and the
// window is ready for the next run.
TEST_F(Protocol, ResetOverANarrowOpenedProtocolReadiesTheNextRun) {
    {
        TSortGrid narrow;
        narrow.SetColCount(3);
        narrow.SetRowCount(2);
        narrow.SetCells(2, 1, "9,00");
        ASSERT_TRUE(narrow.SaveToFile(dir.filePath("narrow.txt"), false));
    }
    TFormMain& f = Build();
    f.mStart->Click();
    f.mStop->Click();
    dialogs.defaultConfirm = true;
    dialogs.openAnswers = {dir.filePath("narrow.txt")};
    f.sbLoadClick();
    ASSERT_EQ(f.SortGrid1->ColCount(), 3);
    EXPECT_NO_THROW(f.mResetClick());
    EXPECT_TRUE(f.mStart->Enabled());
    EXPECT_FALSE(f.mReset->Enabled());
    EXPECT_EQ(f.SortGrid1->ColWidths(1), 52);
}

// A speed that lies exactly on a half tenth rounds up: 42,195 m in 9 h 42 min is 4.35 km/h.
TEST_F(Protocol, SpeedOnAHalfTenthRoundsUp) {
    QLocale::setDefault(QLocale::c());
    TFormMain& f = Build();
    f.mStart->Click();
    clock.Advance((9 * 60 + 42) * 60 * 1000);
    f.mLAP->Click();
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), "9:42.00,00");
    EXPECT_EQ(f.SortGrid1->Cells(4, 1), "4.4");
}

// The widths the window gives the columns do not depend on whether its size came at start-up or
// from a later resize.
TEST_F(Protocol, ColumnWidthsAtStartUpAreThoseOfAResizeToTheSameSize) {
    TFormMain& f = Build();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QApplication::processEvents();
    std::vector<int> atStart;
    for (int c = 0; c < 5; ++c)
        atStart.push_back(f.SortGrid1->ColWidths(c));
    const QSize size = f.size();
    f.resize(size + QSize(40, 0));
    QApplication::processEvents();
    f.resize(size);
    QApplication::processEvents();
    std::vector<int> afterResize;
    for (int c = 0; c < 5; ++c)
        afterResize.push_back(f.SortGrid1->ColWidths(c));
    EXPECT_EQ(atStart, afterResize);
    EXPECT_EQ(atStart, (std::vector<int>{42, 52, 92, 78, 52}));
}
