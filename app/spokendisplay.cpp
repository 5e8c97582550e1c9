#include "app/spokendisplay.h"

std::optional<QString> SpokenDisplay::Show(int row, TRaceTime time, bool running, int resolution) {
    Row& r = rows_[row == 1 ? 0 : 1];
    // A running clock is heard in whole seconds.
    const int heardResolution = running ? -1 : resolution;
    const std::int64_t key = running ? time / 1000 : time;
    if (key == r.key && heardResolution == r.resolution) return std::nullopt;
    r.key = key;
    r.resolution = heardResolution;
    if (row != 1 && time == 0)
        r.text.clear();  // no finisher yet
    else
        r.text = ::TimeToText(time, running ? 0 : resolution);
    QString text = rows_[0].text;
    if (!rows_[1].text.isEmpty()) text += QStringLiteral(", last finisher ") + rows_[1].text;
    if (text == text_) return std::nullopt;
    text_ = text;
    return text_;
}
