#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/menuitem.h"
#include "app/panel.h"
#include "config/cfgdialog.h"
#include "journal/journalformat.h"
#include "journal/journalnames.h"
#include "widgets/digit.h"
#include "journal/journalstore.h"
#include "journal/journalwriter.h"
#include "platform/programpaths.h"
#include "platform/ttimer.h"
#include "tests/app/formfixture.h"
#include "widgets/floatedit.h"

namespace {

// What the operator sees of a race: every cell, the Modified state, the run buttons, the clock.
struct Shown {
    std::vector<QStringList> cells;
    bool modified = false;
    bool start = false, lap = false, stop = false, reset = false, clock = false;
    QString lapCaption;
    std::int32_t lapCount = 0;
    TRaceTime lapTime = 0, stopTime = 0;
    bool operator==(const Shown&) const = default;
};

std::vector<QStringList> Cells(const TFormMain& f) {
    std::vector<QStringList> rows;
    for (int r = 0; r < f.SortGrid1->RowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < f.SortGrid1->ColCount(); ++c)
            row << f.SortGrid1->Cells(c, r);
        rows.push_back(row);
    }
    return rows;
}

Shown Look(const TFormMain& f) {
    Shown s;
    s.cells = Cells(f);
    s.modified = f.SortGrid1->Modified();
    s.start = f.mStart->Enabled() && f.bSTART->isEnabled();
    s.lap = f.mLAP->Enabled() && f.bLAP->isEnabled();
    s.stop = f.mStop->Enabled() && f.bSTOP->isEnabled();
    s.reset = f.mReset->Enabled() && f.bRESET->isEnabled();
    s.clock = f.Clock->Enabled();
    s.lapCaption = f.bLAP->text();
    s.lapCount = f.Race().LapCount();
    s.lapTime = TickDiff(f.Race().LapTick(), f.Race().StartTick());
    s.stopTime = s.clock ? 0 : TickDiff(f.Race().StopTick(), f.Race().StartTick());
    if (s.start) s.lapCount = s.lapTime = 0;  // after RESET the next START sets them anew
    return s;
}

void PrintTo(const Shown& s, std::ostream* os) {
    *os << "{" << s.cells.size() << " rows, modified " << s.modified << ", caption "
        << s.lapCaption.toStdString() << ", laps " << s.lapCount << ", clock " << s.clock << "}";
    for (const QStringList& r : s.cells)
        *os << "\n  " << r.join('|').toStdString();
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

class Journal : public FormFixture {
protected:
    void Lap(TFormMain& f, const QString& nr, std::uint32_t after) {
        clock.Advance(after);
        f.cbStartN->setEditText(nr);
        f.mLAP->Click();
    }
    // Types a start number over the one in a row, as the operator does in the grid.
    void EditStartNumber(TFormMain& f, int row, const QString& text) {
        if (!f.isActiveWindow()) {
            f.show();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
        }
        TSortGrid* g = f.SortGrid1;
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->CellRect(1, row).center());
        for (const QChar ch : text)
            QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
        // Every key is in the cell at once; Enter would be the next LAP while the clock runs.
    }
    // The program dies here: what is on disk is all a new start has. The journal is moved aside
    // before the window's clean exit would mark it finished, then put back.
    void Crash() {
        const QString path = form->JournalPath();
        ASSERT_FALSE(path.isEmpty());
        const QByteArray data = ReadFile(path);
        Destroy();
        WriteFile(path, data);
    }
    QString JournalFolder() const { return dir.filePath("state/vidazorov/races"); }

    static constexpr qint64 kStartWallMs = 1796800000000;
    // A race started by the wall clock at kStartWallMs, one finisher 5 s in.
    TFormMain& StartedByTheWallClock() {
        TFormMain& f = Build();
        SetWallClockOverride(kStartWallMs);
        f.mStart->Click();
        Lap(f, "8", 5000);
        return f;
    }
    // The program dies and the machine restarts: the tick counter begins anew, the wall clock
    // says `msAfterStart`; the restore is accepted.
    TFormMain& RestoredOnAnotherBoot(qint64 msAfterStart) {
        Crash();
        SetBootIdOverride("another-boot");
        SetWallClockOverride(kStartWallMs + msAfterStart);
        clock.Set(42);
        dialogs.confirmAnswers = {true};
        TFormMain& g = Build();
        EXPECT_TRUE(g.OfferJournalRestore());
        return g;
    }
};

TEST_F(Journal, ARunningRaceIsRestoredCellForCellAndTheClockGoesOn) {
    TFormMain& f = Build();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.mStart->Click();
    const QString path = f.JournalPath();
    EXPECT_TRUE(path.startsWith(JournalFolder() + "/"));
    EXPECT_TRUE(path.endsWith(".journal"));
    Lap(f, "117", 61234);
    Lap(f, "", 1500);
    QTest::mouseClick(f.bLAP, Qt::LeftButton);  // the third by the button
    EditStartNumber(f, 2, "45");
    f.mLAP->Click();  // Enter confirms the typed number: no finisher comes of it
    ASSERT_EQ(f.Race().LapCount(), 3);
    Lap(f, "9 9", 2222);  // a blank in a start number
    clock.Advance(777);
    const Shown before = Look(f);
    const TRaceTime running = TickDiff(GetTickCount(), f.Race().StartTick());
    ASSERT_EQ(before.cells[2][1], "45");
    ASSERT_EQ(before.lapCount, 4);
    Crash();

    dialogs.confirmAnswers = {true};
    TFormMain& g = Build();
    ASSERT_TRUE(g.OfferJournalRestore());
    ASSERT_EQ(dialogs.confirms.size(), 1);
    EXPECT_TRUE(dialogs.confirms[0].startsWith("Restore the race of "));
    EXPECT_TRUE(dialogs.confirms[0].endsWith(" (4 finishers, clock running)?"))
        << dialogs.confirms[0].toStdString();
    EXPECT_EQ(Look(g), before);
    // Same boot: the running time goes on exactly, within one tick.
    EXPECT_EQ(TickDiff(GetTickCount(), g.Race().StartTick()), running);
    g.Clock->Fire();
    EXPECT_EQ(g.JournalPath(), path);
    QApplication::processEvents();
    EXPECT_TRUE(dialogs.infos.isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty());

    // The restored race goes on in the same journal, and a second crash restores that too.
    Lap(g, "5", 1000);
    g.mStop->Click();
    const Shown stopped = Look(g);
    EXPECT_EQ(stopped.cells[5][0], "5.");
    Crash();
    dialogs.confirmAnswers = {true};
    TFormMain& h = Build();
    ASSERT_TRUE(h.OfferJournalRestore());
    EXPECT_TRUE(dialogs.confirms.last().endsWith(" (5 finishers)?"));
    EXPECT_EQ(Look(h), stopped);

    // The restored rows reach the exit file.
    Destroy();
    const QByteArray exitFile = ReadFile(dir.filePath("vidazorov.txt"));
    EXPECT_TRUE(exitFile.contains("117")) << exitFile.constData();
    EXPECT_TRUE(exitFile.contains("45"));
    // A clean exit ends the journal: no question at the next start.
    dialogs.confirms.clear();
    TFormMain& k = Build();
    EXPECT_FALSE(k.OfferJournalRestore());
    EXPECT_TRUE(dialogs.confirms.isEmpty());
}

TEST_F(Journal, SettingsChangedDuringTheRaceComeBackWithIt) {
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "1", 1500);
    // Tenths and 10 km from the configuration dialog while the clock runs.
    dialogs.onExec = [](QDialog* d) {
        auto& cfg = *static_cast<TCfgDialog*>(d);
        cfg.cbDigits->setCurrentIndex(1);
        cfg.feDist->SetValue(10.0L);
        return int(QDialog::Accepted);
    };
    f.bCFGClick();
    ASSERT_EQ(f.Resolution(), 1);
    Lap(f, "2", 1500);
    Crash();
    // The settings file still holds what the last clean exit wrote.
    WriteSettings("Acc=2\nDist=42195\n");
    dialogs.confirmAnswers = {true};
    TFormMain& g = Build();
    ASSERT_EQ(g.Resolution(), 2);
    ASSERT_TRUE(g.OfferJournalRestore());
    EXPECT_EQ(g.Resolution(), 1);
    EXPECT_EQ(g.Distance(), 10000);
    Lap(g, "3", 1500);
    EXPECT_EQ(g.SortGrid1->Cells(2, 3), "4,5");
    EXPECT_EQ(g.SortGrid1->Cells(2, 1), "1,50");
}

TEST_F(Journal, ResetAndOpenedRowsReplayToTheSameGrid) {
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "1", 1000);
    Lap(f, "2", 1000);
    f.mStop->Click();
    dialogs.confirmAnswers = {true};
    f.mResetClick();
    const Shown afterReset = Look(f);
    Crash();
    dialogs.confirmAnswers = {true};
    TFormMain& g = Build();
    ASSERT_TRUE(g.OfferJournalRestore());
    EXPECT_TRUE(dialogs.confirms.last().endsWith(" (0 finishers)?"));
    EXPECT_EQ(Look(g), afterReset);
    EXPECT_TRUE(g.sbWord->isEnabled());  // as STOP left it
}

TEST_F(Journal, NoKeepsTheJournalAndMarksItDeclined) {
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "3", 1000);
    const QString path = f.JournalPath();
    Crash();
    const QByteArray before = ReadFile(path);
    dialogs.confirmAnswers = {false};
    TFormMain& g = Build();
    EXPECT_FALSE(g.OfferJournalRestore());
    EXPECT_EQ(dialogs.confirms.size(), 1);
    EXPECT_EQ(g.SortGrid1->Cells(1, 1), "");
    const QByteArray after = ReadFile(path);
    EXPECT_TRUE(after.startsWith(before));
    EXPECT_TRUE(after.mid(before.size()).startsWith("DECLINED "));
    Destroy();
    Build();
    EXPECT_FALSE(form->OfferJournalRestore());
    EXPECT_EQ(dialogs.confirms.size(), 1);  // asked once only
}

TEST_F(Journal, AfterARebootTheTimeIsReanchoredFromTheWallClock) {
    StartedByTheWallClock();
    TFormMain& g = RestoredOnAnotherBoot(65000);
    EXPECT_EQ(TickDiff(GetTickCount(), g.Race().StartTick()), 65000);
    EXPECT_EQ(TickDiff(g.Race().LapTick(), g.Race().StartTick()), 5000);
    EXPECT_EQ(g.SortGrid1->Cells(1, 1), "8");
    QApplication::processEvents();
    ASSERT_EQ(dialogs.infos.size(), 1);
    EXPECT_TRUE(dialogs.infos[0].contains("re-anchored from the system clock"));
    // The journal now knows the new boot: a crash on it continues by the tick again.
    Lap(g, "9", 1000);
    Crash();
    clock.Advance(10);
    dialogs.confirmAnswers = {true};
    TFormMain& h = Build();
    ASSERT_TRUE(h.OfferJournalRestore());
    EXPECT_EQ(TickDiff(GetTickCount(), h.Race().StartTick()), 66010);
    QApplication::processEvents();
    EXPECT_EQ(dialogs.infos.size(), 1);
    SetBootIdOverride({});
    SetWallClockOverride(0);
}

TEST_F(Journal, AReanchoredRaceKeepsTheCorrectedStart) {
    TFormMain& f = StartedByTheWallClock();
    // START was pressed 3 s late; the start by the wall clock moves back with it.
    f.Execute(cmd::ShiftStart{3000, kStartWallMs + 6000});
    TFormMain& g = RestoredOnAnotherBoot(65000);
    EXPECT_EQ(TickDiff(GetTickCount(), g.Race().StartTick()), 68000);
    EXPECT_EQ(TickDiff(g.Race().LapTick(), g.Race().StartTick()), 8000);
    SetBootIdOverride({});
    SetWallClockOverride(0);
}

namespace {
struct DiskFillsUp {
    static inline int writesLeft = 0;
    class File : public JournalFile {
    public:
        int Open(const QString&, bool) override { return 0; }
        int Write(const QByteArray& bytes, qsizetype& written) override {
            const bool fits = writesLeft-- > 0;
            written = fits ? bytes.size() : 0;
            return fits ? 0 : ENOSPC;
        }
        int Sync() override { return 0; }
        void Close() override {}
    };
    static std::unique_ptr<JournalFile> Make() { return std::make_unique<File>(); }
    // A read-only file system: nothing can be created.
    class ReadOnly : public File {
    public:
        int Open(const QString&, bool) override { return EROFS; }
    };
    static std::unique_ptr<JournalFile> MakeReadOnly() { return std::make_unique<ReadOnly>(); }
    explicit DiskFillsUp(int left) {
        writesLeft = left;
        SetJournalFileFactory(&Make);
    }
    ~DiskFillsUp() { SetJournalFileFactory(nullptr); }
};
}  // namespace

TEST_F(Journal, AFullDiskIsToldOnceAndTimingGoesOn) {
    DiskFillsUp disk(5);  // version, START, GRID, two laps
    TFormMain& f = Build();
    f.mStart->Click();
    const QString path = f.JournalPath();
    for (int i = 1; i <= 6; ++i)
        Lap(f, QString::number(i), 1000);
    EXPECT_TRUE(dialogs.errors.isEmpty());  // never inside LAP itself
    QApplication::processEvents();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(path));
    EXPECT_TRUE(dialogs.errors[0].contains(QString::fromLocal8Bit(strerror(ENOSPC))));
    EXPECT_EQ(f.Race().LapCount(), 6);
    EXPECT_EQ(f.SortGrid1->Cells(1, 6), "6");
    EXPECT_TRUE(f.Clock->Enabled());
    f.mStop->Click();
    QApplication::processEvents();
    EXPECT_EQ(dialogs.errors.size(), 1);
    // The next START tries again.
    DiskFillsUp::writesLeft = 100;
    dialogs.confirmAnswers = {true};
    f.mResetClick();
    f.mStart->Click();
    EXPECT_FALSE(f.JournalPath().isEmpty());
    DiskFillsUp::writesLeft = 0;
    Lap(f, "7", 1000);
    QApplication::processEvents();
    EXPECT_EQ(dialogs.errors.size(), 2);
}

TEST_F(Journal, AJournalThatCannotBeCreatedIsToldOnceAtEachStart) {
    DiskFillsUp disk(0);
    SetJournalFileFactory(&DiskFillsUp::MakeReadOnly);
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "1", 1000);
    Lap(f, "2", 1000);
    QApplication::processEvents();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(JournalFolder() + "/"));
    EXPECT_TRUE(dialogs.errors[0].contains(QString::fromLocal8Bit(strerror(EROFS))));
    EXPECT_TRUE(f.JournalPath().isEmpty());
    EXPECT_EQ(f.SortGrid1->Cells(1, 2), "2");
    f.mStop->Click();
    dialogs.confirmAnswers = {true};
    f.mResetClick();
    f.mStart->Click();
    QApplication::processEvents();
    EXPECT_EQ(dialogs.errors.size(), 2);
}

TEST_F(Journal, AReadOnlyFolderIsToldAndTimingGoesOn) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    QDir().mkpath(JournalFolder());
    QFile::setPermissions(JournalFolder(), QFile::ReadOwner | QFile::ExeOwner);
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "1", 1000);
    QApplication::processEvents();
    QFile::setPermissions(JournalFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(JournalFolder()));
    EXPECT_TRUE(dialogs.errors[0].contains(QString::fromLocal8Bit(strerror(EACCES))));
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "1");
}

// A damaged line (one flipped byte) or a torn tail (a short write on a full disk) loses only
// itself. The race goes on in a new journal of the sound records, the damaged file is kept under
// a name that is never offered again, and every finish timed after the restore survives the next
// crash.
TEST_F(Journal, ADamagedJournalGoesOnInANewOneAndLosesNothingLater) {
    for (const bool torn : {false, true}) {
        SCOPED_TRACE(torn ? "torn tail" : "flipped byte");
        QDir(JournalFolder()).removeRecursively();
        TFormMain& f = Build();
        f.mStart->Click();
        Lap(f, "1", 1000);
        Lap(f, "2", 1000);
        Lap(f, "3", 1000);
        const QString path = f.JournalPath();
        Crash();
        QByteArray data = ReadFile(path);
        if (torn) {
            data.chop(7);  // the last lap cut off in the middle of its line
        } else {
            const qsizetype at = data.indexOf("nr=2");
            ASSERT_GT(at, 0);
            data[at + 3] = '7';
        }
        WriteFile(path, data);
        dialogs.infos.clear();
        dialogs.confirmAnswers = {true};
        TFormMain& g = Build();
        ASSERT_TRUE(g.OfferJournalRestore());
        EXPECT_EQ(g.SortGrid1->Cells(1, 1), "1");
        EXPECT_EQ(g.SortGrid1->Cells(1, 2), torn ? "2" : "3");
        const QString goesOn = g.JournalPath();
        const QString kept = DamagedJournalName(path);
        EXPECT_NE(goesOn, path);
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_EQ(ReadFile(kept), data);  // kept as it was
        ASSERT_EQ(dialogs.infos.size(), 1);
        EXPECT_TRUE(dialogs.infos[0].contains(goesOn)) << dialogs.infos[0].toStdString();
        EXPECT_TRUE(dialogs.infos[0].contains(kept));
        for (int i = 0; i < 10; ++i)
            Lap(g, QString::number(100 + i), 500);
        const std::vector<QStringList> before = Cells(g);
        Crash();

        dialogs.infos.clear();
        dialogs.confirmAnswers = {true};
        TFormMain& h = Build();
        ASSERT_TRUE(h.OfferJournalRestore());
        EXPECT_EQ(Cells(h), before);
        EXPECT_TRUE(dialogs.infos.isEmpty());  // the new journal is sound
        Destroy();
    }
}

// Files that are no race to restore never hide an older one that is: a later journal that ended
// cleanly, one of a newer format (told), one too large to read (told), one that is no journal,
// and a journal's name on a link to /dev/zero.
TEST_F(Journal, EveryUnfinishedJournalIsConsideredNewestFirst) {
    TFormMain& f = Build();
    SetWallClockOverride(1796800000000);
    f.mStart->Click();
    Lap(f, "77", 1000);
    Crash();
    SetWallClockOverride(0);
    TFormMain& done = Build();
    done.mStart->Click();
    Lap(done, "1", 1000);
    done.mStop->Click();
    Destroy();  // a clean end with the clock stopped: finished

    JournalRecord v{"VIDAZOROV-JOURNAL"};
    v.Add("version", 9);
    WriteFile(JournalFolder() + "/2099-01-01-00-00-00.journal",
              FormatRecord(v) + "START tick=1 *12345678\n");
    WriteFile(JournalFolder() + "/2098-01-01-00-00-00.journal", "GenerelSettings,0\n");
    WriteFile(JournalFolder() + "/2097-01-01-00-00-00.journal", {});
    ASSERT_TRUE(QFile::link("/dev/zero", JournalFolder() + "/2096-01-01-00-00-00.journal"));
    {
        // Sparse: larger than a journal may be, without using the disk.
        QFile big(JournalFolder() + "/2095-01-01-00-00-00.journal");
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(kMaxJournalBytes + 1));
    }
    dialogs.confirms.clear();
    dialogs.confirmAnswers = {true};
    TFormMain& g = Build();
    ASSERT_TRUE(g.OfferJournalRestore());
    ASSERT_EQ(dialogs.confirms.size(), 1);
    EXPECT_TRUE(dialogs.confirms[0].endsWith(" (1 finishers, clock running)?"));
    EXPECT_EQ(g.SortGrid1->Cells(1, 1), "77");
    ASSERT_EQ(dialogs.errors.size(), 3);
    EXPECT_TRUE(dialogs.errors[0].contains("newer version"));
    EXPECT_TRUE(dialogs.errors[1].contains("2096-01-01-00-00-00.journal"));
    EXPECT_TRUE(dialogs.errors[1].contains("not a regular file"));
    EXPECT_TRUE(dialogs.errors[2].contains("2095-01-01-00-00-00.journal"));
    EXPECT_TRUE(dialogs.errors[2].contains("larger than"));
    EXPECT_TRUE(QFileInfo::exists(JournalFolder() + "/2099-01-01-00-00-00.journal"));
}

// A second window of the program never takes over the race the first one is timing: it does
// not offer it, append to it, end it or decline it, and says once why. Once the first one is
// gone (it crashed), the race is offered.
TEST_F(Journal, ARaceBeingTimedInAnotherWindowIsLeftToIt) {
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "1", 1000);
    const QString path = f.JournalPath();
    const QByteArray before = ReadFile(path);
    {
        TFormMain second;
        dialogs.confirmAnswers = {true, true};
        EXPECT_FALSE(second.OfferJournalRestore());
        EXPECT_TRUE(dialogs.confirms.isEmpty());
        ASSERT_EQ(dialogs.infos.size(), 1);
        EXPECT_TRUE(dialogs.infos[0].contains("another window"));
        EXPECT_TRUE(dialogs.infos[0].contains(path));
        second.mStart->Click();
        EXPECT_NE(second.JournalPath(), path);
        second.mStop->Click();
        // Its clean exit ends its own journal, not this one.
    }
    EXPECT_EQ(ReadFile(path), before);
    for (int i = 2; i <= 20; ++i)
        Lap(f, QString::number(i), 1000);
    Crash();
    dialogs.confirms.clear();
    dialogs.confirmAnswers = {true};
    TFormMain& g = Build();
    ASSERT_TRUE(g.OfferJournalRestore());
    EXPECT_TRUE(dialogs.confirms[0].endsWith(" (20 finishers, clock running)?"))
        << dialogs.confirms[0].toStdString();
}

// The program is closed while the clock runs: the question has No as its default (the next Enter
// is meant for a finisher), and Yes still leaves the race to be restored at the next start.
TEST_F(Journal, ClosingWhileTheClockRunsLeavesTheRaceToRestore) {
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "5", 1000);
    bool can = true;
    dialogs.confirmAnswers = {true};
    f.FormCloseQuery(can);
    EXPECT_TRUE(can);
    ASSERT_EQ(dialogs.asks.size(), 1u);
    EXPECT_EQ(dialogs.asks[0], std::make_pair(QString("Exit program?"), false));
    Destroy();
    dialogs.confirms.clear();
    dialogs.confirmAnswers = {true};
    TFormMain& g = Build();
    ASSERT_TRUE(g.OfferJournalRestore());
    EXPECT_TRUE(dialogs.confirms.last().endsWith(" (1 finishers, clock running)?"));
    EXPECT_TRUE(g.Clock->Enabled());
    // Stopped, a clean exit ends the race: nothing is offered.
    g.mStop->Click();
    Destroy();
    dialogs.confirms.clear();
    Build();
    EXPECT_FALSE(form->OfferJournalRestore());
    EXPECT_TRUE(dialogs.confirms.isEmpty());
}

// An empty journal (killed right after creating it) asks nothing.
TEST_F(Journal, AnEmptyJournalAsksNothing) {
    WriteFile(JournalFolder() + "/2099-01-01-00-00-00.journal", {});
    TFormMain& f = Build();
    EXPECT_FALSE(f.OfferJournalRestore());
    EXPECT_TRUE(dialogs.confirms.isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

// A folder of journals the program may write to but not read leaves every race unprotected: the
// operator hears of it at start-up. (A file where the folder should be is as unreadable, also
// for root.)
TEST_F(Journal, AFolderThatCannotBeReadIsTold) {
    WriteFile(JournalFolder(), "not a folder");
    TFormMain& f = Build();
    EXPECT_FALSE(f.OfferJournalRestore());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(JournalFolder()));
    EXPECT_TRUE(dialogs.errors[0].contains(QString::fromLocal8Bit(strerror(ENOTDIR))));
}

// The disk is full from the 35th finisher on, and is cleared at the 50th: every record the
// system refused is written again, in order, and the operator heard of it once. The clean exit
// after STOP marks the race as it really ended, so nothing is offered at the next start.
namespace {
// The real journal file on a disk that can be made full and cleared again.
struct FlakyDisk : JournalFile {
    static inline bool full = false;
    std::unique_ptr<JournalFile> real = MakePosixJournalFile();
    int Open(const QString& path, bool create) override { return real->Open(path, create); }
    int Write(const QByteArray& bytes, qsizetype& written) override {
        written = 0;
        return full ? ENOSPC : real->Write(bytes, written);
    }
    int Sync() override { return real->Sync(); }
    void Close() override { real->Close(); }
    static std::unique_ptr<JournalFile> Make() { return std::make_unique<FlakyDisk>(); }
};
}  // namespace

TEST_F(Journal, AWriteFailureIsRetriedAndTheRaceEndsAsItReallyDid) {
    SetJournalFileFactory(&FlakyDisk::Make);
    struct Restore {
        ~Restore() {
            SetJournalFileFactory(nullptr);
            FlakyDisk::full = false;
        }
    } restore;
    TFormMain& f = Build();
    f.mStart->Click();
    const QString path = f.JournalPath();
    for (int i = 1; i <= 34; ++i)
        Lap(f, QString::number(i), 1000);
    const QByteArray before = ReadFile(path);
    FlakyDisk::full = true;
    for (int i = 35; i <= 49; ++i)
        Lap(f, QString::number(i), 1000);
    FlakyDisk::full = false;
    QApplication::processEvents();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(path));
    EXPECT_TRUE(dialogs.errors[0].contains("tried again"));
    for (int i = 50; i <= 60; ++i)
        Lap(f, QString::number(i), 1000);
    f.mStop->Click();
    QApplication::processEvents();
    EXPECT_EQ(dialogs.errors.size(), 1);
    const std::vector<QStringList> shown = Cells(f);
    Destroy();
    const LoadedJournal j = LoadJournal(path);
    EXPECT_EQ(j.status, JournalContents::Status::Ok);
    EXPECT_EQ(j.race.LapCount(), 60);
    EXPECT_EQ(j.race.State(), RunState::Stopped);
    EXPECT_FALSE(j.race.Unfinished());
    EXPECT_TRUE(ReadFile(path).startsWith(before));
    dialogs.confirms.clear();
    Build();
    EXPECT_FALSE(form->OfferJournalRestore());
    EXPECT_TRUE(dialogs.confirms.isEmpty());
    // The exit saved what the window showed.
    EXPECT_TRUE(ReadFile(dir.filePath("vidazorov.txt")).contains("\r\n60.,60,"));
    (void)shown;
}

// A journal that could not be written to its end holds fewer finishers than the list its last
// clean exit saved: restoring it never replaces that list without a question (No by default).
TEST_F(Journal, ARestoreNeverOverwritesALongerSavedListWithoutAsking) {
    TFormMain& f = Build();
    f.mStart->Click();
    for (int i = 1; i <= 35; ++i)
        Lap(f, QString::number(i), 1000);
    const QString path = f.JournalPath();
    const QByteArray at35 = ReadFile(path);
    for (int i = 36; i <= 60; ++i)
        Lap(f, QString::number(i), 1000);
    f.mStop->Click();
    Destroy();
    const QByteArray saved = ReadFile(dir.filePath("vidazorov.txt"));
    ASSERT_TRUE(saved.contains("\r\n60.,60,"));
    WriteFile(path, at35);  // all the journal ever got

    dialogs.confirmAnswers = {true, false};
    TFormMain& g = Build();
    ASSERT_TRUE(g.OfferJournalRestore());
    EXPECT_EQ(g.Race().LapCount(), 35);
    g.mStop->Click();
    Destroy();
    ASSERT_EQ(dialogs.asks.size(), 2u);
    EXPECT_TRUE(dialogs.asks[1].first.contains("holds 60 rows, the restored race 35"))
        << dialogs.asks[1].first.toStdString();
    EXPECT_FALSE(dialogs.asks[1].second);
    EXPECT_EQ(ReadFile(dir.filePath("vidazorov.txt")), saved);
}

// The LED armed before a crash is armed again after the restore.
TEST_F(Journal, TheArmedPhotocellIsRestored) {
    TFormMain& f = Build();
    f.ComPort->SetPort(3);  // a port number, so that the LED can be armed
    f.mStart->Click();
    f.LedModusClick();
    ASSERT_EQ(f.LedModus->Kind(), TLedKind::lkGreen);
    Lap(f, "1", 1000);
    Crash();
    dialogs.confirmAnswers = {true};
    TFormMain& g = Build();
    ASSERT_TRUE(g.OfferJournalRestore());
    EXPECT_TRUE(g.Race().Armed());
    EXPECT_EQ(g.LedModus->Kind(), TLedKind::lkGreen);
}

namespace {
// A journal file that looks at the window whenever a lap's record is written: nothing of that
// lap may show yet.
struct WatchedFile : JournalFile {
    static inline TFormMain* form = nullptr;
    static inline int lapsSeen = 0, shownTooEarly = 0;
    int Open(const QString&, bool) override { return 0; }
    int Write(const QByteArray& bytes, qsizetype& written) override {
        written = bytes.size();
        if (!bytes.startsWith("LAP ") || !form) return 0;
        ++lapsSeen;
        const int row = form->Race().LapCount() + 1;
        if (!form->SortGrid1->Cells(2, row).isEmpty() || form->Digit22->Value() != 0)
            ++shownTooEarly;
        return 0;
    }
    int Sync() override { return 0; }
    void Close() override {}
    static std::unique_ptr<JournalFile> Make() { return std::make_unique<WatchedFile>(); }
};
}  // namespace

TEST_F(Journal, ALapIsJournaledBeforeAnythingShowsIt) {
    SetJournalFileFactory(&WatchedFile::Make);
    TFormMain& f = Build();
    WatchedFile::form = &f;
    f.mStart->Click();
    // Finishers whose row-2 display ends in a hundredth that is not zero.
    for (int i = 1; i <= 5; ++i)
        Lap(f, QString::number(i), 1001);
    WatchedFile::form = nullptr;
    SetJournalFileFactory(nullptr);
    EXPECT_EQ(WatchedFile::lapsSeen, 5);
    EXPECT_EQ(WatchedFile::shownTooEarly, 0);
}

// A session's races all but the last end with RESET: "Open protocol" of such a journal shows the
// race as it was before its list was cleared.
TEST_F(Journal, OpenProtocolOfAResetRaceShowsItsList) {
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "11", 1000);
    Lap(f, "12", 1000);
    f.mStop->Click();
    const std::vector<QStringList> race = Cells(f);
    const QString path = f.JournalPath();
    dialogs.confirmAnswers = {true};
    f.mResetClick();
    Destroy();
    dialogs.confirmAnswers = {true};
    dialogs.openAnswers = {path};
    TFormMain& g = Build();
    g.sbLoadClick();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(Cells(g), race);
    EXPECT_FALSE(g.SortGrid1->Modified());
}

TEST_F(Journal, OpenProtocolReadsAJournalOfAnEarlierRace) {
    TFormMain& f = Build();
    EXPECT_TRUE(f.OpenDialog1.filter.startsWith("Text file (*.txt)|*.txt|"));
    EXPECT_TRUE(f.OpenDialog1.filter.endsWith("|Race journal (*.journal)|*.journal"));
    f.mStart->Click();
    Lap(f, "21", 1000);
    Lap(f, "22", 1000);
    EditStartNumber(f, 1, "7");
    const std::vector<QStringList> race = Cells(f);
    const QString path = f.JournalPath();
    Crash();

    // Days later, another race is being timed when the old one is looked up.
    TFormMain& g = Build();
    g.mStart->Click();
    Lap(g, "1", 1000);
    g.mStop->Click();
    dialogs.confirmAnswers = {true};  // the unsaved race before it
    dialogs.openAnswers = {path};
    g.sbLoadClick();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(Cells(g), race);
    EXPECT_FALSE(g.SortGrid1->Modified());
    // Its protocol only: the clock and the buttons stay as they were.
    EXPECT_FALSE(g.Clock->Enabled());
    EXPECT_TRUE(g.mReset->Enabled());
    // The journal of the race being shown records what was opened.
    EXPECT_TRUE(ReadFile(g.JournalPath()).contains("OPEN path=" + path.toUtf8()));

    // Not a journal at all: the usual message.
    WriteFile(dir.filePath("bad.journal"), "hello\n");
    dialogs.confirmAnswers = {true};
    dialogs.openAnswers = {dir.filePath("bad.journal")};
    g.sbLoadClick();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Can't read the protocol file:"));
}

TEST_F(Journal, StartUpQuestionIsOnlyAskedWhenCalled) {
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "1", 1000);
    Crash();
    Build();
    EXPECT_TRUE(dialogs.confirms.isEmpty());
    EXPECT_EQ(form->SortGrid1->Cells(1, 1), "");
}

// The real program, driven through its standard input (VIDAZOROV_DRIVER=stdin) in a folder of
// its own, as a child process that can be killed at any moment.
class Child {
public:
    explicit Child(const QString& home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("XDG_STATE_HOME", home + "/state");
        env.insert("VIDAZOROV_DRIVER", "stdin");
        p_.setProcessEnvironment(env);
        p_.setWorkingDirectory(home);
        p_.start(VZ_PROGRAM_PATH, {});
    }
    ~Child() { Kill(); }
    // Everything the child said up to a line starting with `prefix` (or with `other`), which is
    // taken from the output too; empty when it never came.
    QByteArray ReadUntil(const QByteArray& prefix, const QByteArray& other = {}, int ms = 20000) {
        QElapsedTimer t;
        t.start();
        for (;;) {
            for (qsizetype from = 0;;) {
                const qsizetype nl = out_.indexOf('\n', from);
                if (nl < 0) break;
                const QByteArray line = out_.mid(from, nl - from);
                if (line.startsWith(prefix) || (!other.isEmpty() && line.startsWith(other))) {
                    const QByteArray said = out_.left(nl + 1);
                    out_.remove(0, nl + 1);
                    return said;
                }
                from = nl + 1;
            }
            if (t.elapsed() > ms || p_.state() == QProcess::NotRunning) return {};
            p_.waitForReadyRead(100);
            out_ += p_.readAllStandardOutput();
        }
    }
    void Send(const QByteArray& lines) {
        p_.write(lines);
        p_.waitForBytesWritten(10000);
    }
    // Kills the child and returns what it said that was not read yet.
    QByteArray Kill() {
        if (p_.state() != QProcess::NotRunning) {
            p_.kill();
            p_.waitForFinished(10000);
        }
        out_ += p_.readAllStandardOutput();
        return std::exchange(out_, {});
    }

private:
    QProcess p_;
    QByteArray out_;
};

// The rows a child said, by row number: "row <r>\t<cells>" lines; a later line for the same row
// (a start number typed over) replaces the earlier one.
void TakeRows(const QByteArray& output, std::vector<QStringList>& rows, int* edits = nullptr) {
    for (const QByteArray& line : output.split('\n')) {
        if (!line.startsWith("row ")) continue;
        const QStringList parts = QString::fromUtf8(line.mid(4)).split('\t');
        const std::size_t row = std::size_t(parts.value(0).toInt());
        if (row < 1) continue;
        if (rows.size() < row) rows.resize(row);
        if (edits && !rows[row - 1].isEmpty() && rows[row - 1] != parts.mid(1)) ++*edits;
        rows[row - 1] = parts.mid(1);
    }
}

QByteArray RandomRace(std::mt19937& rng, int laps, bool start) {
    QByteArray commands = start ? "start\n" : "";
    const int stopAt = int(rng() % 600);
    for (int i = 1; i <= laps; ++i) {
        commands += "lap " + QByteArray::number(rng() % 1000) + (i % 7 == 0 ? " x" : "") + "\n";
        if (i % 5 == 0) commands += "edit " + QByteArray::number(rng() % 10) + "\n";
        if (i == stopAt) commands += "stop\n";
    }
    return commands;
}

// What a restarted child restored against what the killed one had shown. A lap may have reached
// the journal just before the kill took its printout, and a torn tail may take the last record
// with it; either way only the newest row may differ, and only in its start number (a typed-over
// number journaled key by key) or by being there at all.
void ExpectRestored(const std::vector<QStringList>& shown, std::vector<QStringList> restored,
                    bool tornTail) {
    while (!restored.empty() && std::all_of(restored.back().begin(), restored.back().end(),
                                            [](const QString& cell) { return cell.isEmpty(); }))
        restored.pop_back();
    EXPECT_GE(restored.size() + (tornTail ? 1 : 0), shown.size());
    EXPECT_LE(restored.size(), shown.size() + 1);
    for (std::size_t r = 0; r < shown.size() && r < restored.size(); ++r)
        for (int col = 0; col < 5; ++col) {
            if (col == 1 && r + 1 == shown.size()) continue;
            ASSERT_EQ(restored[r].value(col), shown[r].value(col))
                << "row " << r + 1 << " col " << col;
        }
}

// Answers the restore question and lists the restored rows; empty when nothing was offered.
std::optional<std::vector<QStringList>> Restore(Child& c) {
    if (!c.ReadUntil("ask Restore the race", "ready").contains("ask Restore the race"))
        return std::nullopt;
    c.Send("yes\nrows\n");
    EXPECT_FALSE(c.ReadUntil("ready").isEmpty());
    const QByteArray listed = c.ReadUntil("ok rows");
    EXPECT_FALSE(listed.isEmpty());
    std::vector<QStringList> rows;
    TakeRows(listed, rows);
    return rows;
}

// The real program is killed at random moments of a race and started again: its own start-up
// offers the race, the driver answers Yes as the operator would, and the restored window shows
// every row the killed one had shown, cell for cell. Some runs are killed again while the
// question waits, some twice in a row with more laps in between, and some have the journal's
// last line torn before the restart.
TEST_F(Journal, AKilledProgramLosesNoRowItShowed) {
    std::random_device seedSource;
    const unsigned seed = seedSource();
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    constexpr int kRuns = 8;
    int restoredRows = 0, edits = 0, killedAsking = 0, tornTails = 0, twice = 0;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        std::vector<QStringList> shown;
        {
            Child c(home.path());
            ASSERT_FALSE(c.ReadUntil("ready").isEmpty()) << "the child never became ready";
            c.Send(RandomRace(rng, 50 + int(rng() % 300), true));
            QThread::usleep(rng() % 120000);
            TakeRows(c.Kill(), shown, &edits);
        }
        if (run % 4 == 1 && !shown.empty()) {
            // Restored, timed on, and killed again.
            Child c(home.path());
            const std::optional<std::vector<QStringList>> restored = Restore(c);
            ASSERT_TRUE(restored);
            ExpectRestored(shown, *restored, false);
            shown = *restored;
            c.Send(RandomRace(rng, 20 + int(rng() % 100), false));
            QThread::usleep(rng() % 80000);
            TakeRows(c.Kill(), shown, &edits);
            ++twice;
        }
        const QString journals = home.filePath("state/vidazorov/races");
        const QStringList names = QDir(journals).entryList({"*.journal"}, QDir::Files);
        if (names.isEmpty()) {
            EXPECT_TRUE(shown.empty());
            continue;
        }
        ASSERT_EQ(names.size(), 1) << names.join(' ').toStdString();
        const QString path = QDir(journals).filePath(names[0]);
        const bool tornTail = run % 4 == 2;
        if (tornTail) {
            // A short write on a full disk: the last line cut off.
            QByteArray data = ReadFile(path);
            data.chop(1 + int(rng() % 12));
            WriteFile(path, data);
            ++tornTails;
        }
        if (run % 4 == 3) {
            // Killed while the restore question waits: nothing is decided, it is asked again.
            Child asking(home.path());
            if (asking.ReadUntil("ask Restore the race", "ready").contains("ask Restore"))
                ++killedAsking;
            asking.Kill();
        }

        Child c(home.path());
        const std::optional<std::vector<QStringList>> restored = Restore(c);
        if (!restored) {
            EXPECT_TRUE(shown.empty());
            continue;
        }
        ExpectRestored(shown, *restored, tornTail);
        restoredRows += int(std::min(shown.size(), restored->size()));
        if (tornTail) {
            // The race went on in a new journal; the torn one is kept beside it.
            EXPECT_EQ(QDir(journals).entryList({"*.journal-damaged"}, QDir::Files).size(), 1);
        }
    }
    RecordProperty("restored_rows", restoredRows);
    EXPECT_GT(restoredRows, 0) << "no run got as far as a lap";
    EXPECT_GT(edits, 0) << "no run got as far as an edit";
    EXPECT_GT(twice, 0);
    EXPECT_GT(tornTails, 0);
}

}  // namespace

// Pictures for a person to look at (saved when $VZ_SHOTS is set): the question at start-up, as
// the real dialog shows it, and the restored race running on.
TEST_F(Journal, PicturesOfTheRestore) {
    TFormMain& f = Build();
    f.mStart->Click();
    clock.Advance(3 * 60000);
    for (int i = 1; i <= 14; ++i)
        Lap(f, QString::number(100 + i * 7), 3217 + 211 * i);
    Crash();
    dialogs.confirmAnswers = {true};
    TFormMain& g = Build();
    ASSERT_TRUE(g.OfferJournalRestore());
    clock.Advance(1234);
    g.Clock->Fire();
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    const QImage window = Render(&g);
    SaveShot(window, "journal-restored-running-race");
    EXPECT_EQ(g.SortGrid1->Cells(1, 14), "198");

    QMessageBox box(QMessageBox::Question, ApplicationTitle(), dialogs.confirms.value(0),
                    QMessageBox::Yes | QMessageBox::No, &g);
    box.setDefaultButton(QMessageBox::Yes);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    SaveShot(Render(&box), "journal-restore-question");
    EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::Yes));
}

TEST_F(Journal, ARestoredFinisherIsNotReplacedByAnOpenWithoutAQuestion) {
    {
        TFormMain& f = Build();
        f.SortGrid1->SaveToFile(dir.filePath("other.txt"), false);
        f.mStart->Click();
        f.mStop->Click();
        dialogs.confirmAnswers = {true};
        f.mResetClick();
        f.mStart->Click();
        Lap(f, "31", 4000);  // one lap changes no row count, so no Modified
        ASSERT_FALSE(f.SortGrid1->Modified());
        Crash();
    }
    dialogs.confirmAnswers = {true};
    TFormMain& g = Build();
    ASSERT_TRUE(g.OfferJournalRestore());
    ASSERT_EQ(g.SortGrid1->Cells(1, 1), "31");
    g.mStop->Click();
    dialogs.confirms.clear();
    dialogs.confirmAnswers = {false};
    dialogs.openAnswers = {dir.filePath("other.txt")};
    g.sbLoadClick();
    EXPECT_EQ(dialogs.confirms, QStringList{"Clear protocol?"});
    EXPECT_EQ(g.SortGrid1->Cells(1, 1), "31");
}

// Open while the clock runs: the race goes on in its journal, but its list is not replaced
// without a question whose default is No, since the next Enter is meant for a finisher. Yes
// replaces the list, and the next finisher goes after the opened rows, never into them.
TEST_F(Journal, OpenWhileTheClockRunsAsksAndNeverMixesTheLists) {
    {
        TSortGrid three;
        three.SetColCount(5);
        three.SetRowCount(4);
        for (int r = 1; r <= 3; ++r)
            three.SetCells(0, r, QString::number(r) + ".");
        ASSERT_TRUE(three.SaveToFile(dir.filePath("three.txt"), false));
    }
    TFormMain& f = Build();
    f.mStart->Click();
    Lap(f, "7", 1000);
    dialogs.openAnswers = {dir.filePath("three.txt"), dir.filePath("three.txt")};
    dialogs.confirmAnswers = {false};
    f.sbLoadClick();
    ASSERT_EQ(dialogs.asks.size(), 1u);
    EXPECT_TRUE(dialogs.asks[0].first.startsWith("The clock is running."));
    EXPECT_FALSE(dialogs.asks[0].second);
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "7");
    dialogs.confirmAnswers = {true};
    f.sbLoadClick();
    EXPECT_EQ(f.SortGrid1->Cells(0, 3), "3.");
    Lap(f, "8", 1000);
    EXPECT_EQ(f.SortGrid1->Cells(0, 3), "3.");
    EXPECT_EQ(f.SortGrid1->Cells(1, 4), "8");
    EXPECT_EQ(f.SortGrid1->Cells(0, 4), "2.");
    EXPECT_TRUE(ReadFile(f.JournalPath()).contains("nr=7"));
}

TEST_F(Journal, OpenRefusesAJournalThatIsNoRegularFileWithoutWaiting) {
    TFormMain& f = Build();
    const QString fifo = dir.filePath("race.journal");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Feeds a sound journal to whoever opens the FIFO for reading, so that an open that waits
    // for a writer ends instead of hanging the test.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        QByteArray journal = VersionLine();
        journal += FormatRecord(JournalRecord{"START"}.Add("tick", 1));
        while (!done) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                EXPECT_EQ(::write(fd, journal.constData(), size_t(journal.size())), journal.size());
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    dialogs.defaultConfirm = true;
    dialogs.openAnswers = {fifo};
    f.sbLoadClick();
    done = true;
    writer.join();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0],
              "Can't read the protocol file:\r" + fifo + "\rIt is not a regular file.");
}
