#include "race/race.h"

#include <algorithm>

#include "platform/tickcounter.h"
#include "race/timetext.h"

namespace {

const ListRow& EmptyListRow() {
    static const ListRow empty;
    return empty;
}

bool AnyText(const QStringList& cells) {
    return std::any_of(cells.begin(), cells.end(), [](const QString& s) { return !s.isEmpty(); });
}

}  // namespace

bool ListRow::Empty() const {
    return !AnyText(cells);
}

void RaceChange::AddRank(int row) {
    if (rankFirst > rankLast) {
        rankFirst = rankLast = row;
    } else {
        rankFirst = std::min(rankFirst, row);
        rankLast = std::max(rankLast, row);
    }
}

void RaceChange::AddRows(int first, int last) {
    if (first > last) return;
    if (firstRow > lastRow) {
        firstRow = first;
        lastRow = last;
    } else {
        firstRow = std::min(firstRow, first);
        lastRow = std::max(lastRow, last);
    }
}

QString RankText(int rank) {
    // Made on the window's thread only, like every row.
    static std::vector<QString> made;
    if (rank < 0 || rank > 10000000) return QString::number(rank) + QLatin1Char('.');
    if (std::size_t(rank) >= made.size()) {
        const std::size_t from = made.size();
        made.resize(std::size_t(rank) + 1 + std::size_t(rank) / 2);
        for (std::size_t n = from; n < made.size(); ++n)
            made[n] = QString::number(n) + QLatin1Char('.');
    }
    return made[std::size_t(rank)];
}

QStringList FinishCells(const Finish& f, const QString& startNo, std::uint32_t startTick,
                        std::uint32_t firstLapTick) {
    const TRaceTime time = TickDiff(f.tick, startTick);
    // The first finisher is the reference: no row is ever before it, so no gap is negative.
    const TRaceTime split = std::max<TRaceTime>(0, TickDiff(f.tick, firstLapTick));
    return {RankText(f.lap), startNo, TimeToText(time, f.resolution),
            TimeToText(split, f.resolution), SpeedText(f.distance, time)};
}

const QStringList& TRace::DefaultHeader() {
    static const QStringList header{QStringLiteral("Rang"), QStringLiteral("Nr."),
                                    QStringLiteral("Time"), QStringLiteral("Split"),
                                    QStringLiteral("Km/h")};
    return header;
}

TRace::TRace() : header_(DefaultHeader()), rows_(1) {}

const RaceChange& TRace::Apply(const RaceCommand& command) {
    change_ = RaceChange{};
    std::visit([this](const auto& c) { Do(c); }, command);
    ++events_;
    return change_;
}

bool TRace::RunOpenAt(std::uint32_t tick) const {
    if (state_ == RunState::Ready || TickDiff(tick, startTick_) < 0) return false;
    return state_ == RunState::Running || TickDiff(tick, stopTick_) <= 0;
}

bool TRace::Accepts(std::uint32_t tick) const {
    return RunOpenAt(tick);
}

bool TRace::LockedOutAt(std::uint32_t tick) const {
    if (!lockOutTick_) return false;
    const TRaceTime since = TickDiff(tick, *lockOutTick_);
    return since >= 0 && since < kLockOutMs;
}

const ListRow& TRace::Row(int row) const {
    return row >= 1 && row <= int(rows_.size()) ? rows_[std::size_t(row - 1)] : EmptyListRow();
}

int TRace::RowOf(std::uint64_t id) const {
    if (id == 0) return 0;
    // The newest rows are looked for most: from the end.
    for (std::size_t i = rows_.size(); i > 0; --i)
        if (rows_[i - 1].id == id) return int(i);
    return 0;
}

int TRace::NewestRow() const {
    return RowOf(newestId_);
}

int TRace::FilledRows() const {
    return int(std::count_if(rows_.begin(), rows_.end(), [](const ListRow& r) { return !r.Empty(); }));
}

bool TRace::Unfinished() const {
    return started_ && !declined_ && (!cleanEnd_ || state_ == RunState::Running);
}

void TRace::SetRowCount(int rowCount) {
    rowCount = std::clamp(rowCount, 1, kMaxRows);
    if (rowCount == RowCount()) return;
    rows_.resize(std::size_t(rowCount - 1));
    modified_ = true;
    change_.rowCount = true;
}

void TRace::EnsureColumns() {
    // A lap recorded into a narrower opened list keeps all five values; the columns it adds get
    // their captions unless the header already has text there.
    if (colCount_ >= kProtocolColumns) return;
    colCount_ = kProtocolColumns;
    while (header_.size() < kProtocolColumns)
        header_ << QString();
    for (int c = 0; c < kProtocolColumns; ++c)
        if (header_[c].isEmpty()) header_[c] = DefaultHeader()[c];
    change_.list = true;
}

void TRace::Refresh(int from, int to) {
    for (int r = std::max(from, 1); r <= to && r <= int(rows_.size()); ++r) {
        ListRow& row = rows_[std::size_t(r - 1)];
        if (!row.finish) continue;
        row.cells = FinishCells(*row.finish, row.cells.value(1), startTick_, firstLapTick_);
        change_.AddRows(r, r);
    }
}

void TRace::ShiftTicks(std::uint32_t delta) {
    startTick_ += delta;
    lapTick_ += delta;
    firstLapTick_ += delta;
    stopTick_ += delta;
    clocks_.tick += delta;
    if (lockOutTick_) *lockOutTick_ += delta;
    for (ListRow& row : rows_) {
        if (!row.finish) continue;
        row.finish->tick += delta;
        if (row.finish->edgeTick) *row.finish->edgeTick += delta;
    }
}

void TRace::Do(const cmd::Start& c) {
    started_ = true;
    state_ = RunState::Running;
    clocks_ = c.clocks;
    bootId_ = c.clocks.bootId;
    settings_ = c.settings;
    startTick_ = lapTick_ = firstLapTick_ = stopTick_ = c.clocks.tick;
    lapCount_ = 0;
    lockOutTick_ = startTick_;  // an edge right after the start is not a finish
    cleanEnd_ = declined_ = false;
    change_.runState = change_.settings = true;
}

void TRace::Do(const cmd::Lap& c) {
    if (!RunOpenAt(c.tick)) return;
    // A counted edge starts the lock-out against contact bounce.
    if (c.source == LapSource::Photocell &&
        (!lockOutTick_ || TickDiff(c.tick, *lockOutTick_) > 0))
        lockOutTick_ = c.tick;
    if (c.cells) {
        LapAsWritten(c);
        return;
    }
    EnsureColumns();
    // A photocell edge handled after a LAP by hand that it preceded takes its place in time.
    int displaced = 0;
    const int at = PlaceFor(c.tick, &displaced);
    ++lapCount_;
    lapTick_ = c.tick;
    Finish f;
    f.tick = c.tick;
    f.source = c.source;
    f.edgeTick = c.edgeTick;
    f.lap = displaced > 0 ? displaced : lapCount_;
    f.resolution = settings_.resolution;
    f.distance = settings_.distance;
    ListRow row;
    row.finish = f;
    row.id = newestId_ = nextId_++;
    if (displaced > 0) {
        row.cells = {QString(), c.startNo, QString(), QString(), QString()};  // derived below
        Settle(InsertRow(at, std::move(row)));
    } else {
        if (f.lap == 1) firstLapTick_ = c.tick;
        row.cells = FinishCells(f, c.startNo, startTick_, firstLapTick_);
        // Laps grow the list past what a journal may claim for an opened list.
        if (at > int(rows_.size())) {
            rows_.resize(std::size_t(at));
            modified_ = true;
            change_.rowCount = true;
        }
        rows_[std::size_t(at - 1)] = std::move(row);
        change_.AddRows(at, at);
    }
    change_.runState = true;  // the LAP caption counts ahead
    unsaved_ = true;
}

void TRace::LapAsWritten(const cmd::Lap& c) {
    if (c.row < 1 || c.row >= kMaxRows) return;
    lapCount_ = c.row;
    lapTick_ = c.tick;
    if (c.row == 1) firstLapTick_ = c.tick;
    if (c.row >= RowCount()) SetRowCount(c.row + 1);
    if (c.rowCount > RowCount()) SetRowCount(c.rowCount);
    ListRow& row = rows_[std::size_t(c.row - 1)];
    row.cells = *c.cells;
    row.id = newestId_ = nextId_++;
    Finish f;
    f.tick = c.tick;
    f.source = c.source;
    f.edgeTick = c.edgeTick;
    f.lap = c.row;
    f.resolution = settings_.resolution;
    f.distance = settings_.distance;
    row.finish = f;
    if (c.modified) modified_ = *c.modified;
    change_.AddRows(c.row, c.row);
    change_.runState = true;
    unsaved_ = true;
}

void TRace::Do(const cmd::Edit& c) {
    if (c.row < 1 || c.row > int(rows_.size()) || c.col < 0 || c.col >= kMaxCols) return;
    QStringList& cells = rows_[std::size_t(c.row - 1)].cells;
    while (cells.size() <= c.col)
        cells << QString();
    if (cells[c.col] == c.newText) return;
    cells[c.col] = c.newText;
    modified_ = unsaved_ = true;
    change_.AddRows(c.row, c.row);
}

void TRace::Do(const cmd::Settings& c) {
    settings_ = c.settings;
    change_.settings = true;
}

void TRace::Do(const cmd::Arm& c) {
    armed_ = c.armed;
    change_.armed = true;
}

void TRace::Do(const cmd::Stop& c) {
    if (state_ != RunState::Running) return;
    state_ = RunState::Stopped;
    stopTick_ = c.tick;
    armedAtStop_ = armed_;
    armed_ = false;
    change_.runState = change_.armed = true;
}

void TRace::Do(const cmd::Reset&) {
    state_ = RunState::Ready;
    undo_.clear();
    redo_.clear();
    stopTick_ = startTick_;
    armed_ = false;
    // The list is emptied to one empty row under the header, which stays as it is.
    rows_.assign(1, ListRow{});
    modified_ = unsaved_ = false;
    change_.list = change_.cleared = change_.rowCount = change_.runState = change_.armed = true;
}

void TRace::Do(const cmd::Open& c) {
    lastPath_ = c.path;
}

void TRace::Do(const cmd::Grid& c) {
    undo_.clear();
    redo_.clear();
    rows_.assign(std::size_t(std::clamp(c.rowCount, 1, kMaxRows) - 1), ListRow{});
    if (c.colCount > 0) colCount_ = std::min(c.colCount, kMaxCols);
    modified_ = c.modified;
    unsaved_ = false;
    change_.list = change_.rowCount = true;
}

void TRace::Do(const cmd::Cells& c) {
    if (c.row < 0 || c.row >= kMaxRows) return;
    QStringList cells = c.cells.mid(0, kMaxCols);
    if (c.row == 0) {
        header_ = cells;
        change_.list = true;
        return;
    }
    if (c.row >= RowCount()) SetRowCount(c.row + 1);
    ListRow row;
    row.cells = std::move(cells);
    row.id = nextId_++;
    rows_[std::size_t(c.row - 1)] = std::move(row);
    change_.AddRows(c.row, c.row);
}

void TRace::Do(const cmd::Save& c) {
    lastPath_ = c.path;
    unsaved_ = false;
}

void TRace::Do(const cmd::Resume& c) {
    ShiftTicks(c.startTick - startTick_);
    bootId_ = c.bootId;
    declined_ = cleanEnd_ = false;
}

void TRace::Do(const cmd::Declined&) {
    declined_ = true;
}

void TRace::Do(const cmd::End&) {
    cleanEnd_ = true;
}
