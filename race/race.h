#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/tickcounter.h"
#include "race/racecommand.h"

// One finish the race timed.
struct Finish {
    std::uint32_t tick = 0;  // when the finisher crossed the line
    LapSource source = LapSource::Key;
    std::optional<std::uint32_t> edgeTick;  // the photocell's edge, for a photocell finish
    int lap = 0;                            // its rank in finishing order
    // The settings in force when it was timed: its row keeps them.
    int resolution = 2;
    std::int32_t distance = 0;
    bool operator==(const Finish&) const = default;
};

// One row of the list below the header: its cells as shown, and the finish it shows when this
// race timed it (rows of an opened protocol are text only).
struct ListRow {
    QStringList cells;
    std::optional<Finish> finish;
    std::uint64_t id = 0;  // names the row across moves, for the commands that change it later
    // What corrections changed in this row, from what, and when: a row with notes is marked.
    QStringList notes;
    bool Empty() const;
    bool operator==(const ListRow&) const = default;
};

// What the last command changed, so that a view redraws just that.
struct RaceChange {
    bool list = false;              // the whole list: replaced, cleared or re-sized
    bool cleared = false;           // emptied to one empty row under its header
    // A row taken out at removedAt, then one put in at insertedAt (counted after the removal),
    // so that a view moves its rows instead of rewriting them; 0 for none.
    int removedAt = 0, insertedAt = 0;
    int firstRow = 0, lastRow = -1;  // rows [firstRow, lastRow] (1-based) when not the whole list
    // Rows whose rank alone changed: after a correction high up a long list, most of them.
    int rankFirst = 0, rankLast = -1;
    bool rowCount = false;
    bool runState = false;
    bool settings = false;
    bool armed = false;
    void AddRows(int first, int last);
    void AddRank(int row);
    bool HasRows() const { return list || firstRow <= lastRow || rankFirst <= rankLast; }
};

// The race, without any widget: its run state, its finishes, the list as it is shown, and the
// settings it is timed with. It changes only through Apply, one command at a time; the window turns
// keys, clicks and photocell edges into commands and shows what the race holds, and the journal
// writes every command before it is applied.
class TRace {
public:
    // Edges within this many milliseconds of the last counted one are contact bounce.
    static constexpr int kLockOutMs = 10;
    static constexpr int kProtocolColumns = 5;
    // Far beyond any list a person opens; a journal record naming a row or a list beyond it is
    // not taken at its word. Laps are not bound by it.
    static constexpr int kMaxRows = 1000000;
    static constexpr int kMaxCols = 1000;
    static const QStringList& DefaultHeader();

    TRace();

    // Applies one command and says what it changed. A command that does not fit the race (a lap
    // outside the run, a row that does not exist) changes nothing.
    const RaceChange& Apply(const RaceCommand& command);
    const RaceChange& LastChange() const { return change_; }
    // Whether a finish at this tick would be recorded now.
    bool Accepts(std::uint32_t tick) const;

    RunState State() const { return state_; }
    bool Running() const { return state_ == RunState::Running; }
    std::uint32_t StartTick() const { return startTick_; }
    std::uint32_t LapTick() const { return lapTick_; }
    std::uint32_t FirstLapTick() const { return firstLapTick_; }
    std::uint32_t StopTick() const { return stopTick_; }
    std::int32_t LapCount() const { return lapCount_; }
    const RaceSettings& Settings() const { return settings_; }
    bool Armed() const { return armed_; }
    // Whether the photocell was armed when STOP locked it: edges from before STOP that are handled
    // after it are judged by that.
    bool ArmedAtStop() const { return armedAtStop_; }
    // Whether an edge at this tick falls in the lock-out after START or the last counted
    // photocell finish.
    bool LockedOutAt(std::uint32_t tick) const;
    // Whether a finish at this tick belongs to the run: at or after START and, once stopped, at or
    // before STOP.
    bool RunOpenAt(std::uint32_t tick) const;

    // The list: row 0 is the header, rows 1 .. RowCount()-1 follow.
    int RowCount() const { return int(rows_.size()) + 1; }
    int ColCount() const { return colCount_; }
    const QStringList& Header() const { return header_; }
    const ListRow& Row(int row) const;  // an empty row outside the list
    // The row of the newest finish the race recorded, 0 when there is none in the list.
    int NewestRow() const;
    // The row of the row with this id, 0 when it is not in the list.
    int RowOf(std::uint64_t id) const;
    int FilledRows() const;             // rows below the header that hold any text
    bool ListEmpty() const { return FilledRows() == 0; }
    // Changed as the grid counts changes (its row count, a typed cell) since the list was last
    // cleared or opened; the window starts changed, as its grid is built so.
    bool Modified() const { return modified_; }
    // Changed since the list was last saved, opened or cleared.
    bool Unsaved() const { return unsaved_; }

    // Corrections. A correction, or one taken back, is named for the operator (the Undo and
    // Redo menu items).
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    QString UndoName() const;
    QString RedoName() const;
    // The race time of a row: its finish's, or, for a row of an opened protocol, its "Time" cell
    // read back; nothing for a row with neither.
    std::optional<TRaceTime> RowTime(int row) const;
    // Whether the list is the race's (the race started), where corrections work on finishes;
    // otherwise the rows are an opened protocol's text.
    bool Timed() const { return state_ != RunState::Ready; }
    // The wall-clock time the race started at, START corrections included.
    qint64 StartWallMs() const { return clocks_.wallMs - startShift_; }
    // What the start corrections said, oldest first.
    const QStringList& StartNotes() const { return startNotes_; }
    // Why a correction would not be made, or empty when it would.
    QString Refusal(const RaceCommand& command) const;

    // What the journal needs to know of the race.
    bool Started() const { return started_; }
    const StartClocks& Clocks() const { return clocks_; }
    const QString& BootId() const { return bootId_; }
    bool CleanEnd() const { return cleanEnd_; }
    bool Declined() const { return declined_; }
    const QString& LastPath() const { return lastPath_; }
    int Events() const { return events_; }
    // A race worth restoring: started, not declined, and either still running or not ended
    // cleanly.
    bool Unfinished() const;

private:
    void Do(const cmd::Start& c);
    void Do(const cmd::Lap& c);
    void Do(const cmd::Edit& c);
    void Do(const cmd::Settings& c);
    void Do(const cmd::Arm& c);
    void Do(const cmd::Stop& c);
    void Do(const cmd::Reset& c);
    void Do(const cmd::Open& c);
    void Do(const cmd::Grid& c);
    void Do(const cmd::Cells& c);
    void Do(const cmd::Save& c);
    void Do(const cmd::Resume& c);
    void Do(const cmd::Declined& c);
    void Do(const cmd::End& c);
    void Do(const cmd::Delete& c);
    void Do(const cmd::Insert& c);
    void Do(const cmd::Swap& c);
    void Do(const cmd::Retime& c);
    void Do(const cmd::ShiftStart& c);
    void Do(const cmd::Undo& c);
    void Do(const cmd::Redo& c);

    // One correction made, by the ids of the rows it touched, so that it can be taken back and
    // made again whatever laps came since.
    struct Correction {
        enum class Kind { Delete, Insert, Swap, Retime, ShiftStart } kind;
        explicit Correction(Kind k) : kind(k) {}
        QString name;     // for the operator: "delete finisher 117"
        QString note;     // the mark it put on the rows it changed
        ListRow row;      // Delete: the row taken out; Insert: the row put in
        int at = 0;       // Delete: where it was
        std::uint64_t id = 0, other = 0;
        std::uint32_t oldTick = 0, newTick = 0;  // Retime of a finish
        QString oldText, newText;                // Retime of a text row (its time cell)
        TRaceTime by = 0;                        // ShiftStart
    };
    void Forward(Correction& c);  // makes it (again)
    void Backward(const Correction& c);
    void Record(Correction c);
    // Where a finish at this tick goes: after the last row holding anything, then back past the
    // finishes timed later. The rank of the first of those, or 0.
    int PlaceFor(std::uint32_t tick, int* displaced) const;
    // Where a text row of this time goes among the rows whose time reads back.
    int PlaceForText(TRaceTime time) const;
    int PlaceOf(const ListRow& row) const;  // by its finish's tick, or its time cell
    // A row's time set (a finish's tick, or a text row's time cell), its mark put on or taken
    // off, and the row moved to its place.
    void Retimed(std::uint64_t id, std::uint32_t tick, const QString& text, const QString& note,
                 bool mark);
    int InsertRow(int at, ListRow row);  // 1-based place; returns it
    ListRow TakeRow(int row);
    // After rows came, went or moved: ranks renumbered from `from` on, the first finish found
    // again, and the rows whose cells follow from that derived again.
    void Settle(int from, bool all = false);
    void SettleTextGaps();
    void Unmark(std::uint64_t id, const QString& note);
    QString When(qint64 wallMs) const;
    void LapAsWritten(const cmd::Lap& c);  // a lap of the first journal format
    void SetRowCount(int rowCount);
    void EnsureColumns();
    // Re-derives the cells of the timed rows from `from` on, and notes them as changed.
    void Refresh(int from, int to);
    void ShiftTicks(std::uint32_t delta);

    RunState state_ = RunState::Ready;
    std::uint32_t startTick_ = 0, lapTick_ = 0, firstLapTick_ = 0, stopTick_ = 0;
    std::int32_t lapCount_ = 0;
    RaceSettings settings_;
    bool armed_ = false, armedAtStop_ = false;
    std::optional<std::uint32_t> lockOutTick_;

    QStringList header_;
    int colCount_ = kProtocolColumns;
    std::vector<ListRow> rows_;  // rows_[i] is row i + 1
    std::uint64_t nextId_ = 1;
    std::uint64_t newestId_ = 0;
    std::vector<Correction> undo_, redo_;
    qint64 startShift_ = 0;
    QStringList startNotes_;
    bool modified_ = true;
    bool unsaved_ = false;

    bool started_ = false;
    StartClocks clocks_;
    QString bootId_;
    bool cleanEnd_ = false, declined_ = false;
    QString lastPath_;
    int events_ = 0;

    RaceChange change_;
};

// The rank cell of a row: "1.", "2.", ...; kept once made, so that renumbering a long list after
// a correction shares the texts instead of writing each anew.
QString RankText(int rank);

// The cells of a timed row: rank, start number, race time, gap to the first finisher and speed,
// in the resolution and distance the finish was timed with.
QStringList FinishCells(const Finish& finish, const QString& startNo, std::uint32_t startTick,
                        std::uint32_t firstLapTick);
