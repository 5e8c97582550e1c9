#include <gtest/gtest.h>

#include "widgets/floatkeyfilter.h"

namespace {

const QChar kComma = QLatin1Char(',');
const QChar kDot = QLatin1Char('.');

// Replace the decimal separator in a literal written with ','.
QString S(const char* text, QChar sep) {
    QString s = QString::fromLatin1(text);
    s.replace(QLatin1Char(','), sep);
    return s;
}

// The edit as the key filter sees it, applying each decision as the edit would.
struct Typing {
    QString text;
    int selStart = 0;
    int selLength = 0;
    Extended min = 0, max = 100;
    int digits = 3;
    QChar sep;

    void SelectAll() {
        selStart = 0;
        selLength = int(text.size());
    }
    void CursorAtEnd() {
        selStart = int(text.size());
        selLength = 0;
    }
    TFloatKeyAction Type(QChar key) {
        TFloatKeyInput in;
        in.text = text;
        in.selStart = selStart;
        in.selLength = selLength;
        in.key = key;
        in.min = min;
        in.max = max;
        in.digits = digits;
        in.decimalChar = sep;
        const TFloatKeyDecision d = DecideFloatKey(in);
        switch (d.action) {
            case TFloatKeyAction::Accept:
            case TFloatKeyAction::MinusZero:
            case TFloatKeyAction::SeparatorZero:
                text = d.text;
                selStart = d.selStart;
                selLength = d.selLength;
                break;
            default:
                break;
        }
        return d.action;
    }
};

}  // namespace

TEST(FloatToText, FixedDecimalsWithSeparator) {
    EXPECT_EQ(FloatToText(42.195L, 3, kComma), QStringLiteral("42,195"));
    EXPECT_EQ(FloatToText(42.195L, 3, kDot), QStringLiteral("42.195"));
    EXPECT_EQ(FloatToText(0, 1, kDot), QStringLiteral("0.0"));
    EXPECT_EQ(FloatToText(5, 3, kComma), QStringLiteral("5,000"));
    EXPECT_EQ(FloatToText(42.195L, 0, kComma), QStringLiteral("42"));
    EXPECT_EQ(FloatToText(-1.5L, 2, kDot), QStringLiteral("-1.50"));
    EXPECT_EQ(FloatToText(1234567.25L, 1, kDot), QStringLiteral("1234567.3"));  // no grouping
    EXPECT_EQ(FloatToText(0.05L, 1, kDot), QStringLiteral("0.1"));
}

TEST(FloatToText, RoundingAndPrecision) {
    EXPECT_EQ(FloatToText(2.5L, 0, kDot), QStringLiteral("3"));  // halves go up
    EXPECT_EQ(FloatToText(0.125L, 2, kDot), QStringLiteral("0.13"));
    EXPECT_EQ(FloatToText(-0.125L, 2, kDot), QStringLiteral("-0.13"));
    EXPECT_EQ(FloatToText(99.9996L, 3, kDot), QStringLiteral("100.000"));
    EXPECT_EQ(FloatToText(0.4L, 0, kDot), QStringLiteral("0"));
    EXPECT_EQ(FloatToText(0.6L, 0, kDot), QStringLiteral("1"));
    // A negative value that rounds to zero has no sign; neither has -0.
    EXPECT_EQ(FloatToText(-0.0004L, 3, kDot), QStringLiteral("0.000"));
    EXPECT_EQ(FloatToText(-0.0L, 1, kDot), QStringLiteral("0.0"));
    // 18 significant digits, then zeros.
    EXPECT_EQ(FloatToText(0.1L, 18, kDot), QStringLiteral("0.100000000000000000"));
    EXPECT_EQ(FloatToText(42.195L, 18, kDot), QStringLiteral("42.195000000000000000"));
    EXPECT_EQ(FloatToText(1.0L / 3, 18, kDot), QStringLiteral("0.333333333333333333"));
    EXPECT_EQ(FloatToText(123456789012345678.0L, 0, kDot), QStringLiteral("123456789012345678"));
    // Past 18 integer digits: scientific.
    EXPECT_EQ(FloatToText(1e20L, 2, kComma), QStringLiteral("1E+20"));
    EXPECT_EQ(FloatToText(-2.5e21L, 2, kComma), QStringLiteral("-2,5E+21"));
}

TEST(TextToFloat, Grammar) {
    auto v = [](const char* t, QChar sep = kComma) {
        return TextToFloat(QString::fromLatin1(t), sep);
    };
    EXPECT_EQ(v("1"), 1.0L);
    EXPECT_EQ(v(" 12,5 "), 12.5L);
    EXPECT_EQ(v("12.5", kDot), 12.5L);
    EXPECT_EQ(v("+5"), 5.0L);
    EXPECT_EQ(v("-,5"), -0.5L);
    EXPECT_EQ(v(","), 0.0L);     // the separator alone
    EXPECT_EQ(v("12,"), 12.0L);  // ending in the separator
    EXPECT_EQ(v("1e"), 1.0L);    // exponent digits missing
    EXPECT_EQ(v("1e-"), 1.0L);
    EXPECT_EQ(v("1E2"), 100.0L);
    EXPECT_EQ(v("2,5e-1"), 0.25L);
    EXPECT_EQ(v("007"), 7.0L);
    EXPECT_EQ(v("1e-5000"), 0.0L);  // too small: zero
    for (const char* bad :
         {"", " ", "-", "+", "e5", "E", "1.5", "1,2,3", "--1", "1-", "1 2", "1e5x", "1e5000", "x"})
        EXPECT_FALSE(v(bad).has_value()) << bad;
    EXPECT_FALSE(v("1,5", kDot).has_value());
}

class FeDistKeys : public testing::TestWithParam<char> {
protected:
    Typing T(const char* text) {
        Typing t;
        t.sep = QLatin1Char(GetParam());
        t.text = S(text, t.sep);
        return t;
    }
    QChar Sep() const { return QLatin1Char(GetParam()); }
};

TEST_P(FeDistKeys, TypingUpToTheMaximum) {
    Typing t = T("5,000");
    t.SelectAll();
    EXPECT_EQ(t.Type(QLatin1Char('1')), TFloatKeyAction::Accept);
    EXPECT_EQ(t.Type(QLatin1Char('0')), TFloatKeyAction::Accept);
    EXPECT_EQ(t.Type(QLatin1Char('0')), TFloatKeyAction::Accept);
    EXPECT_EQ(t.text, QStringLiteral("100"));
    EXPECT_EQ(t.Type(QLatin1Char('0')), TFloatKeyAction::Refuse);  // 1000 is above Max
    EXPECT_EQ(t.Type(Sep()), TFloatKeyAction::Accept);             // "100," reads as 100
    EXPECT_EQ(t.text, S("100,", Sep()));
    EXPECT_EQ(t.Type(QLatin1Char('1')), TFloatKeyAction::Refuse);  // 100.1
    EXPECT_EQ(t.Type(QLatin1Char('0')), TFloatKeyAction::Accept);
    EXPECT_EQ(t.text, S("100,0", Sep()));
}

TEST_P(FeDistKeys, MinusBecomesMinusZero) {
    Typing t = T("42,195");
    t.SelectAll();
    EXPECT_EQ(t.Type(QLatin1Char('-')), TFloatKeyAction::MinusZero);
    EXPECT_EQ(t.text, QStringLiteral("-0"));
    EXPECT_EQ(t.selStart, 1);
    EXPECT_EQ(t.selLength, 1);
    EXPECT_EQ(t.Type(QLatin1Char('5')), TFloatKeyAction::Refuse);  // -5 is below Min 0
    EXPECT_EQ(t.text, QStringLiteral("-0"));
}

TEST_P(FeDistKeys, SeparatorAloneBecomesZeroSeparatorZero) {
    Typing t = T("42,195");
    t.SelectAll();
    EXPECT_EQ(t.Type(Sep()), TFloatKeyAction::SeparatorZero);
    EXPECT_EQ(t.text, S("0,0", Sep()));
    EXPECT_EQ(t.selStart, 2);
    EXPECT_EQ(t.selLength, 1);
    EXPECT_EQ(t.Type(QLatin1Char('5')), TFloatKeyAction::Accept);
    EXPECT_EQ(t.text, S("0,5", Sep()));
}

TEST_P(FeDistKeys, DecimalsLimited) {
    Typing t = T("12,345");
    t.CursorAtEnd();
    EXPECT_EQ(t.Type(QLatin1Char('6')), TFloatKeyAction::Refuse);
    t.digits = 0;
    t.text = QStringLiteral("12");
    t.CursorAtEnd();
    EXPECT_EQ(t.Type(Sep()), TFloatKeyAction::Refuse);
    // With an exponent the decimals are not counted.
    t.digits = 1;
    t.text = S("1,2345e", Sep());
    t.CursorAtEnd();
    EXPECT_EQ(t.Type(QLatin1Char('1')), TFloatKeyAction::Accept);
}

TEST_P(FeDistKeys, RefusedAndControlCharacters) {
    Typing t = T("5");
    t.CursorAtEnd();
    const QChar other = Sep() == kComma ? kDot : kComma;
    for (QChar c : {QChar(u'E'), QChar(u'+'), QChar(u'x'), QChar(u' '), other})
        EXPECT_EQ(t.Type(c), TFloatKeyAction::Refuse) << char(c.unicode());
    EXPECT_EQ(t.Type(QChar(0x08)), TFloatKeyAction::PassControl);
    EXPECT_EQ(t.Type(QChar(0x16)), TFloatKeyAction::PassControl);
    EXPECT_EQ(t.Type(QLatin1Char('\r')), TFloatKeyAction::EnterPress);
    EXPECT_EQ(t.Type(QLatin1Char('\n')), TFloatKeyAction::EnterPress);
    EXPECT_EQ(t.Type(QChar(0x1B)), TFloatKeyAction::Escape);
    EXPECT_EQ(t.text, QStringLiteral("5"));
    // A lowercase e starts an exponent.
    EXPECT_EQ(t.Type(QLatin1Char('e')), TFloatKeyAction::Accept);
    EXPECT_EQ(t.Type(QLatin1Char('1')), TFloatKeyAction::Accept);  // 5e1 = 50
    EXPECT_EQ(t.Type(QLatin1Char('1')), TFloatKeyAction::Refuse);  // 5e11
}

INSTANTIATE_TEST_SUITE_P(Separators, FeDistKeys, testing::Values(',', '.'),
                         [](const testing::TestParamInfo<char>& i) {
                             return i.param == ',' ? "comma" : "dot";
                         });

TEST(FloatKeyFilter, MinusPlacesAndLimits) {
    Typing t;
    t.sep = kDot;
    t.min = -10;
    t.max = 10;
    t.text = QStringLiteral("5");
    t.selStart = 0;
    EXPECT_EQ(t.Type(QLatin1Char('-')), TFloatKeyAction::Accept);  // at the very start
    EXPECT_EQ(t.text, QStringLiteral("-5"));
    t.CursorAtEnd();
    EXPECT_EQ(t.Type(QLatin1Char('-')), TFloatKeyAction::Refuse);  // "-5-"
    t.text = QStringLiteral("1e");
    t.CursorAtEnd();
    EXPECT_EQ(t.Type(QLatin1Char('-')), TFloatKeyAction::Accept);  // directly after the e
    // With Min above 0, a first digit below Min is refused.
    Typing m;
    m.sep = kDot;
    m.min = 10;
    m.max = 50;
    m.text = QStringLiteral("20.000");
    m.SelectAll();
    EXPECT_EQ(m.Type(QLatin1Char('5')), TFloatKeyAction::Refuse);
    EXPECT_EQ(m.Type(QLatin1Char('2')), TFloatKeyAction::Refuse);
    // A selection in the middle is replaced.
    Typing r;
    r.sep = kDot;
    r.text = QStringLiteral("12.5");
    r.selStart = 1;
    r.selLength = 1;
    EXPECT_EQ(r.Type(QLatin1Char('9')), TFloatKeyAction::Accept);
    EXPECT_EQ(r.text, QStringLiteral("19.5"));
    EXPECT_EQ(r.selStart, 2);
}
