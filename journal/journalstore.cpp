#include "journal/journalstore.h"

#include <time.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/programpaths.h"
#include "platform/regularfile.h"

namespace {
QString g_bootId;
qint64 g_wallMs = 0;

qint64 ClockMs(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
}  // namespace

QString JournalDir() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QLatin1Char('/') + ProgramBaseName() + QStringLiteral("/races");
}

QString NewJournalPath(const QString& dir, const QDateTime& startLocal) {
    const QDir d(dir);
    for (int seq = 1;; ++seq) {
        const QString path = d.filePath(JournalFileName(startLocal, seq));
        if (!QFileInfo::exists(path)) return path;
    }
}

QString NewestJournal(const QString& dir) {
    const QStringList names =
        QDir(dir).entryList(QStringList{QStringLiteral("*.journal")}, QDir::Files);
    QString best;
    for (const QString& n : names) {
        QDateTime t;
        int s = 0;
        if (!ParseJournalFileName(n, t, s)) continue;
        if (best.isEmpty() || JournalNameLater(n, best)) best = n;
    }
    return best.isEmpty() ? QString() : QDir(dir).filePath(best);
}

int PruneJournals(const QString& dir, const QDateTime& now) {
    const QDir d(dir);
    int n = 0;
    for (const QString& name :
         JournalsToDelete(d.entryList(QStringList{QStringLiteral("*.journal")}, QDir::Files), now))
        if (QFile::remove(d.filePath(name))) ++n;
    return n;
}

LoadedJournal LoadJournal(const QString& path) {
    LoadedJournal j;
    const std::optional<QByteArray> data = ReadRegularFile(path, kMaxJournalBytes, &j.error);
    if (!data) return j;
    j.contents = ParseJournal(*data);
    j.race = Replay(j.contents.records);
    return j;
}

QString CurrentBootId() {
    if (!g_bootId.isEmpty()) return g_bootId;
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(f.readAll().trimmed());
}

qint64 WallClockMs() {
    return g_wallMs != 0 ? g_wallMs : QDateTime::currentMSecsSinceEpoch();
}

StartClocks ReadClocks(std::uint32_t tick) {
    StartClocks c;
    c.tick = tick;
    c.wallMs = WallClockMs();
    c.monotonicMs = ClockMs(CLOCK_MONOTONIC);
    c.boottimeMs = ClockMs(CLOCK_BOOTTIME);
    c.bootId = CurrentBootId();
    return c;
}

void SetBootIdOverride(const QString& bootId) {
    g_bootId = bootId;
}

void SetWallClockOverride(qint64 wallMs) {
    g_wallMs = wallMs;
}
