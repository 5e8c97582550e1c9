#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "platform/tickcounter.h"

// Text form of a race time at a resolution (0 whole seconds, 1 tenths, 2 hundredths):
// H:MM.SS,hh with leading zeros and separators trimmed. Truncates, never rounds.
QString TimeToText(TRaceTime time, int resolution);
// A race time typed or read back as the program writes it: "1.02,35", "2:10.05,27", "12,5", "7";
// also "0:01:02,35" with colons, as stopwatches show it. The resolution is what its fraction
// says (two digits hundredths, one tenths, none whole seconds; three digits are milliseconds,
// kept as hundredths). Nothing for any other text, a field out of range (61 minutes under an
// hour, 75 seconds under a minute) or a time beyond the 24.8 days a race time can hold.
struct ParsedTime {
    TRaceTime ms = 0;
    int resolution = 2;
};
std::optional<ParsedTime> ParseTimeText(const QString& text);
// How the operator is told to type a time.
QString TimeTextExample();

// Drops leading characters up to the first of 1..9, at most seven, so the seconds' units digit
// and what follows always stay.
QString TrimLeadingZeros(const QString& text);

// A race time split into what a display row shows. Hours are modulo 100.
struct TimeParts {
    int hours = 0, minutes = 0, seconds = 0, hundredths = 0;
};
TimeParts SplitTime(TRaceTime time);

// The seven digits of a display row, left to right: hour units, minute tens, minute units,
// second tens, second units, tenths, hundredths; with whether each is lit. Row 1 keeps its last
// three digits lit always; row 2 lights from the seconds on once the time is not zero.
struct RowDigits {
    std::array<int, 7> value{};
    std::array<bool, 7> lit{};
};
RowDigits DisplayRow(int row, const TimeParts& parts);

// Average speed in km/h with one decimal in the regional format, the exact quotient rounded half
// away from zero. A lap in the same tick as the start has no speed to show: its text is "0.0" in
// the regional format, like a distance of 0.
QString SpeedText(std::int32_t metres, TRaceTime elapsed);

class QDateTime;
// "yyyy-mm-dd-hh-mm" of a local time, digits and hyphens only: names saved files and page titles.
QString DateStamp(const QDateTime& when);
QString DateStamp();  // now
