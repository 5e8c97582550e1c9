// Colour text and the text format entries built from it.
#include "grid/protocolfile.h"
#include "platform/tcolor.h"
#include "tests/fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzOne([&] {
        const QString text =
            QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
        // A colour that reads is written in a form that reads as the same colour.
        if (const std::optional<TColor> c = StringToColor(text)) {
            const QString written = ColorToString(*c);
            FUZZ_CHECK(StringToColor(written) == c);
            FUZZ_CHECK(written.startsWith(u'$') ? written.size() == 9 : written.startsWith("cl"));
        }
        // A format entry that reads is written and read back as the same entry, never active.
        if (const std::optional<TFontSetting> s = ParseFontSetting(text)) {
            FUZZ_CHECK(!s->Active);
            FUZZ_CHECK(ParseFontSetting(FontSettingText(*s)) == s);
        }
        // Any 32-bit value has a text that reads back as that value.
        FuzzedDataProvider in(data, size);
        const TColor any = in.ConsumeIntegral<TColor>();
        FUZZ_CHECK(StringToColor(ColorToString(any)) == any);
        FUZZ_CHECK(StringToColor(ColorToString(any).toLower()) == any);
    });
}
