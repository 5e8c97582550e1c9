#include "grid/sortcompare.h"

#include <QDateTime>
#include <QVarLengthArray>
#include <cmath>
#include <limits>

namespace {

// Makes a regional format lenient: one letter for hours, minutes, seconds and numeric days and
// months (Qt then reads one or two digits), the year as two or four digits, no time zone.
QString LenientFormat(const QString& format, bool fourDigitYear) {
    QString out;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = format[i];
        if (c == u'\'') {  // a quoted literal is copied with its quotes
            qsizetype j = format.indexOf(u'\'', i + 1);
            j = j < 0 ? n : j + 1;
            out += format.mid(i, j - i);
            i = j;
            continue;
        }
        qsizetype run = 1;
        while (i + run < n && format[i + run] == c)
            ++run;
        switch (c.unicode()) {
            case u'H':
            case u'h':
            case u'm':
            case u's':
                out += c;
                break;
            case u'd':
            case u'M':
                out += run <= 2 ? QString(c) : QString(run, c);
                break;
            case u'y':
                out += run == 2 || run == 4 ? QString(fourDigitYear ? 4 : 2, c) : QString(run, c);
                break;
            case u't':
                break;
            default:
                out += QString(run, c);
        }
        i += run;
    }
    return out.trimmed();
}

void AddUnique(QStringList& list, const QString& format) {
    if (!format.isEmpty() && !list.contains(format)) list << format;
}

template <typename T>
int Sign(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

bool IsDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool AllDigits(QStringView s) {
    for (QChar c : s)
        if (!IsDigit(c)) return false;
    return true;
}

// A decimal 32-bit signed integer: optional sign and at least one digit, nothing else.
std::optional<qint32> WholeNumber(const QChar* s, qsizetype n) {
    qsizetype i = 0;
    bool negative = false;
    if (i < n && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
    if (i == n) return std::nullopt;
    qint64 value = 0;
    for (; i < n; ++i) {
        if (!IsDigit(s[i])) return std::nullopt;
        value = value * 10 + (s[i].unicode() - u'0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<qint32>::max()) return std::nullopt;
    return qint32(value);
}

const RegionalParser& DefaultParser() {
    // Rebuilt when the default locale changes (tests and the settings of the user may set it).
    thread_local QLocale locale;
    thread_local RegionalParser parser(locale);
    if (QLocale() != locale) {
        locale = QLocale();
        parser = RegionalParser(locale);
    }
    return parser;
}

template <typename Parse>
int CompareParsed(const QString& a, const QString& b, Parse parse) {
    const auto pa = parse(a);
    if (pa) {
        const auto pb = parse(b);
        if (pb) return Sign(*pa, *pb);
    }
    return CompareText(a, b);
}

}  // namespace

RegionalParser::RegionalParser(const QLocale& locale) : locale_(locale) {
    locale_.setNumberOptions(QLocale::RejectGroupSeparator);
    AddUnique(timeFormats_, LenientFormat(locale.timeFormat(QLocale::ShortFormat), false));
    AddUnique(timeFormats_, LenientFormat(locale.timeFormat(QLocale::LongFormat), false));
    const QString date = locale.dateFormat(QLocale::ShortFormat);
    AddUnique(dateFormats_, LenientFormat(date, false));
    AddUnique(dateFormats_, LenientFormat(date, true));
}

std::optional<double> RegionalParser::Number(const QString& text) const {
    bool ok = false;
    const double value = locale_.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<qint64> RegionalParser::DateTime(const QString& text) const {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    constexpr qint64 kDay = 86400000;
    for (const QString& dateFormat : dateFormats_) {
        const QDate date = locale_.toDate(t, dateFormat);
        if (date.isValid()) return date.toJulianDay() * kDay;
        for (const QString& timeFormat : timeFormats_) {
            const QDateTime when =
                locale_.toDateTime(t, dateFormat + QLatin1Char(' ') + timeFormat);
            if (when.isValid())
                return when.date().toJulianDay() * kDay + when.time().msecsSinceStartOfDay();
        }
    }
    return std::nullopt;
}

std::optional<int> RegionalParser::Time(const QString& text) const {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    for (const QString& format : timeFormats_) {
        const QTime time = locale_.toTime(t, format);
        if (time.isValid()) return time.msecsSinceStartOfDay();
    }
    return std::nullopt;
}

QString FoldAsciiCase(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && !(text[i] >= u'A' && text[i] <= u'Z'))
        ++i;
    if (i == n) return text;
    QString folded = text;
    QChar* p = folded.data();
    for (; i < n; ++i)
        if (p[i] >= u'A' && p[i] <= u'Z') p[i] = QChar(p[i].unicode() + (u'a' - u'A'));
    return folded;
}

int CompareText(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y) continue;
        // Surrogates (code points above U+FFFF) sort after U+E000-U+FFFF, as their UTF-8 does.
        auto key = [](char16_t c) -> int {
            if (c >= 0xD800 && c <= 0xDFFF) return c + 0x2000;
            if (c >= 0xE000) return c - 0x800;
            return c;
        };
        return key(x) < key(y) ? -1 : 1;
    }
    return Sign(a.size(), b.size());
}

int CompareNumeric(const QString& a, const QString& b) {
    const RegionalParser& parser = DefaultParser();
    return CompareParsed(a, b, [&](const QString& s) { return parser.Number(s); });
}

int CompareDateTime(const QString& a, const QString& b) {
    const RegionalParser& parser = DefaultParser();
    return CompareParsed(a, b, [&](const QString& s) { return parser.DateTime(s); });
}

int CompareTime(const QString& a, const QString& b) {
    const RegionalParser& parser = DefaultParser();
    return CompareParsed(a, b, [&](const QString& s) { return parser.Time(s); });
}

int CompareNumericExtended(QStringView a, QStringView b) {
    if (a.isEmpty() || b.isEmpty()) return Sign(!a.isEmpty(), !b.isEmpty());
    // Digits only (start numbers): nothing is dropped or trimmed, so the remains are the texts
    // themselves. Up to nine digits always fit.
    if (a.size() <= 9 && b.size() <= 9 && AllDigits(a) && AllDigits(b)) {
        const qint32 na = *WholeNumber(a.data(), a.size());
        const qint32 nb = *WholeNumber(b.data(), b.size());
        return na != nb ? (na < nb ? -1 : 1) : CompareText(a, b);
    }
    QVarLengthArray<QChar, 64> ra;
    QVarLengthArray<QChar, 64> rb;
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (a[i] == b[i] && !IsDigit(a[i])) continue;
        if (i == n - 1) {
            ra.append(a.data() + i, a.size() - i);
            rb.append(b.data() + i, b.size() - i);
        } else {
            ra.append(a[i]);
            rb.append(b[i]);
        }
    }
    // Trailing trim: positions are those of the untrimmed remains, but each match removes the
    // current last character of both.
    const qsizetype la = ra.size();
    const qsizetype lb = rb.size();
    qsizetype ea = la;
    qsizetype eb = lb;
    const qsizetype m = std::min(la, lb);
    for (qsizetype k = 0; k < m; ++k) {
        const QChar ca = ra[la - 1 - k];
        if (ca == rb[lb - 1 - k] && !IsDigit(ca)) {
            --ea;
            --eb;
        }
    }
    const QStringView va(ra.data(), ea);
    const QStringView vb(rb.data(), eb);
    if (va == vb) return 0;
    const std::optional<qint32> na = WholeNumber(va.data(), va.size());
    if (na) {
        const std::optional<qint32> nb = WholeNumber(vb.data(), vb.size());
        if (nb && *na != *nb) return *na < *nb ? -1 : 1;
    }
    return CompareText(va, vb);
}

int CompareByStyle(TSortStyle style, const QString& a, const QString& b,
                   const TSortCompare& custom) {
    switch (style) {
        case TSortStyle::ssNumeric:
            return CompareNumeric(a, b);
        case TSortStyle::ssNumericExtended:
            return CompareNumericExtended(a, b);
        case TSortStyle::ssDateTime:
            return CompareDateTime(a, b);
        case TSortStyle::ssTime:
            return CompareTime(a, b);
        case TSortStyle::ssCustom: {
            if (!custom) return 0;
            const int r = custom(a, b);
            return r < 0 ? -1 : (r > 0 ? 1 : 0);
        }
        case TSortStyle::ssAutomatic:
        case TSortStyle::ssNormal:
            break;
    }
    return CompareText(a, b);
}

int CompareEntries(const TSortedListEntry& left, const TSortedListEntry& right,
                   const TSortOptions& options) {
    const bool fold = !options.SortCaseSensitive;
    const int r =
        CompareByStyle(options.SortStyle, fold ? FoldAsciiCase(left.Value) : left.Value,
                       fold ? FoldAsciiCase(right.Value) : right.Value, options.SortCompare);
    if (r == 0) return Sign(left.RowIndex, right.RowIndex);
    return options.SortDirection == TSortDirection::sdDescending ? -r : r;
}

TSortStyle DetectSortStyle(const QStringList& dataCells) {
    const RegionalParser& parser = DefaultParser();
    bool number = true;
    bool dateTime = true;
    bool time = true;
    for (const QString& cell : dataCells) {
        if (number && !parser.Number(cell)) number = false;
        if (dateTime && !parser.DateTime(cell)) dateTime = false;
        if (time && !parser.Time(cell)) time = false;
        if (!number && !dateTime && !time) break;
    }
    if (number) return TSortStyle::ssNumeric;
    if (dateTime) return TSortStyle::ssDateTime;
    if (time) return TSortStyle::ssTime;
    return TSortStyle::ssNormal;
}
