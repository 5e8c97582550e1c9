// Taking the protocol out of the program: Word and Excel. The office is driven on a thread of its
// own: a click posts the export and returns, the window keeps running (the hourglass shows), and
// the outcome is reported once the export has ended.
#include <QDir>
#include <QToolButton>

#include "app/formmain.h"
#include "grid/protocolfile.h"
#include "race/timetext.h"
#include "output/excel.h"
#include "platform/automationthread.h"
#include "platform/fileerror.h"
#include "platform/guard.h"
#include "platform/libreofficeautomation.h"
#include "platform/waitcursor.h"

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

AutomationThread& TFormMain::Exports() {
    if (!exports_)
        exports_ = std::make_shared<AutomationThread>(std::make_unique<LibreOfficeAutomation>());
    return *exports_;
}

void TFormMain::SetAutomation(std::unique_ptr<AutomationFactory> automation) {
    exports_.reset();
    exports_ = std::make_shared<AutomationThread>(std::move(automation));
}

void TFormMain::WaitForExports() {
    if (exports_) exports_->WaitIdle();
}

void TFormMain::BeginExport() {
    if (exportsRunning_++ == 0) exportCursor_ = std::make_shared<WaitCursor>();
}

void TFormMain::EndExport() {
    if (--exportsRunning_ == 0) exportCursor_.reset();
}

void TFormMain::ConvertToWord(TWordMode mode, const QString& fileName) {
    // A save into a folder that cannot be written to is told as for every other type, before an
    // office is started for nothing.
    if (mode == TWordMode::wmSave) {
        if (const QString problem = WriteProblem(fileName); !problem.isEmpty()) {
            Dialogs().Error(this, CantWriteMessage(fileName, problem));
            return;
        }
    }
    // The export works on a copy: the protocol may change while the office works.
    auto outcome = std::make_shared<TExportOutcome>();
    BeginExport();
    Exports().Post(
        [outcome, rows = ProtocolRows(), templatePath = WordTemplatePath, fileName,
         mode](AutomationFactory& automation) {
            *outcome = ::ConvertToWord(rows, templatePath, fileName, mode, automation);
        },
        [this, outcome, mode, fileName] {
            EndExport();
            // The operator who chose to save hears why nothing was saved. The Word button stays
            // quiet when the office is not to be had, but not when a document it made could not
            // be stored or an office had to be ended.
            if (outcome->done && !outcome->officeEnded) return;
            if (!outcome->done && (mode == TWordMode::wmSave || outcome->storing))
                Dialogs().ErrorWithDetails(
                    this,
                    QStringLiteral("Word could not save %1: %2")
                        .arg(QDir::current().absoluteFilePath(fileName), outcome->error),
                    outcome->details);
            else if (outcome->officeEnded)
                Dialogs().ErrorWithDetails(
                    this, QStringLiteral("Convert to MS Word:\r") + outcome->error, outcome->details);
        });
}

void TFormMain::sbWordClick() {
    ConvertToWord(TWordMode::wmShow, DateStamp() + QStringLiteral(".doc"));
}

void TFormMain::exporttoWord1Click() {
    sbWordClick();
}

void TFormMain::sbExcelClick() {
    struct Failure {
        QString error, details;
    };
    auto failure = std::make_shared<Failure>();
    BeginExport();
    Exports().Post(
        [failure, rows = ProtocolRows()](AutomationFactory& automation) {
            try {
                ConvertToExcel(rows, automation);
            } catch (const EAutomation& e) {
                *failure = {e.Message(), e.Details()};
            } catch (const Exception& e) {
                failure->error = e.Message();
            } catch (const std::exception& e) {
                failure->error = QString::fromLocal8Bit(e.what());
            }
        },
        [this, failure] {
            EndExport();
            // A call refused after the office was reached: the short reason, with the office's
            // own words under the details.
            if (!failure->error.isEmpty())
                Dialogs().ErrorWithDetails(
                    this, QStringLiteral("Excel could not show the protocol: ") + failure->error,
                    failure->details);
        });
}
