#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "journal/journalformat.h"
#include "journal/journalnames.h"
#include "race/race.h"

class JournalWriter;

// Where journals live: $XDG_STATE_HOME/<base name>/races, $XDG_STATE_HOME defaulting to
// ~/.local/state.
QString JournalDir();

// A fresh path for a race started now (unique even for two starts in one second).
QString NewJournalPath(const QString& dir, const QDateTime& startLocal);
// The journals of a folder, newest first. Empty, with the system's reason in *error, when the
// folder cannot be listed (a missing folder is no error: no race was timed yet).
QStringList ListJournals(const QString& dir, QString* error = nullptr);
// Whether another program holds the journal: it is timing that race now.
bool JournalLocked(const QString& path);
// Deletes what JournalsToDelete picks; returns how many went.
int PruneJournals(const QString& dir, const QDateTime& now);

// The largest journal read: some five million laps, far beyond any race. Journals are streamed,
// so memory follows the race, not the file.
constexpr qint64 kMaxJournalBytes = qint64(512) * 1024 * 1024;

// A journal file read and replayed. error is set when the file could not be read at all: it is
// no regular file (a FIFO would hold the window for ever), larger than kMaxJournalBytes, or the
// system refused it.
struct LoadedJournal {
    QString error;
    JournalContents::Status status = JournalContents::Status::Empty;
    int version = 0;
    std::vector<int> damagedLines;
    int records = 0;  // sound records read
    TRace race;
    // The race as it stood just before a RESET cleared the finishes it had timed: what the
    // journal is kept for once the list was cleared for the next race.
    std::optional<TRace> beforeReset;
};
LoadedJournal LoadJournal(const QString& path);
// From its last lines alone: whether the journal's race was declined or ended cleanly with its
// clock stopped, so that it need not be read whole to know it is no race to restore.
bool JournalClosed(const QString& path);
// Copies the sound lines of a damaged journal into a journal just created: its race goes on
// there. 0 or errno.
int CopySoundRecords(const QString& from, JournalWriter& to);
// A damaged (or unwritable) journal's race goes on in a new journal of its sound records in the
// same folder, and the old file is kept under DamagedJournalName, never to be offered again.
// `goesOn` and `kept` name the two files; 0 or errno, and then nothing changed.
int MoveToNewJournal(const QString& path, JournalWriter& to, QString& goesOn, QString& kept);

// The clocks of this moment, for START and for carrying a race over a restart.
StartClocks ReadClocks(std::uint32_t tick);
QString CurrentBootId();
qint64 WallClockMs();
// Tests stand in for another boot and another wall-clock time; empty / 0 restores the system's.
void SetBootIdOverride(const QString& bootId);
void SetWallClockOverride(qint64 wallMs);
