#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "platform/automation.h"

// A spreadsheet program reached by automation ("Excel.Application"), filled one list of values
// at a time: each WriteLine puts Values into sheet row `line` (or column, when not Horizontal)
// and moves on. Destroying it releases the application object; the program itself stays open.
class TExcel {
public:
    explicit TExcel(AutomationFactory& automation);
    ~TExcel();
    TExcel(const TExcel&) = delete;
    TExcel& operator=(const TExcel&) = delete;

    // True: always start a new spreadsheet program; false: use a running one when there is one.
    bool ExcelNew() const { return excelNew_; }
    void SetExcelNew(bool value) { excelNew_ = value; }
    // True: a value list fills a sheet row; false: a sheet column.
    bool Horizontal() const { return horizontal_; }
    void SetHorizontal(bool value) { horizontal_ = value; }
    // The 1-based sheet row (or column) the next WriteLine fills.
    int line() const { return line_; }
    void SetLine(int value) { line_ = value; }
    // The values of the next line, in order.
    QStringList& Values() { return values_; }
    const QStringList& Values() const { return values_; }
    const AutomationRef& ExcelApp() const { return excelApp_; }
    // The 1-based positions in a value list whose values always go as text (default: none).
    void SetTextColumns(QList<int> columns) { textColumns_ = std::move(columns); }

    // Attaches to (or starts) the program and makes it visible; false when it cannot be reached.
    // One that was reached but did not answer in time throws EAutomationTimeout.
    bool Connect();
    // line := 1, then a new workbook becomes the active one.
    void NewWorkbook();
    // Values into one row (or column) of the active sheet, then line := line + 1. A value that
    // the sheet shows as typed when it is a number goes in as a number, anything else as plain
    // text (see ExcelCellValue); values of the text columns always as text.
    void WriteLine();
    // Selects all cells and fits the columns of the selection to their contents.
    void AutofitColumns();

private:
    AutomationFactory& automation_;
    AutomationRef excelApp_;
    bool excelNew_ = false;
    bool horizontal_ = true;
    int line_ = 1;
    QStringList values_;
    QList<int> textColumns_;
};

// A protocol cell as it goes to the sheet: in a text shorter than five characters that holds a
// comma (a speed such as 41,5), the first comma becomes a period; longer texts (times) keep it.
QString ExcelCellText(const QString& cell);
QStringList ExcelRowValues(const QStringList& cells);

// What a value becomes in the sheet: a number only when the sheet's general format shows that
// number with the very same text (optional minus, no leading zeros, a period only with digits
// after it that do not end in 0, at most ten digits): "117" and "41.5" are numbers, while
// "2.50", "10.00", "007" and "1." stay as typed. Anything else is the text itself, which the sheet
// keeps as text and never evaluates, so a start number typed as "=..." or "@..." is no formula.
Variant ExcelCellValue(const QString& text);

// Fills a new workbook of a visible spreadsheet program with the protocol rows (header first),
// fits the columns and selects all cells; shows the hourglass meanwhile. The Time and Split
// columns (3 and 4) go as text. When the program cannot be reached nothing happens; a call
// refused after that throws EAutomation, and a program that stopped answering
// EAutomationTimeout.
void ConvertToExcel(const std::vector<QStringList>& rows, AutomationFactory& automation);
