// The float edit's key filter and its text-to-value, under "," and "." as separator.
#include <cmath>

#include "tests/fuzz/fuzzsupport.h"
#include "widgets/floatkeyfilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzOne([&] {
        FuzzedDataProvider in(data, size);
        const QChar sep = in.ConsumeBool() ? QLatin1Char(',') : QLatin1Char('.');
        const int digits = in.ConsumeIntegralInRange<int>(0, 18);

        // Text to value: a value that reads is finite, and its text at any number of decimals
        // reads back as the value rounded to those decimals.
        const QString typed = AnyText(in, 40, TextKind::Any);
        if (const std::optional<Extended> v = TextToFloat(typed, sep)) {
            FUZZ_CHECK(std::isfinite(*v));
            const QString text = FloatToText(*v, digits, sep);
            const std::optional<Extended> back = TextToFloat(text, sep);
            FUZZ_CHECK(back.has_value());
            const Extended tolerance =
                std::pow(Extended(10), Extended(-digits)) / 2 + std::fabs(*v) * Extended(1e-17);
            FUZZ_CHECK(std::fabs(*back - *v) <= tolerance * (1 + Extended(1e-12)));
        }

        // The key filter on whatever the field holds, with a selection as a line edit reports
        // it (inside the text or just beyond).
        TFloatKeyInput key;
        key.text = AnyText(in, 12, TextKind::Any);
        const int len = int(key.text.size());
        key.selStart = in.ConsumeIntegralInRange<int>(-2, len + 2);
        key.selLength = in.ConsumeIntegralInRange<int>(-2, len + 2);
        key.key = in.ConsumeBool()
                      ? QChar(u"0123456789-e.,\r\n\x1b\b E+"[in.ConsumeIntegralInRange<int>(0, 19)])
                      : QChar(in.ConsumeIntegral<char16_t>());
        key.min = Extended(in.ConsumeFloatingPointInRange<double>(-1e6, 1e6));
        key.max = key.min + Extended(in.ConsumeFloatingPointInRange<double>(0, 1e6));
        key.digits = digits;
        key.decimalChar = sep;
        const TFloatKeyDecision d = DecideFloatKey(key);
        switch (d.action) {
            case TFloatKeyAction::Accept: {
                // What is accepted is a number within the limits with at most the allowed
                // decimals, and the caret stands right after the typed character.
                const std::optional<Extended> v = TextToFloat(d.text, sep);
                FUZZ_CHECK(v.has_value() && *v >= key.min && *v <= key.max);
                FUZZ_CHECK(d.text.size() <= key.text.size() + 1);
                FUZZ_CHECK(d.selLength == 0 && d.selStart >= 1 && d.selStart <= d.text.size());
                FUZZ_CHECK(d.text[d.selStart - 1] == key.key);
                break;
            }
            case TFloatKeyAction::MinusZero:
                FUZZ_CHECK(d.text == "-0" && key.key == u'-');
                break;
            case TFloatKeyAction::SeparatorZero:
                FUZZ_CHECK(key.key == sep && d.text == QString(u'0') + sep + u'0');
                break;
            case TFloatKeyAction::EnterPress:
            case TFloatKeyAction::Escape:
            case TFloatKeyAction::PassControl:
                FUZZ_CHECK(key.key.unicode() < 0x20);
                break;
            case TFloatKeyAction::Refuse:
                FUZZ_CHECK(d.text == key.text);
                break;
        }
    });
}
