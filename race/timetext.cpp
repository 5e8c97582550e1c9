#include "race/timetext.h"

#include <QDateTime>
#include <QLocale>
#include <cstdint>

namespace {
void PutTwo(char* at, int v) {
    at[0] = char('0' + v / 10);
    at[1] = char('0' + v % 10);
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
    // A time before its reference is no race time any row should show; should one come, it
    // reads as its size behind a minus sign, never as a mix of signs such as "0,-3".
    if (time < 0)
        return QLatin1Char('-') + TimeToText(time == INT32_MIN ? INT32_MAX : -time, resolution);
    // H:MM.SS,hh built in place, written with every leading zero, then trimmed: on every LAP.
    const std::int32_t t = time / 10;
    char text[12] = "00:00.00,00";
    PutTwo(text, (t / 360000) % 100);
    PutTwo(text + 3, (t / 6000) % 60);
    PutTwo(text + 6, (t / 100) % 60);
    int length = 8;
    if (resolution == 1) {
        text[9] = char('0' + (t / 10) % 10);
        length = 10;
    } else if (resolution > 0) {
        PutTwo(text + 9, t % 100);
        length = 11;
    }
    int i = 0;
    while (i < 7 && !(text[i] >= '1' && text[i] <= '9'))
        ++i;
    return QString::fromLatin1(text + i, length - i);
}

std::optional<ParsedTime> ParseTimeText(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 20) return std::nullopt;
    // The fraction after the comma; then up to three fields before it, largest first.
    qsizetype comma = t.indexOf(QLatin1Char(','));
    QString whole = comma < 0 ? t : t.left(comma);
    const QString fraction = comma < 0 ? QString() : t.mid(comma + 1);
    if (fraction.size() > 3 || (comma >= 0 && fraction.isEmpty())) return std::nullopt;
    for (const QChar c : fraction)
        if (!c.isDigit()) return std::nullopt;
    // "H:MM.SS" as the program writes it, or "H:MM:SS" / "MM:SS" as a stopwatch does.
    QStringList fields;
    QString field;
    int separators = 0;
    for (const QChar c : whole) {
        if (c.isDigit() && c.unicode() < 128) {
            field += c;
        } else if (c == QLatin1Char(':') || c == QLatin1Char('.')) {
            if (field.isEmpty()) return std::nullopt;
            fields << field;
            field.clear();
            ++separators;
        } else {
            return std::nullopt;
        }
    }
    if (field.isEmpty() || fields.size() > 2) return std::nullopt;
    fields << field;
    // In the program's own form the hours end with ':' and the minutes with '.'; a '.' never
    // ends the hours.
    if (fields.size() == 3 && whole.indexOf(QLatin1Char('.')) >= 0 &&
        whole.indexOf(QLatin1Char('.')) < whole.indexOf(QLatin1Char(':')))
        return std::nullopt;
    qint64 hours = 0, minutes = 0, seconds = 0;
    bool ok = true;
    seconds = fields.takeLast().toLongLong(&ok);
    if (!ok) return std::nullopt;
    if (!fields.isEmpty()) {
        minutes = fields.takeLast().toLongLong(&ok);
        if (!ok || seconds >= 60) return std::nullopt;
    }
    if (!fields.isEmpty()) {
        hours = fields.takeLast().toLongLong(&ok);
        if (!ok || minutes >= 60) return std::nullopt;
    }
    qint64 ms = ((hours * 60 + minutes) * 60 + seconds) * 1000;
    if (!fraction.isEmpty()) ms += fraction.leftJustified(3, QLatin1Char('0')).toLongLong();
    if (ms > INT32_MAX) return std::nullopt;
    ParsedTime p;
    p.ms = TRaceTime(ms);
    p.resolution = fraction.isEmpty() ? 0 : fraction.size() == 1 ? 1 : 2;
    return p;
}

QString TimeTextExample() {
    return QStringLiteral("as the display shows it, for example 1.02,35 (1 minute 2.35 seconds), "
                          "2:10.05,27 or 0:01:02,35");
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
