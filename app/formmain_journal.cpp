// The race's commands and their journal: every command goes to a file of that race before it is
// applied, so that a crash loses no finish, and an unfinished race can be restored at start-up.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTimer>
#include <cerrno>
#include <cstring>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "journal/journalcommands.h"
#include "journal/journalstore.h"
#include "journal/journalwriter.h"
#include "platform/regularfile.h"
#include "platform/ttimer.h"

struct FormJournal {
    std::unique_ptr<JournalWriter> writer = std::make_unique<JournalWriter>();
    bool errorShown = false;  // the operator hears of a failing journal once
};

namespace {

QString SystemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err)) + QStringLiteral(" (") +
           QString::number(err) + QLatin1Char(')');
}

QString DamagedText(const QString& damaged, const QString& kept, const QString& goesOn,
                    const LoadedJournal& j) {
    QStringList lines;
    for (int n : j.damagedLines)
        lines << QString::number(n);
    return QStringLiteral("The race journal had damaged lines (line ") +
           lines.join(QStringLiteral(", ")) + QStringLiteral("); the ") +
           QString::number(j.records) + QStringLiteral(" sound events were restored.\r") +
           QStringLiteral("The race goes on in:\r") + goesOn +
           QStringLiteral("\rThe damaged journal is kept as:\r") + kept +
           QStringLiteral("\r(it was ") + damaged + QLatin1Char(')');
}

QString NewerText(const QString& path, int version) {
    return QStringLiteral(
               "The race journal was written by a newer version of the program "
               "(format ") +
           QString::number(version) +
           QStringLiteral(") and cannot be read. The file is kept as it is:\r") + path;
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

FormJournal& TFormMain::Journal() {
    if (!journal_) journal_ = std::make_shared<FormJournal>();
    return *journal_;
}

QString TFormMain::JournalPath() const {
    return journal_ && journal_->writer->IsOpen() ? journal_->writer->Path() : QString();
}

void TFormMain::JournalFailed(const QString& path, int err) {
    FormJournal& j = Journal();
    if (j.errorShown) return;
    j.errorShown = true;
    const QString again =
        j.writer->IsOpen()
            ? QStringLiteral("\rTiming goes on; what could not be written is tried again with "
                             "every event.")
            : QStringLiteral("\rTiming goes on; the journal is tried again at the next START.");
    // Told once the running command is over: the clock and LAP never wait for this box.
    const QString text = QStringLiteral("The race journal cannot be written:\r") + path +
                         QLatin1Char('\r') + SystemError(err) + again;
    QTimer::singleShot(0, this, [this, text] { Dialogs().Error(this, text); });
}

void TFormMain::JournalCreate() {
    FormJournal& j = Journal();
    j.writer->Close();
    j.errorShown = false;
    const QString dir = JournalDir();
    QDir().mkpath(dir);
    const QString path = NewJournalPath(dir, QDateTime::currentDateTime());
    if (const int err = j.writer->Create(path)) {
        j.writer->Close();
        JournalFailed(path, err);
    }
}

void TFormMain::JournalRecord(const RaceCommand& command) {
    if (std::holds_alternative<cmd::Start>(command)) JournalCreate();
    FormJournal& j = Journal();
    if (!j.writer->IsOpen()) return;
    int err = j.writer->Append(RecordOf(command));
    if (err == 0) err = j.writer->TakeSyncError();
    if (err != 0) JournalFailed(j.writer->Path(), err);
}

void TFormMain::Execute(const RaceCommand& command) {
    JournalRecord(command);
    Show(race_.Apply(command));
}

void TFormMain::Show(const RaceChange& change) {
    if (change.HasRows() || change.rowCount) ShowList(change);
    if (change.armed) LedModus->SetKind(race_.Armed() ? TLedKind::lkGreen : TLedKind::lkRed);
    ShowCorrectionState();
    if (change.HasRows() || change.runState) {
        // The LAP caption counts ahead, also after a correction took a finisher out or put one in.
        const QString caption = race_.Running()
                                    ? QStringLiteral("LAP ") + QString::number(race_.LapCount() + 1)
                                    : QStringLiteral("LAP");
        if (bLAP->text() != caption) bLAP->setText(caption);
    }
    if (change.HasRows() || change.rowCount || change.runState || change.settings) PublishLive();
}

void TFormMain::JournalEnd() {
    // A race whose clock still runs is offered again at the next start: closing the window is
    // no end of a race.
    Execute(cmd::End{WallClockMs(), race_.Running()});
    Journal().writer->Close();
}

void TFormMain::ShowRace() {
    SortGrid1->Clear();
    SetDefaultColWidths();
    RaceChange all;
    all.list = all.rowCount = true;
    ShowList(all);
    SetResolution(Resolution());
    ShowRunState();
    const RunState state = race_.State();
    SetRunControls(state == RunState::Running);
    if (state == RunState::Running) {
        ShowTime(1, TickDiff(GetTickCount(), race_.StartTick()));
        if (race_.LapCount() > 0) ShowTime(2, TickDiff(race_.LapTick(), race_.StartTick()));
        cbStartN->setFocus();
    } else {
        ShowTime(1, TickDiff(race_.StopTick(), race_.StartTick()));
        ShowTime(2, 0);
    }
    if (state != RunState::Ready && race_.LapCount() > 0) SelectRow(race_.LapCount());
    UpdateProtocolButtons();
}

bool TFormMain::OpenJournalProtocol(const QString& path) {
    const LoadedJournal j = LoadJournal(path);
    using S = JournalContents::Status;
    if (!j.error.isEmpty() || j.status == S::NotJournal || j.status == S::Empty) return false;
    if (j.status == S::Newer) {
        Dialogs().Error(this, NewerText(path, j.version));
        return true;
    }
    // A race's journal goes on after RESET cleared its list for the next race: the race is the
    // list before that, unless the operator asks for the later one.
    const TRace* shown = &j.race;
    if (j.beforeReset) {
        if (j.race.ListEmpty() ||
            Dialogs().Ask(this,
                          QStringLiteral("The journal holds the race's list as it was before "
                                         "RESET (") +
                              QString::number(j.beforeReset->FilledRows()) +
                              QStringLiteral(" finishers) and a later list (") +
                              QString::number(j.race.FilledRows()) +
                              QStringLiteral(" rows). Open the race's list?"),
                          true))
            shown = &*j.beforeReset;
    }
    Execute(cmd::Open{path});
    Execute(cmd::Grid{shown->RowCount(), shown->ColCount(), false});
    Execute(cmd::Cells{0, shown->Header()});
    for (int r = 1; r < shown->RowCount(); ++r)
        if (!shown->Row(r).Empty()) Execute(cmd::Cells{r, shown->Row(r).cells});
    if (j.status == S::Damaged) {
        QStringList lines;
        for (int n : j.damagedLines)
            lines << QString::number(n);
        Dialogs().Information(this, QStringLiteral("The race journal has damaged lines (line ") +
                                        lines.join(QStringLiteral(", ")) +
                                        QStringLiteral("); they were passed over:\r") + path);
    }
    return true;
}

bool TFormMain::OfferJournalRestore() {
    const QString dir = JournalDir();
    PruneJournals(dir, QDateTime::currentDateTime());
    QString listError;
    const QStringList journals = ListJournals(dir, &listError);
    if (!listError.isEmpty()) {
        Dialogs().Error(this, QStringLiteral("The folder of the race journals cannot be read:\r") +
                                  dir + QLatin1Char('\r') + listError +
                                  QStringLiteral("\rRaces are written there, but none can be "
                                                 "restored after a crash until it can be read."));
        return false;
    }
    bool toldLocked = false;
    const QLocale locale;
    for (const QString& path : journals) {
        // Looked at before anything opens it: a link to a device is never opened.
        if (const QString problem = RegularFileProblem(path, kMaxJournalBytes); !problem.isEmpty()) {
            Dialogs().Error(this, QStringLiteral("The race journal cannot be read:\r") + path +
                                      QLatin1Char('\r') + problem);
            continue;
        }
        if (JournalClosed(path)) continue;
        // The lock is taken before anything is asked: a race another window times is never
        // offered, appended to, ended or declined here.
        auto writer = std::make_unique<JournalWriter>();
        const int lockError = writer->Continue(path);
        if (lockError == EWOULDBLOCK) {
            if (!toldLocked)
                Dialogs().Information(
                    this, QStringLiteral("A race is being timed in another window of the program; "
                                         "its journal is left to it:\r") +
                              path);
            toldLocked = true;
            continue;
        }
        const LoadedJournal j = LoadJournal(path);
        using S = JournalContents::Status;
        if (!j.error.isEmpty()) {
            Dialogs().Error(this, QStringLiteral("The race journal cannot be read:\r") + path +
                                      QLatin1Char('\r') + j.error);
            continue;
        }
        if (j.status == S::Newer) {
            Dialogs().Error(this, NewerText(path, j.version));
            continue;
        }
        if (j.status == S::NotJournal || j.status == S::Empty || !j.race.Unfinished()) continue;

        const QDateTime start = QDateTime::fromMSecsSinceEpoch(j.race.Clocks().wallMs);
        QString question = QStringLiteral("Restore the race of ") +
                           locale.toString(start.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                           locale.toString(start.time(), QLocale::ShortFormat) +
                           QStringLiteral(" (") + QString::number(j.race.FilledRows()) +
                           QStringLiteral(" finishers");
        if (j.race.Running()) question += QStringLiteral(", clock running");
        question += QStringLiteral(")?");
        if (!Dialogs().Ask(this, question, true)) {
            if (lockError == 0) writer->Append(RecordOf(cmd::Declined{WallClockMs()}));
            continue;
        }
        QString info;
        if (j.status == S::Damaged || lockError != 0) {
            // A damaged journal, or one this program may not write: the race goes on in a new
            // one.
            writer = std::make_unique<JournalWriter>();
            QString goesOn, kept;
            if (const int err = MoveToNewJournal(path, *writer, goesOn, kept))
                JournalFailed(goesOn, err);
            else if (j.status == S::Damaged)
                info = DamagedText(path, kept, goesOn, j);
        }
        Journal().writer = std::move(writer);
        Journal().errorShown = false;
        RestoreRace(j);
        if (!info.isEmpty()) Dialogs().Information(this, info);
        return true;
    }
    return false;
}

void TFormMain::RestoreRace(const LoadedJournal& journal) {
    race_ = journal.race;
    // On the same boot the ticks of the journal are the tick counter's own; after a reboot the
    // race goes on from the wall-clock time of its START.
    const QString boot = CurrentBootId();
    const bool reanchor = race_.BootId().isEmpty() || race_.BootId() != boot;
    std::uint32_t startTick = race_.StartTick();
    if (reanchor) {
        // From the start as corrected, if it was.
        const qint64 elapsed = WallClockMs() - race_.StartWallMs();
        startTick = GetTickCount() - std::uint32_t(elapsed);
    }
    Execute(cmd::Resume{boot, startTick, WallClockMs()});
    restored_ = true;
    ShowRace();
    if (reanchor && race_.Running())
        QTimer::singleShot(0, this, [this] {
            Dialogs().Information(
                this, QStringLiteral("The computer was restarted during the race: the running "
                                     "time was re-anchored from the system clock."));
        });
}
