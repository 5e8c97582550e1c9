#pragma once

#include <QChar>
#include <QString>
#include <optional>

// Values of the float edit are extended precision, as the limits and the increment are.
using Extended = long double;

// The text of a value: fixed-point with exactly `digits` decimals (after rounding to 18
// significant digits), `decimalChar` as separator, "-" for negative values, no grouping.
// Values with more than 18 integer digits fall back to d.ddddE+nn.
QString FloatToText(Extended value, int digits, QChar decimalChar);

// The number grammar of the edit: optional blanks, optional sign, digits, optionally the
// separator and digits, optionally E or e with optional sign and digits, optional blanks. A digit
// or the separator must follow the sign; the separator alone reads as 0; "1e" reads as 1.
// Overflow fails; a value too small to represent reads as 0.
std::optional<Extended> TextToFloat(const QString& text, QChar decimalChar);

// What the edit does with one typed character.
enum class TFloatKeyAction {
    EnterPress,     // Enter or line feed: raise OnEnterPress, then discard
    Escape,         // restore the value from focus entry, select all, discard
    PassControl,    // other control character: the edit processes it unfiltered
    Refuse,         // discard
    MinusZero,      // the text becomes "-0" with the 0 selected
    SeparatorZero,  // the text becomes 0, separator, 0 with the last 0 selected
    Accept,         // the edit inserts the character
};

struct TFloatKeyInput {
    QString text;
    int selStart = 0;
    int selLength = 0;
    QChar key;
    Extended min = 0;
    Extended max = 100;
    int digits = 1;
    QChar decimalChar = QLatin1Char('.');
};

struct TFloatKeyDecision {
    TFloatKeyAction action = TFloatKeyAction::Refuse;
    // The text the edit then shows (for Accept: the candidate) and the selection to set.
    QString text;
    int selStart = 0;
    int selLength = 0;
};

// The key filter: decides from the text, the selection and the limits whether a typed character
// keeps the text a number within the limits and the allowed decimals.
TFloatKeyDecision DecideFloatKey(const TFloatKeyInput& in);
