#include <gtest/gtest.h>

#include "race/race.h"

#include "tests/support/racecommands.h"

namespace {

cmd::Start StartAt(std::uint32_t tick, int resolution = 2, std::int32_t distance = 42195) {
    cmd::Start s;
    s.clocks.tick = tick;
    s.settings.resolution = resolution;
    s.settings.distance = distance;
    return s;
}

QStringList Column(const TRace& race, int col) {
    QStringList out;
    for (int r = 1; r < race.RowCount(); ++r)
        out << race.Row(r).cells.value(col);
    return out;
}

}  // namespace

TEST(Race, AFinisherRowReadsAsTheTimekeeperWritesIt) {
    TRace race;
    race.Apply(StartAt(1000));
    race.Apply(LapAt(1000 + 7742770, "1"));
    race.Apply(LapAt(1000 + 7790000, "2"));
    race.Apply(LapAt(1000 + 7805270, "117"));
    EXPECT_EQ(race.Row(3).cells, (QStringList{"3.", "117", "2:10.05,27", "1.02,50", "19.5"}));
    EXPECT_EQ(race.Row(1).cells.value(3), "0,00");
    EXPECT_EQ(race.LapCount(), 3);
    EXPECT_EQ(race.RowCount(), 4);
}

TEST(Race, RowsKeepTheSettingsTheyWereTimedWith) {
    TRace race;
    race.Apply(StartAt(0, 2, 10000));
    race.Apply(LapAt(61234, "1"));
    race.Apply(cmd::Settings{RaceSettings{0, 5000, 0, 0}});
    race.Apply(LapAt(62999, "2"));
    EXPECT_EQ(race.Row(1).cells, (QStringList{"1.", "1", "1.01,23", "0,00", "587.9"}));
    EXPECT_EQ(race.Row(2).cells, (QStringList{"2.", "2", "1.02", "1", "285.7"}));
}

// A photocell edge stamped before a LAP by hand that was handled first: its row goes where its
// time is, the ranks after it move down, and no gap is ever negative.
TEST(Race, ALateEdgeTakesItsPlaceInTime) {
    TRace race;
    race.Apply(StartAt(0));
    race.Apply(LapAt(10000, "1"));
    race.Apply(LapAt(12000, "3"));
    race.Apply(LapAt(11500, "", LapSource::Photocell));
    EXPECT_EQ(Column(race, 0), (QStringList{"1.", "2.", "3."}));
    EXPECT_EQ(Column(race, 1), (QStringList{"1", "", "3"}));
    EXPECT_EQ(Column(race, 2), (QStringList{"10,00", "11,50", "12,00"}));
    EXPECT_EQ(Column(race, 3), (QStringList{"0,00", "1,50", "2,00"}));
    EXPECT_EQ(race.LastChange().firstRow, 2);
    EXPECT_EQ(race.LapCount(), 3);
    EXPECT_EQ(race.RowCount(), 4);

    // Before the first finisher: it becomes the reference of every gap.
    race.Apply(LapAt(9000, "", LapSource::Photocell));
    EXPECT_EQ(Column(race, 0), (QStringList{"1.", "2.", "3.", "4."}));
    EXPECT_EQ(Column(race, 2), (QStringList{"9,00", "10,00", "11,50", "12,00"}));
    EXPECT_EQ(Column(race, 3), (QStringList{"0,00", "1,00", "2,50", "3,00"}));
    EXPECT_EQ(race.FirstLapTick(), 9000u);
    // The next finisher goes after them all, with the next rank.
    race.Apply(LapAt(13000, "9"));
    EXPECT_EQ(race.Row(5).cells.value(0), "5.");
}

// An edge at exactly STOP's tick belongs to the run, whether it is handled before STOP or after;
// one a millisecond later does not, nor one before START.
TEST(Race, TheRunHoldsItsStartAndStopTicks) {
    TRace race;
    EXPECT_FALSE(race.Accepts(5));
    race.Apply(StartAt(100));
    EXPECT_FALSE(race.Accepts(99));
    EXPECT_TRUE(race.Accepts(100));
    race.Apply(cmd::Stop{500});
    EXPECT_TRUE(race.Accepts(500));
    EXPECT_FALSE(race.Accepts(501));
    race.Apply(LapAt(501, "late"));
    EXPECT_EQ(race.LapCount(), 0);
    race.Apply(LapAt(500, "at stop", LapSource::Photocell));
    EXPECT_EQ(race.LapCount(), 1);
    EXPECT_EQ(race.State(), RunState::Stopped);
    race.Apply(cmd::Reset{});
    EXPECT_FALSE(race.Accepts(300));
}

TEST(Race, ContactBounceIsLockedOutAfterStartAndEveryCountedEdge) {
    TRace race;
    race.Apply(StartAt(1000));
    EXPECT_TRUE(race.LockedOutAt(1000));
    EXPECT_TRUE(race.LockedOutAt(1009));
    EXPECT_FALSE(race.LockedOutAt(1010));
    race.Apply(LapAt(2000, "", LapSource::Photocell));
    EXPECT_TRUE(race.LockedOutAt(2005));
    EXPECT_FALSE(race.LockedOutAt(1999));
    race.Apply(LapAt(3000, "by hand"));
    EXPECT_FALSE(race.LockedOutAt(3001));
}

TEST(Race, ModifiedAsTheGridCountsItAndUnsavedUntilSaved) {
    TRace race;
    EXPECT_TRUE(race.Modified());  // the window is built so
    EXPECT_FALSE(race.Unsaved());
    race.Apply(cmd::Reset{});
    EXPECT_FALSE(race.Modified());
    race.Apply(StartAt(0));
    race.Apply(LapAt(100, "1"));
    // One lap fills the empty row: no row count changed, yet the list is not saved anywhere.
    EXPECT_FALSE(race.Modified());
    EXPECT_TRUE(race.Unsaved());
    race.Apply(cmd::Save{"/x.txt"});
    EXPECT_FALSE(race.Unsaved());
    race.Apply(LapAt(200, "2"));
    EXPECT_TRUE(race.Modified());
    race.Apply(cmd::Save{"/x.txt"});
    EXPECT_TRUE(race.Modified());  // saving leaves the grid's flag alone
    race.Apply(cmd::Edit{1, 1, "1", "1"});
    EXPECT_FALSE(race.Unsaved());  // the same text again is no change
    race.Apply(cmd::Edit{1, 1, "1", "11"});
    EXPECT_TRUE(race.Unsaved());
    race.Apply(cmd::Open{"/y.txt"});
    race.Apply(cmd::Grid{3, 5, false});
    EXPECT_FALSE(race.Modified());
    EXPECT_FALSE(race.Unsaved());
}

// An opened protocol is text: its header and rows stay as they are, RESET keeps its header as the
// grid does, and a lap of a running race goes after its rows, never into them.
TEST(Race, AnOpenedListIsKeptAsText) {
    TRace race;
    race.Apply(StartAt(0));
    race.Apply(LapAt(100, "1"));
    race.Apply(cmd::Open{"/old.txt"});
    race.Apply(cmd::Grid{4, 3, false});
    race.Apply(cmd::Cells{0, {"Platz", "Nr", "Zeit"}});
    race.Apply(cmd::Cells{1, {"1.", "44", "1:00"}});
    race.Apply(cmd::Cells{2, {"2.", "45", "1:01"}});
    EXPECT_EQ(race.ColCount(), 3);
    EXPECT_FALSE(race.Row(1).finish);
    race.Apply(LapAt(200, "2"));
    EXPECT_EQ(race.Row(1).cells, (QStringList{"1.", "44", "1:00"}));
    EXPECT_EQ(race.Row(3).cells.value(0), "2.");
    EXPECT_EQ(race.Row(3).cells.value(1), "2");
    // The lap needed five columns: the new ones have their captions, the old ones keep theirs.
    EXPECT_EQ(race.ColCount(), 5);
    EXPECT_EQ(race.Header(), (QStringList{"Platz", "Nr", "Zeit", "Split", "Km/h"}));
    race.Apply(cmd::Stop{300});
    race.Apply(cmd::Reset{});
    EXPECT_EQ(race.Header().value(0), "Platz");
    EXPECT_EQ(race.RowCount(), 2);
    EXPECT_TRUE(race.ListEmpty());
}

TEST(Race, ArmedOnlyUntilStopOrReset) {
    TRace race;
    race.Apply(StartAt(0));
    race.Apply(cmd::Arm{true});
    EXPECT_TRUE(race.Armed());
    race.Apply(cmd::Stop{10});
    EXPECT_FALSE(race.Armed());
    EXPECT_TRUE(race.ArmedAtStop());
    race.Apply(cmd::Arm{true});
    race.Apply(cmd::Reset{});
    EXPECT_FALSE(race.Armed());
}

// A list as long as any journal may claim still takes the next finisher, after its last row.
TEST(Race, LapsGrowTheListPastTheLongestOpenedOne) {
    TRace race;
    race.Apply(StartAt(0));
    race.Apply(cmd::Grid{TRace::kMaxRows, 5, false});
    race.Apply(cmd::Cells{TRace::kMaxRows - 1, {"x"}});
    race.Apply(LapAt(100, "1"));
    EXPECT_EQ(race.RowCount(), TRace::kMaxRows + 1);
    EXPECT_EQ(race.Row(TRace::kMaxRows).cells.value(1), "1");
}
