// Saving, opening and printing the protocol, and the protocol saved at every exit.
#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "app/filefolders.h"
#include "app/formmain.h"
#include "grid/htmlexport.h"
#include "grid/protocolfile.h"
#include "platform/programpaths.h"
#include "race/timetext.h"

void TFormMain::SaveToHtml(const QString& fileName) {
    const QString error = SaveHtmlFile(fileName, ProtocolRows(), HtmlPageInfo{ApplicationTitle()});
    if (!error.isEmpty()) Dialogs().Error(this, error);
}

void TFormMain::sbSaveClick() {
    SaveDialog1.fileName = DateStamp();
    const QString fileName = WithTypeExtension(Dialogs().SaveFile(this, SaveDialog1), SaveDialog1);
    if (fileName.isEmpty()) return;
    FileChosen(SaveDialog1, OpenDialog1, fileName);
    // The format follows the chosen type alone, never the name's extension.
    bool saved = true;
    switch (SaveDialog1.filterIndex) {
        case 1:
            saved = SortGrid1->SaveToCSV(fileName);
            break;
        case 2:
            // Saved when the office is done; the list counts as saved from here, as the Word
            // document holds it as it is now.
            ConvertToWord(TWordMode::wmSave, fileName);
            break;
        case 3:
            SaveToHtml(fileName);
            break;
        default:
            saved = SortGrid1->SaveToFile(fileName, false);
            break;
    }
    if (saved) Execute(cmd::Save{fileName});
}

bool TFormMain::MayReplaceProtocol() {
    // Opening replaces the list. While the clock runs the race goes on (its finishers stay in its
    // journal), and the operator's next Enter is meant for a finisher: No is the default.
    if (race_.Running() && !race_.ListEmpty())
        return Dialogs().Ask(this,
                             QStringLiteral("The clock is running. Replace the race's list with "
                                            "the protocol to open? Its finishers stay in its "
                                            "journal."),
                             false);
    // Unsaved results are not thrown away without a question.
    return !((SortGrid1->Modified() || race_.Unsaved()) && !race_.ListEmpty() &&
             !Dialogs().Ask(this, QStringLiteral("Clear protocol?"), false));
}

bool TFormMain::MayStartOverList() {
    // A new run over rows it did not time would mix two races in one list.
    if (race_.ListEmpty()) return true;
    if (!Dialogs().Ask(this, QStringLiteral("Clear protocol?"), false)) return false;
    Execute(cmd::Reset{});
    SetDefaultColWidths();
    UpdateProtocolButtons();
    return true;
}

void TFormMain::sbLoadClick() {
    if (!MayReplaceProtocol()) return;
    const QString fileName = Dialogs().OpenFile(this, OpenDialog1);
    if (fileName.isEmpty()) return;
    FileChosen(SaveDialog1, OpenDialog1, fileName);
    OpenProtocol(fileName);
}

void TFormMain::OpenProtocolArgument(const QString& fileName) {
    if (!MayReplaceProtocol()) return;
    OpenProtocol(fileName);
}

void TFormMain::OpenProtocol(const QString& fileName) {
    if (IsJournalFileName(fileName)) {
        if (!OpenJournalProtocol(fileName))
            Dialogs().Error(this, CantReadJournalMessage(fileName));
        UpdateProtocolButtons();
        return;
    }
    const bool read = SortGrid1->LoadFromFile(fileName, false);
    if (!read) Dialogs().Error(this, CantReadProtocolMessage(fileName));
    // What the grid now holds becomes the race's list, also after a file that failed half-way.
    const cmd::Grid grid{SortGrid1->RowCount(), SortGrid1->ColCount(), SortGrid1->Modified()};
    std::vector<cmd::Cells> rows;
    for (int r = 0; r < SortGrid1->RowCount(); ++r) {
        if (r > 0 && SortGrid1->IsRowEmpty(r)) continue;
        QStringList cells;
        for (int c = 0; c < SortGrid1->ColCount(); ++c)
            cells << SortGrid1->Cells(c, r);
        rows.push_back(cmd::Cells{r, cells});
    }
    Execute(cmd::Open{fileName});
    Execute(grid);
    for (const cmd::Cells& row : rows)
        Execute(row);
    UpdateProtocolButtons();
}

void TFormMain::sbPrintClick() {
    TPrintOptions& print = SortGrid1->PrintOptions();
    print.JobTitle = ProgramBaseName();
    print.PageTitle = print.JobTitle + QStringLiteral("       ") + DateStamp();
    print.FromRow = 1;
    print.ToRow = unsigned(std::max(0, SortGrid1->RowCount() - 1));
    SortGrid1->Print();
}

bool TFormMain::ProtocolIsEmpty() const {
    return race_.ListEmpty();
}

QString TFormMain::ExitProtocolPath() const {
    return QDir::current().filePath(ProgramBaseName() + QStringLiteral(".txt"));
}

void TFormMain::SaveExitProtocol() {
    const QString path = ExitProtocolPath();
    // Starting and closing the program must not erase the last race's results.
    if (ProtocolIsEmpty() && QFileInfo::exists(path)) return;
    // A restored race may hold less than the list its last clean exit saved (a journal that
    // could not be written to its end): that list is not replaced without a question.
    if (restored_) {
        int saved = 0;
        if (const std::optional<ProtocolFileData> data = LoadProtocolFile(path, false))
            for (std::size_t r = 1; r < data->rows.size(); ++r)
                if (std::any_of(data->rows[r].begin(), data->rows[r].end(),
                                [](const QString& cell) { return !cell.isEmpty(); }))
                    ++saved;
        if (saved > race_.FilledRows() &&
            !Dialogs().Ask(this,
                           path + QStringLiteral(" holds ") + QString::number(saved) +
                               QStringLiteral(" rows, the restored race ") +
                               QString::number(race_.FilledRows()) +
                               QStringLiteral(". Replace that file with the restored race?"),
                           false))
            return;
    }
    SortGrid1->SaveToFile(path, false);
}
