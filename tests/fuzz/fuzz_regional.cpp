// The regional number, date and time parsers of the sort, under a "," and a "." locale.
#include <QLocale>
#include <cmath>

#include "grid/sortcompare.h"
#include "tests/fuzz/fuzzsupport.h"

namespace {

const RegionalParser& Parser(bool comma) {
    static const RegionalParser german{QLocale(QLocale::German, QLocale::Germany)};
    static const RegionalParser english{QLocale(QLocale::English, QLocale::UnitedStates)};
    return comma ? german : english;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzOne([&] {
        FuzzedDataProvider in(data, size);
        const bool comma = in.ConsumeBool();
        const RegionalParser& parser = Parser(comma);
        const QLocale locale = comma ? QLocale(QLocale::German, QLocale::Germany)
                                     : QLocale(QLocale::English, QLocale::UnitedStates);
        const QString text = in.ConsumeBool()
                                 ? QString::fromUtf8(in.ConsumeRemainingBytesAsString().c_str())
                                 : AnyText(in, 40, TextKind::Any);
        // Numbers are finite (no infinities), and their regional text reads back as them.
        if (const std::optional<double> v = parser.Number(text)) {
            FUZZ_CHECK(std::isfinite(*v));
            QLocale plain = locale;
            plain.setNumberOptions(QLocale::OmitGroupSeparator);
            FUZZ_CHECK(parser.Number(plain.toString(*v, 'g', 17)) == v);
        }
        // A time of day is within the day.
        if (const std::optional<int> t = parser.Time(text)) FUZZ_CHECK(*t >= 0 && *t < 86400000);
        // A date parses whatever follows it; the same text with blanks around it reads the same.
        const std::optional<qint64> when = parser.DateTime(text);
        FUZZ_CHECK(parser.DateTime(QStringLiteral("  ") + text + QStringLiteral(" ")) == when);
        // The comparisons built on them are antisymmetric.
        const QString other = AnyText(in, 12, TextKind::Any);
        for (int (*compare)(const QString&, const QString&) :
             {&CompareNumeric, &CompareDateTime, &CompareTime}) {
            const int ab = compare(text, other), ba = compare(other, text);
            FUZZ_CHECK((ab > 0) == (ba < 0) && (ab == 0) == (ba == 0));
        }
    });
}
