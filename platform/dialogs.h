#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;
class QDialog;

// What a file dialog is asked for. The filter is the program's own "Name (*.x)|*.x|..." list;
// FilterIndex is 1-based, goes in as the preselected filter and comes back as the chosen one.
struct FileDialogRequest {
    QString title;
    QString filter;
    QString defaultExt;  // with the dot, e.g. ".csv"
    QString initialDir;
    QString lastDir;  // the folder a file was last chosen in; kept in the settings
    QString fileName;
    int filterIndex = 1;
    bool mustExist = false;
};

// Every modal interaction with the operator goes through here, so that tests can answer
// "Exit program?" or pick a file without a person.
class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    // Yes/No confirmation; true only for Yes.
    virtual bool Confirm(QWidget* parent, const QString& text) = 0;
    // Yes/No question whose default button is Yes when defaultYes; scripted as Confirm.
    virtual bool Ask(QWidget* parent, const QString& text, bool defaultYes) {
        (void)defaultYes;
        return Confirm(parent, text);
    }
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // An error in the program's words whose details (another program's own words, long or
    // technical) are shown on request, under the box's details button. Without details as Error.
    virtual void ErrorWithDetails(QWidget* parent, const QString& text, const QString& details) {
        (void)details;
        Error(parent, text);
    }
    virtual void Information(QWidget* parent, const QString& text) = 0;
    // The chosen file, or empty when cancelled. The request's fileName and filterIndex are updated.
    virtual QString OpenFile(QWidget* parent, FileDialogRequest& request) = 0;
    virtual QString SaveFile(QWidget* parent, FileDialogRequest& request) = 0;
    // Runs a modal dialog of the program's own and returns its result code.
    virtual int Exec(QDialog* dialog) = 0;
    // A short beep (refused input).
    virtual void Beep() = 0;
};

DialogProvider& Dialogs();

// While the race clock runs, Enter is the operator's LAP, also when a question or a correction
// dialog is open: the handler records the finisher and says so (true), and the key then answers
// nothing. Without a handler, or when it declines, Enter answers the dialog as usual.
void SetEnterHandler(std::function<bool()> handler);
bool EnterTaken();
// Hands Enter to the handler while it lives (around a modal dialog's loop).
class ScopedEnterHandover : public QObject {
public:
    ScopedEnterHandover();
    ~ScopedEnterHandover() override;
    ScopedEnterHandover(const ScopedEnterHandover&) = delete;
    ScopedEnterHandover& operator=(const ScopedEnterHandover&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
// Installs a provider (tests); nullptr restores the real dialogs.
void SetDialogs(DialogProvider* provider);

// Converts "Name (*.x)|*.x|Other (*.y)|*.y" into Qt's ";;"-separated name filters.
QStringList SplitFileFilter(const QString& filter);

// The extension (".doc") of the request's type number `filterIndex` (1-based): the first pattern
// of that type; the request's default extension where that type has none.
QString FilterExtension(const FileDialogRequest& request, int filterIndex);
// A name chosen in a save dialog: typed without an extension it gets the one of the selected
// type, so that a Word document is never called ".csv"; a name with an extension keeps it, and an
// empty one (cancelled) stays empty.
QString WithTypeExtension(const QString& fileName, const FileDialogRequest& request);
