#include <gtest/gtest.h>

#include "race/photocell.h"
#include "race/race.h"

namespace {

constexpr std::uint32_t kOn = 0x20 | 0x10;  // DSR on (CTS too: only DSR counts)
constexpr std::uint32_t kOff = 0x10;

TRace Running(int algorithm, bool armed) {
    TRace race;
    cmd::Start s;
    s.clocks.tick = 1000;
    s.settings.algorithm = algorithm;
    race.Apply(s);
    if (armed) race.Apply(cmd::Arm{true});
    return race;
}

}  // namespace

TEST(Photocell, EachAlgorithmCountsItsEdge) {
    struct Case {
        int algorithm;
        bool armed;
        bool onCounts, offCounts;
    } cases[] = {
        {0, true, true, false}, {1, true, false, true},  {2, false, true, false},
        {0, false, false, false}, {1, false, false, false}, {7, true, false, false},
    };
    for (const Case& c : cases) {
        TRace race = Running(c.algorithm, c.armed);
        TPhotocell cell;
        cell.LastModemStatus = kOff;
        const auto on = cell.ComPortDSR(race, kOn, 2000);
        EXPECT_EQ(on.has_value(), c.onCounts) << c.algorithm << c.armed;
        if (on) {
            EXPECT_EQ(on->tick, 2000u);
            EXPECT_EQ(on->edgeTick, 2000u);
            EXPECT_EQ(on->source, LapSource::Photocell);
        }
        EXPECT_EQ(cell.ComPortDSR(race, kOff, 3000).has_value(), c.offCounts)
            << c.algorithm << c.armed;
    }
}

TEST(Photocell, RepeatsBounceAndEdgesOutsideTheRunRecordNothing) {
    TRace race = Running(2, false);
    TPhotocell cell;
    // The first event after the program starts is always judged.
    const std::optional<cmd::Lap> first = cell.ComPortDSR(race, kOn, 1500);
    ASSERT_TRUE(first);
    race.Apply(*first);
    // The same status again is no change.
    EXPECT_FALSE(cell.ComPortDSR(race, kOn, 1700));
    // Within 10 ms of the counted edge: contact bounce.
    cell.ComPortDSR(race, kOff, 1503);
    EXPECT_FALSE(cell.ComPortDSR(race, kOn, 1509));
    cell.ComPortDSR(race, kOff, 1509);
    EXPECT_TRUE(cell.ComPortDSR(race, kOn, 1510));
    // Right after START too.
    const TRace fresh = Running(2, false);
    cell.LastModemStatus = kOff;
    EXPECT_FALSE(cell.ComPortDSR(fresh, kOn, 1005));

    TRace stopped = Running(2, false);
    stopped.Apply(cmd::Stop{5000});
    cell.LastModemStatus = kOff;
    EXPECT_TRUE(cell.ComPortDSR(stopped, kOn, 5000));  // at STOP's tick: still the run's
    cell.LastModemStatus = kOff;
    EXPECT_FALSE(cell.ComPortDSR(stopped, kOn, 5001));
    TRace ready;
    cell.LastModemStatus = kOff;
    EXPECT_FALSE(cell.ComPortDSR(ready, kOn, 5001));
}

// STOP locks the LED. An edge from before STOP that is handled after it is judged by the LED as
// it was when the finisher crossed the line.
TEST(Photocell, AnEdgeFromBeforeStopIsJudgedByTheLedOfThatMoment) {
    TRace armed = Running(0, true);
    armed.Apply(cmd::Stop{4000});
    TPhotocell cell;
    cell.LastModemStatus = kOff;
    EXPECT_TRUE(cell.ComPortDSR(armed, kOn, 3999));
    TRace locked = Running(0, false);
    locked.Apply(cmd::Stop{4000});
    cell.LastModemStatus = kOff;
    EXPECT_FALSE(cell.ComPortDSR(locked, kOn, 3999));
}
