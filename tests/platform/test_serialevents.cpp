#include <gtest/gtest.h>

#include "platform/serialdevice.h"

namespace {

LineState State(std::uint32_t status, std::uint32_t dsr = 0, std::uint32_t cts = 0) {
    LineState s;
    s.statusValid = true;
    s.countersValid = true;
    s.modemStatus = status;
    s.counters.dsr = dsr;
    s.counters.cts = cts;
    return s;
}

using Events = std::vector<CommEvent>;

}  // namespace

TEST(CommEvents, OneEdgeIsOneEventCarryingTheNewStatus) {
    EXPECT_EQ(CommEventsBetween(State(0), State(MS_DSR_ON, 1), EV_DSR),
              (Events{{EV_DSR, MS_DSR_ON}}));
    EXPECT_EQ(CommEventsBetween(State(MS_DSR_ON, 1), State(0, 2), EV_DSR), (Events{{EV_DSR, 0}}));
    EXPECT_TRUE(CommEventsBetween(State(MS_DSR_ON, 4), State(MS_DSR_ON, 4), 0x1FF).empty());
}

TEST(CommEvents, EdgesTheWatcherMissedAreRebuiltInOrder) {
    // A pulse that came and went between two looks: on, then off.
    EXPECT_EQ(CommEventsBetween(State(0, 0), State(0, 2), EV_DSR),
              (Events{{EV_DSR, MS_DSR_ON}, {EV_DSR, 0}}));
    // The same from a line that rests on.
    EXPECT_EQ(CommEventsBetween(State(MS_DSR_ON, 5), State(MS_DSR_ON, 7), EV_DSR),
              (Events{{EV_DSR, 0}, {EV_DSR, MS_DSR_ON}}));
    // Three edges end on the opposite level.
    EXPECT_EQ(CommEventsBetween(State(0, 0), State(MS_DSR_ON, 3), EV_DSR),
              (Events{{EV_DSR, MS_DSR_ON}, {EV_DSR, 0}, {EV_DSR, MS_DSR_ON}}));
    // The counters wrap.
    EXPECT_EQ(CommEventsBetween(State(0, 0xFFFFFFFFu), State(MS_DSR_ON, 0), EV_DSR),
              (Events{{EV_DSR, MS_DSR_ON}}));
}

TEST(CommEvents, LinesChangingTogetherShareAnEvent) {
    EXPECT_EQ(CommEventsBetween(State(0), State(MS_CTS_ON | MS_DSR_ON, 1, 1), 0x1FF),
              (Events{{EV_CTS | EV_DSR, MS_CTS_ON | MS_DSR_ON}}));
    // A DSR pulse and one CTS edge: the CTS edge goes with the last DSR edge, and the first
    // event shows CTS still at its old level.
    EXPECT_EQ(CommEventsBetween(State(0), State(MS_CTS_ON, 2, 1), EV_CTS | EV_DSR),
              (Events{{EV_DSR, MS_DSR_ON}, {EV_CTS | EV_DSR, MS_CTS_ON}}));
}

TEST(CommEvents, OnlyWatchedEventsCount) {
    EXPECT_TRUE(CommEventsBetween(State(0), State(MS_CTS_ON, 0, 1), EV_DSR).empty());
    // The status still tells the whole truth about the other lines.
    EXPECT_EQ(CommEventsBetween(State(0), State(MS_CTS_ON | MS_DSR_ON, 1, 1), EV_DSR),
              (Events{{EV_DSR, MS_CTS_ON | MS_DSR_ON}}));
    EXPECT_TRUE(CommEventsBetween(State(0), State(MS_DSR_ON, 1), 0).empty());
}

TEST(CommEvents, WithoutCountersTheLevelsDecide) {
    LineState before = State(0), after = State(MS_DSR_ON);
    before.countersValid = after.countersValid = false;
    EXPECT_EQ(CommEventsBetween(before, after, EV_DSR), (Events{{EV_DSR, MS_DSR_ON}}));
    EXPECT_TRUE(CommEventsBetween(before, before, EV_DSR).empty());
    // With counters, a level they do not show is no edge (yet): see LineEdges.
    EXPECT_TRUE(CommEventsBetween(State(0, 3), State(MS_DSR_ON, 3), EV_DSR).empty());
    // No modem lines at all (a pseudo-terminal): nothing to report.
    LineState none;
    EXPECT_TRUE(CommEventsBetween(none, none, 0x1FF).empty());
}

TEST(CommEvents, DataRingBreakAndErrorsRideOnTheLastEvent) {
    LineState before = State(0), after = State(0);
    after.counters.rx = 3;
    EXPECT_EQ(CommEventsBetween(before, after, 0x1FF), (Events{{EV_RXCHAR, 0}}));
    EXPECT_TRUE(CommEventsBetween(before, after, EV_DSR).empty());

    after = State(0, 2);
    after.counters.brk = 1;
    after.counters.frame = 1;
    after.counters.rng = 1;
    EXPECT_EQ(CommEventsBetween(before, after, 0x1FF),
              (Events{{EV_DSR, MS_DSR_ON}, {EV_DSR | EV_RING | EV_BREAK | EV_ERR, 0}}));

    // Without counters: bytes waiting that were not there before, a transmit queue run dry.
    LineState b, a;
    a.inQueue = 4;
    EXPECT_EQ(CommEventsBetween(b, a, EV_RXCHAR), (Events{{EV_RXCHAR, 0}}));
    b.outQueue = 10;
    a.outQueue = 0;
    EXPECT_EQ(CommEventsBetween(b, a, EV_TXEMPTY), (Events{{EV_TXEMPTY, 0}}));
}

TEST(CommEvents, ABouncingContactIsCappedButEndsAtTheTrueLevel) {
    const Events events = CommEventsBetween(State(0, 0), State(MS_DSR_ON, 1001), EV_DSR);
    ASSERT_LE(events.size(), 33u);
    EXPECT_EQ(events.size() % 2, 1u);
    EXPECT_EQ(events.front().modemStatus, MS_DSR_ON);
    EXPECT_EQ(events.back().modemStatus, MS_DSR_ON);
    for (std::size_t i = 1; i < events.size(); ++i)
        EXPECT_NE(events[i].modemStatus, events[i - 1].modemStatus);
}

namespace {
LineState Look(std::uint32_t status, std::uint32_t dsr, std::uint32_t tick) {
    LineState s = State(status, dsr);
    s.tick = s.lookTick = tick;
    return s;
}
using Edges = std::vector<LineEdge>;
}  // namespace

// ftdi_sio: the level is read live, the counter moves with the next status packet. The level
// that runs ahead is a debt the packet pays: one beam break is two edges, never more.
TEST(LineEdges, ALevelAheadOfTheCountersIsADebtTheNextCountPays) {
    LineEdges edges(EV_DSR);
    edges.Baseline(Look(0, 0, 100));
    EXPECT_EQ(edges.Next(Look(MS_DSR_ON, 0, 104)), Edges{});  // the beam broke; no packet yet
    EXPECT_EQ(edges.Deadline(), std::optional<std::uint32_t>(124));
    EXPECT_EQ(edges.Next(Look(MS_DSR_ON, 0, 108)), Edges{});
    EXPECT_EQ(edges.Next(Look(MS_DSR_ON, 1, 116)), (Edges{{EV_DSR, MS_DSR_ON, 116}}));
    EXPECT_FALSE(edges.Deadline());
    // The beam back, and a packet that counts both the end of this break and a whole short one.
    EXPECT_EQ(edges.Next(Look(0, 1, 140)), Edges{});
    EXPECT_EQ(edges.Next(Look(0, 4, 150)),
              (Edges{{EV_DSR, 0, 150}, {EV_DSR, MS_DSR_ON, 150}, {EV_DSR, 0, 150}}));
}

// A level that disagrees for longer than a status packet can take wins, once, stamped by the
// look that first saw it; the count that comes after all is that same edge.
TEST(LineEdges, ALastingDisagreementLetsTheLevelWinOnce) {
    LineEdges edges(EV_DSR);
    edges.Baseline(Look(0, 7, 1000));
    EXPECT_EQ(edges.Next(Look(MS_DSR_ON, 7, 1003)), Edges{});
    EXPECT_EQ(edges.Next(Look(MS_DSR_ON, 7, 1022)), Edges{});
    EXPECT_EQ(edges.Next(Look(MS_DSR_ON, 7, 1023)), (Edges{{EV_DSR, MS_DSR_ON, 1003}}));
    EXPECT_FALSE(edges.Deadline());
    EXPECT_EQ(edges.Next(Look(MS_DSR_ON, 8, 1030)), Edges{});  // the late count pays it
    EXPECT_EQ(edges.Next(Look(0, 9, 1100)), (Edges{{EV_DSR, 0, 1100}}));
}

// Stamps: the first edge of a look carries the tick of its evidence (the wait it woke), the
// ones the same look found after it the tick of the look.
TEST(LineEdges, TheFirstEdgeKeepsItsEvidenceTheRestTheLook) {
    LineEdges edges(EV_DSR);
    edges.Baseline(Look(0, 0, 10));
    LineState look = Look(MS_DSR_ON, 3, 25);
    look.tick = 20;
    EXPECT_EQ(edges.Next(look),
              (Edges{{EV_DSR, MS_DSR_ON, 20}, {EV_DSR, 0, 25}, {EV_DSR, MS_DSR_ON, 25}}));
}
