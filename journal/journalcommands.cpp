#include "journal/journalcommands.h"

#include <algorithm>

namespace {

// Cells in the order they were written: one pass, no lookups.
QStringList CellsOf(const JournalRecord& r) {
    QStringList cells;
    const int n = int(std::clamp<qint64>(r.Int("n", 0), 0, TRace::kMaxCols));
    cells.reserve(std::min(n, 64));
    for (const auto& [key, value] : r.fields)
        if (cells.size() < n && key.size() >= 2 && key[0] == 'c' && key[1] >= '0' &&
            key[1] <= '9' && key.mid(1).toInt() == cells.size())
            cells << value;
    while (cells.size() < n)
        cells << QString();
    return cells;
}

void AddCells(JournalRecord& r, const QStringList& cells) {
    r.Add("n", int(cells.size()));
    static const char* const keys[] = {"c0", "c1", "c2", "c3", "c4", "c5", "c6", "c7"};
    for (int c = 0; c < cells.size(); ++c) {
        if (c < 8)
            r.Add(keys[c], cells[c]);
        else
            r.fields.emplace_back(QByteArray("c") + QByteArray::number(c), cells[c]);
    }
}

const char* SourceName(LapSource s) {
    switch (s) {
        case LapSource::Button:
            return "button";
        case LapSource::Photocell:
            return "photocell";
        case LapSource::Typed:
            return "typed";
        case LapSource::Key:
            break;
    }
    return "key";
}

LapSource SourceOf(const QString& name) {
    if (name == QLatin1String("button")) return LapSource::Button;
    if (name == QLatin1String("photocell")) return LapSource::Photocell;
    if (name == QLatin1String("typed")) return LapSource::Typed;
    return LapSource::Key;
}

int Clamped(qint64 v, int lo, int hi) {
    return int(std::clamp<qint64>(v, lo, hi));
}

void AddSettings(JournalRecord& r, const RaceSettings& s) {
    r.Add("res", s.resolution)
        .Add("dist", qint64(s.distance))
        .Add("port", s.port)
        .Add("alg", s.algorithm);
}

RaceSettings SettingsOf(const JournalRecord& r, const RaceSettings& def) {
    RaceSettings s;
    s.resolution = Clamped(r.Int("res", def.resolution), 0, 2);
    s.distance = std::int32_t(std::clamp<qint64>(r.Int("dist", def.distance), 0, INT32_MAX));
    s.port = Clamped(r.Int("port", def.port), 0, 255);
    s.algorithm = Clamped(r.Int("alg", def.algorithm), INT32_MIN, INT32_MAX);
    return s;
}

struct ToRecord {
    JournalRecord operator()(const cmd::Start& c) const {
        JournalRecord r{"START"};
        r.Add("tick", c.clocks.tick)
            .Add("wall", c.clocks.wallMs)
            .Add("mono", c.clocks.monotonicMs)
            .Add("boottime", c.clocks.boottimeMs)
            .Add("boot", c.clocks.bootId);
        AddSettings(r, c.settings);
        return r;
    }
    JournalRecord operator()(const cmd::Lap& c) const {
        JournalRecord r{"LAP"};
        r.Add("tick", c.tick).Add("nr", c.startNo).Add("src", QString::fromLatin1(SourceName(c.source)));
        if (c.edgeTick) r.Add("edge", *c.edgeTick);
        return r;
    }
    JournalRecord operator()(const cmd::Edit& c) const {
        JournalRecord r{"EDIT"};
        r.Add("row", c.row).Add("col", c.col).Add("old", c.oldText).Add("new", c.newText);
        return r;
    }
    JournalRecord operator()(const cmd::Settings& c) const {
        JournalRecord r{"SETTINGS"};
        AddSettings(r, c.settings);
        return r;
    }
    JournalRecord operator()(const cmd::Arm& c) const {
        JournalRecord r{"ARM"};
        r.Add("on", c.armed);
        return r;
    }
    JournalRecord operator()(const cmd::Stop& c) const {
        JournalRecord r{"STOP"};
        r.Add("tick", c.tick);
        return r;
    }
    JournalRecord operator()(const cmd::Reset&) const { return JournalRecord{"RESET"}; }
    JournalRecord operator()(const cmd::Open& c) const {
        JournalRecord r{"OPEN"};
        r.Add("path", c.path);
        return r;
    }
    JournalRecord operator()(const cmd::Grid& c) const {
        JournalRecord r{"GRID"};
        r.Add("rows", c.rowCount).Add("cols", c.colCount).Add("m", c.modified);
        return r;
    }
    JournalRecord operator()(const cmd::Cells& c) const {
        JournalRecord r{"CELLS"};
        r.Add("row", c.row);
        AddCells(r, c.cells);
        return r;
    }
    JournalRecord operator()(const cmd::Save& c) const {
        JournalRecord r{"SAVE"};
        r.Add("path", c.path);
        return r;
    }
    JournalRecord operator()(const cmd::Resume& c) const {
        JournalRecord r{"RESUME"};
        r.Add("boot", c.bootId).Add("start", c.startTick).Add("wall", c.wallMs);
        return r;
    }
    JournalRecord operator()(const cmd::Declined& c) const {
        JournalRecord r{"DECLINED"};
        r.Add("wall", c.wallMs);
        return r;
    }
    JournalRecord operator()(const cmd::Delete& c) const {
        JournalRecord r{"DELETE"};
        r.Add("row", c.row).Add("wall", c.wallMs);
        return r;
    }
    JournalRecord operator()(const cmd::Insert& c) const {
        JournalRecord r{"INSERT"};
        r.Add("time", qint64(c.time)).Add("nr", c.startNo).Add("wall", c.wallMs);
        return r;
    }
    JournalRecord operator()(const cmd::Swap& c) const {
        JournalRecord r{"SWAP"};
        r.Add("row", c.row).Add("other", c.other).Add("wall", c.wallMs);
        return r;
    }
    JournalRecord operator()(const cmd::Retime& c) const {
        JournalRecord r{"RETIME"};
        r.Add("row", c.row).Add("time", qint64(c.time)).Add("wall", c.wallMs);
        return r;
    }
    JournalRecord operator()(const cmd::ShiftStart& c) const {
        JournalRecord r{"STARTSHIFT"};
        r.Add("by", qint64(c.by)).Add("wall", c.wallMs);
        return r;
    }
    JournalRecord operator()(const cmd::Undo& c) const {
        JournalRecord r{"UNDO"};
        r.Add("wall", c.wallMs);
        return r;
    }
    JournalRecord operator()(const cmd::Redo& c) const {
        JournalRecord r{"REDO"};
        r.Add("wall", c.wallMs);
        return r;
    }
    JournalRecord operator()(const cmd::End& c) const {
        JournalRecord r{"END"};
        r.Add("wall", c.wallMs).Add("running", c.running);
        return r;
    }
};

}  // namespace

JournalRecord RecordOf(const RaceCommand& command) {
    return std::visit(ToRecord{}, command);
}

std::optional<RaceCommand> CommandOf(const JournalRecord& r) {
    const QByteArray& t = r.type;
    if (t == "START") {
        cmd::Start c;
        c.clocks.tick = r.Tick("tick");
        c.clocks.wallMs = r.Int("wall");
        c.clocks.monotonicMs = r.Int("mono");
        c.clocks.boottimeMs = r.Int("boottime");
        c.clocks.bootId = r.Value("boot");
        c.settings = SettingsOf(r, RaceSettings{2, 0, 0, 0});
        return c;
    }
    if (t == "LAP") {
        cmd::Lap c;
        c.tick = r.Tick("tick");
        c.startNo = r.Value("nr");
        c.source = SourceOf(r.Value("src"));
        if (r.Has("edge")) c.edgeTick = r.Tick("edge");
        // The first format wrote the row as it was shown, where it was shown.
        if (r.Has("n")) {
            c.cells = CellsOf(r);
            c.row = Clamped(r.Int("row"), 0, TRace::kMaxRows);
            c.rowCount = Clamped(r.Int("rows", c.row + 1), 1, TRace::kMaxRows);
            c.modified = r.Int("m") != 0;
        }
        return c;
    }
    if (t == "EDIT") {
        return cmd::Edit{Clamped(r.Int("row"), -1, TRace::kMaxRows),
                         Clamped(r.Int("col", 1), -1, TRace::kMaxCols), r.Value("old"),
                         r.Value("new")};
    }
    if (t == "SETTINGS") return cmd::Settings{SettingsOf(r, RaceSettings{2, 0, 0, 0})};
    if (t == "ARM") return cmd::Arm{r.Int("on") != 0};
    if (t == "STOP") return cmd::Stop{r.Tick("tick")};
    if (t == "RESET") return cmd::Reset{};
    if (t == "OPEN") return cmd::Open{r.Value("path")};
    if (t == "GRID") {
        return cmd::Grid{Clamped(r.Int("rows", 2), 1, TRace::kMaxRows),
                         Clamped(r.Int("cols", 0), 0, TRace::kMaxCols), r.Int("m") != 0};
    }
    if (t == "CELLS") return cmd::Cells{Clamped(r.Int("row"), -1, TRace::kMaxRows), CellsOf(r)};
    if (t == "SAVE") return cmd::Save{r.Value("path")};
    if (t == "RESUME") return cmd::Resume{r.Value("boot"), r.Tick("start"), r.Int("wall")};
    if (t == "DECLINED") return cmd::Declined{r.Int("wall")};
    if (t == "END") return cmd::End{r.Int("wall"), r.Int("running") != 0};
    const auto time = [&r](const char* key) { return TRaceTime(std::clamp<qint64>(r.Int(key), INT32_MIN + 1, INT32_MAX)); };
    const auto row = [&r](const char* key) { return Clamped(r.Int(key), -1, INT32_MAX); };
    if (t == "DELETE") return cmd::Delete{row("row"), r.Int("wall")};
    if (t == "INSERT") return cmd::Insert{time("time"), r.Value("nr"), r.Int("wall")};
    if (t == "SWAP") return cmd::Swap{row("row"), row("other"), r.Int("wall")};
    if (t == "RETIME") return cmd::Retime{row("row"), time("time"), r.Int("wall")};
    if (t == "STARTSHIFT") return cmd::ShiftStart{time("by"), r.Int("wall")};
    if (t == "UNDO") return cmd::Undo{r.Int("wall")};
    if (t == "REDO") return cmd::Redo{r.Int("wall")};
    return std::nullopt;
}

bool ApplyRecord(TRace& race, const JournalRecord& record) {
    const std::optional<RaceCommand> command = CommandOf(record);
    if (!command) return false;
    race.Apply(*command);
    return true;
}

TRace Replay(const std::vector<JournalRecord>& records) {
    TRace race;
    for (const JournalRecord& r : records)
        ApplyRecord(race, r);
    return race;
}
