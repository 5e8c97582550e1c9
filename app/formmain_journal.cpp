// The race journal: every event that changes the results goes to a file from START on, so that a
// crash loses no finish, and the newest unfinished race can be restored at start-up.
#include <QComboBox>
#include <QDir>
#include <QLocale>
#include <QTimer>
#include <cstring>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "app/panel.h"
#include "journal/journalrace.h"
#include "journal/journalstore.h"
#include "journal/journalwriter.h"
#include "platform/regularfile.h"
#include "platform/ttimer.h"

struct FormJournal {
    JournalWriter writer;
    // What the journal holds, applied record by record: the old text of an edited cell comes
    // from here, since the grid reports an edit only after it took the new text.
    RaceReplay race;
    bool paused = false;  // while a restore replays commands
    bool errorShown = false;
};

namespace {

QString SystemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err)) + QStringLiteral(" (") +
           QString::number(err) + QLatin1Char(')');
}

QStringList RowCells(const TSortGrid& grid, int row) {
    QStringList cells;
    for (int c = 0; c < grid.ColCount(); ++c)
        cells << grid.Cells(c, row);
    return cells;
}

JournalGrid GridOf(const TSortGrid& grid) {
    JournalGrid g;
    g.rowCount = grid.RowCount();
    g.modified = grid.Modified();
    for (int r = 1; r < grid.RowCount(); ++r)
        if (!grid.IsRowEmpty(r)) g.SetRow(r, RowCells(grid, r));
    return g;
}

}  // namespace

bool IsJournalFileName(const QString& fileName) {
    return fileName.endsWith(QStringLiteral(".journal"), Qt::CaseInsensitive);
}

QString CantReadJournalMessage(const QString& fileName) {
    QString message = QStringLiteral("Can't read the protocol file:\r") + fileName;
    const QString problem = RegularFileProblem(fileName, kMaxJournalBytes);
    if (!problem.isEmpty()) message += u'\r' + problem;
    return message;
}

RaceSettings TFormMain::CurrentSettings() const {
    RaceSettings s;
    s.resolution = Resolution;
    s.distance = std::int32_t(PanelDate->Tag());
    s.port = ComPort->Port();
    s.algorithm = int(ComPort->Tag());
    return s;
}

FormJournal& TFormMain::Journal() {
    if (!journal_) journal_ = std::make_shared<FormJournal>();
    return *journal_;
}

QString TFormMain::JournalPath() const {
    return journal_ && journal_->writer.IsOpen() ? journal_->writer.Path() : QString();
}

void TFormMain::JournalFailed(const QString& path, int err) {
    FormJournal& j = Journal();
    j.writer.Close();
    if (j.errorShown) return;
    j.errorShown = true;
    // Told once the running command is over: the clock and LAP never wait for this box.
    const QString text =
        QStringLiteral("The race journal cannot be written:\r") + path + QLatin1Char('\r') +
        SystemError(err) +
        QStringLiteral("\rTiming goes on; the journal is tried again at the next START.");
    QTimer::singleShot(0, this, [this, text] { Dialogs().Error(this, text); });
}

void TFormMain::JournalAppend(const JournalRecord& record) {
    FormJournal& j = Journal();
    if (j.paused || !j.writer.IsOpen()) return;
    int err = j.writer.TakeSyncError();
    if (err == 0) err = j.writer.Append(record);
    if (err != 0) {
        JournalFailed(j.writer.Path(), err);
        return;
    }
    ApplyRecord(j.race, record);
}

void TFormMain::JournalStart() {
    FormJournal& j = Journal();
    if (j.paused) return;
    j.writer.Close();
    j.errorShown = false;
    j.race = RaceReplay{};
    const QString dir = JournalDir();
    QDir().mkpath(dir);
    const QString path = NewJournalPath(dir, QDateTime::currentDateTime());
    if (const int err = j.writer.Create(path)) {
        JournalFailed(path, err);
        return;
    }
    JournalAppend(StartRecord(ReadClocks(StartTick), CurrentSettings()));
    // START keeps what the grid holds (an opened protocol): the journal starts from it.
    for (const JournalRecord& r : GridRecords(GridOf(*SortGrid1)))
        JournalAppend(r);
}

void TFormMain::JournalLap(const QString& startNo) {
    const LapSource source = edgeTick_      ? LapSource::Photocell
                             : lapByButton_ ? LapSource::Button
                                            : LapSource::Key;
    JournalAppend(LapRecord(LapCount, LapTick, startNo, source, edgeTick_,
                            RowCells(*SortGrid1, LapCount), SortGrid1->RowCount(),
                            SortGrid1->Modified()));
}

void TFormMain::JournalCellEdited(int col, int row, const QString& text) {
    FormJournal& j = Journal();
    if (!j.writer.IsOpen()) return;
    const QStringList& cells = j.race.grid.Row(row);
    const QString old = col < cells.size() ? cells[col] : QString();
    if (old != text) JournalAppend(EditRecord(col, row, old, text));
}

void TFormMain::JournalSettings() {
    JournalAppend(SettingsRecord(CurrentSettings()));
}

void TFormMain::JournalStop() {
    JournalAppend(StopRecord(StopTick));
}

void TFormMain::JournalReset() {
    JournalAppend(ResetRecord());
}

void TFormMain::JournalOpened(const QString& path) {
    JournalAppend(OpenRecord(path));
    for (const JournalRecord& r : GridRecords(GridOf(*SortGrid1)))
        JournalAppend(r);
}

void TFormMain::JournalSaved(const QString& path) {
    JournalAppend(SaveRecord(path, SortGrid1->Modified()));
}

void TFormMain::JournalEnd() {
    JournalAppend(EndRecord(WallClockMs()));
    Journal().writer.Close();
}

// Puts a replayed grid into the protocol, cell for cell.
void TFormMain::ShowJournalGrid(const JournalGrid& grid) {
    SortGrid1->Clear();
    SetDefaultColWidths();
    SortGrid1->BeginUpdate();  // one repaint for a whole race
    SortGrid1->SetRowCount(std::max(2, grid.rowCount));
    for (int r = 1; r < int(grid.rows.size()) && r < grid.rowCount; ++r)
        if (!grid.rows[std::size_t(r)].isEmpty()) SortGrid1->SetRow(r, grid.rows[std::size_t(r)]);
    SortGrid1->EndUpdate();
    SortGrid1->SetModified(grid.modified);
    UpdateProtocolButtons();
}

namespace {

QString DamagedText(const QString& path, const JournalContents& c) {
    return QStringLiteral("The race journal has a damaged line (line ") +
           QString::number(c.damagedLine) + QStringLiteral("); ") +
           QString::number(c.records.size()) +
           QStringLiteral(" events before it were restored. The file is kept as it is:\r") + path;
}

QString NewerText(const QString& path, const JournalContents& c) {
    return QStringLiteral(
               "The race journal was written by a newer version of the program "
               "(format ") +
           QString::number(c.version) +
           QStringLiteral(") and cannot be read. The file is kept as it is:\r") + path;
}

}  // namespace

bool TFormMain::OpenJournalProtocol(const QString& path) {
    const LoadedJournal j = LoadJournal(path);
    using S = JournalContents::Status;
    if (!j.error.isEmpty() || j.contents.status == S::NotJournal) return false;
    if (j.contents.status == S::Newer) {
        Dialogs().Error(this, NewerText(path, j.contents));
        return true;
    }
    JournalGrid grid = j.race.grid;
    grid.modified = false;  // as any protocol just opened
    ShowJournalGrid(grid);
    if (j.contents.status == S::Damaged) Dialogs().Information(this, DamagedText(path, j.contents));
    return true;
}

bool TFormMain::OfferJournalRestore() {
    const QString dir = JournalDir();
    PruneJournals(dir, QDateTime::currentDateTime());
    const QString path = NewestJournal(dir);
    if (path.isEmpty()) return false;
    const LoadedJournal j = LoadJournal(path);
    using S = JournalContents::Status;
    if (!j.error.isEmpty() || j.contents.status == S::NotJournal || j.contents.status == S::Empty)
        return false;
    if (j.contents.status == S::Newer) {
        Dialogs().Error(this, NewerText(path, j.contents));
        return false;
    }
    const RaceReplay& race = j.race;
    if (!race.started || race.cleanEnd || race.declined) return false;

    const QLocale locale;
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(race.start.wallMs);
    QString question = QStringLiteral("Restore the race of ") +
                       locale.toString(start.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                       locale.toString(start.time(), QLocale::ShortFormat) + QStringLiteral(" (") +
                       QString::number(race.grid.FilledRows()) + QStringLiteral(" finishers");
    if (race.state == RunState::Running) question += QStringLiteral(", clock running");
    question += QStringLiteral(")?");
    FormJournal& fj = Journal();
    if (!Dialogs().Ask(this, question, true)) {
        JournalWriter w;
        if (w.Continue(path) == 0) w.Append(DeclinedRecord(WallClockMs()));
        return false;
    }
    RestoreRace(path, race);
    if (j.contents.status == S::Damaged) Dialogs().Information(this, DamagedText(path, j.contents));
    (void)fj;
    return true;
}

void TFormMain::RestoreRace(const QString& path, RaceReplay race) {
    FormJournal& j = Journal();
    // On the same boot the ticks of the journal are the tick counter's own; after a reboot the
    // race goes on from the wall-clock time of its START.
    const QString boot = CurrentBootId();
    const bool reanchor = race.bootId.isEmpty() || race.bootId != boot;
    if (reanchor) {
        const qint64 elapsed = WallClockMs() - race.start.wallMs;
        const std::uint32_t newStart = GetTickCount() - std::uint32_t(elapsed);
        race.ShiftTicks(newStart - race.startTick);
    }

    if (race.settings.resolution != Resolution && race.settings.resolution >= 0 &&
        race.settings.resolution <= 2) {
        Resolution = race.settings.resolution;
        SetResolution(Resolution);
    }
    PanelDate->SetTag(race.settings.distance);

    j.paused = true;
    struct Resume {
        bool& paused;
        ~Resume() { paused = false; }
    } resume{j.paused};
    ShowJournalGrid(race.grid);
    // Restored finishers are results no file holds yet: an Open asks before replacing them.
    lapsSinceOpened_ = race.lapCount > 0;
    if (race.state != RunState::Ready) {
        const bool modified = SortGrid1->Modified();
        mStart->Click();
        StartTick = race.startTick;
        LapTick = race.lapTick;
        FirstLapTick = race.firstLapTick;
        LapCount = race.lapCount;
        bLAP->setText(QStringLiteral("LAP ") + QString::number(LapCount + 1));
        if (LapCount > 0) {
            ShowTime(2, TickDiff(LapTick, StartTick));
            SortGrid1->SetSelection(TGridRect{0, LapCount, 4, LapCount});
            if (SortGrid1->VisibleRowCount() < LapCount)
                SortGrid1->SetTopRow(LapCount - SortGrid1->VisibleRowCount() + 1);
        }
        ShowTime(1, TickDiff(GetTickCount(), StartTick));
        if (race.state == RunState::Stopped) {
            mStop->Click();
            StopTick = race.stopTick;
            ShowTime(1, TickDiff(StopTick, StartTick));
        }
        SortGrid1->SetModified(modified);
    } else {
        StartTick = StopTick = race.startTick;
        // RESET follows a STOP, which left the office exports enabled.
        SetRunControls(false);
    }
    UpdateProtocolButtons();

    // The restored race keeps its journal.
    j.race = race;
    j.errorShown = false;
    if (const int err = j.writer.Continue(path)) {
        JournalFailed(path, err);
    } else {
        j.paused = false;
        JournalAppend(ResumeRecord(boot, StartTick, WallClockMs()));
    }
    if (reanchor && race.state == RunState::Running)
        QTimer::singleShot(0, this, [this] {
            Dialogs().Information(
                this, QStringLiteral("The computer was restarted during the race: the running "
                                     "time was re-anchored from the system clock."));
        });
}
