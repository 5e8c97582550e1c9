#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The file name of a race started at this local time: yyyy-MM-dd-hh-mm-ss.journal, with "_2",
// "_3", ... before the extension for further races in the same second.
QString JournalFileName(const QDateTime& start, int sequence = 1);
// The start time and sequence a journal's file name stands for; false for other names.
bool ParseJournalFileName(const QString& name, QDateTime& start, int& sequence);
// Whether a name sorts after another as a later race.
bool JournalNameLater(const QString& a, const QString& b);

// The name a damaged journal is kept under once its race went on in a new journal: no journal's
// name, so that it is never offered again.
QString DamagedJournalName(const QString& journalName);
bool IsDamagedJournalName(const QString& name);

// Which journals (and kept damaged ones) to delete: never one younger than keepDays, and of the
// older ones never the keepOlder newest.
QStringList JournalsToDelete(const QStringList& names, const QDateTime& now, int keepDays = 90,
                             int keepOlder = 20);
