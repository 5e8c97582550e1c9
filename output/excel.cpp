#include "output/excel.h"

#include <memory>

#include "platform/waitcursor.h"

namespace {
const QString kExcelClass = QStringLiteral("Excel.Application");
}

TExcel::TExcel(AutomationFactory& automation) : automation_(automation) {}

TExcel::~TExcel() = default;

bool TExcel::Connect() {
    try {
        if (excelNew_) {
            excelApp_ = automation_.CreateObject(kExcelClass);
        } else {
            try {
                excelApp_ = automation_.GetActiveObject(kExcelClass);
            } catch (const Exception&) {
                // None runs: start one below.
            }
            if (!excelApp_) excelApp_ = automation_.CreateObject(kExcelClass);
        }
    } catch (const Exception&) {
        return false;
    }
    excelApp_->Put(QStringLiteral("visible"), true);
    return true;
}

void TExcel::NewWorkbook() {
    line_ = 1;
    excelApp_->Get(QStringLiteral("Workbooks")).ToObject()->Call(QStringLiteral("add"));
}

void TExcel::WriteLine() {
    for (qsizetype i = 0; i < values_.size(); ++i) {
        const std::int32_t index = static_cast<std::int32_t>(i + 1);
        if (horizontal_)
            excelApp_->Put(QStringLiteral("Cells"), {line_, index}, ExcelCellValue(values_[i]));
        else
            excelApp_->Put(QStringLiteral("Cells"), {index, line_}, ExcelCellValue(values_[i]));
    }
    ++line_;
}

void TExcel::AutofitColumns() {
    excelApp_->Get(QStringLiteral("cells")).ToObject()->Call(QStringLiteral("select"));
    excelApp_->Get(QStringLiteral("Selection"))
        .ToObject()
        ->Get(QStringLiteral("Columns"))
        .ToObject()
        ->Call(QStringLiteral("Autofit"));
}

QString ExcelCellText(const QString& cell) {
    const qsizetype comma = cell.indexOf(QLatin1Char(','));
    if (comma < 0 || cell.size() >= 5) return cell;
    QString text = cell;
    text[comma] = QLatin1Char('.');
    return text;
}

QStringList ExcelRowValues(const QStringList& cells) {
    // The cells go over one by one: no joining into a quoted list and splitting again, which
    // would break a cell that holds a double quote.
    QStringList values;
    values.reserve(cells.size());
    for (const QString& cell : cells)
        values << ExcelCellText(cell);
    return values;
}

Variant ExcelCellValue(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && text[i] == QLatin1Char('-')) ++i;
    const qsizetype intStart = i;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128)
        ++i;
    const qsizetype intDigits = i - intStart;
    if (intDigits == 0 || (intDigits > 1 && text[intStart] == QLatin1Char('0'))) return text;
    qsizetype fracDigits = 0;
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        const qsizetype fracStart = i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128)
            ++i;
        fracDigits = i - fracStart;
        if (fracDigits == 0) return text;  // "1." is a rank, not a number
    }
    if (i != n || intDigits + fracDigits > 15) return text;
    bool ok = false;
    const double value = text.toDouble(&ok);  // C locale: the period is the separator
    return ok ? Variant(value) : Variant(text);
}

void ConvertToExcel(const std::vector<QStringList>& rows, AutomationFactory& automation) {
    WaitCursor hourglass;
    auto excel = std::make_unique<TExcel>(automation);
    if (!excel->Connect()) return;
    excel->NewWorkbook();
    for (const QStringList& row : rows) {
        excel->Values() = ExcelRowValues(row);
        excel->WriteLine();
    }
    excel->AutofitColumns();
}
