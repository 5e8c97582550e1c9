#pragma once

#include <QByteArray>
#include <QString>

#include "live/livesnapshot.h"

// The snapshot as JSON, the body of /results.json and of every message to the page:
//   {"state":"running","header":[...],"rows":[{"cells":[...],"corrected":false,"note":""}],
//    "newest":2,"raceTimeMs":...,"resolution":2,"takenWallMs":...}
QByteArray LiveSnapshotJson(const LiveSnapshot& s);
// The body with the moment it is sent put in front: "now" (the server's wall clock, UTC ms) and
// "raceNowMs" (the race time at that moment), from which the page runs its clock.
QByteArray LiveStampedJson(const QByteArray& body, qint64 nowWallMs, qint64 raceNowMs);
// The race time at a moment: a running race carries on from when the snapshot was taken (on the
// steady clock when the snapshot has its reading, else on the wall clock); a stopped one keeps
// its final time; a ready one shows zero.
qint64 LiveRaceTimeAt(const LiveSnapshot& s, qint64 steadyNowMs, qint64 wallNowMs);
// "ready", "running", "stopped".
QString LiveStateName(LiveSnapshot::State state);
// Milliseconds of the steady clock, the reading LiveSnapshot::takenSteadyMs holds.
qint64 LiveSteadyNowMs();
