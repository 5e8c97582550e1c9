#pragma once

#include <cstdint>
#include <optional>

#include "race/racecommand.h"

class TRace;

// Which edges of the photocell's line record a finish: the trigger algorithm the race is timed
// with, the armed LED, the lock-out after the last counted edge, and whether the edge belongs to
// the run. Edges are judged by the tick they were seen at, however late they are handled.
class TPhotocell {
public:
    // The status word of the last edge that was not a repeat; no real status word has this value,
    // so the first edge after the program starts is always judged.
    std::uint32_t LastModemStatus = 0x55555555u;

    // The finish a line event records, if any.
    std::optional<cmd::Lap> ComPortDSR(const TRace& race, std::uint32_t modemStatus,
                                       std::uint32_t tick);

private:
    std::optional<cmd::Lap> PhotocellTrigger(const TRace& race, std::uint32_t tick) const;
};
