#pragma once

#include <QStringList>
#include <functional>
#include <memory>

#include "platform/automation.h"

// One thing done to the automation server.
struct AutomationRecord {
    enum class Kind { akCreate, akGetActive, akCall, akGet, akPut, akRelease };
    Kind kind = Kind::akCall;
    QString object;  // the class name for akCreate/akGetActive, else the receiver's path
    QString name;    // the member's name (empty for akCreate/akGetActive/akRelease)
    std::vector<Variant> args;
    std::vector<NamedArg> named;
    Variant value;            // akPut only
    bool waitCursor = false;  // the hourglass was shown when it happened

    // One line: "create Word.Basic", "Word.Basic.LineUp(32700, 1)",
    // "Word.Basic.TextToTable(ConvertFrom:=1, NumColumns:=5)", "Excel.Application.Workbooks",
    // "Excel.Application.Cells(1, 2) := \"Nr.\"", "release Excel.Application.Workbooks".
    QString ToString() const;
};

// An automation server for tests and tools: every object it hands out records what is done to
// it in one shared log, and any step can be made to fail. Calls and property reads return a new
// object named after the path that led to it ("Excel.Application.Workbooks.add"), so chains of
// calls work without any set-up.
class RecordingAutomation : public AutomationFactory {
public:
    RecordingAutomation();
    ~RecordingAutomation() override;

    AutomationRef CreateObject(const QString& className) override;
    AutomationRef GetActiveObject(const QString& className) override;

    // Whether GetActiveObject finds a running server (default: none runs).
    void SetRunningInstance(bool running);
    // The step with this 0-based index (releases are not counted) throws EAutomation after it is
    // recorded. -1 switches it off.
    void FailAt(int index);
    // Every step for which the predicate holds throws EAutomation after it is recorded. The
    // predicate runs on the thread that drives the server, and may hold it there.
    void FailWhen(std::function<bool(const AutomationRecord&)> predicate);
    // The scripted failures are servers that did not answer (EAutomationTimeout), not refusals.
    void FailAsTimeout(bool timeout);
    // The scripted failures carry these words (a short reason and the server's own text, as an
    // office's refusal does) instead of naming the step. An empty message names the step again.
    void FailWithWords(QString message, QString details);

    const std::vector<AutomationRecord>& Records() const;
    // The records as lines; releases only when asked for.
    QStringList Log(bool withReleases = false) const;
    // Number of recorded steps without releases.
    int Steps() const;
    // Objects handed out and not yet released.
    int LiveObjects() const;
    void Clear();

    struct State;

private:
    std::shared_ptr<State> state_;
};
