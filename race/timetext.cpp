#include "race/timetext.h"

#include <QDateTime>
#include <QLocale>

namespace {
QString Pad(int v) {
    return QString::number(v).rightJustified(2, QLatin1Char('0'));
}
}  // namespace

QString TrimLeadingZeros(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && !(text[i] >= QLatin1Char('1') && text[i] <= QLatin1Char('9')))
        ++i;
    if (i > 7) i = 7;
    return text.mid(i);
}

QString TimeToText(TRaceTime time, int resolution) {
    const std::int32_t t = time / 10;
    QString result = Pad((t / 100) % 60);
    if (resolution > 0) {
        const QString f = resolution == 1 ? QString::number((t / 10) % 10) : Pad(t % 100);
        result += QLatin1Char(',') + f;
    }
    result = Pad((t / 6000) % 60) + QLatin1Char('.') + result;
    result = Pad((t / 360000) % 100) + QLatin1Char(':') + result;
    return TrimLeadingZeros(result);
}

TimeParts SplitTime(TRaceTime time) {
    const std::int32_t t = time / 10;
    TimeParts p;
    p.hundredths = t % 100;
    p.seconds = (t / 100) % 60;
    p.minutes = (t / 6000) % 60;
    p.hours = (t / 360000) % 100;
    return p;
}

RowDigits DisplayRow(int row, const TimeParts& p) {
    const int H = p.hours, M = p.minutes, S = p.seconds, K = p.hundredths;
    RowDigits d;
    d.value = {H % 10, M / 10, M % 10, S / 10, S % 10, K / 10, K % 10};
    d.lit[0] = H > 0;
    d.lit[1] = H + M / 10 > 0;
    d.lit[2] = H + M > 0;
    d.lit[3] = H + M + S / 10 > 0;
    if (row == 1) {
        d.lit[4] = d.lit[5] = d.lit[6] = true;
    } else {
        d.lit[4] = d.lit[5] = d.lit[6] = H + M + S + K > 0;
    }
    return d;
}

QString SpeedText(std::int32_t metres, TRaceTime elapsed) {
    // km/h = metres / ms * 3600; in tenths, metres * 36000 / ms. Rounded on the exact quotient,
    // halves away from zero, so a tie such as 4.35 shows 4.4: a binary floating-point value of it
    // may lie just below the half and print a tenth low.
    std::int64_t tenths = 0;
    if (elapsed != 0) {
        const std::int64_t num = std::int64_t(metres) * 36000;
        const std::int64_t den = elapsed;
        const bool negative = (num < 0) != (den < 0);
        const std::uint64_t n = num < 0 ? std::uint64_t(-num) : std::uint64_t(num);
        const std::uint64_t d = den < 0 ? std::uint64_t(-den) : std::uint64_t(den);
        const std::uint64_t q = n / d + (2 * (n % d) >= d ? 1 : 0);
        tenths = negative ? -std::int64_t(q) : std::int64_t(q);
    }
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    // A whole number of tenths divided by ten is the double nearest to it, far closer than the
    // half tenth that one decimal could round away: the text is exactly those tenths.
    return locale.toString(static_cast<double>(tenths) / 10.0, 'f', 1);
}

QString DateStamp(const QDateTime& when) {
    return when.toString(QStringLiteral("yyyy-MM-dd-HH-mm"))
        .replace(QLatin1Char(' '), QLatin1Char('0'));
}

QString DateStamp() {
    return DateStamp(QDateTime::currentDateTime());
}
