// Runs with CUPS_SERVER pointing nowhere (see CMakeLists.txt), so that no printer is reachable
// even on a machine that has one.
#include <gtest/gtest.h>

#include "grid/sortgrid.h"
#include "tests/support/scripteddialogs.h"

TEST(SortGridPrintWithoutPrinter, SaysSoAndLeavesTheFilterOn) {
    if (PrinterInstalled())
        GTEST_SKIP() << "a printer is reachable although CUPS_SERVER points nowhere";
    ScopedDialogs dialogs;
    TSortGrid g;
    g.SetRowCount(6);
    for (int r = 1; r < 6; ++r)
        g.SetCells(0, r, QString::number(r));
    g.OnSetFilter = [](const QStringList& row, bool& accept) { accept = row.at(0) == "3"; };
    g.SetFiltered(true);
    g.PrintOptions().FromRow = 1;
    g.PrintOptions().ToRow = 5;
    g.Print();
    EXPECT_EQ(dialogs.errors, QStringList{"No Printer is installed"});
    EXPECT_TRUE(g.Filtered());
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.PageCounter(), 0);
}
