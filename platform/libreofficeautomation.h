#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/automation.h"

// How the office is reached. Every field has a working default for the installed program.
struct LibreOfficeOptions {
    // The private pipe on which the office this program starts listens, and on which "the
    // running instance" is looked for. Default: DefaultPipeName().
    QString pipeName;
    // The office's user profile folder; empty: the user's own LibreOffice profile.
    QString profileDir;
    // The office program; empty: soffice on the search path.
    QString officeProgram;
    // The helper script; empty: FindHelperScript().
    QString helperScript;
    // The Python that runs the helper; empty: the system's /usr/bin/python3 (where the office's
    // UNO module is installed), else python3 on the search path.
    QString python;
    // Start the office without any window; unset: only when there is no display.
    std::optional<bool> headless;
    // The bounds on waiting for the office. A cold start of LibreOffice takes about 8 s on the
    // race PC and an ordinary call milliseconds (the largest, a 2,000-row table, well under 2 s),
    // so an office that has not started in 40 s or not answered a call in 20 s is hung. The
    // window stays alive meanwhile: these bounds only decide when the operator hears of it.
    int helperStartTimeoutMs = 15000;
    int connectTimeoutMs = 10000;  // reaching an office that holds the pipe
    int officeStartTimeoutMs = 40000;
    int callTimeoutMs = 20000;
};

// Automation objects served by LibreOffice: "Word.Basic" on Writer and "Excel.Application" on
// Calc, carried out by a helper process that speaks UNO to the office. The helper is started on
// the first request and lives as long as this factory or an object it handed out; the office it
// starts lives on after both (as Word and Excel stay open for the operator).
//
// Every wait is bounded: an office (or helper) that does not answer in time is ended, its whole
// process group, and the call fails with EAutomationTimeout; a helper that ended is a failure,
// never a hang. The next request starts a fresh helper and, when needed, a fresh office.
// Lock files that an office ended that way (or crashed) leaves beside the documents it stored
// are removed once it is gone.
class LibreOfficeAutomation : public AutomationFactory {
public:
    explicit LibreOfficeAutomation(LibreOfficeOptions options = {});
    ~LibreOfficeAutomation() override;

    // Attaches to the office on the pipe, or starts one and waits (seconds) until it answers.
    AutomationRef CreateObject(const QString& className) override;
    // Only the office that already answers on the pipe.
    AutomationRef GetActiveObject(const QString& className) override;

    // The process group of the office this factory started last (0: none started yet), and how
    // many it started.
    qint64 StartedOfficePid() const;
    int OfficeStarts() const;
    // Ends the office this factory started, if it still runs; waits a bounded time.
    void TerminateOffice();
    // Kills the helper, so that a call in progress on another thread fails at once.
    void Interrupt() override;
    // The process that listens on the office pipe of this name (0: none found).
    static qint64 OfficePidOnPipe(const QString& pipeName);
    // Whether a member of the process group runs (or is stopped); ended ones not yet reaped by
    // their parent do not count.
    static bool ProcessGroupAlive(qint64 pgid);

    const LibreOfficeOptions& Options() const { return options_; }

    // "<program base name>_<user name>".
    static QString DefaultPipeName();
    // "<base name>-office.py" or "vidazorov-office.py" beside the executable; empty when absent.
    static QString FindHelperScript();

    class Helper;
    struct OfficeState;

private:
    std::shared_ptr<Helper> EnsureHelper();
    AutomationRef Open(const char* op, const QString& className, int timeoutMs);
    bool OfficeGone() const;

    LibreOfficeOptions options_;
    std::shared_ptr<OfficeState> state_;
    std::shared_ptr<Helper> helper_;
    int starts_ = 0;
};
