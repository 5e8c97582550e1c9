#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

// What the live results page shows: the result list as the window shows it, the run state and
// the clock. Made on the window's thread and handed over whole, never changed afterwards, so the
// server's thread reads it without a lock.
struct LiveRow {
    QStringList cells;          // as the window shows them
    bool corrected = false;     // a corrected or inserted row
    QString note;               // what was changed, from what, when; empty when not corrected
};

struct LiveSnapshot {
    enum class State { Ready, Running, Stopped };
    State state = State::Ready;
    QStringList header;              // row 0 of the list ("Rang", "Nr.", ... or an opened file's)
    std::vector<LiveRow> rows;       // rows 1.. as shown, in order; empty rows left out
    int newest = -1;                 // index into rows of the newest finisher, -1 for none
    qint64 raceTimeMs = 0;           // race time at takenWallMs (running/final), 0 when ready
    int resolution = 2;              // 0 s, 1 tenths, 2 hundredths: how the page shows the clock
    qint64 takenWallMs = 0;          // UTC ms since the epoch: the page's "last update"
    QByteArray csv;                  // the semicolon file of the list, bytes exactly as saved
    // Milliseconds of the steady clock (LiveSteadyNowMs, CLOCK_MONOTONIC here) when the snapshot
    // was taken: a running clock is carried forward from it, immune to steps of the wall clock.
    // 0 when unknown, then the wall clock carries it.
    qint64 takenSteadyMs = 0;
};
