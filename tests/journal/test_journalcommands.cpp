#include <gtest/gtest.h>

#include "journal/journalcommands.h"
#include "journal/journalnames.h"

#include "tests/support/racecommands.h"

namespace {

// Every command goes through its text line and back, as a restore reads it.
TRace ReplayThroughText(const std::vector<RaceCommand>& commands) {
    QByteArray data = VersionLine();
    for (const RaceCommand& c : commands)
        data += FormatRecord(RecordOf(c));
    const JournalContents contents = ParseJournal(data);
    EXPECT_EQ(contents.status, JournalContents::Status::Ok);
    return Replay(contents.records);
}

cmd::Start StartAt(std::uint32_t tick, RaceSettings settings = RaceSettings{1, 42195, 3, 2}) {
    cmd::Start s;
    s.clocks.tick = tick;
    s.clocks.wallMs = 1796800000000;
    s.clocks.bootId = QStringLiteral("boot-a");
    s.settings = settings;
    return s;
}

}  // namespace

TEST(JournalCommands, EveryCommandSurvivesItsRecord) {
    cmd::Lap photocell = LapAt(77, "a b%", LapSource::Photocell);
    const std::vector<RaceCommand> all{StartAt(5),
                                       photocell,
                                       LapAt(90, "", LapSource::Button),
                                       cmd::Edit{1, 1, "a b%", "7"},
                                       cmd::Settings{RaceSettings{0, 10000, 2, 1}},
                                       cmd::Arm{true},
                                       cmd::Stop{100},
                                       cmd::Reset{},
                                       cmd::Open{"/tmp/x y.txt"},
                                       cmd::Grid{7, 3, true},
                                       cmd::Cells{0, {"A", "", "C"}},
                                       cmd::Save{"/tmp/s.csv"},
                                       cmd::Resume{"boot-b", 12, 13},
                                       cmd::Declined{14},
                                       cmd::End{15, true},
                                       cmd::Delete{3, 16},
                                       cmd::Insert{62350, "4 4", 17},
                                       cmd::Swap{2, 3, 18},
                                       cmd::Retime{2, 61000, 19},
                                       cmd::ShiftStart{-3000, 20},
                                       cmd::Undo{21},
                                       cmd::Redo{22}};
    for (const RaceCommand& c : all) {
        const JournalRecord r = RecordOf(c);
        JournalRecord back;
        ASSERT_TRUE(ParseRecord(QByteArrayView(FormatRecord(r)).chopped(1), back));
        const std::optional<RaceCommand> again = CommandOf(back);
        ASSERT_TRUE(again) << r.type.constData();
        EXPECT_EQ(again->index(), c.index());
        EXPECT_EQ(RecordOf(*again).fields, r.fields) << r.type.constData();
    }
}

TEST(JournalCommands, ARaceReplaysToTheSameRowsItShowed) {
    TRace live;
    std::vector<RaceCommand> commands{StartAt(5000),
                                      LapAt(6000, "17"),
                                      LapAt(7500, "", LapSource::Photocell),
                                      cmd::Edit{2, 1, "", "2"},
                                      cmd::Edit{2, 1, "2", "23"},
                                      cmd::Settings{RaceSettings{0, 10000, 3, 2}},
                                      LapAt(9100, "5"),
                                      cmd::Arm{true},
                                      cmd::Stop{9500}};
    for (const RaceCommand& c : commands)
        live.Apply(c);
    const TRace race = ReplayThroughText(commands);
    EXPECT_EQ(race.State(), RunState::Stopped);
    EXPECT_EQ(race.StartTick(), 5000u);
    EXPECT_EQ(race.FirstLapTick(), 6000u);
    EXPECT_EQ(race.LapTick(), 9100u);
    EXPECT_EQ(race.StopTick(), 9500u);
    EXPECT_EQ(race.LapCount(), 3);
    EXPECT_EQ(race.RowCount(), 4);
    EXPECT_TRUE(race.Modified());
    EXPECT_EQ(race.Settings().distance, 10000);
    EXPECT_FALSE(race.Armed());  // STOP locks the photocell
    EXPECT_TRUE(race.ArmedAtStop());
    EXPECT_EQ(race.Row(1).cells, (QStringList{"1.", "17", "1,0", "0,0", "151902.0"}));
    EXPECT_EQ(race.Row(2).cells, (QStringList{"2.", "23", "2,5", "1,5", "60760.8"}));
    // Timed after the settings changed: whole seconds, 10 km.
    EXPECT_EQ(race.Row(3).cells, (QStringList{"3.", "5", "4", "3", "8780.5"}));
    ASSERT_TRUE(race.Row(2).finish);
    EXPECT_EQ(race.Row(2).finish->source, LapSource::Photocell);
    EXPECT_EQ(race.Row(2).finish->edgeTick, 7500u);
    for (int r = 1; r < race.RowCount(); ++r)
        EXPECT_EQ(race.Row(r), live.Row(r)) << r;
    EXPECT_EQ(race.Events(), int(commands.size()));
}

TEST(JournalCommands, ResetClearsAndLaterLapsStartOver) {
    const TRace race = ReplayThroughText(
        {StartAt(100), LapAt(200, "1"), LapAt(300, "2"), cmd::Stop{400}, cmd::Reset{}});
    EXPECT_EQ(race.State(), RunState::Ready);
    EXPECT_EQ(race.RowCount(), 2);
    EXPECT_FALSE(race.Modified());
    EXPECT_EQ(race.FilledRows(), 0);
    EXPECT_TRUE(race.Row(1).Empty());
}

// Journals of the first format wrote each row as it was shown, where it was shown: over a
// protocol opened before START.
TEST(JournalCommands, AJournalOfTheFirstFormatReplaysToTheRowsItWrote) {
    auto v1Lap = [](int row, std::uint32_t tick, const QStringList& cells, int rows, bool m) {
        JournalRecord r{"LAP"};
        r.Add("row", row).Add("tick", tick).Add("nr", cells.value(1)).Add("src", QString("key"));
        r.Add("n", int(cells.size()));
        for (int c = 0; c < cells.size(); ++c)
            r.fields.emplace_back(QByteArray("c") + QByteArray::number(c), cells[c]);
        r.Add("rows", rows).Add("m", m);
        return r;
    };
    JournalRecord start = RecordOf(StartAt(0, RaceSettings{}));
    JournalRecord grid{"GRID"};
    grid.Add("rows", 4).Add("m", false);
    JournalRecord old1{"CELLS"};
    old1.Add("row", 1).Add("n", 2).Add("c0", QString("1.")).Add("c1", QString("9"));
    JournalRecord old3{"CELLS"};
    old3.Add("row", 3).Add("n", 2).Add("c0", QString("3.")).Add("c1", QString("8"));
    const TRace race = Replay({start, grid, old1, old3,
                               v1Lap(1, 10, {"1.", "5", "new1", "0,00", "1.0"}, 4, false)});
    EXPECT_EQ(race.RowCount(), 4);
    EXPECT_EQ(race.Row(1).cells, (QStringList{"1.", "5", "new1", "0,00", "1.0"}));
    EXPECT_TRUE(race.Row(2).Empty());
    EXPECT_EQ(race.Row(3).cells, (QStringList{"3.", "8"}));
    EXPECT_EQ(race.LapCount(), 1);
    EXPECT_EQ(race.State(), RunState::Running);
}

TEST(JournalCommands, ResumeMovesEveryTickAndEndsADecline) {
    std::vector<RaceCommand> cs{StartAt(4294967000u),  // wraps during the race
                                LapAt(4294967000u + 700, ""), cmd::Declined{1}};
    EXPECT_TRUE(ReplayThroughText(cs).Declined());
    EXPECT_FALSE(ReplayThroughText(cs).Unfinished());
    cs.push_back(cmd::Resume{"boot-b", 50, 2});
    cs.push_back(LapAt(2000, ""));
    TRace race = ReplayThroughText(cs);
    EXPECT_FALSE(race.Declined());
    EXPECT_EQ(race.BootId(), "boot-b");
    EXPECT_EQ(race.StartTick(), 50u);
    EXPECT_EQ(race.FirstLapTick(), 750u);
    EXPECT_EQ(race.Row(1).finish->tick, 750u);
    EXPECT_EQ(race.LapTick(), 2000u);
    EXPECT_EQ(race.Row(2).cells.value(2), "1,9");
    EXPECT_TRUE(race.Unfinished());
    // A clean exit while the clock still runs leaves the race to be offered again.
    cs.push_back(cmd::End{3, true});
    EXPECT_TRUE(ReplayThroughText(cs).Unfinished());
    cs.push_back(cmd::Stop{2500});
    cs.push_back(cmd::End{4, false});
    EXPECT_FALSE(ReplayThroughText(cs).Unfinished());
}

TEST(JournalCommands, AbsurdRowNumbersAreNotBelieved) {
    // A line with a sound checksum can still come from a broken or hostile writer.
    JournalRecord grid{"GRID"};
    grid.Add("rows", qint64(1) << 40);
    JournalRecord edit = RecordOf(cmd::Edit{1, 1, "", "x"});
    edit.fields[0].second = QStringLiteral("2000000000");
    JournalRecord cells{"CELLS"};
    cells.Add("row", qint64(1) << 40).Add("n", qint64(1) << 40);
    const TRace race = Replay({RecordOf(StartAt(1)), grid, edit, cells,
                               RecordOf(cmd::Edit{5000, 1, "", "x"})});
    EXPECT_EQ(race.RowCount(), TRace::kMaxRows);
    EXPECT_LE(race.ColCount(), TRace::kMaxCols);
}

TEST(JournalCommands, UnknownRecordsAreSkipped) {
    const TRace race =
        Replay({RecordOf(StartAt(1)), JournalRecord{"WEATHER"}, RecordOf(LapAt(2, ""))});
    EXPECT_EQ(race.LapCount(), 1);
    EXPECT_EQ(race.Events(), 2);
}

TEST(JournalFiles, NamesSortByStartAndSequence) {
    const QDateTime t(QDate(2026, 12, 9), QTime(10, 32, 5));
    EXPECT_EQ(JournalFileName(t), "2026-12-09-10-32-05.journal");
    EXPECT_EQ(JournalFileName(t, 2), "2026-12-09-10-32-05_2.journal");
    QDateTime back;
    int seq = 0;
    ASSERT_TRUE(ParseJournalFileName("2026-12-09-10-32-05_12.journal", back, seq));
    EXPECT_EQ(back, t);
    EXPECT_EQ(seq, 12);
    EXPECT_FALSE(ParseJournalFileName("2026-12-09-10-32-05.txt", back, seq));
    EXPECT_FALSE(ParseJournalFileName("2026-13-09-10-32-05.journal", back, seq));
    EXPECT_FALSE(ParseJournalFileName(DamagedJournalName(JournalFileName(t)), back, seq));
    EXPECT_TRUE(IsDamagedJournalName(DamagedJournalName(JournalFileName(t))));
    EXPECT_TRUE(
        JournalNameLater("2026-12-09-10-32-05_10.journal", "2026-12-09-10-32-05_9.journal"));
    EXPECT_TRUE(JournalNameLater("2026-12-09-10-32-05_2.journal", "2026-12-09-10-32-05.journal"));
    EXPECT_TRUE(JournalNameLater("2026-12-09-10-32-06.journal", "2026-12-09-10-32-05_2.journal"));
    EXPECT_FALSE(JournalNameLater("2025-12-09-10-32-06.journal", "2026-01-01-00-00-00.journal"));
}

TEST(JournalFiles, RetentionKeepsEveryYoungOneAndTheNewestTwentyOfTheOld) {
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0));
    QStringList names{QStringLiteral("notes.journal"), QStringLiteral("other.txt")};
    // 30 old races (100 to 129 days ago) and 5 young ones.
    for (int d = 100; d < 130; ++d)
        names << JournalFileName(now.addDays(-d));
    for (int d = 0; d < 5; ++d)
        names << JournalFileName(now.addDays(-d));
    const QStringList doomed = JournalsToDelete(names, now);
    // The five young ones and the 20 newest old ones stay.
    EXPECT_EQ(doomed.size(), 10);
    for (int d = 120; d < 130; ++d)
        EXPECT_TRUE(doomed.contains(JournalFileName(now.addDays(-d)))) << d;

    // A busy season: 30 young journals do not push the old ones out.
    QStringList busy;
    for (int d = 0; d < 30; ++d)
        busy << JournalFileName(now.addDays(-d));
    for (int d = 100; d < 150; ++d)
        busy << JournalFileName(now.addDays(-d));
    EXPECT_EQ(JournalsToDelete(busy, now).size(), 30);
    // Many young journals: none goes, however many there are.
    QStringList young;
    for (int d = 0; d < 60; ++d)
        young << JournalFileName(now.addDays(-d));
    EXPECT_TRUE(JournalsToDelete(young, now).isEmpty());
    // Exactly 90 days old is not older than 90 days.
    EXPECT_TRUE(JournalsToDelete({JournalFileName(now.addDays(-90))}, now, 90, 0).isEmpty());
    EXPECT_EQ(JournalsToDelete({JournalFileName(now.addDays(-91))}, now, 90, 0).size(), 1);
    // A damaged journal kept beside its race goes by the same rule.
    EXPECT_EQ(
        JournalsToDelete({DamagedJournalName(JournalFileName(now.addDays(-91)))}, now, 90, 0),
        QStringList{DamagedJournalName(JournalFileName(now.addDays(-91)))});
}
