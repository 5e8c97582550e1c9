#include "output/wordexport.h"

#include <QFileInfo>

#include "platform/automation.h"
#include "platform/waitcursor.h"

namespace {
bool NeedsQuotes(const QString& cell) {
    for (QChar c : cell)
        if (c == QLatin1Char(' ') || c == QLatin1Char('"') || c.category() == QChar::Other_Control)
            return true;
    return false;
}

QString WordCell(const QString& cell) {
    if (!NeedsQuotes(cell)) return cell;
    QString quoted = cell;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
}  // namespace

QString WordProtocolText(const std::vector<QStringList>& rows) {
    QString text;
    for (const QStringList& row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c > 0) text += QLatin1Char('\t');
            text += WordCell(row[c]);
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

TExportOutcome ConvertToWord(const std::vector<QStringList>& rows, const QString& templatePath,
                             const QString& fileName, TWordMode mode,
                             AutomationFactory& automation) {
    WaitCursor hourglass;
    TExportOutcome outcome;
    try {
        AutomationRef word = automation.CreateObject(QStringLiteral("Word.Basic"));
        word->Call(mode == TWordMode::wmShow ? QStringLiteral("AppMaximize")
                                             : QStringLiteral("AppMinimize"));
        word->Call(QStringLiteral("FileOpen"), {templatePath});
        word->Call(QStringLiteral("Insert"), {WordProtocolText(rows)});
        word->Call(QStringLiteral("LineUp"), {32700, 1});
        word->Call(QStringLiteral("TextToTable"), {},
                   {{QStringLiteral("ConvertFrom"), 1}, {QStringLiteral("NumColumns"), 5}});
        outcome.storing = true;
        word->Call(QStringLiteral("FileSaveAs"), {fileName});
        // A save that the office took but did not carry out must not pass for one.
        outcome.done = mode == TWordMode::wmShow || QFileInfo(fileName).isFile();
        if (!outcome.done) outcome.error = QStringLiteral("The office did not write the file");
        if (mode == TWordMode::wmSave) word->Call(QStringLiteral("AppClose"));
    } catch (const EAutomationTimeout& e) {
        outcome.error = e.Message();
        outcome.details = e.Details();
        outcome.officeEnded = true;
    } catch (const EAutomation& e) {
        outcome.error = e.Message();
        outcome.details = e.Details();
    } catch (const Exception& e) {
        outcome.error = e.Message();
    } catch (const std::exception& e) {
        outcome.error = QString::fromLocal8Bit(e.what());
    }
    return outcome;
}
