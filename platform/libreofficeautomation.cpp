#include "platform/libreofficeautomation.h"

#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <csignal>
#include <thread>

#include "platform/programpaths.h"

// The helper process and its line protocol: one JSON request per line on its standard input,
// one JSON answer per line on its standard output. Its error output goes to ours.
class LibreOfficeAutomation::Helper : public std::enable_shared_from_this<Helper> {
public:
    Helper(const QString& python, const QString& script, int startTimeoutMs, int callTimeoutMs)
        : callTimeoutMs_(callTimeoutMs) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setReadChannel(QProcess::StandardOutput);
        process_.start(python, {script});
        if (!process_.waitForStarted(startTimeoutMs))
            throw EAutomation(QStringLiteral("Cannot start the office helper %1: %2")
                                  .arg(script, process_.errorString()));
        QJsonObject ready;
        try {
            ready = Await(-1, QDeadlineTimer(startTimeoutMs));
        } catch (const EAutomation& e) {
            throw EAutomation(QStringLiteral("The office helper did not start: ") + e.Message());
        }
        if (!ready.value(QLatin1String("ready")).toBool())
            throw EAutomation(QStringLiteral("The office helper did not start"));
    }

    ~Helper() {
        if (process_.state() == QProcess::NotRunning) return;
        // End of input is the helper's signal to finish; the office it started stays.
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(1000);
        }
    }

    bool Alive() const { return process_.state() == QProcess::Running && !broken_; }
    int CallTimeoutMs() const { return callTimeoutMs_; }

    // Sends a request and returns the answer; a refusal becomes EAutomation with the office's
    // own words.
    QJsonObject Request(QJsonObject request, int timeoutMs) {
        if (!Alive()) throw EAutomation(QStringLiteral("The office helper has ended"));
        const qint64 id = nextId_++;
        request.insert(QLatin1String("id"), id);
        request.insert(QLatin1String("cwd"), QDir::currentPath());
        Send(request);
        const QJsonObject answer = Await(id, QDeadlineTimer(timeoutMs));
        if (!answer.value(QLatin1String("ok")).toBool())
            throw EAutomation(answer.value(QLatin1String("error"))
                                  .toString(QStringLiteral("The office refused the call")));
        return answer;
    }

    void Release(int object) noexcept {
        if (!Alive()) return;
        try {
            Send(QJsonObject{{QLatin1String("op"), QLatin1String("release")},
                             {QLatin1String("obj"), object}});
        } catch (...) {
            // A lost release costs the helper a little memory, nothing more.
        }
    }

    QJsonValue ToJson(const Variant& value);
    Variant FromJson(const QJsonValue& value);

private:
    void Send(const QJsonObject& request) {
        process_.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        process_.waitForBytesWritten(1000);
    }

    // Reads answers until the one with this id (-1: the first line at all) arrives.
    QJsonObject Await(qint64 id, QDeadlineTimer deadline) {
        for (;;) {
            while (process_.canReadLine()) {
                const QJsonDocument doc = QJsonDocument::fromJson(process_.readLine());
                if (!doc.isObject()) continue;
                const QJsonObject answer = doc.object();
                if (id < 0 || answer.value(QLatin1String("id")).toInteger(-1) == id) return answer;
            }
            if (process_.state() != QProcess::Running) {
                broken_ = true;
                throw EAutomation(QStringLiteral("The office helper has ended"));
            }
            if (deadline.hasExpired()) {
                // Its answer could still come and be taken for the next one: end it instead.
                broken_ = true;
                process_.kill();
                process_.waitForFinished(1000);
                throw EAutomation(QStringLiteral("The office did not answer in time"));
            }
            process_.waitForReadyRead(
                static_cast<int>(qMin<qint64>(deadline.remainingTime(), 1000)));
        }
    }

    QProcess process_;
    int callTimeoutMs_;
    qint64 nextId_ = 1;
    bool broken_ = false;
};

namespace {

class LibreOfficeObject : public AutomationObject {
public:
    LibreOfficeObject(std::shared_ptr<LibreOfficeAutomation::Helper> helper, int id)
        : helper_(std::move(helper)), id_(id) {}
    ~LibreOfficeObject() override { helper_->Release(id_); }

    int Id() const { return id_; }
    const LibreOfficeAutomation::Helper* Owner() const { return helper_.get(); }
    QString Describe() const override { return QStringLiteral("<office object %1>").arg(id_); }

protected:
    Variant DoCall(const QString& name, const std::vector<Variant>& args,
                   const std::vector<NamedArg>& named) override {
        QJsonObject request = Member("call", name, args);
        QJsonArray pairs;
        for (const NamedArg& n : named)
            pairs.append(QJsonArray{n.name, helper_->ToJson(n.value)});
        request.insert(QLatin1String("named"), pairs);
        return Result(request);
    }
    Variant DoGet(const QString& name, const std::vector<Variant>& args) override {
        return Result(Member("get", name, args));
    }
    void DoPut(const QString& name, const std::vector<Variant>& args,
               const Variant& value) override {
        QJsonObject request = Member("put", name, args);
        request.insert(QLatin1String("value"), helper_->ToJson(value));
        helper_->Request(request, helper_->CallTimeoutMs());
    }

private:
    QJsonObject Member(const char* op, const QString& name, const std::vector<Variant>& args) {
        QJsonArray list;
        for (const Variant& a : args)
            list.append(helper_->ToJson(a));
        return QJsonObject{{QLatin1String("op"), QLatin1String(op)},
                           {QLatin1String("obj"), id_},
                           {QLatin1String("name"), name},
                           {QLatin1String("args"), list}};
    }
    Variant Result(const QJsonObject& request) {
        return helper_->FromJson(
            helper_->Request(request, helper_->CallTimeoutMs()).value(QLatin1String("result")));
    }

    std::shared_ptr<LibreOfficeAutomation::Helper> helper_;
    int id_;
};

QJsonObject Tagged(const char* tag, const QJsonValue& value) {
    return QJsonObject{{QLatin1String("t"), QLatin1String(tag)}, {QLatin1String("v"), value}};
}

QString UserName() {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(getuid());
}

bool HasDisplay() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

bool GroupAlive(qint64 pgid) {
    return pgid > 0 && ::kill(static_cast<pid_t>(-pgid), 0) == 0;
}

}  // namespace

QJsonValue LibreOfficeAutomation::Helper::ToJson(const Variant& value) {
    switch (value.kind()) {
        case Variant::Kind::vkEmpty:
            return QJsonValue();
        case Variant::Kind::vkBool:
            return Tagged("b", value.ToBool());
        case Variant::Kind::vkInt:
            return Tagged("i", value.ToInt());
        case Variant::Kind::vkDouble:
            if (!std::isfinite(value.ToDouble()))
                throw EAutomation(QStringLiteral("A number that is not finite cannot be passed"));
            return Tagged("d", value.ToDouble());
        case Variant::Kind::vkString:
            return Tagged("s", value.ToString());
        case Variant::Kind::vkObject: {
            const auto* object = dynamic_cast<const LibreOfficeObject*>(value.ToObject().get());
            if (!object || object->Owner() != this)
                throw EAutomation(QStringLiteral("The object belongs to another server"));
            return Tagged("o", object->Id());
        }
    }
    return QJsonValue();
}

Variant LibreOfficeAutomation::Helper::FromJson(const QJsonValue& value) {
    if (!value.isObject()) return Variant();
    const QJsonObject o = value.toObject();
    const QString tag = o.value(QLatin1String("t")).toString();
    const QJsonValue v = o.value(QLatin1String("v"));
    if (tag == QLatin1String("b")) return Variant(v.toBool());
    if (tag == QLatin1String("i")) return Variant(static_cast<std::int32_t>(v.toInteger()));
    if (tag == QLatin1String("d")) return Variant(v.toDouble());
    if (tag == QLatin1String("s")) return Variant(v.toString());
    if (tag == QLatin1String("o"))
        return Variant(AutomationRef(std::make_shared<LibreOfficeObject>(
            shared_from_this(), static_cast<int>(v.toInteger()))));
    return Variant();
}

LibreOfficeAutomation::LibreOfficeAutomation(LibreOfficeOptions options)
    : options_(std::move(options)) {
    if (options_.pipeName.isEmpty()) options_.pipeName = DefaultPipeName();
}

LibreOfficeAutomation::~LibreOfficeAutomation() = default;

QString LibreOfficeAutomation::DefaultPipeName() {
    QString name = ProgramBaseName() + QLatin1Char('_') + UserName();
    // The pipe name becomes part of a socket path and a UNO URL: keep it plain.
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('_') && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    return name;
}

QString LibreOfficeAutomation::FindHelperScript() {
    const QString dir = ProgramDir();
    for (const QString& name : {ProgramBaseName() + QStringLiteral("-office.py"),
                                QStringLiteral("vidazorov-office.py")}) {
        const QString path = dir + QLatin1Char('/') + name;
        if (QFileInfo(path).isFile()) return path;
    }
    return QString();
}

std::shared_ptr<LibreOfficeAutomation::Helper> LibreOfficeAutomation::EnsureHelper() {
    if (helper_ && helper_->Alive()) return helper_;
    helper_.reset();
    const QString script =
        options_.helperScript.isEmpty() ? FindHelperScript() : options_.helperScript;
    if (script.isEmpty() || !QFileInfo(script).isFile())
        throw EAutomation(QStringLiteral("The office helper script is missing"));
    QString python = options_.python;
    if (python.isEmpty())
        python = QFileInfo(QStringLiteral("/usr/bin/python3")).isExecutable()
                     ? QStringLiteral("/usr/bin/python3")
                     : QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) throw EAutomation(QStringLiteral("Python 3 is not installed"));
    helper_ = std::make_shared<Helper>(python, script, options_.helperStartTimeoutMs,
                                       options_.callTimeoutMs);
    return helper_;
}

AutomationRef LibreOfficeAutomation::Open(const char* op, const QString& className, int timeoutMs) {
    std::shared_ptr<Helper> helper = EnsureHelper();
    QJsonObject office{
        {QLatin1String("pipe"), options_.pipeName},
        {QLatin1String("headless"), options_.headless.value_or(!HasDisplay())},
        {QLatin1String("profile"), options_.profileDir},
        {QLatin1String("program"), options_.officeProgram},
        {QLatin1String("startTimeout"), options_.officeStartTimeoutMs / 1000.0},
    };
    const QJsonObject answer = helper->Request(QJsonObject{{QLatin1String("op"), QLatin1String(op)},
                                                           {QLatin1String("progid"), className},
                                                           {QLatin1String("office"), office}},
                                               timeoutMs);
    if (answer.contains(QLatin1String("pid"))) {
        startedPid_ = answer.value(QLatin1String("pid")).toInteger();
        ++starts_;
    }
    return helper->FromJson(answer.value(QLatin1String("result"))).ToObject();
}

AutomationRef LibreOfficeAutomation::CreateObject(const QString& className) {
    // The helper bounds the office's start itself; the extra time covers the call that follows.
    return Open("create", className, options_.officeStartTimeoutMs + options_.callTimeoutMs);
}

AutomationRef LibreOfficeAutomation::GetActiveObject(const QString& className) {
    return Open("active", className, options_.callTimeoutMs);
}

qint64 LibreOfficeAutomation::StartedOfficePid() const {
    return startedPid_;
}
int LibreOfficeAutomation::OfficeStarts() const {
    return starts_;
}

void LibreOfficeAutomation::TerminateOffice() {
    if (helper_ && helper_->Alive()) {
        try {
            helper_->Request(QJsonObject{{QLatin1String("op"), QLatin1String("terminate")}}, 30000);
        } catch (const EAutomation&) {
            // Falls through to ending the process group directly.
        }
    }
    if (!GroupAlive(startedPid_)) return;
    ::kill(static_cast<pid_t>(-startedPid_), SIGTERM);
    const QDeadlineTimer deadline(10000);
    while (GroupAlive(startedPid_) && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (GroupAlive(startedPid_)) ::kill(static_cast<pid_t>(-startedPid_), SIGKILL);
}
