#include "output/excel.h"

#include <memory>

#include "platform/waitcursor.h"

namespace {
const QString kExcelClass = QStringLiteral("Excel.Application");
// The general format shows up to ten significant digits before it rounds or turns to an
// exponent; a start number never comes near.
constexpr qsizetype kMaxNumberDigits = 10;
}  // namespace

TExcel::TExcel(AutomationFactory& automation) : automation_(automation) {}

TExcel::~TExcel() = default;

bool TExcel::Connect() {
    try {
        if (excelNew_) {
            excelApp_ = automation_.CreateObject(kExcelClass);
        } else {
            try {
                excelApp_ = automation_.GetActiveObject(kExcelClass);
            } catch (const EAutomationTimeout&) {
                throw;
            } catch (const Exception&) {
                // None runs: start one below.
            }
            if (!excelApp_) excelApp_ = automation_.CreateObject(kExcelClass);
        }
    } catch (const EAutomationTimeout&) {
        throw;  // not "unavailable": one was there and had to be ended, which the operator hears
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
        const Variant value =
            textColumns_.contains(index) ? Variant(values_[i]) : ExcelCellValue(values_[i]);
        if (horizontal_)
            excelApp_->Put(QStringLiteral("Cells"), {line_, index}, value);
        else
            excelApp_->Put(QStringLiteral("Cells"), {index, line_}, value);
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
    // The sheet shows a number in its general format: no leading zeros, no trailing zeros after
    // the point, no point without digits. Only a text that is already that form becomes a number,
    // so that "2.50" or "10.00" never turns into 2.5 or 10.
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto digit = [&](qsizetype k) {
        return text[k] >= QLatin1Char('0') && text[k] <= QLatin1Char('9');
    };
    if (i < n && text[i] == QLatin1Char('-')) ++i;
    const qsizetype intStart = i;
    while (i < n && digit(i))
        ++i;
    const qsizetype intDigits = i - intStart;
    if (intDigits == 0 || (intDigits > 1 && text[intStart] == QLatin1Char('0'))) return text;
    qsizetype fracDigits = 0;
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        const qsizetype fracStart = i;
        while (i < n && digit(i))
            ++i;
        fracDigits = i - fracStart;
        // "1." is a rank; "2.50" would show as 2.5.
        if (fracDigits == 0 || text[i - 1] == QLatin1Char('0')) return text;
    }
    if (i != n || intDigits + fracDigits > kMaxNumberDigits) return text;
    bool ok = false;
    const double value = text.toDouble(&ok);  // C locale: the period is the separator
    if (!ok || (value == 0.0 && text.startsWith(QLatin1Char('-')))) return text;  // "-0" shows 0
    return Variant(value);
}

void ConvertToExcel(const std::vector<QStringList>& rows, AutomationFactory& automation) {
    WaitCursor hourglass;
    auto excel = std::make_unique<TExcel>(automation);
    // Times and splits are texts of the clock ("2.50" is two minutes fifty): never numbers, so
    // that the columns neither change a time nor mix numbers with texts.
    excel->SetTextColumns({3, 4});
    if (!excel->Connect()) return;
    excel->NewWorkbook();
    for (const QStringList& row : rows) {
        excel->Values() = ExcelRowValues(row);
        excel->WriteLine();
    }
    excel->AutofitColumns();
}
