#include <algorithm>

#include "platform/serialdevice.h"

namespace {

// A bouncing contact can flip a line hundreds of times between two observations; a few dozen
// edges tell the program everything it can use, and the parity (the final level) is kept.
constexpr std::uint32_t kMaxEdges = 32;

std::uint32_t Capped(std::uint32_t edges) {
    if (edges <= kMaxEdges) return edges;
    return (edges & 1u) == (kMaxEdges & 1u) ? kMaxEdges : kMaxEdges - 1;
}

struct Line {
    std::uint32_t event;
    std::uint32_t status;
    std::uint32_t LineCounters::*counter;
};

constexpr Line kLines[] = {
    {EV_CTS, MS_CTS_ON, &LineCounters::cts},
    {EV_DSR, MS_DSR_ON, &LineCounters::dsr},
    {EV_RLSD, MS_RLSD_ON, &LineCounters::dcd},
};

}  // namespace

std::vector<CommEvent> CommEventsBetween(const LineState& before, const LineState& after,
                                         std::uint32_t evMask) {
    const bool counters = before.countersValid && after.countersValid;
    const bool status = before.statusValid && after.statusValid;

    std::uint32_t edges[std::size(kLines)] = {};
    std::uint32_t events = 0;
    for (std::size_t i = 0; i < std::size(kLines); ++i) {
        const Line& line = kLines[i];
        if (!(evMask & line.event)) continue;
        const bool flipped = status && ((before.modemStatus ^ after.modemStatus) & line.status);
        std::uint32_t k = flipped ? 1 : 0;
        if (counters) {
            k = Capped(after.counters.*line.counter - before.counters.*line.counter);
            // The level is the truth: a counter that disagrees with it (a driver that counts
            // only some edges) gets the missing edge.
            if (status && ((k & 1u) != 0) != flipped) ++k;
        }
        edges[i] = k;
        events = std::max(events, k);
    }

    std::uint32_t rings = 0;
    if (evMask & EV_RING) {
        if (counters)
            rings = std::min(after.counters.rng - before.counters.rng, kMaxEdges);
        else if (status)
            rings = !(before.modemStatus & MS_RING_ON) && (after.modemStatus & MS_RING_ON) ? 1 : 0;
        events = std::max(events, rings);
    }

    std::uint32_t tail = 0;
    if ((evMask & EV_RXCHAR) &&
        ((counters && after.counters.rx != before.counters.rx) || after.inQueue > before.inQueue))
        tail |= EV_RXCHAR;
    if ((evMask & EV_TXEMPTY) && before.outQueue > 0 && after.outQueue == 0) tail |= EV_TXEMPTY;
    if ((evMask & EV_BREAK) && counters && after.counters.brk != before.counters.brk)
        tail |= EV_BREAK;
    if ((evMask & EV_ERR) && counters &&
        (after.counters.frame != before.counters.frame ||
         after.counters.overrun != before.counters.overrun ||
         after.counters.parity != before.counters.parity ||
         after.counters.bufOverrun != before.counters.bufOverrun))
        tail |= EV_ERR;

    if (events == 0 && tail == 0) return {};
    events = std::max<std::uint32_t>(events, 1);

    // Each line's edges are the last ones before `after`: event j holds the lines whose edges
    // reach back that far, and a line's level in event j is its final level, flipped once for
    // every edge of it still to come.
    std::vector<CommEvent> result(events);
    for (std::uint32_t j = 0; j < events; ++j) {
        const std::uint32_t toCome = events - 1 - j;
        CommEvent& e = result[j];
        e.modemStatus = after.modemStatus;
        for (std::size_t i = 0; i < std::size(kLines); ++i) {
            if (edges[i] == 0) continue;
            if (j >= events - edges[i]) e.mask |= kLines[i].event;
            if (std::min(edges[i], toCome) & 1u) e.modemStatus ^= kLines[i].status;
        }
        if (rings > 0 && j >= events - rings) e.mask |= EV_RING;
    }
    result.back().mask |= tail;
    return result;
}

QString ComPortName(int port) {
    return QStringLiteral("COM") + QString::number(port);
}
