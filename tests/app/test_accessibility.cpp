#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QSet>
#include <QToolButton>

#include "app/menuitem.h"
#include "app/panel.h"
#include "app/spokendisplay.h"
#include "config/cfgdialog.h"
#include "platform/ttimer.h"
#include "tests/app/formfixture.h"
#include "widgets/floatedit.h"

namespace {

QAccessibleInterface* A(QObject* o) {
    return QAccessible::queryAccessibleInterface(o);
}
QString Name(QObject* o) {
    return A(o)->text(QAccessible::Name);
}
QString Description(QObject* o) {
    return A(o)->text(QAccessible::Description);
}

// Collects the names of everything reachable in the accessibility tree.
void Walk(QAccessibleInterface* i, QStringList& names, int depth = 0) {
    if (!i || depth > 12) return;
    names << i->text(QAccessible::Name);
    for (int c = 0; c < i->childCount(); ++c)
        Walk(i->child(c), names, depth + 1);
}

}  // namespace

class Accessibility : public FormFixture {};

TEST_F(Accessibility, EveryControlHasANameAndTheRunButtonsTheirCommand) {
    TFormMain& f = Build();
    QList<QWidget*> controls;
    for (QWidget* w : f.findChildren<QWidget*>())
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QLineEdit*>(w) || w == f.LedModus || w == f.SortGrid1 ||
            w == f.PanelTimer || w == f.PanelDate)
            controls << w;
    ASSERT_GE(controls.size(), 15);
    for (QWidget* w : controls) {
        const QString name = Name(w);
        EXPECT_FALSE(name.isEmpty()) << w->metaObject()->className();
        // Names are words a listener understands, not the code's identifiers.
        EXPECT_FALSE(name.startsWith("sb") || name.startsWith("cb") || name == "SortGrid1")
            << name.toStdString() << " " << w->metaObject()->className() << " "
            << w->objectName().toStdString();
    }
    EXPECT_EQ(Name(f.bSTART), "START");
    EXPECT_EQ(Name(f.bLAP), "LAP");
    EXPECT_EQ(Name(f.bSTOP), "STOP");
    EXPECT_EQ(Name(f.bRESET), "RESET");  // its caption "00:00" says nothing
    EXPECT_TRUE(Description(f.bSTART).contains("Alt+S"));
    EXPECT_TRUE(Description(f.bLAP).contains("finisher"));
    EXPECT_EQ(Name(f.sbLoad), "Open protocol");
    EXPECT_EQ(Name(f.cbStartN), "Start number");
    ASSERT_NE(f.CfgDialog, nullptr);
    EXPECT_EQ(Name(f.CfgDialog->feDist), "Distance:");  // the configuration's labels name them
    // On Linux a combo box's name is its value; its label is given as a relation.
    const auto labels = A(f.CfgDialog->cbPort)->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0].first->text(QAccessible::Name), "COM-Port:");
    EXPECT_EQ(Name(f.PanelDate), "Date and time");
    EXPECT_EQ(A(f.PanelDate)->text(QAccessible::Value), f.PanelDate->Caption());
    EXPECT_EQ(Name(f.Panel4), "Protocol");  // a panel without a name is read by its caption

    QStringList names;
    Walk(A(&f), names);
    for (const char* n : {"START", "LAP", "STOP", "RESET", "Race time", "Start number",
                          "Configuration", "Save protocol as..", "Protocol"})
        EXPECT_TRUE(names.contains(n)) << n;
    // The display is one text: its fourteen digits are not read one by one.
    EXPECT_FALSE(names.contains("digit"));
    EXPECT_EQ(A(f.PanelTimer)->childCount(), 0);
}

TEST_F(Accessibility, TheLedTellsWhetherThePhotocellIsArmed) {
    TFormMain& f = Build();
    EXPECT_EQ(Name(f.LedModus), "Photocell mode");
    f.LedModus->SetKind(TLedKind::lkGreen);
    EXPECT_TRUE(Description(f.LedModus).startsWith("Armed"));
    EXPECT_TRUE(A(f.LedModus)->state().checked);
    f.LedModus->SetKind(TLedKind::lkRed);
    EXPECT_TRUE(Description(f.LedModus).startsWith("Locked"));
    EXPECT_FALSE(A(f.LedModus)->state().checked);
}

TEST_F(Accessibility, TheRunningTimeIsToldOnceASecondAndTheStopTimeExactly) {
    TFormMain& f = Build();
    EXPECT_EQ(Description(f.PanelTimer), "0,00");
    // What a screen reader would be told: every change of the display's description.
    QStringList heard;
    auto listen = [&] {
        const QString d = Description(f.PanelTimer);
        if (heard.isEmpty() || heard.last() != d) heard << d;
    };
    f.mStart->Click();
    listen();
    for (int tick = 0; tick < 350; ++tick) {  // 3.5 s of 10 ms ticks
        clock.Advance(10);
        f.Clock->Fire();
        listen();
    }
    clock.Advance(1234);
    f.cbStartN->setEditText("17");
    f.mLAP->Click();
    listen();
    clock.Advance(5);
    f.mStop->Click();
    listen();
    // The lap shows beside the running time as it stood at the last tick; STOP zeroes row 2.
    EXPECT_EQ(heard, QStringList({"0,00", "0", "1", "2", "3", "3, last finisher 4,73", "4,73"}));
    EXPECT_EQ(A(f.PanelTimer)->text(QAccessible::Value), "4,73");
}

TEST(SpokenDisplay, FormatsOnlyWhenTheHeardTextChanges) {
    SpokenDisplay s;
    EXPECT_EQ(s.Show(1, 0, false, 2), QString("0,00"));
    EXPECT_EQ(s.Show(2, 0, false, 2), std::nullopt);  // no finisher: nothing new to say
    EXPECT_EQ(s.Show(1, 10, true, 2), QString("0"));
    EXPECT_EQ(s.Show(1, 990, true, 2), std::nullopt);
    EXPECT_EQ(s.Show(1, 1000, true, 2), QString("1"));
    EXPECT_EQ(s.Show(2, 62030, false, 2), QString("1, last finisher 1.02,03"));
    EXPECT_EQ(s.Show(1, 1999, false, 0), std::nullopt);  // the same words as before
    EXPECT_EQ(s.Show(1, 1999, false, 2), QString("1,99, last finisher 1.02,03"));
}

TEST_F(Accessibility, TheGridIsATableOfItsRows) {
    TFormMain& f = Build();
    f.mStart->Click();
    for (int i = 0; i < 3; ++i) {
        clock.Advance(1000);
        f.cbStartN->setEditText(QString::number(40 + i));
        f.mLAP->Click();
    }
    QAccessibleInterface* grid = A(f.SortGrid1);
    ASSERT_EQ(grid->role(), QAccessible::Table);
    EXPECT_EQ(grid->text(QAccessible::Name), "Protocol");
    QAccessibleTableInterface* table = grid->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->columnCount(), 5);
    EXPECT_EQ(table->columnDescription(2), "Time");
    EXPECT_EQ(grid->childCount(), 15);
    QAccessibleInterface* cell = table->cellAt(1, 1);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->role(), QAccessible::Cell);
    EXPECT_EQ(cell->text(QAccessible::Name), "41");
    EXPECT_EQ(cell->text(QAccessible::Description), "Nr.");
    EXPECT_EQ(table->cellAt(2, 2)->text(QAccessible::Name), f.SortGrid1->Cells(2, 3));
    EXPECT_EQ(cell, table->cellAt(1, 1));  // a cell keeps its identity
    EXPECT_EQ(cell->parent(), grid);
    EXPECT_EQ(grid->indexOfChild(cell), 6);
    ASSERT_NE(cell->tableCellInterface(), nullptr);
    EXPECT_EQ(cell->tableCellInterface()->rowIndex(), 1);
    EXPECT_EQ(cell->tableCellInterface()->columnIndex(), 1);
    // The latest finisher's row is selected.
    EXPECT_EQ(table->selectedRows(), QList<int>{2});
    EXPECT_TRUE(table->cellAt(2, 0)->state().selected);
    EXPECT_EQ(table->cellAt(3, 0), nullptr);
}
