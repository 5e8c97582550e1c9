#include "tests/support/recordingautomation.h"

#include "platform/waitcursor.h"

struct RecordingAutomation::State {
    std::vector<AutomationRecord> records;
    bool running = false;
    int failAt = -1;
    std::function<bool(const AutomationRecord&)> failWhen;
    bool failAsTimeout = false;
    QString failMessage, failDetails;
    int steps = 0;
    int live = 0;

    // Records a step and throws when the script says this step fails.
    void Step(AutomationRecord record) {
        record.waitCursor = WaitCursor::Shown();
        records.push_back(record);
        const int index = steps++;
        if (index != failAt && !(failWhen && failWhen(record))) return;
        if (!failMessage.isEmpty()) {
            if (failAsTimeout) throw EAutomationTimeout(failMessage, failDetails);
            throw EAutomation(failMessage, failDetails);
        }
        if (failAsTimeout)
            throw EAutomationTimeout(QStringLiteral("Automation step %1 not answered: %2")
                                         .arg(index)
                                         .arg(record.ToString()));
        throw EAutomation(
            QStringLiteral("Automation step %1 refused: %2").arg(index).arg(record.ToString()));
    }
};

namespace {
using Kind = AutomationRecord::Kind;

class RecordingObject : public AutomationObject {
public:
    RecordingObject(std::shared_ptr<RecordingAutomation::State> state, QString path)
        : state_(std::move(state)), path_(std::move(path)) {
        ++state_->live;
    }
    ~RecordingObject() override {
        --state_->live;
        AutomationRecord record;
        record.kind = Kind::akRelease;
        record.object = path_;
        state_->records.push_back(record);
    }
    QString Describe() const override { return QLatin1Char('<') + path_ + QLatin1Char('>'); }

protected:
    Variant DoCall(const QString& name, const std::vector<Variant>& args,
                   const std::vector<NamedArg>& named) override {
        AutomationRecord record;
        record.kind = Kind::akCall;
        record.object = path_;
        record.name = name;
        record.args = args;
        record.named = named;
        state_->Step(record);
        return Child(name);
    }
    Variant DoGet(const QString& name, const std::vector<Variant>& args) override {
        AutomationRecord record;
        record.kind = Kind::akGet;
        record.object = path_;
        record.name = name;
        record.args = args;
        state_->Step(record);
        return Child(name);
    }
    void DoPut(const QString& name, const std::vector<Variant>& args,
               const Variant& value) override {
        AutomationRecord record;
        record.kind = Kind::akPut;
        record.object = path_;
        record.name = name;
        record.args = args;
        record.value = value;
        state_->Step(record);
    }

private:
    Variant Child(const QString& name) {
        return AutomationRef(
            std::make_shared<RecordingObject>(state_, path_ + QLatin1Char('.') + name));
    }

    std::shared_ptr<RecordingAutomation::State> state_;
    QString path_;
};

QString JoinArgs(const std::vector<Variant>& args, const std::vector<NamedArg>& named) {
    QStringList parts;
    for (const Variant& a : args)
        parts << a.Describe();
    for (const NamedArg& n : named)
        parts << n.name + QStringLiteral(":=") + n.value.Describe();
    return parts.join(QStringLiteral(", "));
}
}  // namespace

QString AutomationRecord::ToString() const {
    switch (kind) {
        case Kind::akCreate:
            return QStringLiteral("create ") + object;
        case Kind::akGetActive:
            return QStringLiteral("getactive ") + object;
        case Kind::akRelease:
            return QStringLiteral("release ") + object;
        case Kind::akCall:
            return object + QLatin1Char('.') + name + QLatin1Char('(') + JoinArgs(args, named) +
                   QLatin1Char(')');
        case Kind::akGet: {
            QString text = object + QLatin1Char('.') + name;
            if (!args.empty()) text += QLatin1Char('[') + JoinArgs(args, {}) + QLatin1Char(']');
            return text;
        }
        case Kind::akPut: {
            QString text = object + QLatin1Char('.') + name;
            if (!args.empty()) text += QLatin1Char('(') + JoinArgs(args, {}) + QLatin1Char(')');
            return text + QStringLiteral(" := ") + value.Describe();
        }
    }
    return QString();
}

RecordingAutomation::RecordingAutomation() : state_(std::make_shared<State>()) {}
RecordingAutomation::~RecordingAutomation() = default;

AutomationRef RecordingAutomation::CreateObject(const QString& className) {
    AutomationRecord record;
    record.kind = Kind::akCreate;
    record.object = className;
    state_->Step(record);
    state_->running = true;
    return std::make_shared<RecordingObject>(state_, className);
}

AutomationRef RecordingAutomation::GetActiveObject(const QString& className) {
    AutomationRecord record;
    record.kind = Kind::akGetActive;
    record.object = className;
    state_->Step(record);
    if (!state_->running)
        throw EAutomation(QStringLiteral("Operation unavailable: no running ") + className);
    return std::make_shared<RecordingObject>(state_, className);
}

void RecordingAutomation::SetRunningInstance(bool running) {
    state_->running = running;
}
void RecordingAutomation::FailAt(int index) {
    state_->failAt = index;
}
void RecordingAutomation::FailAsTimeout(bool timeout) {
    state_->failAsTimeout = timeout;
}
void RecordingAutomation::FailWithWords(QString message, QString details) {
    state_->failMessage = std::move(message);
    state_->failDetails = std::move(details);
}
void RecordingAutomation::FailWhen(std::function<bool(const AutomationRecord&)> predicate) {
    state_->failWhen = std::move(predicate);
}

const std::vector<AutomationRecord>& RecordingAutomation::Records() const {
    return state_->records;
}

QStringList RecordingAutomation::Log(bool withReleases) const {
    QStringList lines;
    for (const AutomationRecord& r : state_->records)
        if (withReleases || r.kind != Kind::akRelease) lines << r.ToString();
    return lines;
}

int RecordingAutomation::Steps() const {
    return state_->steps;
}
int RecordingAutomation::LiveObjects() const {
    return state_->live;
}

void RecordingAutomation::Clear() {
    state_->records.clear();
    state_->steps = 0;
}
