#pragma once

#include <optional>
#include <vector>

#include "journal/journalformat.h"
#include "race/race.h"
#include "race/racecommand.h"

// The journal is the race's command log: one record per command, and a restore applies the
// records' commands to a new race, through the same code that timed it.
JournalRecord RecordOf(const RaceCommand& command);
// The command of a record; none for a record type this version does not know (a later version's
// addition), so that it is passed over.
std::optional<RaceCommand> CommandOf(const JournalRecord& record);

// The race a list of records makes.
TRace Replay(const std::vector<JournalRecord>& records);
// Applies one record to a race; false when it was passed over.
bool ApplyRecord(TRace& race, const JournalRecord& record);
