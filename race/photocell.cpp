#include "race/photocell.h"

#include "race/race.h"

namespace {
constexpr std::uint32_t kDsrOn = 0x0020;

cmd::Lap PhotocellLap(std::uint32_t tick) {
    cmd::Lap lap;
    lap.tick = tick;
    lap.source = LapSource::Photocell;
    lap.edgeTick = tick;
    return lap;
}
}  // namespace

std::optional<cmd::Lap> TPhotocell::ComPortDSR(const TRace& race, std::uint32_t modemStatus,
                                               std::uint32_t tick) {
    if (modemStatus == LastModemStatus) return std::nullopt;
    LastModemStatus = modemStatus;
    const bool dsr = (modemStatus & kDsrOn) != 0;
    switch (race.Settings().algorithm) {
        case 0:
            return dsr ? PhotocellTrigger(race, tick) : std::nullopt;
        case 1:
            return dsr ? std::nullopt : PhotocellTrigger(race, tick);
        case 2:
            // No arming needed: every edge on of the run counts, outside the lock-out.
            if (dsr && race.RunOpenAt(tick) && !race.LockedOutAt(tick)) return PhotocellLap(tick);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<cmd::Lap> TPhotocell::PhotocellTrigger(const TRace& race,
                                                      std::uint32_t tick) const {
    // STOP locks the LED; an edge from before STOP handled after it is judged by the LED as it was
    // then.
    const bool beforeStop = race.State() == RunState::Stopped && race.RunOpenAt(tick);
    const bool armed = beforeStop ? race.ArmedAtStop() : race.Armed();
    if (!armed || race.LockedOutAt(tick) || !race.RunOpenAt(tick)) return std::nullopt;
    return PhotocellLap(tick);
}
