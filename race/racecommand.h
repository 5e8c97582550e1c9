#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <variant>

#include "platform/tickcounter.h"

// Where a finish came from: a LAP given by key, button or photocell, or a missed finish the
// operator inserted afterwards by its time.
enum class LapSource { Key, Button, Photocell, Typed };

enum class RunState { Ready, Running, Stopped };

// The clocks read at START: the tick the race times are measured from, and what is needed to
// carry that tick across a restart (same boot) or a reboot (wall clock).
struct StartClocks {
    std::uint32_t tick = 0;
    qint64 wallMs = 0;       // UTC, milliseconds since the epoch
    qint64 monotonicMs = 0;  // CLOCK_MONOTONIC, not truncated
    qint64 boottimeMs = 0;   // CLOCK_BOOTTIME
    QString bootId;
    bool operator==(const StartClocks&) const = default;
};

// The settings a race is timed with. A row keeps the resolution and distance in force when it
// was timed.
struct RaceSettings {
    int resolution = 2;  // 0 whole seconds, 1 tenths, 2 hundredths
    std::int32_t distance = 42195;  // metres
    int port = 0;                   // the photocell's port number, 0 for none
    int algorithm = 0;              // the photocell's trigger: 0 "ON", 1 "OFF", 2 "With Split"
    bool operator==(const RaceSettings&) const = default;
};

// The commands that change a race. Each is one record of the race's journal, and replaying a
// journal applies the same commands in the same order.
namespace cmd {

struct Start {
    StartClocks clocks;
    RaceSettings settings;
};
// A finisher. `cells` and `row` come only from journals of the first format, which wrote each row
// as it was shown; the race derives the row itself otherwise.
struct Lap {
    std::uint32_t tick = 0;
    QString startNo;
    LapSource source = LapSource::Key;
    std::optional<std::uint32_t> edgeTick;
    std::optional<QStringList> cells;
    int row = 0;
    int rowCount = 0;
    std::optional<bool> modified;
};
// A cell typed over in the list (the start number).
struct Edit {
    int row = 0;
    int col = 1;
    QString oldText, newText;
};
struct Settings {
    RaceSettings settings;
};
// The photocell armed (the LED green) or locked.
struct Arm {
    bool armed = false;
};
struct Stop {
    std::uint32_t tick = 0;
};
struct Reset {};
// A protocol file was opened: its name. The list it holds follows as Grid and Cells.
struct Open {
    QString path;
};
// The list is replaced by an empty one of this size (an opened file's, or a journal's list at
// START in the first format).
struct Grid {
    int rowCount = 2;
    int colCount = 0;  // 0: as before
    bool modified = false;
};
// One row of an opened list as text (row 0 is the header row).
struct Cells {
    int row = 0;
    QStringList cells;
};
struct Save {
    QString path;
};
// A restored race goes on: the boot it now runs on and its start tick on that boot.
struct Resume {
    QString bootId;
    std::uint32_t startTick = 0;
    qint64 wallMs = 0;
};
// The operator declined to restore the race.
struct Declined {
    qint64 wallMs = 0;
};
// The program ended cleanly. A race whose clock still ran is offered again at the next start.
struct End {
    qint64 wallMs = 0;
    bool running = false;
};

// Corrections of the list, made by the operator after the fact. Each carries the wall-clock time
// it was made, which the row's mark tells.
// A false finish taken out of the list.
struct Delete {
    int row = 0;
    qint64 wallMs = 0;
};
// A missed finish put in at its race time, in its place in time.
struct Insert {
    TRaceTime time = 0;
    QString startNo;
    qint64 wallMs = 0;
};
// The start numbers of two rows swapped; the times stay with their places.
struct Swap {
    int row = 0, other = 0;
    qint64 wallMs = 0;
};
// A finish time corrected from a backup; the row moves to its place in time.
struct Retime {
    int row = 0;
    TRaceTime time = 0;
    qint64 wallMs = 0;
};
// START was pressed `by` ms late (negative: early): every race time grows by `by`.
struct ShiftStart {
    TRaceTime by = 0;
    qint64 wallMs = 0;
};
// The last correction taken back, or the last one taken back made again.
struct Undo {
    qint64 wallMs = 0;
};
struct Redo {
    qint64 wallMs = 0;
};

}  // namespace cmd

using RaceCommand = std::variant<cmd::Start, cmd::Lap, cmd::Edit, cmd::Settings, cmd::Arm,
                                 cmd::Stop, cmd::Reset, cmd::Open, cmd::Grid, cmd::Cells,
                                 cmd::Save, cmd::Resume, cmd::Declined, cmd::End, cmd::Delete,
                                 cmd::Insert, cmd::Swap, cmd::Retime, cmd::ShiftStart, cmd::Undo,
                                 cmd::Redo>;
