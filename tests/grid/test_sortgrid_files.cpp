#include <gtest/gtest.h>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

#include "grid/sortgrid.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testenv.h"

namespace {

const QStringList kHeader{"Rang", "Nr.", "Time", "Split", "Km/h"};

// The protocol grid as the main window creates it.
struct ProtocolGrid {
    ProtocolGrid() {
        g.SetDefaultColWidth(42);
        g.SetDefaultRowHeight(20);
        g.SetRowCount(2);
        g.SetOptions({TGridOption::goFixedVertLine, TGridOption::goFixedHorzLine,
                      TGridOption::goVertLine, TGridOption::goHorzLine,
                      TGridOption::goDrawFocusSelected, TGridOption::goColSizing,
                      TGridOption::goEditing});
        g.SortOptions().CanSort = false;
        g.SetAlignmentHorz(TAlignment::taRightJustify);
        g.Rows(0) = kHeader;
    }
    void AddRow(const QStringList& cells) {
        const int row = g.RowCount() == 2 && g.IsRowEmpty(1) ? 1 : g.RowCount();
        if (row >= g.RowCount()) g.SetRowCount(row + 1);
        g.SetRow(row, cells);
    }
    ScopedDialogs dialogs;
    TSortGrid g;
};

QByteArray ReadAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

std::vector<QStringList> AllRows(TSortGrid& g) {
    std::vector<QStringList> rows;
    for (int r = 0; r < g.RowCount(); ++r)
        rows.push_back(g.Rows(r).ToStringList());
    return rows;
}

const QString kDefaultEntry = QStringLiteral("\"clBlack,0,0,0,clBlack\"");

}  // namespace

TEST(SortGridFiles, ExactBytesOfTheProtocolFile) {
    ProtocolGrid p;
    p.AddRow({"1.", "17", "1.02,03", "0,00", "19,5"});
    QTemporaryDir dir;
    const QString name = dir.filePath("protocol.txt");
    ASSERT_TRUE(p.g.SaveToFile(name, false));
    const QString fontCol = "FontColSettings" + QString("," + kDefaultEntry).repeated(5);
    const QString fontRow = "FontRowSettings" + QString("," + kDefaultEntry).repeated(2);
    const QByteArray expected = "GenerelSettings,0\r\n" + fontCol.toLatin1() + "\r\n" +
                                fontRow.toLatin1() +
                                "\r\nUserSettings\r\n"
                                "-1,-1,-1,-1,-1,-1,-1,-1,-1\r\n"
                                "Rang,Nr.,Time,Split,Km/h\r\n"
                                "1.,17,\"1.02,03\",\"0,00\",\"19,5\"\r\n";
    EXPECT_EQ(ReadAll(name), expected);
    EXPECT_EQ(p.g.SaveToStrings(false).size(), 7);
    EXPECT_TRUE(p.dialogs.errors.isEmpty());
}

TEST(SortGridFiles, RoundTripKeepsEveryCell) {
    ProtocolGrid p;
    const QStringList awkward{" lead", "a,b", "say \"hi\"", "tab\there", "Zoë Ærøskøbing ß"};
    const QStringList gaps{"", "x", "", "", "\x01\x1f"};
    const QStringList breaks{"line\r\nbreak", "", "\"", ",", "semi;colon"};
    p.AddRow(awkward);
    p.AddRow(gaps);
    p.AddRow(breaks);
    p.AddRow({"", "", "", "", ""});
    p.g.SetUserSettings({"first setting", "", "x,y"});
    p.g.ColumnFormats()[2] = TFontSetting{clRed, clCream, true, false, true, false};
    p.g.SetColumnFormatsFirst(true);
    QTemporaryDir dir;
    const QString name = dir.filePath("round.txt");
    ASSERT_TRUE(p.g.SaveToFile(name, false));

    ProtocolGrid q;
    ASSERT_TRUE(q.g.LoadFromFile(name, false));
    EXPECT_EQ(AllRows(q.g), AllRows(p.g));
    EXPECT_EQ(q.g.RowCount(), 5);
    EXPECT_EQ(q.g.ColCount(), 5);
    EXPECT_EQ(q.g.UserSettings(), (QStringList{"first setting", "", "x,y"}));
    EXPECT_TRUE(q.g.ColumnFormatsFirst());
    EXPECT_EQ(q.g.ColumnFormats(), p.g.ColumnFormats());
    EXPECT_EQ(q.g.RowFormats().size(), p.g.RowFormats().size());
    EXPECT_FALSE(q.g.Modified());
    // Saved again, the file is the same: nothing drifts from one load to the next.
    const QString again = dir.filePath("again.txt");
    ASSERT_TRUE(q.g.SaveToFile(again, false));
    EXPECT_EQ(ReadAll(again), ReadAll(name));

    // A row whose only cell is empty is two double quotes.
    TSortGrid one;
    one.SetColCount(1);
    one.SetRowCount(2);
    one.SetCells(0, 0, "Only");
    EXPECT_EQ(one.SaveToStrings(false).mid(4), (QStringList{"-1,-1,-1,-1,-1", "Only", "\"\""}));
}

TEST(SortGridFiles, FailedLoadLeavesTheGridExactlyAsItWas) {
    ProtocolGrid p;
    p.AddRow({"1.", "17", "1.02,03", "0,00", "19,5"});
    p.AddRow({"2.", "4", "1.05,00", "2,97", "18,6"});
    p.g.SetCells(p.g.ColCount(), 2, "clRed,1,0,0,clWhite");
    p.g.RowFormats()[2].Active = true;
    p.g.SetUserSettings({"kept"});
    p.g.SetModified(true);
    p.g.SortOptions().SortCol = 3;
    const auto rowsBefore = AllRows(p.g);
    const TFontList colsBefore = p.g.ColumnFormats(), rowFormatsBefore = p.g.RowFormats();
    int modifiedEvents = 0, sizeEvents = 0;
    p.g.OnModified = [&](TSortGrid*) { ++modifiedEvents; };
    p.g.OnSizeChanged = [&](TSortGrid*, int, int) { ++sizeEvents; };

    auto expectUntouched = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(AllRows(p.g), rowsBefore);
        EXPECT_EQ(p.g.RowCount(), 3);
        EXPECT_EQ(p.g.ColCount(), 5);
        EXPECT_EQ(p.g.Cells(p.g.ColCount(), 2), "clRed,1,0,0,clWhite");
        EXPECT_EQ(p.g.ColumnFormats(), colsBefore);
        EXPECT_EQ(p.g.RowFormats(), rowFormatsBefore);
        EXPECT_EQ(p.g.UserSettings(), QStringList{"kept"});
        EXPECT_TRUE(p.g.Modified());
        EXPECT_EQ(p.g.SortOptions().SortCol, 3);
        EXPECT_FALSE(p.g.NowUpdating());
        EXPECT_EQ(modifiedEvents, 0);
        EXPECT_EQ(sizeEvents, 0);
        EXPECT_TRUE(p.dialogs.errors.isEmpty());
        EXPECT_TRUE(p.dialogs.infos.isEmpty());
    };

    QTemporaryDir dir;
    // A format entry that is not one, after good rows further down would already have been read.
    const QString broken = dir.filePath("broken.txt");
    WriteAll(broken,
             "GenerelSettings,1\r\nFontColSettings,\"clBlack,0,0,0,clNoSuchColour\"\r\n"
             "UserSettings,other\r\n-1,-1,-1,-1,-1\r\nA\r\nB\r\n");
    EXPECT_FALSE(p.g.LoadFromFile(broken, false));
    expectUntouched("bad format entry");
    EXPECT_FALSE(p.g.ColumnFormatsFirst());

    EXPECT_FALSE(p.g.LoadFromFile(dir.filePath("missing.txt"), false));
    expectUntouched("missing file");

    // With geometry, a geometry line without numbers fails before anything is applied.
    QStringList lines{"GenerelSettings,0", "UserSettings,x", "wide,high,1,2,3", "A", "B"};
    const QStringList linesBefore = lines;
    EXPECT_FALSE(p.g.LoadFromStrings(lines, true));
    expectUntouched("bad geometry");
    EXPECT_EQ(lines, linesBefore);
}

TEST(SortGridFiles, SuccessfulLoadReplacesTheContents) {
    ProtocolGrid p;
    p.AddRow({"1.", "17", "1.02,03", "0,00", "19,5"});
    p.g.SetUserSettings({"old"});
    int rowSelected = 0;
    p.g.OnRowSelected = [&](TSortGrid*) { ++rowSelected; };
    // No settings lines at all: the first line is the geometry line, then the rows.
    QStringList lines{"-1,-1,-1,-1,-1", "Name,Nr.", "Anna,7", "Berta,3", "Carla,12"};
    ASSERT_TRUE(p.g.LoadFromStrings(lines, false));
    EXPECT_EQ(p.g.ColCount(), 2);
    EXPECT_EQ(p.g.RowCount(), 4);
    EXPECT_EQ(p.g.Rows(0).ToStringList(), (QStringList{"Name", "Nr."}));
    EXPECT_EQ(p.g.Cols(0).ToStringList(), (QStringList{"Name", "Anna", "Berta", "Carla"}));
    EXPECT_TRUE(p.g.UserSettings().isEmpty());  // emptied also without a UserSettings line
    EXPECT_FALSE(p.g.Modified());
    EXPECT_EQ(p.g.Row(), 1);
    EXPECT_GE(rowSelected, 1);
    EXPECT_EQ(lines.size(), 5);  // nothing recognised, nothing removed
    // The columns were fitted to their contents.
    const QFontMetrics fm(p.g.font());
    int widest = 0;
    for (const char* t : {"Name", "Anna", "Berta", "Carla"})
        widest = std::max(widest, fm.horizontalAdvance(t));
    EXPECT_EQ(p.g.ColWidths(0), widest + fm.horizontalAdvance("X"));

    // The recognised settings lines are taken out of the list; what is left starts with the
    // geometry line.
    QStringList withSettings{"GenerelSettings,0",
                             "FontColSettings",
                             "FontRowSettings",
                             "UserSettings,a,b",
                             "-1,-1,-1,-1,-1",
                             "H1",
                             "v"};
    ASSERT_TRUE(p.g.LoadFromStrings(withSettings, false));
    EXPECT_EQ(withSettings, (QStringList{"-1,-1,-1,-1,-1", "H1", "v"}));
    EXPECT_EQ(p.g.UserSettings(), (QStringList{"a", "b"}));
    EXPECT_EQ(p.g.ColCount(), 1);
}

TEST(SortGridFiles, LoadSortsOnlyWhereSortingIsAllowed) {
    QStringList lines{"-1,-1,-1,-1,-1", "Nr.,Name", "3,Carla", "1,Anna", "2,Berta"};
    ProtocolGrid protocol;  // CanSort False: the recorded order stays
    QStringList copy = lines;
    ASSERT_TRUE(protocol.g.LoadFromStrings(copy, false));
    EXPECT_EQ(protocol.g.Cols(0).ToStringList(), (QStringList{"Nr.", "3", "1", "2"}));

    ProtocolGrid sortable;
    sortable.g.SortOptions().CanSort = true;
    sortable.g.SortOptions().SortDirection = TSortDirection::sdDescending;
    sortable.g.SortOptions().SortCol = 1;
    copy = lines;
    ASSERT_TRUE(sortable.g.LoadFromStrings(copy, false));
    EXPECT_EQ(sortable.g.Cols(1).ToStringList(), (QStringList{"Name", "Anna", "Berta", "Carla"}));
    EXPECT_EQ(sortable.g.SortOptions().SortCol, 0);
    EXPECT_EQ(sortable.g.SortOptions().SortDirection, TSortDirection::sdAscending);
}

TEST(SortGridFiles, AFileWithoutRowLinesLeavesOneRowAndSaysSo) {
    ProtocolGrid p;
    p.AddRow({"1.", "17", "1.02,03", "0,00", "19,5"});
    QStringList lines{"GenerelSettings,0", "UserSettings", "-1,-1,-1,-1,-1,-1,-1,-1,-1"};
    ASSERT_TRUE(p.g.LoadFromStrings(lines, false));
    EXPECT_EQ(p.g.RowCount(), 1);
    EXPECT_EQ(p.g.ColCount(), 5);
    EXPECT_EQ(p.dialogs.infos, QStringList{"Rowsize too small"});
    EXPECT_FALSE(p.g.Modified());
}

TEST(SortGridFiles, MoreFormatEntriesThanColumnsAreRestored) {
    ProtocolGrid p;
    QStringList lines{"GenerelSettings,0",
                      "FontColSettings,\"clRed,1,0,0,clWhite\",,\"$00123456,0,1,1,clBtnFace\","
                      "\"clBlack,0,0,0,clBlack\",\"clNavy,0,0,0,clCream\",\"clLime,1,1,1,clBlack\","
                      "\"clBlue,0,0,0,clYellow\"",
                      "FontRowSettings,\"clGreen,0,1,0,clSilver\"",
                      "UserSettings",
                      "-1,-1,-1",
                      "A,B,C",
                      "1,2,3"};
    // An empty item is not a format entry.
    QStringList bad = lines;
    EXPECT_FALSE(p.g.LoadFromStrings(bad, false));
    lines[1].replace(",,", ",");
    ASSERT_TRUE(p.g.LoadFromStrings(lines, false));
    EXPECT_EQ(p.g.ColCount(), 3);
    const TFontList& cols = p.g.ColumnFormats();
    ASSERT_EQ(cols.size(), 6u);
    EXPECT_EQ(cols[0], (TFontSetting{clRed, clWhite, true, false, false, false}));
    EXPECT_EQ(cols[1], (TFontSetting{TColor(0x00123456), clBtnFace, false, true, true, false}));
    EXPECT_EQ(cols[5], (TFontSetting{clBlue, clYellow, false, false, false, false}));
    ASSERT_GE(p.g.RowFormats().size(), 1u);
    EXPECT_EQ(p.g.RowFormats()[0], (TFontSetting{clGreen, clSilver, false, true, false, false}));
}

TEST(SortGridFiles, SemicolonFile) {
    ProtocolGrid p;
    p.AddRow({"1.", "17;4", "1.02,03", "", "19,5"});
    QTemporaryDir dir;
    const QString name = dir.filePath("protocol.csv");
    ASSERT_TRUE(p.g.SaveToCSV(name));
    const QByteArray bytes = ReadAll(name);
    EXPECT_TRUE(bytes.startsWith("Rang;Nr.;Time;Split;Km/h\r\n"));
    EXPECT_EQ(bytes, "Rang;Nr.;Time;Split;Km/h\r\n1.;\"17;4\";1.02,03;;19,5\r\n");
}

TEST(SortGridFiles, AFileThatCannotBeWrittenIsReported) {
    ProtocolGrid p;
    const QString name = QStringLiteral("/nonexistent-folder/protocol.txt");
    EXPECT_FALSE(p.g.SaveToFile(name, false));
    EXPECT_FALSE(p.g.SaveToCSV(name));
    const QString message = "Can't write to file:\r" + name +
                            "\rThe folder /nonexistent-folder does not exist.";
    EXPECT_EQ(p.dialogs.errors, (QStringList{message, message}));
}

TEST(SortGridFiles, GeometryOfTheWindowAndColumns) {
    ScopedDialogs dialogs;
    QWidget window;
    auto* grid = new TSortGrid(&window);
    grid->SetColCount(3);
    grid->SetRowCount(2);
    grid->Rows(0) = QStringList{"A", "B", "C"};
    grid->SetColWidths(0, 30);
    grid->SetColWidths(1, 55);
    grid->SetColWidths(2, 70);
    window.setGeometry(40, 50, 320, 240);
    const QStringList saved = grid->SaveToStrings(true);
    const QStringList geometry = saved[4].split(',');
    ASSERT_EQ(geometry.size(), 7);
    EXPECT_EQ(geometry.mid(0, 5), (QStringList{"320", "240", "30", "55", "70"}));
    EXPECT_EQ(geometry[5], QString::number(window.x()));
    EXPECT_EQ(geometry[6], QString::number(window.y()));

    QWidget other;
    auto* loaded = new TSortGrid(&other);
    other.resize(100, 100);
    QStringList lines = saved;
    ASSERT_TRUE(loaded->LoadFromStrings(lines, true));
    EXPECT_EQ(other.size(), QSize(320, 240));
    EXPECT_EQ(loaded->ColWidths(1), 55);
    EXPECT_EQ(loaded->ColWidths(2), 70);
    EXPECT_FALSE(other.windowState() & Qt::WindowMaximized);

    // A window at least as large as the work area is maximised instead.
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    lines = QStringList{QString("%1,%2,30,55,70,-1,-1").arg(work.width()).arg(work.height()),
                        "A,B,C", "1,2,3"};
    ASSERT_TRUE(loaded->LoadFromStrings(lines, true));
    EXPECT_TRUE(other.windowState() & Qt::WindowMaximized);

    // A line of "-1" items carries no geometry: columns are fitted instead of hidden.
    lines = QStringList{"-1,-1,-1,-1,-1,-1,-1", "A,B,C", "1,2,3"};
    ASSERT_TRUE(loaded->LoadFromStrings(lines, true));
    EXPECT_GT(loaded->ColWidths(0), 0);
}
