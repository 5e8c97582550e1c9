#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "journal/journalformat.h"

// Where a lap came from.
enum class LapSource { Key, Button, Photocell };

// The clocks read at START: the tick the race times are measured from, and what is needed to
// carry that tick across a restart (same boot) or a reboot (wall clock).
struct StartClocks {
    std::uint32_t tick = 0;
    qint64 wallMs = 0;       // UTC, milliseconds since the epoch
    qint64 monotonicMs = 0;  // CLOCK_MONOTONIC, not truncated
    qint64 boottimeMs = 0;   // CLOCK_BOOTTIME
    QString bootId;
};

// The settings that shape the rows of a race.
struct RaceSettings {
    int resolution = 2;
    std::int32_t distance = 0;
    int port = 0;
    int algorithm = 0;
};

// The protocol grid as the journal knows it: its row count, the cells of every row (index 0 is the
// header row, which the journal leaves alone) and whether it counts as modified.
struct JournalGrid {
    // Far beyond any race; a journal naming more rows is not taken at its word.
    static constexpr int kMaxRows = 1000000;

    int rowCount = 2;
    std::vector<QStringList> rows;  // rows[r] for r >= 1; rows beyond the list are empty
    bool modified = false;

    const QStringList& Row(int r) const;
    void SetRow(int r, const QStringList& cells);
    void SetCell(int col, int row, const QString& text);
    int FilledRows() const;  // rows below the header holding any text
};

enum class RunState { Ready, Running, Stopped };

// Everything a journal tells about its race, replayed from its records.
struct RaceReplay {
    bool started = false;  // a START record was read
    RunState state = RunState::Ready;
    StartClocks start;
    RaceSettings settings;
    QString bootId;  // the boot the ticks below belong to
    std::uint32_t startTick = 0, lapTick = 0, firstLapTick = 0, stopTick = 0;
    std::int32_t lapCount = 0;
    JournalGrid grid;
    int events = 0;  // records applied
    bool cleanEnd = false;
    bool declined = false;
    QString lastPath;  // the protocol file last opened or saved

    // Moves every tick by delta (a new time base after a reboot).
    void ShiftTicks(std::uint32_t delta);
};

// Applies one record; unknown record types are passed over, so that a later version's additions
// do not end the replay.
void ApplyRecord(RaceReplay& race, const JournalRecord& record);
RaceReplay Replay(const std::vector<JournalRecord>& records);

// The records the program writes, one per event.
JournalRecord StartRecord(const StartClocks& clocks, const RaceSettings& settings);
// The grid as it stands (at START, after a protocol was opened): GRID, then one CELLS per row.
std::vector<JournalRecord> GridRecords(const JournalGrid& grid);
JournalRecord LapRecord(int row, std::uint32_t tick, const QString& startNo, LapSource source,
                        std::optional<std::uint32_t> edgeTick, const QStringList& cells,
                        int rowCount, bool modified);
JournalRecord EditRecord(int col, int row, const QString& oldText, const QString& newText);
JournalRecord SettingsRecord(const RaceSettings& settings);
JournalRecord StopRecord(std::uint32_t tick);
JournalRecord ResetRecord();
JournalRecord OpenRecord(const QString& path);
JournalRecord SaveRecord(const QString& path, bool modified);
// A restored race goes on: the boot it now runs on and its start tick on that boot.
JournalRecord ResumeRecord(const QString& bootId, std::uint32_t startTick, qint64 wallMs);
JournalRecord DeclinedRecord(qint64 wallMs);
JournalRecord EndRecord(qint64 wallMs);

// The file name of a race started at this local time: yyyy-MM-dd-hh-mm-ss.journal, with "_2",
// "_3", ... before the extension for further races in the same second.
QString JournalFileName(const QDateTime& start, int sequence = 1);
// The start time and sequence a journal's file name stands for; false for other names.
bool ParseJournalFileName(const QString& name, QDateTime& start, int& sequence);
// Whether a name sorts after another as a later race.
bool JournalNameLater(const QString& a, const QString& b);

// Which journals to delete: none younger than keepDays, and never one of the keepNewest newest.
QStringList JournalsToDelete(const QStringList& names, const QDateTime& now, int keepDays = 90,
                             int keepNewest = 20);
