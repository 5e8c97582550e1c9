#include <gtest/gtest.h>
#include <QDateTime>

#include "race/race.h"
#include "tests/support/racecommands.h"

namespace {

constexpr qint64 kWall = 1796800000000;  // when the corrections are made

QString At(qint64 wall) {
    return QDateTime::fromMSecsSinceEpoch(wall).toString(QStringLiteral("HH:mm:ss"));
}

QStringList Column(const TRace& race, int col) {
    QStringList out;
    for (int r = 1; r < race.RowCount(); ++r)
        out << race.Row(r).cells.value(col);
    return out;
}

std::vector<QStringList> Rows(const TRace& race) {
    std::vector<QStringList> rows;
    for (int r = 1; r < race.RowCount(); ++r)
        rows.push_back(race.Row(r).cells);
    return rows;
}

// A race of four finishers at 10, 11, 12 and 13 s, hundredths, 10 km.
TRace FourFinishers() {
    TRace race;
    cmd::Start s;
    s.clocks.tick = 100000;
    s.clocks.wallMs = kWall - 3600000;
    s.settings.distance = 10000;
    race.Apply(s);
    race.Apply(LapAt(110000, "101"));
    race.Apply(LapAt(111000, "102"));
    race.Apply(LapAt(112000, "103", LapSource::Photocell));
    race.Apply(LapAt(113000, "104"));
    return race;
}

}  // namespace

TEST(Corrections, AFalseFinishIsDeletedAndTheRowsAfterItFollow) {
    TRace race = FourFinishers();
    ASSERT_TRUE(race.Refusal(cmd::Delete{2, kWall}).isEmpty());
    race.Apply(cmd::Delete{2, kWall});
    EXPECT_EQ(Column(race, 0), (QStringList{"1.", "2.", "3."}));
    EXPECT_EQ(Column(race, 1), (QStringList{"101", "103", "104"}));
    EXPECT_EQ(Column(race, 2), (QStringList{"10,00", "12,00", "13,00"}));
    EXPECT_EQ(Column(race, 3), (QStringList{"0,00", "2,00", "3,00"}));
    EXPECT_EQ(race.LapCount(), 3);
    EXPECT_EQ(race.LastChange().removedAt, 2);
    // The next finisher is the fourth.
    race.Apply(LapAt(114000, "105"));
    EXPECT_EQ(race.Row(4).cells.value(0), "4.");
    // The first one deleted: the gaps follow the new first finisher.
    race.Apply(cmd::Delete{1, kWall});
    EXPECT_EQ(Column(race, 3), (QStringList{"0,00", "1,00", "2,00"}));
    EXPECT_EQ(race.FirstLapTick(), 112000u);
}

TEST(Corrections, AMissedFinishIsInsertedInItsPlaceAndMarked) {
    TRace race = FourFinishers();
    race.Apply(cmd::Insert{11500, "77", kWall});
    EXPECT_EQ(Column(race, 0), (QStringList{"1.", "2.", "3.", "4.", "5."}));
    EXPECT_EQ(Column(race, 1), (QStringList{"101", "102", "77", "103", "104"}));
    EXPECT_EQ(race.Row(3).cells, (QStringList{"3.", "77", "11,50", "1,50", "3130.4"}));
    ASSERT_TRUE(race.Row(3).finish);
    EXPECT_EQ(race.Row(3).finish->source, LapSource::Typed);
    EXPECT_EQ(race.Row(3).notes, QStringList{"Inserted at " + At(kWall) + ", time 11,50"});
    EXPECT_TRUE(race.Row(2).notes.isEmpty());
    EXPECT_EQ(race.LapCount(), 5);
    EXPECT_EQ(race.RowCount(), 6);
    // Before the first finisher: it becomes the reference of every gap.
    race.Apply(cmd::Insert{9000, "1", kWall});
    EXPECT_EQ(Column(race, 3), (QStringList{"0,00", "1,00", "2,00", "2,50", "3,00", "4,00"}));
}

// The times stay with their places, as a photo-finish decision does; both rows are marked.
TEST(Corrections, SwappedStartNumbersLeaveTheTimesInPlace) {
    TRace race = FourFinishers();
    const auto before = Rows(race);
    race.Apply(cmd::Swap{2, 3, kWall});
    EXPECT_EQ(Column(race, 1), (QStringList{"101", "103", "102", "104"}));
    EXPECT_EQ(Column(race, 2), (QStringList{"10,00", "11,00", "12,00", "13,00"}));
    const QString note = "Start numbers swapped at " + At(kWall) + ": 102 and 103";
    EXPECT_EQ(race.Row(2).notes, QStringList{note});
    EXPECT_EQ(race.Row(3).notes, QStringList{note});
    race.Apply(cmd::Undo{kWall});
    EXPECT_EQ(Rows(race), before);
    EXPECT_TRUE(race.Row(2).notes.isEmpty());
}

TEST(Corrections, ACorrectedTimeMovesTheRowToItsPlace) {
    TRace race = FourFinishers();
    race.Apply(cmd::Retime{1, 12500, kWall});
    EXPECT_EQ(Column(race, 1), (QStringList{"102", "103", "101", "104"}));
    EXPECT_EQ(Column(race, 0), (QStringList{"1.", "2.", "3.", "4."}));
    EXPECT_EQ(Column(race, 3), (QStringList{"0,00", "1,00", "1,50", "2,00"}));
    EXPECT_EQ(race.Row(3).notes,
              QStringList{"Time corrected at " + At(kWall) + " from 10,00 to 12,50"});
    EXPECT_EQ(race.FirstLapTick(), 111000u);
}

TEST(Corrections, ALateStartShiftsEveryTimeAndSpeed) {
    TRace race = FourFinishers();
    race.Apply(cmd::ShiftStart{3000, kWall});
    EXPECT_EQ(Column(race, 2), (QStringList{"13,00", "14,00", "15,00", "16,00"}));
    EXPECT_EQ(Column(race, 3), (QStringList{"0,00", "1,00", "2,00", "3,00"}));
    EXPECT_EQ(race.Row(1).cells.value(4), "2769.2");
    EXPECT_EQ(race.StartTick(), 97000u);
    EXPECT_EQ(race.StartWallMs(), kWall - 3600000 - 3000);
    EXPECT_EQ(race.StartNotes(),
              QStringList{"START corrected at " + At(kWall) + ": it was pressed 3,00 late"});
    // Early by more than the first finisher's time: no finisher may come before the start.
    EXPECT_FALSE(race.Refusal(cmd::ShiftStart{-13000, kWall}).isEmpty());
    EXPECT_TRUE(race.Refusal(cmd::ShiftStart{-12999, kWall}).isEmpty());
    race.Apply(cmd::ShiftStart{-13000, kWall});
    EXPECT_EQ(race.Row(1).cells.value(2), "13,00");
}

// Every correction is taken back in order, back to the race as recorded, and made again; a lap
// recorded in between never makes one hit the wrong row.
TEST(Corrections, UndoAndRedoGoBackToTheRecordedRaceAndForwardAgain) {
    TRace race = FourFinishers();
    const auto recorded = Rows(race);
    race.Apply(cmd::Delete{2, kWall});
    race.Apply(cmd::Insert{11500, "77", kWall});
    race.Apply(LapAt(114000, "105"));
    race.Apply(cmd::Swap{1, 2, kWall});
    race.Apply(cmd::Retime{4, 9500, kWall});
    race.Apply(cmd::ShiftStart{1000, kWall});
    const auto corrected = Rows(race);
    EXPECT_EQ(race.UndoName(), "START 1,00 earlier");
    for (int i = 0; i < 5; ++i)
        race.Apply(cmd::Undo{kWall});
    EXPECT_FALSE(race.CanUndo());
    auto withLap = recorded;
    withLap.push_back({"5.", "105", "14,00", "4,00", "2571.4"});
    EXPECT_EQ(Rows(race), withLap);
    for (int r = 1; r < race.RowCount(); ++r)
        EXPECT_TRUE(race.Row(r).notes.isEmpty()) << r;
    for (int i = 0; i < 5; ++i)
        race.Apply(cmd::Redo{kWall});
    EXPECT_EQ(Rows(race), corrected);
    EXPECT_FALSE(race.CanRedo());
    // A new correction after an undo drops what could have been made again.
    race.Apply(cmd::Undo{kWall});
    race.Apply(cmd::Delete{1, kWall});
    EXPECT_FALSE(race.CanRedo());
    // RESET is a new list: nothing to take back.
    race.Apply(cmd::Stop{200000});
    race.Apply(cmd::Reset{});
    EXPECT_FALSE(race.CanUndo());
}

TEST(Corrections, WrongEntriesAreRefusedAndChangeNothing) {
    TRace race = FourFinishers();
    race.Apply(cmd::Stop{120000});
    const auto before = Rows(race);
    EXPECT_FALSE(race.Refusal(cmd::Insert{0, "", kWall}).isEmpty());
    EXPECT_FALSE(race.Refusal(cmd::Insert{-5, "", kWall}).isEmpty());
    EXPECT_FALSE(race.Refusal(cmd::Insert{20001, "", kWall}).isEmpty());  // after STOP
    EXPECT_FALSE(race.Refusal(cmd::Delete{7, kWall}).isEmpty());
    EXPECT_FALSE(race.Refusal(cmd::Swap{1, 1, kWall}).isEmpty());
    EXPECT_FALSE(race.Refusal(cmd::Retime{9, 1000, kWall}).isEmpty());
    EXPECT_FALSE(race.Refusal(cmd::Undo{kWall}).isEmpty());
    for (const RaceCommand& c : {RaceCommand{cmd::Insert{0, "", kWall}},
                                 RaceCommand{cmd::Delete{7, kWall}},
                                 RaceCommand{cmd::Swap{1, 1, kWall}},
                                 RaceCommand{cmd::Redo{kWall}}})
        race.Apply(c);
    EXPECT_EQ(Rows(race), before);
}

// An opened protocol is text: corrections renumber its ranks and place a typed time among the
// times its rows read back.
TEST(Corrections, AnOpenedProtocolIsCorrectedAsText) {
    TRace race;
    race.Apply(cmd::Open{"/old.txt"});
    race.Apply(cmd::Grid{4, 5, false});
    race.Apply(cmd::Cells{1, {"1.", "11", "1.00,00", "0,00", "600.0"}});
    race.Apply(cmd::Cells{2, {"2.", "12", "1.05,00", "5,00", "553.8"}});
    race.Apply(cmd::Cells{3, {"3.", "13", "1.10,00", "10,00", "514.3"}});
    race.Apply(cmd::Insert{63000, "99", kWall});
    EXPECT_EQ(Column(race, 0), (QStringList{"1.", "2.", "3.", "4."}));
    EXPECT_EQ(Column(race, 1), (QStringList{"11", "99", "12", "13"}));
    EXPECT_EQ(race.Row(2).cells.value(2), "1.03,00");
    EXPECT_EQ(race.Row(2).cells.value(3), "3,00");
    race.Apply(cmd::Delete{1, kWall});
    EXPECT_EQ(Column(race, 0), (QStringList{"1.", "2.", "3."}));
    // The first time is now 1.03,00: the gaps follow it.
    EXPECT_EQ(Column(race, 3), (QStringList{"0,00", "2,00", "7,00"}));
    race.Apply(cmd::Swap{2, 3, kWall});
    EXPECT_EQ(Column(race, 1), (QStringList{"99", "13", "12"}));
    race.Apply(cmd::Retime{1, 71000, kWall});
    EXPECT_EQ(Column(race, 1), (QStringList{"13", "12", "99"}));
    EXPECT_EQ(race.Row(3).cells.value(2), "1.11,00");
    EXPECT_FALSE(race.Refusal(cmd::ShiftStart{1000, kWall}).isEmpty());
    for (int i = 0; i < 4; ++i)
        race.Apply(cmd::Undo{kWall});
    EXPECT_EQ(Column(race, 1), (QStringList{"11", "12", "13"}));
    EXPECT_EQ(Column(race, 3), (QStringList{"0,00", "5,00", "10,00"}));
}
