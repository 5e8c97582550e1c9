#pragma once

#include <vector>

#include "platform/tcolor.h"

// One text format of a grid column or row. A new entry is all zero: black on black, no styles,
// not active. Only active entries are applied when painting.
struct TFontSetting {
    TColor Color = clBlack;
    TColor BkColor = clBlack;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Active = false;

    bool operator==(const TFontSetting&) const = default;
};

using TFontList = std::vector<TFontSetting>;
