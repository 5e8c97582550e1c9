#include <gtest/gtest.h>

#include "output/excel.h"
#include "tests/support/recordingautomation.h"
#include "platform/waitcursor.h"

// Readable values in failure messages.
void PrintTo(const Variant& value, std::ostream* out) {
    *out << value.Describe().toStdString();
}

namespace {
const std::vector<QStringList> kProtocol = {
    {"Rang", "Nr.", "Time", "Split", "Km/h"},
    {"1.", "117", "2:10.05,27", "0,00", "41,5"},
    {"2.", "", "2:11.07,77", "1.02,50", "19,4"},
};

QStringList Tail(const QStringList& log, int fromLine) {
    return log.mid(fromLine);
}

QStringList CellPuts(const QStringList& log) {
    QStringList puts;
    for (const QString& line : log)
        if (line.startsWith(QLatin1String("Excel.Application.Cells("))) puts << line;
    return puts;
}
}  // namespace

TEST(ExcelCellText, ShortTextsTurnTheirFirstCommaIntoAPeriod) {
    EXPECT_EQ(ExcelCellText("41,5"), "41.5");
    EXPECT_EQ(ExcelCellText("0,00"), "0.00");
    EXPECT_EQ(ExcelCellText("1,2,"), "1.2,");  // only the first comma
    // Five characters or more: times keep their comma.
    EXPECT_EQ(ExcelCellText("12,34"), "12,34");
    EXPECT_EQ(ExcelCellText("1.02,50"), "1.02,50");
    EXPECT_EQ(ExcelCellText("2:10.05,27"), "2:10.05,27");
    EXPECT_EQ(ExcelCellText(""), "");
    EXPECT_EQ(ExcelCellText("19.5"), "19.5");
}

TEST(ExcelCellValue, ANumberOnlyWhereTheSheetShowsItWithTheSameText) {
    EXPECT_EQ(ExcelCellValue("41.5"), Variant(41.5));
    EXPECT_EQ(ExcelCellValue("117"), Variant(117.0));
    EXPECT_EQ(ExcelCellValue("0"), Variant(0.0));
    EXPECT_EQ(ExcelCellValue("0.5"), Variant(0.5));
    EXPECT_EQ(ExcelCellValue("-3.25"), Variant(-3.25));
    EXPECT_EQ(ExcelCellValue("1234567890"), Variant(1234567890.0));
    // A number would show another text (2.5, 10, 0, 1.2, an exponent): text as typed.
    for (const char* text : {"2.50", "1.20", "10.00", "0.00", "0,00", "41.0", "-0", "-0.0",
                             "12345678901", "123456789012345"})
        EXPECT_EQ(ExcelCellValue(text), Variant(QString::fromUtf8(text))) << text;
    // Would lose what was typed, or is not a plain decimal: text.
    for (const char* text : {"007", "1.", ".5", "1.02,50", "41,5", "1e5", "+5", " 5", "5 ", "-",
                             "0x1F", "1234567890123456", "12.34567890123456", "inf", "nan"})
        EXPECT_EQ(ExcelCellValue(text), Variant(QString::fromUtf8(text))) << text;
    EXPECT_EQ(ExcelCellValue(QStringLiteral("\u0661\u0662")),
              Variant(QStringLiteral("\u0661\u0662")));
    EXPECT_EQ(ExcelCellValue(""), Variant(QString()));
}

TEST(ExcelCellValue, FormulasAndQuotesArriveAsTheTextTyped) {
    for (const char* text :
         {"=1+2", "@SUM(A1)", "=HYPERLINK(\"x\")", "-1+2", "+A1", "\"q\"", "say \"hi\""})
        EXPECT_EQ(ExcelCellValue(text), Variant(QString::fromUtf8(text))) << text;
    // Quotes in a row survive the way from the cells to the values unchanged.
    EXPECT_EQ(ExcelRowValues({"a\"b", "\"", "x,\"y\"", "1,5"}),
              QStringList({"a\"b", "\"", "x,\"y\"", "1.5"}));
}

TEST(ConvertToExcel, FillsANewWorkbookRowByRowThenFitsAndSelects) {
    RecordingAutomation excel;
    ConvertToExcel(kProtocol, excel);
    const QStringList log = excel.Log();
    ASSERT_GE(log.size(), 6);
    EXPECT_EQ(log.mid(0, 5), QStringList({
                                 "getactive Excel.Application",
                                 "create Excel.Application",
                                 "Excel.Application.visible := true",
                                 "Excel.Application.Workbooks",
                                 "Excel.Application.Workbooks.add()",
                             }));
    EXPECT_EQ(CellPuts(log), QStringList({
                                 "Excel.Application.Cells(1, 1) := \"Rang\"",
                                 "Excel.Application.Cells(1, 2) := \"Nr.\"",
                                 "Excel.Application.Cells(1, 3) := \"Time\"",
                                 "Excel.Application.Cells(1, 4) := \"Split\"",
                                 "Excel.Application.Cells(1, 5) := \"Km/h\"",
                                 "Excel.Application.Cells(2, 1) := \"1.\"",
                                 "Excel.Application.Cells(2, 2) := 117.0",
                                 "Excel.Application.Cells(2, 3) := \"2:10.05,27\"",
                                 "Excel.Application.Cells(2, 4) := \"0.00\"",
                                 "Excel.Application.Cells(2, 5) := 41.5",
                                 "Excel.Application.Cells(3, 1) := \"2.\"",
                                 "Excel.Application.Cells(3, 2) := \"\"",
                                 "Excel.Application.Cells(3, 3) := \"2:11.07,77\"",
                                 "Excel.Application.Cells(3, 4) := \"1.02,50\"",
                                 "Excel.Application.Cells(3, 5) := 19.4",
                             }));
    EXPECT_EQ(Tail(log, 5 + 15), QStringList({
                                     "Excel.Application.cells",
                                     "Excel.Application.cells.select()",
                                     "Excel.Application.Selection",
                                     "Excel.Application.Selection.Columns",
                                     "Excel.Application.Selection.Columns.Autofit()",
                                 }));
    for (const AutomationRecord& r : excel.Records()) {
        if (r.kind != AutomationRecord::Kind::akRelease) {
            EXPECT_TRUE(r.waitCursor);
        }
    }
    EXPECT_FALSE(WaitCursor::Shown());
    EXPECT_EQ(excel.LiveObjects(), 0);
}

TEST(ConvertToExcel, ASecondPressAddsASecondWorkbookToTheRunningProgram) {
    RecordingAutomation excel;
    ConvertToExcel(kProtocol, excel);
    excel.Clear();
    ConvertToExcel(kProtocol, excel);
    const QStringList log = excel.Log();
    EXPECT_EQ(log.mid(0, 4), QStringList({
                                 "getactive Excel.Application",
                                 "Excel.Application.visible := true",
                                 "Excel.Application.Workbooks",
                                 "Excel.Application.Workbooks.add()",
                             }));
    EXPECT_FALSE(log.contains("create Excel.Application"));
    EXPECT_EQ(CellPuts(log).first(), "Excel.Application.Cells(1, 1) := \"Rang\"");
}

TEST(ConvertToExcel, NoSpreadsheetProgramMeansNothingHappensQuietly) {
    RecordingAutomation excel;
    excel.FailWhen(
        [](const AutomationRecord& r) { return r.kind == AutomationRecord::Kind::akCreate; });
    EXPECT_NO_THROW(ConvertToExcel(kProtocol, excel));
    EXPECT_EQ(excel.Log(),
              QStringList({"getactive Excel.Application", "create Excel.Application"}));
    EXPECT_FALSE(WaitCursor::Shown());
}

TEST(ConvertToExcel, AnOfficeThatHadToBeEndedIsNoMissingOne) {
    // Unreachable: quiet. Reached but not answering: the caller hears it, and no second office
    // is started on top of the hung one.
    RecordingAutomation excel;
    excel.FailAsTimeout(true);
    excel.FailWhen(
        [](const AutomationRecord& r) { return r.kind == AutomationRecord::Kind::akGetActive; });
    EXPECT_THROW(ConvertToExcel(kProtocol, excel), EAutomationTimeout);
    EXPECT_EQ(excel.Log(), QStringList({"getactive Excel.Application"}));
    EXPECT_FALSE(WaitCursor::Shown());
}

TEST(ConvertToExcel, TimesAndSplitsAlwaysGoAsText) {
    RecordingAutomation excel;
    ConvertToExcel({{"Rang", "Nr.", "Time", "Split", "Km/h"},
                    {"1.", "5", "10.05", "0", "12.5"},
                    {"2.", "6", "10.50", "0.45", "12.0"}},
                   excel);
    EXPECT_EQ(CellPuts(excel.Log()).mid(5), QStringList({
                                                "Excel.Application.Cells(2, 1) := \"1.\"",
                                                "Excel.Application.Cells(2, 2) := 5.0",
                                                "Excel.Application.Cells(2, 3) := \"10.05\"",
                                                "Excel.Application.Cells(2, 4) := \"0\"",
                                                "Excel.Application.Cells(2, 5) := 12.5",
                                                "Excel.Application.Cells(3, 1) := \"2.\"",
                                                "Excel.Application.Cells(3, 2) := 6.0",
                                                "Excel.Application.Cells(3, 3) := \"10.50\"",
                                                "Excel.Application.Cells(3, 4) := \"0.45\"",
                                                "Excel.Application.Cells(3, 5) := \"12.0\"",
                                            }));
}

TEST(ConvertToExcel, ARefusedCallAfterConnectingReachesTheCaller) {
    RecordingAutomation excel;
    excel.FailWhen([](const AutomationRecord& r) {
        return r.kind == AutomationRecord::Kind::akPut && r.name == "Cells" &&
               r.args[0] == Variant(2);
    });
    try {
        ConvertToExcel(kProtocol, excel);
        ADD_FAILURE() << "no error";
    } catch (const EAutomation& e) {
        EXPECT_TRUE(e.Message().contains("Cells(2, 1)")) << e.Message().toStdString();
    }
    EXPECT_EQ(excel.Log().last(), "Excel.Application.Cells(2, 1) := \"1.\"");
    EXPECT_FALSE(WaitCursor::Shown());
    EXPECT_EQ(excel.LiveObjects(), 0);
}

TEST(TExcel, DefaultsConnectAndLineKeeping) {
    RecordingAutomation automation;
    TExcel excel(automation);
    EXPECT_FALSE(excel.ExcelNew());
    EXPECT_TRUE(excel.Horizontal());
    EXPECT_EQ(excel.line(), 1);
    EXPECT_TRUE(excel.Values().isEmpty());
    EXPECT_FALSE(excel.ExcelApp());

    excel.SetExcelNew(true);
    automation.SetRunningInstance(true);
    ASSERT_TRUE(excel.Connect());
    EXPECT_EQ(automation.Log().first(), "create Excel.Application");  // never attaches
    EXPECT_TRUE(excel.ExcelApp());

    // Columns instead of rows; the line moves on even for an empty list.
    excel.SetHorizontal(false);
    excel.SetLine(3);
    excel.Values() = QStringList({"a", "7"});
    automation.Clear();
    excel.WriteLine();
    excel.Values().clear();
    excel.WriteLine();
    EXPECT_EQ(excel.line(), 5);
    EXPECT_EQ(automation.Log(), QStringList({"Excel.Application.Cells(1, 3) := \"a\"",
                                             "Excel.Application.Cells(2, 3) := 7.0"}));
    excel.NewWorkbook();
    EXPECT_EQ(excel.line(), 1);
}

TEST(TExcel, ConnectAttachesToARunningProgram) {
    RecordingAutomation automation;
    automation.SetRunningInstance(true);
    TExcel excel(automation);
    ASSERT_TRUE(excel.Connect());
    EXPECT_EQ(automation.Log(),
              QStringList({"getactive Excel.Application", "Excel.Application.visible := true"}));
}
