#include "platform/libreofficeautomation.h"

#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <atomic>
#include <cmath>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/programpaths.h"

namespace {
bool GroupAlive(qint64 pgid) {
    return LibreOfficeAutomation::ProcessGroupAlive(pgid);
}

QString Seconds(int ms) {
    return QString::number((ms + 999) / 1000);
}

// LibreOffice writes ".~lock.<name>#" beside every document it holds open.
QString LockFileOf(const QString& document) {
    const QFileInfo info(document);
    return info.dir().filePath(QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#'));
}

QByteArray ReadSmallFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
}
}  // namespace

// What the factory, its helper and the helper's objects share about the office: which process
// group it is, and the lock files it left beside documents it stored.
struct LibreOfficeAutomation::OfficeState {
    QString pipeName;
    std::atomic<qint64> startedPid{0};
    std::mutex mutex;
    struct Lock {
        QString path;
        QByteArray content;
    };
    std::vector<Lock> locks;

    void NoteStored(const QString& document) {
        const QString lock = LockFileOf(document);
        const QByteArray content = ReadSmallFile(lock);
        if (content.isEmpty()) return;
        const std::lock_guard<std::mutex> hold(mutex);
        locks.push_back({lock, content});
    }

    // Only once the office that wrote them is gone: a lock file that still holds what our office
    // wrote is a leftover; one written since (another office opened the file) is left alone.
    void CleanLocks() {
        const std::lock_guard<std::mutex> hold(mutex);
        for (const Lock& lock : locks)
            if (ReadSmallFile(lock.path) == lock.content) QFile::remove(lock.path);
        locks.clear();
    }

    // Ends the office on our pipe, hung or stopped as it may be: SIGKILL reaches a stopped
    // process too. Its whole process group goes (launcher and office proper).
    void EndOffice() {
        std::vector<qint64> groups;
        if (const qint64 started = startedPid.load(); GroupAlive(started))
            groups.push_back(started);
        if (const qint64 owner = OfficePidOnPipe(pipeName); owner > 0) {
            const pid_t group = ::getpgid(static_cast<pid_t>(owner));
            if (group > 1 && group != ::getpgrp())
                groups.push_back(group);
            else
                ::kill(static_cast<pid_t>(owner), SIGKILL);
        }
        for (qint64 g : groups)
            ::kill(static_cast<pid_t>(-g), SIGKILL);
        const QDeadlineTimer deadline(5000);
        for (qint64 g : groups)
            while (GroupAlive(g) && !deadline.hasExpired())
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        CleanLocks();
    }
};

// The helper process and its line protocol: one JSON request per line on its standard input,
// one JSON answer per line on its standard output. Its error output goes to ours.
class LibreOfficeAutomation::Helper : public std::enable_shared_from_this<Helper> {
public:
    Helper(const QString& python, const QString& script, int startTimeoutMs, int callTimeoutMs,
           std::shared_ptr<OfficeState> state)
        : callTimeoutMs_(callTimeoutMs), state_(std::move(state)) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setReadChannel(QProcess::StandardOutput);
        process_.start(python, {script});
        if (!process_.waitForStarted(startTimeoutMs))
            throw EAutomation(QStringLiteral("Cannot start the office helper %1: %2")
                                  .arg(script, process_.errorString()));
        pid_ = process_.processId();
        QJsonObject ready;
        try {
            ready = Await(-1, QDeadlineTimer(startTimeoutMs), startTimeoutMs);
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

    // Any thread: the helper dies, and the thread waiting on it sees that at once.
    void Kill() noexcept {
        if (const qint64 pid = pid_.load(); pid > 0) ::kill(static_cast<pid_t>(pid), SIGKILL);
    }

    // Sends a request and returns the answer; a refusal becomes EAutomation with the office's
    // own words, an office that does not answer EAutomationTimeout (and the office is ended).
    QJsonObject Request(QJsonObject request, int timeoutMs) {
        if (!Alive()) throw EAutomation(QStringLiteral("The office helper has ended"));
        const qint64 id = nextId_++;
        request.insert(QLatin1String("id"), id);
        request.insert(QLatin1String("cwd"), QDir::currentPath());
        Send(request);
        const QJsonObject answer = Await(id, QDeadlineTimer(timeoutMs), timeoutMs);
        if (answer.value(QLatin1String("hung")).toBool()) {
            // The helper itself is stuck in the call that did not come back.
            EndHelperAndOffice();
            throw EAutomationTimeout(answer.value(QLatin1String("error")).toString() +
                                     QStringLiteral(" and was ended"));
        }
        if (!answer.value(QLatin1String("ok")).toBool())
            throw EAutomation(answer.value(QLatin1String("error"))
                                  .toString(QStringLiteral("The office refused the call")),
                              answer.value(QLatin1String("details")).toString());
        if (const QString stored = answer.value(QLatin1String("stored")).toString();
            !stored.isEmpty())
            state_->NoteStored(stored);
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

    void EndHelperAndOffice() {
        broken_ = true;
        process_.kill();
        process_.waitForFinished(1000);
        state_->EndOffice();
    }

    // Reads answers until the one with this id (-1: the first line at all) arrives.
    QJsonObject Await(qint64 id, QDeadlineTimer deadline, int boundMs) {
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
                if (id < 0) {
                    broken_ = true;
                    process_.kill();
                    process_.waitForFinished(1000);
                    throw EAutomation(QStringLiteral("The office helper did not answer in time"));
                }
                // Its answer could still come and be taken for the next one, and an office that
                // keeps a call for this long is hung: both are ended.
                EndHelperAndOffice();
                throw EAutomationTimeout(QStringLiteral("The office did not answer within %1 s "
                                                        "and was ended")
                                             .arg(Seconds(boundMs)));
            }
            process_.waitForReadyRead(
                static_cast<int>(qMin<qint64>(deadline.remainingTime(), 1000)));
        }
    }

    QProcess process_;
    int callTimeoutMs_;
    std::shared_ptr<OfficeState> state_;
    std::atomic<qint64> pid_{0};
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
    : options_(std::move(options)), state_(std::make_shared<OfficeState>()) {
    if (options_.pipeName.isEmpty()) options_.pipeName = DefaultPipeName();
    state_->pipeName = options_.pipeName;
}

LibreOfficeAutomation::~LibreOfficeAutomation() {
    // An office that crashed since it stored a document leaves its lock file behind.
    if (state_->startedPid > 0 && OfficeGone()) state_->CleanLocks();
}

void LibreOfficeAutomation::Interrupt() {
    if (const std::shared_ptr<Helper> helper = std::atomic_load(&helper_)) helper->Kill();
}

bool LibreOfficeAutomation::ProcessGroupAlive(qint64 pgid) {
    if (pgid <= 0 || ::kill(static_cast<pid_t>(-pgid), 0) != 0) return false;
    // A member that has ended but was not yet reaped by its parent still counts for kill(): look
    // for one that runs (or is stopped).
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        if (pid.isEmpty() || !pid[0].isDigit()) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.read(1024);
        const qsizetype close = line.lastIndexOf(')');
        if (close < 0) continue;
        // After the name: state, parent, process group.
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() >= 3 && fields[2].toLongLong() == pgid && fields[0] != "Z" &&
            fields[0] != "X")
            return true;
    }
    return false;
}

qint64 LibreOfficeAutomation::OfficePidOnPipe(const QString& pipeName) {
    // The office listens on a Unix socket /tmp/OSL_PIPE_<uid>_<name>; its owner is the process
    // holding that socket's inode open.
    const QByteArray path = QByteArrayLiteral("/tmp/OSL_PIPE_") + QByteArray::number(getuid()) +
                            '_' + pipeName.toUtf8();
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly)) return 0;
    QByteArray inode;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && fields[7] == path && fields[5] == "01") {  // listening
            inode = fields[6];
            break;
        }
    }
    if (inode.isEmpty()) return 0;
    const QByteArray target = "socket:[" + inode + ']';
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        bool numeric = false;
        const qint64 n = pid.toLongLong(&numeric);
        if (!numeric) continue;
        const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QString& fd : QDir(fdDir).entryList(QDir::AllEntries | QDir::System)) {
            char link[64];
            const QByteArray fdPath = (fdDir + QLatin1Char('/') + fd).toLocal8Bit();
            const ssize_t size = ::readlink(fdPath.constData(), link, sizeof link);
            if (size > 0 && QByteArray(link, size) == target) return n;
        }
    }
    return 0;
}

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
    std::atomic_store(&helper_, std::shared_ptr<Helper>());
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
    std::atomic_store(&helper_,
                      std::make_shared<Helper>(python, script, options_.helperStartTimeoutMs,
                                               options_.callTimeoutMs, state_));
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
        {QLatin1String("connectTimeout"), options_.connectTimeoutMs / 1000.0},
    };
    const QJsonObject answer = helper->Request(QJsonObject{{QLatin1String("op"), QLatin1String(op)},
                                                           {QLatin1String("progid"), className},
                                                           {QLatin1String("office"), office}},
                                               timeoutMs);
    if (answer.contains(QLatin1String("pid"))) {
        // No office answered on the pipe, so the one that held our documents is gone.
        state_->CleanLocks();
        state_->startedPid = answer.value(QLatin1String("pid")).toInteger();
        ++starts_;
    }
    return helper->FromJson(answer.value(QLatin1String("result"))).ToObject();
}

// The helper bounds the connect and the office's start itself; the margin covers the helper's
// own work, so that normally its answer (with the reason) comes before this side gives up.
AutomationRef LibreOfficeAutomation::CreateObject(const QString& className) {
    return Open("create", className,
                options_.connectTimeoutMs + options_.officeStartTimeoutMs + 5000);
}

AutomationRef LibreOfficeAutomation::GetActiveObject(const QString& className) {
    return Open("active", className, options_.connectTimeoutMs + 5000);
}

qint64 LibreOfficeAutomation::StartedOfficePid() const {
    return state_->startedPid;
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
    const qint64 started = state_->startedPid;
    if (GroupAlive(started)) {
        ::kill(static_cast<pid_t>(-started), SIGTERM);
        ::kill(static_cast<pid_t>(-started), SIGCONT);  // a stopped office cannot end itself
        const QDeadlineTimer deadline(10000);
        while (GroupAlive(started) && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (GroupAlive(started)) ::kill(static_cast<pid_t>(-started), SIGKILL);
    }
    if (OfficeGone()) state_->CleanLocks();
}

bool LibreOfficeAutomation::OfficeGone() const {
    return !GroupAlive(state_->startedPid) && OfficePidOnPipe(options_.pipeName) == 0;
}
