// Corrections of the list after the fact: a false finish taken out, a missed one put in, two
// start numbers swapped, a time corrected from a backup, the start corrected; each taken back
// and made again in order. Rows are named by id, so that laps recorded in between never make a
// correction hit the wrong row.
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>

#include "race/race.h"
#include "race/timetext.h"

namespace {

bool IsRank(const QString& cell) {
    static const QRegularExpression rank(QStringLiteral("^\\d{1,9}\\.$"));
    return rank.match(cell).hasMatch();
}


}  // namespace

QString TRace::When(qint64 wallMs) const {
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(wallMs).time(),
                              QStringLiteral("HH:mm:ss"));
}

QString TRace::UndoName() const {
    return undo_.empty() ? QString() : undo_.back().name;
}

QString TRace::RedoName() const {
    return redo_.empty() ? QString() : redo_.back().name;
}

std::optional<TRaceTime> TRace::RowTime(int row) const {
    if (row < 1 || row > int(rows_.size())) return std::nullopt;
    const ListRow& r = rows_[std::size_t(row - 1)];
    if (r.finish) return TickDiff(r.finish->tick, startTick_);
    if (const std::optional<ParsedTime> t = ParseTimeText(r.cells.value(2))) return t->ms;
    return std::nullopt;
}

int TRace::PlaceFor(std::uint32_t tick, int* displaced) const {
    int at = int(rows_.size());
    while (at > 0 && rows_[std::size_t(at - 1)].Empty())
        --at;
    *displaced = 0;
    while (at > 0) {
        const ListRow& above = rows_[std::size_t(at - 1)];
        if (!above.finish || TickDiff(above.finish->tick, tick) <= 0) break;
        *displaced = above.finish->lap;
        --at;
    }
    return at + 1;
}

int TRace::PlaceForText(TRaceTime time) const {
    int at = int(rows_.size());
    while (at > 0 && rows_[std::size_t(at - 1)].Empty())
        --at;
    while (at > 0) {
        const std::optional<TRaceTime> above = RowTime(at);
        if (above && *above <= time) break;
        if (!above && !rows_[std::size_t(at - 1)].Empty()) {
            // A row without a time keeps its place in front of what comes after it.
            break;
        }
        --at;
    }
    return at + 1;
}

int TRace::InsertRow(int at, ListRow row) {
    at = std::clamp(at, 1, int(rows_.size()) + 1);
    if (at <= int(rows_.size()) && rows_[std::size_t(at - 1)].Empty() &&
        std::all_of(rows_.begin() + at - 1, rows_.end(), [](const ListRow& r) { return r.Empty(); })) {
        // Into the empty rows at the end: the first of them takes it.
        rows_[std::size_t(at - 1)] = std::move(row);
        change_.AddRows(at, at);
        return at;
    }
    rows_.insert(rows_.begin() + at - 1, std::move(row));
    change_.insertedAt = at;
    // An empty row at the end takes up the new one, as the first lap fills the grid's first row.
    if (rows_.size() > 1 && rows_.back().Empty()) {
        rows_.pop_back();
    } else {
        modified_ = true;
    }
    change_.rowCount = true;
    change_.AddRows(at, at);
    return at;
}

ListRow TRace::TakeRow(int row) {
    ListRow taken = std::move(rows_[std::size_t(row - 1)]);
    rows_.erase(rows_.begin() + row - 1);
    if (rows_.empty()) rows_.emplace_back();  // the list keeps one row under its header
    change_.removedAt = row;
    change_.rowCount = true;
    modified_ = true;
    return taken;
}

void TRace::Unmark(std::uint64_t id, const QString& note) {
    const int r = RowOf(id);
    if (r == 0 || note.isEmpty()) return;
    QStringList& notes = rows_[std::size_t(r - 1)].notes;
    const qsizetype i = notes.lastIndexOf(note);
    if (i >= 0) notes.removeAt(i);
    change_.AddRows(r, r);
}

void TRace::Settle(int from, bool all) {
    from = std::max(from, 1);
    // The first finish is the reference of every gap; when it changed, every row's gap did.
    std::uint32_t first = firstLapTick_;
    bool any = false;
    for (const ListRow& r : rows_)
        if (r.finish) {
            first = r.finish->tick;
            any = true;
            break;
        }
    if (any && first != firstLapTick_) {
        firstLapTick_ = first;
        all = true;
    }
    if (all) from = 1;
    int rank = 0;
    for (int r = from - 1; r >= 1; --r)
        if (const ListRow& row = rows_[std::size_t(r - 1)]; row.finish) {
            rank = row.finish->lap;
            break;
        }
    int textRank = 0;  // ranks of an opened protocol's rows, read from their cells
    for (int r = from - 1; r >= 1; --r)
        if (const ListRow& row = rows_[std::size_t(r - 1)]; !row.finish && IsRank(row.cells.value(0))) {
            textRank = row.cells[0].chopped(1).toInt();
            break;
        }
    for (int r = from; r <= int(rows_.size()); ++r) {
        ListRow& row = rows_[std::size_t(r - 1)];
        if (row.finish) {
            const int lap = ++rank;
            // Only the rank moves for a row that is otherwise as it was: a long list is
            // renumbered, not rewritten.
            if (all || row.cells.size() < kProtocolColumns || row.cells[2].isEmpty()) {
                row.finish->lap = lap;
                row.cells = FinishCells(*row.finish, row.cells.value(1), startTick_, firstLapTick_);
                change_.AddRows(r, r);
            } else if (row.finish->lap != lap) {
                row.finish->lap = lap;
                row.cells[0] = RankText(lap);
                change_.AddRank(r);
            }
        } else if (IsRank(row.cells.value(0))) {
            const QString next = RankText(++textRank);
            if (row.cells[0] != next) {
                row.cells[0] = next;
                change_.AddRank(r);
            }
        }
    }
    lapCount_ = 0;
    for (const ListRow& row : rows_)
        if (row.finish) lapCount_ = std::max(lapCount_, row.finish->lap);
    if (!Timed()) SettleTextGaps();
    modified_ = unsaved_ = true;
}

void TRace::SettleTextGaps() {
    // An opened protocol's gaps follow its first time, where both read back as times.
    std::optional<TRaceTime> first;
    for (int r = 1; r <= int(rows_.size()) && !first; ++r)
        first = RowTime(r);
    if (!first) return;
    for (int r = 1; r <= int(rows_.size()); ++r) {
        ListRow& row = rows_[std::size_t(r - 1)];
        const std::optional<ParsedTime> time = ParseTimeText(row.cells.value(2));
        if (row.finish || !time || !ParseTimeText(row.cells.value(3))) continue;
        const QString gap = TimeToText(std::max<TRaceTime>(0, time->ms - *first), time->resolution);
        if (row.cells[3] != gap) {
            row.cells[3] = gap;
            change_.AddRows(r, r);
        }
    }
}

QString TRace::Refusal(const RaceCommand& command) const {
    const auto filled = [this](int row) {
        return row >= 1 && row <= int(rows_.size()) && !rows_[std::size_t(row - 1)].Empty();
    };
    // A time of the run: after START and, once stopped, not after STOP.
    const auto inRun = [this](TRaceTime t) -> QString {
        if (t <= 0) return QStringLiteral("A finish comes after the start: its time is above 0.");
        if (state_ == RunState::Stopped && t > TickDiff(stopTick_, startTick_))
            return QStringLiteral("The race was stopped at ") +
                   TimeToText(TickDiff(stopTick_, startTick_), settings_.resolution) +
                   QStringLiteral(": a finish comes before that.");
        return {};
    };
    if (const auto* d = std::get_if<cmd::Delete>(&command))
        return filled(d->row) ? QString() : QStringLiteral("There is no finisher in that row.");
    if (const auto* i = std::get_if<cmd::Insert>(&command))
        return Timed() ? inRun(i->time) : QString();
    if (const auto* s = std::get_if<cmd::Swap>(&command))
        return filled(s->row) && filled(s->other) && s->row != s->other
                   ? QString()
                   : QStringLiteral("There is no finisher to swap with.");
    if (const auto* r = std::get_if<cmd::Retime>(&command)) {
        if (!filled(r->row) || !RowTime(r->row))
            return QStringLiteral("That row holds no finish time.");
        return rows_[std::size_t(r->row - 1)].finish ? inRun(r->time) : QString();
    }
    if (const auto* s = std::get_if<cmd::ShiftStart>(&command)) {
        if (!Timed()) return QStringLiteral("The list holds no race timed here.");
        if (s->by == 0) return QStringLiteral("That is where the race started.");
        for (const ListRow& row : rows_)
            if (row.finish && TickDiff(row.finish->tick, startTick_) + qint64(s->by) <= 0)
                return QStringLiteral("Every finish comes after the start: the start cannot move "
                                      "past the first finisher.");
        if (state_ == RunState::Stopped && TickDiff(stopTick_, startTick_) + qint64(s->by) <= 0)
            return QStringLiteral("The start cannot move past STOP.");
        return {};
    }
    if (std::holds_alternative<cmd::Undo>(command))
        return CanUndo() ? QString() : QStringLiteral("There is no correction to take back.");
    if (std::holds_alternative<cmd::Redo>(command))
        return CanRedo() ? QString() : QStringLiteral("There is no correction to make again.");
    return {};
}

void TRace::Record(Correction c) {
    undo_.push_back(std::move(c));
    redo_.clear();
}

void TRace::Do(const cmd::Delete& c) {
    if (!Refusal(c).isEmpty()) return;
    Correction k(Correction::Kind::Delete);
    const ListRow& row = rows_[std::size_t(c.row - 1)];
    k.name = QStringLiteral("delete finisher ") + row.cells.value(1) + QStringLiteral(" (") +
             row.cells.value(0) + QLatin1Char(' ') + row.cells.value(2) + QLatin1Char(')');
    k.id = row.id;
    Forward(k);
    Record(std::move(k));
}

void TRace::Do(const cmd::Insert& c) {
    if (!Refusal(c).isEmpty()) return;
    Correction k(Correction::Kind::Insert);
    ListRow row;
    row.id = nextId_++;
    const QString time = TimeToText(c.time, settings_.resolution);
    if (Timed()) {
        Finish f;
        f.tick = startTick_ + std::uint32_t(c.time);
        f.source = LapSource::Typed;
        f.resolution = settings_.resolution;
        f.distance = settings_.distance;
        row.finish = f;
        row.cells = {QString(), c.startNo, QString(), QString(), QString()};
    } else {
        // A row of an opened protocol: its cells as the program writes them, its gap to the
        // list's first time and its speed over the distance set now.
        std::optional<TRaceTime> first;
        for (int r = 1; r <= int(rows_.size()) && !first; ++r)
            first = RowTime(r);
        const TRaceTime gap = std::max<TRaceTime>(0, first ? c.time - *first : 0);
        row.cells = {RankText(1), c.startNo, time, TimeToText(gap, settings_.resolution),
                     SpeedText(settings_.distance, c.time)};
    }
    row.notes << QStringLiteral("Inserted at ") + When(c.wallMs) + QStringLiteral(", time ") + time;
    k.note = row.notes.back();
    k.row = std::move(row);
    k.id = k.row.id;
    k.name = QStringLiteral("insert finisher ") + c.startNo + QStringLiteral(" (") + time +
             QLatin1Char(')');
    Forward(k);
    Record(std::move(k));
}

void TRace::Do(const cmd::Swap& c) {
    if (!Refusal(c).isEmpty()) return;
    Correction k(Correction::Kind::Swap);
    const ListRow &a = rows_[std::size_t(c.row - 1)], &b = rows_[std::size_t(c.other - 1)];
    k.id = a.id;
    k.other = b.id;
    k.oldText = a.cells.value(1);
    k.newText = b.cells.value(1);
    k.note = QStringLiteral("Start numbers swapped at ") + When(c.wallMs) + QStringLiteral(": ") +
             k.oldText + QStringLiteral(" and ") + k.newText;
    k.name = QStringLiteral("swap ") + k.oldText + QStringLiteral(" and ") + k.newText;
    Forward(k);
    Record(std::move(k));
}

void TRace::Do(const cmd::Retime& c) {
    if (!Refusal(c).isEmpty()) return;
    Correction k(Correction::Kind::Retime);
    const ListRow& row = rows_[std::size_t(c.row - 1)];
    k.id = row.id;
    const TRaceTime old = *RowTime(c.row);
    const int resolution = row.finish ? row.finish->resolution
                                      : ParseTimeText(row.cells.value(2))->resolution;
    if (row.finish) {
        k.oldTick = row.finish->tick;
        k.newTick = startTick_ + std::uint32_t(c.time);
    }
    k.oldText = row.cells.value(2);
    k.newText = TimeToText(c.time, resolution);
    k.note = QStringLiteral("Time corrected at ") + When(c.wallMs) + QStringLiteral(" from ") +
             TimeToText(old, resolution) + QStringLiteral(" to ") + k.newText;
    k.name = QStringLiteral("time of ") + row.cells.value(1) + QStringLiteral(" to ") + k.newText;
    Forward(k);
    Record(std::move(k));
}

void TRace::Do(const cmd::ShiftStart& c) {
    if (!Refusal(c).isEmpty()) return;
    Correction k(Correction::Kind::ShiftStart);
    k.by = c.by;
    const QString size = TimeToText(c.by < 0 ? -c.by : c.by, 2);
    k.note = QStringLiteral("START corrected at ") + When(c.wallMs) +
             QStringLiteral(": it was pressed ") + size +
             (c.by > 0 ? QStringLiteral(" late") : QStringLiteral(" early"));
    k.name = QStringLiteral("START ") + size + (c.by > 0 ? QStringLiteral(" earlier")
                                                           : QStringLiteral(" later"));
    Forward(k);
    Record(std::move(k));
}

void TRace::Do(const cmd::Undo&) {
    if (undo_.empty()) return;
    Correction k = std::move(undo_.back());
    undo_.pop_back();
    Backward(k);
    redo_.push_back(std::move(k));
}

void TRace::Do(const cmd::Redo&) {
    if (redo_.empty()) return;
    Correction k = std::move(redo_.back());
    redo_.pop_back();
    Forward(k);
    undo_.push_back(std::move(k));
}

int TRace::PlaceOf(const ListRow& row) const {
    if (row.finish) {
        int displaced = 0;
        return PlaceFor(row.finish->tick, &displaced);
    }
    const std::optional<ParsedTime> t = ParseTimeText(row.cells.value(2));
    return PlaceForText(t ? t->ms : 0);
}

void TRace::Retimed(std::uint64_t id, std::uint32_t tick, const QString& text, const QString& note,
                    bool mark) {
    const int r = RowOf(id);
    if (r == 0) return;
    ListRow row = TakeRow(r);
    if (row.finish) {
        row.finish->tick = tick;
        row.cells[2].clear();  // derived again
    } else {
        row.cells[2] = text;
    }
    if (mark) {
        row.notes << note;
    } else if (const qsizetype i = row.notes.lastIndexOf(note); i >= 0) {
        row.notes.removeAt(i);
    }
    const int at = PlaceOf(row);
    const int placed = InsertRow(at, std::move(row));
    Settle(std::min(r, placed));
}

void TRace::Forward(Correction& k) {
    using K = Correction::Kind;
    switch (k.kind) {
        case K::Delete: {
            const int r = RowOf(k.id);
            if (r == 0) return;
            k.at = r;
            k.row = TakeRow(r);
            Settle(r);
            break;
        }
        case K::Insert:
            EnsureColumns();
            Settle(InsertRow(PlaceOf(k.row), k.row));
            break;
        case K::Swap: {
            const int a = RowOf(k.id), b = RowOf(k.other);
            if (a == 0 || b == 0) return;
            ListRow &ra = rows_[std::size_t(a - 1)], &rb = rows_[std::size_t(b - 1)];
            while (ra.cells.size() < 2)
                ra.cells << QString();
            while (rb.cells.size() < 2)
                rb.cells << QString();
            std::swap(ra.cells[1], rb.cells[1]);
            ra.notes << k.note;
            rb.notes << k.note;
            change_.AddRows(a, a);
            change_.AddRows(b, b);
            modified_ = unsaved_ = true;
            break;
        }
        case K::Retime:
            Retimed(k.id, k.newTick, k.newText, k.note, true);
            break;
        case K::ShiftStart:
            startTick_ -= std::uint32_t(k.by);
            startShift_ += k.by;
            startNotes_ << k.note;
            Settle(1, true);
            change_.runState = true;  // the running clock and the final time move with it
            break;
    }
}

void TRace::Backward(const Correction& k) {
    using K = Correction::Kind;
    switch (k.kind) {
        case K::Delete:
            // A finish goes back to its place in time, a text row to where it was.
            Settle(InsertRow(k.row.finish ? PlaceOf(k.row) : std::min(k.at, int(rows_.size()) + 1),
                             k.row));
            break;
        case K::Insert: {
            const int r = RowOf(k.id);
            if (r == 0) return;
            TakeRow(r);
            Settle(r);
            break;
        }
        case K::Swap: {
            const int a = RowOf(k.id), b = RowOf(k.other);
            if (a == 0 || b == 0) return;
            std::swap(rows_[std::size_t(a - 1)].cells[1], rows_[std::size_t(b - 1)].cells[1]);
            Unmark(k.id, k.note);
            Unmark(k.other, k.note);
            modified_ = unsaved_ = true;
            break;
        }
        case K::Retime:
            Retimed(k.id, k.oldTick, k.oldText, k.note, false);
            break;
        case K::ShiftStart:
            startTick_ += std::uint32_t(k.by);
            startShift_ -= k.by;
            if (const qsizetype i = startNotes_.lastIndexOf(k.note); i >= 0)
                startNotes_.removeAt(i);
            Settle(1, true);
            change_.runState = true;
            break;
    }
}
