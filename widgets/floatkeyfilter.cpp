#include "widgets/floatkeyfilter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int kPrecision = 18;

// Adds one unit at the last place of a digit string; returns true when it carried out of the
// first digit (the string then reads "1000...").
bool IncrementDigits(std::string& d) {
    for (auto i = d.size(); i-- > 0;) {
        if (d[i] != '9') {
            ++d[i];
            return false;
        }
        d[i] = '0';
    }
    d.insert(d.begin(), '1');
    return true;
}

}  // namespace

QString FloatToText(Extended value, int digits, QChar decimalChar) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (digits < 0) digits = 0;
    if (digits > kPrecision) digits = kPrecision;
    const bool negative = std::signbit(value);

    // Enough exact digits to round correctly: the value reads 0.D x 10^(exp10 + 1).
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.59Le", std::fabs(value));
    std::string d;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') d += *p;
    int exp10 = *p == 'e' ? std::atoi(p + 1) : 0;
    if (d.find_first_not_of('0') == std::string::npos) {
        d = "0";
        exp10 = 0;
    }

    // Round half up to the precision, then to the decimals.
    auto roundTo = [&](int keep) {
        if (keep >= int(d.size())) return;
        if (keep < 0) {
            d = "0";
            return;
        }
        const bool up = d[std::size_t(keep)] >= '5';
        d.resize(std::size_t(keep));
        if (up) {
            if (d.empty()) {
                d = "1";
                ++exp10;
            } else if (IncrementDigits(d)) {
                d.pop_back();
                ++exp10;
            }
        }
        if (d.empty()) d = "0";
    };
    roundTo(kPrecision);
    if (d != "0") roundTo(exp10 + 1 + digits);
    const bool zero = d.find_first_not_of('0') == std::string::npos;
    if (zero) {
        d = "0";
        exp10 = 0;
    }

    QString out;
    if (negative && !zero) out += QLatin1Char('-');
    const int intDigits = exp10 + 1;
    if (intDigits > kPrecision) {
        // Beyond 18 integer digits the fixed form would invent digits: scientific instead.
        while (d.size() > 1 && d.back() == '0')
            d.pop_back();
        out += QLatin1Char(d[0]);
        if (d.size() > 1) {
            out += decimalChar;
            out += QString::fromLatin1(d.c_str() + 1);
        }
        out += QStringLiteral("E+%1").arg(exp10, 2, 10, QLatin1Char('0'));
        return out;
    }
    // Digit at decimal position k (k = 0 is the units digit, negative k are decimals).
    auto digitAt = [&](int k) -> char {
        const int i = exp10 - k;
        return i >= 0 && i < int(d.size()) ? d[std::size_t(i)] : '0';
    };
    if (intDigits <= 0) {
        out += QLatin1Char('0');
    } else {
        for (int k = intDigits - 1; k >= 0; --k)
            out += QLatin1Char(digitAt(k));
    }
    if (digits > 0) {
        out += decimalChar;
        for (int k = -1; k >= -digits; --k)
            out += QLatin1Char(digitAt(k));
    }
    return out;
}

std::optional<Extended> TextToFloat(const QString& text, QChar decimalChar) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto blank = [&](qsizetype k) { return k < n && text[k] == QLatin1Char(' '); };
    auto digit = [&](qsizetype k) {
        return k < n && text[k] >= QLatin1Char('0') && text[k] <= QLatin1Char('9');
    };
    while (blank(i))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (!(digit(i) || (i < n && text[i] == decimalChar))) return std::nullopt;
    std::string intPart, fracPart, expPart;
    while (digit(i))
        intPart += char(text[i++].unicode());
    if (i < n && text[i] == decimalChar) {
        ++i;
        while (digit(i))
            fracPart += char(text[i++].unicode());
    }
    bool expNegative = false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
            expNegative = text[i] == QLatin1Char('-');
            ++i;
        }
        while (digit(i))
            expPart += char(text[i++].unicode());
    }
    while (blank(i))
        ++i;
    if (i != n) return std::nullopt;

    const auto firstNonZero = (intPart + fracPart).find_first_not_of('0');
    if (firstNonZero == std::string::npos) return negative ? -Extended(0) : Extended(0);

    std::string c = intPart.empty() ? std::string("0") : intPart;
    if (!fracPart.empty()) c += "." + fracPart;
    if (!expPart.empty()) c += std::string("e") + (expNegative ? "-" : "") + expPart;
    Extended v = 0;
    const auto [ptr, ec] = std::from_chars(c.data(), c.data() + c.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Decide between overflow and underflow from the decimal magnitude of the number.
        long long e = 0;
        for (char ch : expPart) {
            e = e * 10 + (ch - '0');
            if (e > 100000) break;
        }
        if (expNegative) e = -e;
        const long long magnitude = e + (long long)intPart.size() - (long long)firstNonZero;
        if (magnitude < 0) return negative ? -Extended(0) : Extended(0);
        return std::nullopt;
    }
    if (ec != std::errc() || ptr != c.data() + c.size() || !std::isfinite(v)) return std::nullopt;
    return negative ? -v : v;
}

TFloatKeyDecision DecideFloatKey(const TFloatKeyInput& in) {
    TFloatKeyDecision r;
    r.text = in.text;
    r.selStart = in.selStart;
    r.selLength = in.selLength;
    const QChar key = in.key;
    if (key == QLatin1Char('\r') || key == QLatin1Char('\n')) {
        r.action = TFloatKeyAction::EnterPress;
        return r;
    }
    if (key == QChar(0x1B)) {
        r.action = TFloatKeyAction::Escape;
        return r;
    }
    if (key.unicode() < 0x20) {
        r.action = TFloatKeyAction::PassControl;
        return r;
    }
    const bool allowed = key == QLatin1Char('-') ||
                         (key >= QLatin1Char('0') && key <= QLatin1Char('9')) ||
                         key == QLatin1Char('e') || key == in.decimalChar;
    if (!allowed) {
        r.action = TFloatKeyAction::Refuse;
        return r;
    }
    const int start = qBound(0, in.selStart, int(in.text.size()));
    const int end = qBound(start, in.selStart + in.selLength, int(in.text.size()));
    const QString candidate = in.text.left(start) + key + in.text.mid(end);
    if (candidate == QLatin1String("-")) {
        r.action = TFloatKeyAction::MinusZero;
        r.text = QStringLiteral("-0");
        r.selStart = 1;
        r.selLength = 1;
        return r;
    }
    if (candidate.size() == 1 && candidate[0] == in.decimalChar) {
        r.action = TFloatKeyAction::SeparatorZero;
        r.text = QLatin1Char('0') + QString(in.decimalChar) + QLatin1Char('0');
        r.selStart = 2;
        r.selLength = 1;
        return r;
    }
    const auto number = TextToFloat(candidate, in.decimalChar);
    bool refuse = !number.has_value();
    if (!refuse) refuse = *number < in.min || *number > in.max;
    if (!refuse) refuse = key == in.decimalChar && in.digits == 0;
    if (!refuse && !candidate.contains(QLatin1Char('e'), Qt::CaseInsensitive)) {
        const auto p = candidate.indexOf(in.decimalChar);
        if (p >= 0) refuse = candidate.size() - (p + 1) > in.digits;
    }
    r.action = refuse ? TFloatKeyAction::Refuse : TFloatKeyAction::Accept;
    if (!refuse) {
        r.text = candidate;
        r.selStart = start + 1;
        r.selLength = 0;
    }
    return r;
}
