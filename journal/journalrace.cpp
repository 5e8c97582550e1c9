#include "journal/journalrace.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

const QStringList& EmptyRow() {
    static const QStringList empty;
    return empty;
}

QStringList CellsOf(const JournalRecord& r) {
    // The cells follow their count in the order they were written: one pass, no lookups.
    QStringList cells;
    const int n = int(r.Int("n", 0));
    cells.reserve(std::min(n, 64));
    for (const auto& [key, value] : r.fields)
        if (cells.size() < n && key.size() >= 2 && key[0] == 'c' && key[1] >= '0' &&
            key[1] <= '9' && key.mid(1).toInt() == cells.size())
            cells << value;
    while (cells.size() < n && cells.size() < 1000)
        cells << QString();
    return cells;
}

void AddCells(JournalRecord& r, const QStringList& cells) {
    r.Add("n", int(cells.size()));
    static const char* const keys[] = {"c0", "c1", "c2", "c3", "c4", "c5", "c6", "c7"};
    for (int c = 0; c < cells.size(); ++c) {
        if (c < 8) {
            r.Add(keys[c], cells[c]);
        } else {
            r.fields.emplace_back(QByteArray("c") + QByteArray::number(c), cells[c]);
        }
    }
}

const char* SourceName(LapSource s) {
    switch (s) {
        case LapSource::Button:
            return "button";
        case LapSource::Photocell:
            return "photocell";
        case LapSource::Key:
            break;
    }
    return "key";
}

}  // namespace

const QStringList& JournalGrid::Row(int r) const {
    return r >= 1 && r < int(rows.size()) ? rows[std::size_t(r)] : EmptyRow();
}

void JournalGrid::SetRow(int r, const QStringList& cells) {
    if (r < 1 || r >= kMaxRows) return;
    if (int(rows.size()) <= r) rows.resize(std::size_t(r) + 1);
    rows[std::size_t(r)] = cells;
}

void JournalGrid::SetCell(int col, int row, const QString& text) {
    if (row < 1 || row >= kMaxRows || col < 0 || col >= 1000) return;
    if (int(rows.size()) <= row) rows.resize(std::size_t(row) + 1);
    QStringList& cells = rows[std::size_t(row)];
    while (cells.size() <= col)
        cells << QString();
    cells[col] = text;
}

int JournalGrid::FilledRows() const {
    int n = 0;
    for (int r = 1; r < rowCount && r < int(rows.size()); ++r)
        if (std::any_of(rows[std::size_t(r)].begin(), rows[std::size_t(r)].end(),
                        [](const QString& s) { return !s.isEmpty(); }))
            ++n;
    return n;
}

void RaceReplay::ShiftTicks(std::uint32_t delta) {
    startTick += delta;
    lapTick += delta;
    firstLapTick += delta;
    stopTick += delta;
}

void ApplyRecord(RaceReplay& race, const JournalRecord& r) {
    const QByteArray& t = r.type;
    if (t == "START") {
        race.started = true;
        race.state = RunState::Running;
        race.start.tick = r.Tick("tick");
        race.start.wallMs = r.Int("wall");
        race.start.monotonicMs = r.Int("mono");
        race.start.boottimeMs = r.Int("boottime");
        race.start.bootId = r.Value("boot");
        race.bootId = race.start.bootId;
        race.settings.resolution = int(r.Int("res", 2));
        race.settings.distance = std::int32_t(r.Int("dist"));
        race.settings.port = int(r.Int("port"));
        race.settings.algorithm = int(r.Int("alg"));
        race.startTick = race.lapTick = race.firstLapTick = race.stopTick = race.start.tick;
        race.lapCount = 0;
    } else if (t == "GRID") {
        race.grid.rows.clear();
        race.grid.rowCount = int(std::clamp<qint64>(r.Int("rows", 2), 1, JournalGrid::kMaxRows));
        race.grid.modified = r.Int("m") != 0;
    } else if (t == "CELLS") {
        race.grid.SetRow(int(r.Int("row")), CellsOf(r));
    } else if (t == "LAP") {
        const qint64 number = r.Int("row");
        if (number < 1 || number >= JournalGrid::kMaxRows) return;  // no row of any race
        const int row = int(number);
        race.lapCount = row;
        race.lapTick = r.Tick("tick");
        if (row == 1) race.firstLapTick = race.lapTick;
        race.grid.SetRow(row, CellsOf(r));
        race.grid.rowCount =
            std::max(race.grid.rowCount,
                     int(std::clamp<qint64>(r.Int("rows", row + 1), 1, JournalGrid::kMaxRows)));
        race.grid.modified = r.Int("m") != 0;
    } else if (t == "EDIT") {
        const QString oldText = r.Value("old"), newText = r.Value("new");
        race.grid.SetCell(int(r.Int("col", 1)), int(r.Int("row")), newText);
        if (oldText != newText) race.grid.modified = true;
    } else if (t == "SETTINGS") {
        race.settings.resolution = int(r.Int("res", race.settings.resolution));
        race.settings.distance = std::int32_t(r.Int("dist", race.settings.distance));
        race.settings.port = int(r.Int("port", race.settings.port));
        race.settings.algorithm = int(r.Int("alg", race.settings.algorithm));
    } else if (t == "STOP") {
        race.state = RunState::Stopped;
        race.stopTick = r.Tick("tick");
    } else if (t == "RESET") {
        race.state = RunState::Ready;
        race.grid = JournalGrid{};
        race.stopTick = race.startTick;
    } else if (t == "OPEN") {
        race.lastPath = r.Value("path");
    } else if (t == "SAVE") {
        race.lastPath = r.Value("path");
        race.grid.modified = r.Int("m") != 0;
    } else if (t == "RESUME") {
        race.ShiftTicks(r.Tick("start") - race.startTick);
        race.bootId = r.Value("boot");
        race.declined = false;
        race.cleanEnd = false;
    } else if (t == "DECLINED") {
        race.declined = true;
    } else if (t == "END") {
        race.cleanEnd = true;
    } else {
        return;  // a later version's record: skipped
    }
    ++race.events;
}

RaceReplay Replay(const std::vector<JournalRecord>& records) {
    RaceReplay race;
    for (const JournalRecord& r : records)
        ApplyRecord(race, r);
    return race;
}

JournalRecord StartRecord(const StartClocks& c, const RaceSettings& s) {
    JournalRecord r{"START"};
    r.Add("tick", c.tick)
        .Add("wall", c.wallMs)
        .Add("mono", c.monotonicMs)
        .Add("boottime", c.boottimeMs)
        .Add("boot", c.bootId)
        .Add("res", s.resolution)
        .Add("dist", qint64(s.distance))
        .Add("port", s.port)
        .Add("alg", s.algorithm);
    return r;
}

std::vector<JournalRecord> GridRecords(const JournalGrid& grid) {
    std::vector<JournalRecord> out;
    JournalRecord g{"GRID"};
    g.Add("rows", grid.rowCount).Add("m", grid.modified);
    out.push_back(std::move(g));
    for (int row = 1; row < int(grid.rows.size()); ++row) {
        const QStringList& cells = grid.rows[std::size_t(row)];
        if (std::none_of(cells.begin(), cells.end(), [](const QString& s) { return !s.isEmpty(); }))
            continue;
        JournalRecord c{"CELLS"};
        c.Add("row", row);
        AddCells(c, cells);
        out.push_back(std::move(c));
    }
    return out;
}

JournalRecord LapRecord(int row, std::uint32_t tick, const QString& startNo, LapSource source,
                        std::optional<std::uint32_t> edgeTick, const QStringList& cells,
                        int rowCount, bool modified) {
    JournalRecord r{"LAP"};
    r.Add("row", row)
        .Add("tick", tick)
        .Add("nr", startNo)
        .Add("src", QString::fromLatin1(SourceName(source)));
    if (edgeTick) r.Add("edge", *edgeTick);
    AddCells(r, cells);
    r.Add("rows", rowCount).Add("m", modified);
    return r;
}

JournalRecord EditRecord(int col, int row, const QString& oldText, const QString& newText) {
    JournalRecord r{"EDIT"};
    r.Add("row", row).Add("col", col).Add("old", oldText).Add("new", newText);
    return r;
}

JournalRecord SettingsRecord(const RaceSettings& s) {
    JournalRecord r{"SETTINGS"};
    r.Add("res", s.resolution)
        .Add("dist", qint64(s.distance))
        .Add("port", s.port)
        .Add("alg", s.algorithm);
    return r;
}

JournalRecord StopRecord(std::uint32_t tick) {
    JournalRecord r{"STOP"};
    r.Add("tick", tick);
    return r;
}

JournalRecord ResetRecord() {
    return JournalRecord{"RESET"};
}

JournalRecord OpenRecord(const QString& path) {
    JournalRecord r{"OPEN"};
    r.Add("path", path);
    return r;
}

JournalRecord SaveRecord(const QString& path, bool modified) {
    JournalRecord r{"SAVE"};
    r.Add("path", path).Add("m", modified);
    return r;
}

JournalRecord ResumeRecord(const QString& bootId, std::uint32_t startTick, qint64 wallMs) {
    JournalRecord r{"RESUME"};
    r.Add("boot", bootId).Add("start", startTick).Add("wall", wallMs);
    return r;
}

JournalRecord DeclinedRecord(qint64 wallMs) {
    JournalRecord r{"DECLINED"};
    r.Add("wall", wallMs);
    return r;
}

JournalRecord EndRecord(qint64 wallMs) {
    JournalRecord r{"END"};
    r.Add("wall", wallMs);
    return r;
}

QString JournalFileName(const QDateTime& start, int sequence) {
    QString name = start.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
    if (sequence > 1) name += QLatin1Char('_') + QString::number(sequence);
    return name + QStringLiteral(".journal");
}

bool ParseJournalFileName(const QString& name, QDateTime& start, int& sequence) {
    static const QRegularExpression re(
        QStringLiteral(R"(^(\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2})(?:_(\d+))?\.journal$)"));
    const QRegularExpressionMatch m = re.match(name);
    if (!m.hasMatch()) return false;
    start = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
    if (!start.isValid()) return false;
    sequence = m.captured(2).isEmpty() ? 1 : m.captured(2).toInt();
    return true;
}

bool JournalNameLater(const QString& a, const QString& b) {
    QDateTime ta, tb;
    int sa = 0, sb = 0;
    const bool pa = ParseJournalFileName(a, ta, sa), pb = ParseJournalFileName(b, tb, sb);
    if (pa != pb) return pa;  // a journal's name is later than any other name
    if (!pa) return a > b;
    if (ta != tb) return ta > tb;
    return sa > sb;
}

QStringList JournalsToDelete(const QStringList& names, const QDateTime& now, int keepDays,
                             int keepNewest) {
    QStringList journals;
    for (const QString& n : names) {
        QDateTime t;
        int s = 0;
        if (ParseJournalFileName(n, t, s)) journals << n;
    }
    std::sort(journals.begin(), journals.end(), JournalNameLater);
    QStringList doomed;
    for (int i = keepNewest; i < journals.size(); ++i) {
        QDateTime t;
        int s = 0;
        ParseJournalFileName(journals[i], t, s);
        if (t.addDays(keepDays) < now) doomed << journals[i];
    }
    return doomed;
}
