#pragma once

#include "race/racecommand.h"

// Commands as the window gives them, for tests of the race and its journal.
inline cmd::Lap LapAt(std::uint32_t tick, const QString& nr = {},
                      LapSource source = LapSource::Key) {
    cmd::Lap l;
    l.tick = tick;
    l.startNo = nr;
    l.source = source;
    if (source == LapSource::Photocell) l.edgeTick = tick;
    return l;
}
