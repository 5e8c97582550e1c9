#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class AutomationFactory;

enum class TWordMode {
    wmShow,  // the word processor comes to the front maximised and keeps the document open
    wmSave,  // it works out of sight and closes when the document is stored
};

// The protocol as the word processor receives it: one line per row (the header row first), each
// ended by CR LF; cells separated by a tab. A cell holding a blank, a control character or a
// double quote is put in double quotes with its own double quotes doubled; others, empty ones
// included, stand as they are.
QString WordProtocolText(const std::vector<QStringList>& rows);

// How an export ended. A failure ends the export at the step that failed; what was done before
// stays done (the caller decides whom to tell).
struct TExportOutcome {
    bool done = false;         // the document was stored under its name
    QString error;             // why not, short, in the words of whoever refused
    QString details;           // the refusal in full, where the office said more
    bool officeEnded = false;  // the office did not answer in time and was ended
    bool storing = false;      // it failed while storing the document (FileSaveAs or after)
};

// Turns the protocol rows into a five-column table in a copy of the template and stores it as a
// Word document under fileName (a bare name lands in the current directory). Shows the
// hourglass meanwhile. Never throws. In save mode the document counts as stored only when the
// file is there afterwards.
TExportOutcome ConvertToWord(const std::vector<QStringList>& rows, const QString& templatePath,
                             const QString& fileName, TWordMode mode,
                             AutomationFactory& automation);
