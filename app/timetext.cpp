#include "app/timetext.h"

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
    const long double v =
        elapsed == 0 ? 0.0L : static_cast<long double>(metres) / elapsed * 3600.0L;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<double>(v), 'f', 1);
}

QString DateStamp(const QDateTime& when) {
    return when.toString(QStringLiteral("yyyy-MM-dd-HH-mm"))
        .replace(QLatin1Char(' '), QLatin1Char('0'));
}

QString DateStamp() {
    return DateStamp(QDateTime::currentDateTime());
}
