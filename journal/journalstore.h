#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

#include "journal/journalformat.h"
#include "journal/journalrace.h"

// Where journals live: $XDG_STATE_HOME/<base name>/races, $XDG_STATE_HOME defaulting to
// ~/.local/state.
QString JournalDir();

// A fresh path for a race started now (unique even for two starts in one second).
QString NewJournalPath(const QString& dir, const QDateTime& startLocal);
// The journal of the latest race in the folder, or empty.
QString NewestJournal(const QString& dir);
// Deletes what JournalsToDelete picks; returns how many went.
int PruneJournals(const QString& dir, const QDateTime& now);

// The largest journal read: some 140,000 laps, seven times the biggest race timed here, and
// still read and replayed within about a second.
constexpr qint64 kMaxJournalBytes = 16 * 1024 * 1024;

// A journal file read and replayed. error is set when the file could not be read at all: it is
// no regular file (a FIFO would hold the window for ever), larger than kMaxJournalBytes, or the
// system refused it.
struct LoadedJournal {
    QString error;
    JournalContents contents;
    RaceReplay race;
};
LoadedJournal LoadJournal(const QString& path);

// The clocks of this moment, for START and for carrying a race over a restart.
StartClocks ReadClocks(std::uint32_t tick);
QString CurrentBootId();
qint64 WallClockMs();
// Tests stand in for another boot and another wall-clock time; empty / 0 restores the system's.
void SetBootIdOverride(const QString& bootId);
void SetWallClockOverride(qint64 wallMs);
