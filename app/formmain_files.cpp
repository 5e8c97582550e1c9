// Saving, opening and printing the protocol, and the protocol saved at every exit.
#include <QDir>
#include <QFileInfo>

#include "app/filefolders.h"
#include "app/formmain.h"
#include "app/timetext.h"
#include "grid/htmlexport.h"
#include "grid/protocolfile.h"
#include "platform/programpaths.h"

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
    switch (SaveDialog1.filterIndex) {
        case 1:
            SortGrid1->SaveToCSV(fileName);
            break;
        case 2:
            ConvertToWord(TWordMode::wmSave, fileName);
            break;
        case 3:
            SaveToHtml(fileName);
            break;
        default:
            SortGrid1->SaveToFile(fileName, false);
            break;
    }
    JournalSaved(fileName);
}

bool TFormMain::MayReplaceProtocol() {
    // Opening replaces the protocol: unsaved results are not thrown away without a question.
    return !((SortGrid1->Modified() || lapsSinceOpened_) && !ProtocolIsEmpty() &&
             !Dialogs().Confirm(this, QStringLiteral("Clear protocol?")));
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
    const bool read = IsJournalFileName(fileName) ? OpenJournalProtocol(fileName)
                                                  : SortGrid1->LoadFromFile(fileName, false);
    if (!read)
        Dialogs().Error(this, IsJournalFileName(fileName) ? CantReadJournalMessage(fileName)
                                                          : CantReadProtocolMessage(fileName));
    else
        lapsSinceOpened_ = false;
    JournalOpened(fileName);
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
    for (int r = 1; r < SortGrid1->RowCount(); ++r)
        if (!SortGrid1->IsRowEmpty(r)) return false;
    return true;
}

QString TFormMain::ExitProtocolPath() const {
    return QDir::current().filePath(ProgramBaseName() + QStringLiteral(".txt"));
}

void TFormMain::SaveExitProtocol() {
    const QString path = ExitProtocolPath();
    // Starting and closing the program must not erase the last race's results.
    if (ProtocolIsEmpty() && QFileInfo::exists(path)) return;
    SortGrid1->SaveToFile(path, false);
}
