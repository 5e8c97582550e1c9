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
    int helperStartTimeoutMs = 15000;
    int officeStartTimeoutMs = 90000;
    int callTimeoutMs = 60000;
};

// Automation objects served by LibreOffice: "Word.Basic" on Writer and "Excel.Application" on
// Calc, carried out by a helper process that speaks UNO to the office. The helper is started on
// the first request and lives as long as this factory or an object it handed out; the office it
// starts lives on after both (as Word and Excel stay open for the operator).
//
// Every wait is bounded: a helper that does not answer in time is killed and the call fails,
// and a helper that ended is a failure, never a hang. The next request starts a fresh helper.
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

    const LibreOfficeOptions& Options() const { return options_; }

    // "<program base name>_<user name>".
    static QString DefaultPipeName();
    // "<base name>-office.py" or "vidazorov-office.py" beside the executable; empty when absent.
    static QString FindHelperScript();

    class Helper;

private:
    std::shared_ptr<Helper> EnsureHelper();
    AutomationRef Open(const char* op, const QString& className, int timeoutMs);

    LibreOfficeOptions options_;
    std::shared_ptr<Helper> helper_;
    qint64 startedPid_ = 0;
    int starts_ = 0;
};
