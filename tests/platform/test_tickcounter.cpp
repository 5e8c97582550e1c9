#include <gtest/gtest.h>

#include "platform/tickcounter.h"

TEST(TickCounter, ManualClockReplacesAndRestoresTheSystemClock) {
    {
        ScopedManualClock clock(1000);
        EXPECT_EQ(GetTickCount(), 1000u);
        clock.Advance(250);
        EXPECT_EQ(GetTickCount(), 1250u);
    }
    const auto a = GetTickCount();
    const auto b = GetTickCount();
    EXPECT_LE(TickDiff(b, a), 1000);
    EXPECT_GE(TickDiff(b, a), 0);
}

TEST(TickCounter, DifferencesSurviveTheWrap) {
    ScopedManualClock clock(0xFFFFFF00u);
    const auto start = GetTickCount();
    clock.Advance(0x200);  // wraps past 2^32
    EXPECT_LT(GetTickCount(), start);
    EXPECT_EQ(TickDiff(GetTickCount(), start), 0x200);
}

TEST(TickCounter, DifferenceReadsAsSigned) {
    EXPECT_EQ(TickDiff(5, 10), -5);
    EXPECT_EQ(TickDiff(0x7FFFFFFFu, 0), 0x7FFFFFFF);
    EXPECT_EQ(TickDiff(0x80000000u, 0), INT32_MIN);
}
