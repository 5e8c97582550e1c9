#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "race/timetext.h"

// What the time display says to a screen reader. Row 1 changes every 10 ms while the clock runs;
// a screen reader is told about it once a second (whole seconds, truncated like the display), and
// of the exact time once the clock stops. Row 2, the latest finisher, is told when it changes.
class SpokenDisplay {
public:
    // Called for every time shown; returns the new text when it differs from the last one. Does
    // no formatting when nothing a listener would hear has changed.
    std::optional<QString> Show(int row, TRaceTime time, bool running, int resolution);
    const QString& Text() const { return text_; }

private:
    struct Row {
        std::int64_t key = -1;
        int resolution = -2;
        QString text;
    };
    Row rows_[2];
    QString text_;
};
