// Taking the protocol out of the program: Word and Excel.
#include <QToolButton>

#include "app/formmain.h"
#include "app/timetext.h"
#include "output/excel.h"
#include "platform/guard.h"
#include "platform/libreofficeautomation.h"

std::vector<QStringList> TFormMain::ProtocolRows() const {
    std::vector<QStringList> rows;
    rows.reserve(std::size_t(SortGrid1->RowCount()));
    for (int r = 0; r < SortGrid1->RowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < SortGrid1->ColCount(); ++c)
            row << SortGrid1->Cells(c, r);
        rows.push_back(row);
    }
    return rows;
}

AutomationFactory& TFormMain::Automation() {
    if (!automation_) automation_ = std::make_unique<LibreOfficeAutomation>();
    return *automation_;
}

void TFormMain::SetAutomation(std::unique_ptr<AutomationFactory> automation) {
    automation_ = std::move(automation);
}

void TFormMain::ConvertToWord(TWordMode mode, const QString& fileName) {
    ::ConvertToWord(ProtocolRows(), WordTemplatePath, fileName, mode, Automation());
}

void TFormMain::sbWordClick() {
    ConvertToWord(TWordMode::wmShow, DateStamp() + QStringLiteral(".doc"));
}

void TFormMain::exporttoWord1Click() {
    sbWordClick();
}

void TFormMain::sbExcelClick() {
    ConvertToExcel(ProtocolRows(), Automation());
}
