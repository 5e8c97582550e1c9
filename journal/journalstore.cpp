#include "journal/journalstore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "journal/journalcommands.h"
#include "journal/journalwriter.h"
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

QString SystemText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// The names in a folder, or the errno of the listing.
int FolderNames(const QString& dir, QStringList& names) {
    DIR* d = ::opendir(QFile::encodeName(dir).constData());
    if (!d) return errno;
    errno = 0;
    while (const dirent* e = ::readdir(d))
        names << QFile::decodeName(e->d_name);
    const int err = errno;
    ::closedir(d);
    return err;
}

bool HadFinishes(const TRace& race) {
    for (int r = 1; r < race.RowCount(); ++r)
        if (race.Row(r).finish) return true;
    return false;
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
        if (!QFileInfo::exists(path) && !QFileInfo::exists(DamagedJournalName(path))) return path;
    }
}

QStringList ListJournals(const QString& dir, QString* error) {
    QStringList names;
    const int err = FolderNames(dir, names);
    if (err == ENOENT) return {};
    if (err != 0) {
        if (error) *error = SystemText(err);
        return {};
    }
    QStringList journals;
    for (const QString& n : names) {
        QDateTime t;
        int s = 0;
        if (ParseJournalFileName(n, t, s)) journals << n;
    }
    std::sort(journals.begin(), journals.end(), JournalNameLater);
    for (QString& n : journals)
        n = QDir(dir).filePath(n);
    return journals;
}

bool JournalLocked(const QString& path) {
    // Looked at before opening, as any file a person may have put there: no FIFO or device.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) < 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

int PruneJournals(const QString& dir, const QDateTime& now) {
    QStringList names;
    if (FolderNames(dir, names) != 0) return 0;
    const QDir d(dir);
    int n = 0;
    for (const QString& name : JournalsToDelete(names, now)) {
        const QString path = d.filePath(name);
        // A journal another program writes is its race, however old its name.
        if (!IsDamagedJournalName(name) && JournalLocked(path)) continue;
        if (QFile::remove(path)) ++n;
    }
    return n;
}

LoadedJournal LoadJournal(const QString& path) {
    LoadedJournal j;
    JournalLineReader reader;
    JournalRecord record;
    ReadRegularFileLines(path, kMaxJournalBytes, &j.error, [&](QByteArrayView line, bool torn) {
        switch (reader.Feed(line, torn, record)) {
            case JournalLineReader::Line::Stop:
                return false;
            case JournalLineReader::Line::Record:
                break;
            case JournalLineReader::Line::Skip:
            case JournalLineReader::Line::Damaged:
                return true;
        }
        ++j.records;
        std::optional<RaceCommand> command = CommandOf(record);
        if (!command) return true;
        if (std::holds_alternative<cmd::Reset>(*command) && HadFinishes(j.race))
            j.beforeReset = j.race;
        j.race.Apply(*command);
        return true;
    });
    j.status = reader.Status();
    j.version = reader.Version();
    j.damagedLines = reader.DamagedLines();
    return j;
}

bool JournalClosed(const QString& path) {
    QFile f(path);
    if (!RegularFileProblem(path, kMaxJournalBytes).isEmpty() || !f.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 kTail = 64 * 1024;
    const qint64 size = f.size();
    if (size > kTail) f.seek(size - kTail);
    const QByteArray tail = f.read(kTail);
    if (!tail.endsWith('\n')) return false;  // torn: read it whole
    const QList<QByteArray> lines = tail.chopped(1).split('\n');
    JournalRecord r;
    if (lines.isEmpty() || !ParseRecord(lines.last(), r)) return false;
    if (r.type == "DECLINED") return true;
    return r.type == "END" && r.Int("running") == 0;
}

int CopySoundRecords(const QString& from, JournalWriter& to) {
    JournalLineReader reader;
    JournalRecord record;
    int err = 0;
    QString error;
    const bool read =
        ReadRegularFileLines(from, kMaxJournalBytes, &error, [&](QByteArrayView line, bool torn) {
            const JournalLineReader::Line kind = reader.Feed(line, torn, record);
            if (kind == JournalLineReader::Line::Stop) return false;
            if (kind != JournalLineReader::Line::Record) return true;
            err = to.AppendLine(line.toByteArray() + '\n');
            return err == 0;
        });
    return err != 0 ? err : read ? 0 : EIO;
}

int MoveToNewJournal(const QString& path, JournalWriter& to, QString& goesOn, QString& kept) {
    goesOn = NewJournalPath(QFileInfo(path).absolutePath(), QDateTime::currentDateTime());
    kept = DamagedJournalName(path);
    int err = to.Create(goesOn);
    if (err == 0) err = CopySoundRecords(path, to);
    if (err == 0 && ::rename(QFile::encodeName(path).constData(),
                             QFile::encodeName(kept).constData()) != 0)
        err = errno;
    if (err != 0) {
        to.Close();
        QFile::remove(goesOn);
    }
    return err;
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
