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

// The levels of the lines that have edges (ring is counted on its trailing edge only).
constexpr std::uint32_t EV_MODEM_LEVELS = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;

std::int32_t TickAfter(std::uint32_t later, std::uint32_t earlier) {
    return static_cast<std::int32_t>(later - earlier);
}

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
        const std::uint32_t k =
            counters ? Capped(after.counters.*line.counter - before.counters.*line.counter)
                     : (flipped ? 1 : 0);
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

    // The counted lines end where their count takes them from `before`, whatever the level
    // says; the other lines are as `after` shows them.
    std::uint32_t final = after.modemStatus;
    if (counters)
        for (std::size_t i = 0; i < std::size(kLines); ++i) {
            if (!(evMask & kLines[i].event)) continue;
            const std::uint32_t bit = kLines[i].status;
            final = (final & ~bit) | ((before.modemStatus & bit) ^ ((edges[i] & 1u) ? bit : 0));
        }

    // Each line's edges are the last ones before `after`: event j holds the lines whose edges
    // reach back that far, and a line's level in event j is its final level, flipped once for
    // every edge of it still to come.
    std::vector<CommEvent> result(events);
    for (std::uint32_t j = 0; j < events; ++j) {
        const std::uint32_t toCome = events - 1 - j;
        CommEvent& e = result[j];
        e.modemStatus = final;
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

bool LineMoved(const LineState& since, const LineState& now, std::uint32_t evMask) {
    if (since.error || now.error) return since.error != now.error;
    if (now.statusValid != since.statusValid || now.countersValid != since.countersValid)
        return true;
    std::uint32_t levels = 0;
    for (const Line& line : kLines)
        if (evMask & line.event) levels |= line.status;
    if (evMask & EV_RING) levels |= MS_RING_ON;
    if ((since.modemStatus ^ now.modemStatus) & levels) return true;
    if (now.countersValid) {
        for (const Line& line : kLines)
            if ((evMask & line.event) && since.counters.*line.counter != now.counters.*line.counter)
                return true;
        if ((evMask & EV_RING) && since.counters.rng != now.counters.rng) return true;
    }
    return !CommEventsBetween(since, now, evMask & ~EV_MODEM_LINES).empty();
}

bool LineCaughtUp(const LineState& ahead, const LineState& behind, std::uint32_t evMask) {
    if (behind.error) return true;
    if (!ahead.countersValid || !behind.countersValid)
        return static_cast<std::int32_t>(ahead.lookTick - behind.lookTick) >= 0;
    for (const Line& line : kLines)
        if ((evMask & line.event) &&
            static_cast<std::int32_t>(ahead.counters.*line.counter - behind.counters.*line.counter) <
                0)
            return false;
    return true;
}

void LineEdges::Baseline(const LineState& look) {
    last_ = look;
    level_ = look.modemStatus;
    for (int i = 0; i < kLineCount; ++i) {
        debtSince_[i].reset();
        credit_[i].reset();
    }
}

std::vector<LineEdge> LineEdges::Next(const LineState& look) {
    // How long an unpaid level may wait for the count that takes it back: a driver that lost
    // the edge never pays it, and a late count must not swallow a real edge much later.
    constexpr std::int32_t kCreditMs = 1000;
    std::vector<LineEdge> out;
    LineState before = last_;
    before.modemStatus = (look.modemStatus & ~EV_MODEM_LEVELS) | (level_ & EV_MODEM_LEVELS);
    const bool counted = before.countersValid && look.countersValid;
    if (counted)
        for (int i = 0; i < kLineCount; ++i) {
            if (!credit_[i]) continue;
            std::uint32_t& c = before.counters.*kLines[i].counter;
            if (TickAfter(look.lookTick, *credit_[i]) > kCreditMs)
                credit_[i].reset();
            else if (look.counters.*kLines[i].counter != c) {
                ++c;  // the count of the edge the level already gave
                credit_[i].reset();
            }
        }
    const std::vector<CommEvent> events = CommEventsBetween(before, look, evMask_);
    // Each edge is stamped with the earliest evidence of it: the first earlier reading whose
    // count already includes it, the look's own evidence for the first edge, else the look.
    const auto n = std::uint32_t(events.size());
    for (std::uint32_t j = 0; j < n; ++j) {
        std::uint32_t stamp = j == 0 ? look.tick : look.lookTick;
        if (counted && !look.sightings.empty()) {
            std::optional<std::uint32_t> seen;  // the latest of the lines' first sightings
            bool all = true;
            for (const Line& line : kLines) {
                if (!(events[j].mask & line.event)) continue;
                const std::uint32_t delta =
                    look.counters.*line.counter - before.counters.*line.counter;
                const std::uint32_t k = std::min(Capped(delta), n);
                if (j < n - k) continue;
                // The line's edges in the list are its last k: this one is number
                // delta - k + (j - (n - k)) + 1 since `before`.
                const auto needed = std::int64_t(delta - k + (j - (n - k)) + 1);
                std::optional<std::uint32_t> first;
                for (const Sighting& s : look.sightings)
                    if (TickAfter(s.counters.*line.counter, before.counters.*line.counter) >=
                        needed) {
                        first = s.tick;
                        break;
                    }
                if (!first) {
                    all = false;
                    break;
                }
                if (!seen || TickAfter(*first, *seen) > 0) seen = first;
            }
            if (all && seen && TickAfter(stamp, *seen) > 0) stamp = *seen;
        }
        out.push_back({events[j].mask, events[j].modemStatus, stamp});
    }
    if (!events.empty()) level_ = events.back().modemStatus & EV_MODEM_LEVELS;
    else if (!counted) level_ = look.modemStatus & EV_MODEM_LEVELS;

    if (counted && look.statusValid)
        for (int i = 0; i < kLineCount; ++i) {
            const Line& line = kLines[i];
            if (!(evMask_ & line.event) || !((look.modemStatus ^ level_) & line.status)) {
                debtSince_[i].reset();
                continue;
            }
            if (!debtSince_[i]) {
                debtSince_[i] = look.lookTick;
                continue;
            }
            if (TickAfter(look.lookTick, *debtSince_[i]) < std::int32_t(kLevelWinsMs)) continue;
            // The count never came: the level wins, as of the look that first saw it.
            level_ ^= line.status;
            out.push_back({line.event,
                           (look.modemStatus & ~EV_MODEM_LEVELS) | (level_ & EV_MODEM_LEVELS),
                           *debtSince_[i]});
            credit_[i] = look.lookTick;
            debtSince_[i].reset();
        }
    last_ = look;
    return out;
}

std::optional<std::uint32_t> LineEdges::Deadline() const {
    std::optional<std::uint32_t> first;
    for (const auto& debt : debtSince_)
        if (debt) {
            const std::uint32_t due = *debt + kLevelWinsMs;
            if (!first || TickAfter(due, *first) < 0) first = due;
        }
    return first;
}

QString ComPortName(int port) {
    return QStringLiteral("COM") + QString::number(port);
}
