#include <gtest/gtest.h>
#include <QDateTime>
#include <QLocale>

#include "race/timetext.h"

TEST(TimeToText, WorkedValues) {
    EXPECT_EQ(TimeToText(0, 2), "0,00");
    EXPECT_EQ(TimeToText(5230, 2), "5,23");
    EXPECT_EQ(TimeToText(12500, 2), "12,50");
    EXPECT_EQ(TimeToText(62030, 2), "1.02,03");
    EXPECT_EQ(TimeToText(3600000, 2), "1:00.00,00");
    EXPECT_EQ(TimeToText(36000000, 2), "10:00.00,00");
    EXPECT_EQ(TimeToText(5230, 1), "5,2");
    EXPECT_EQ(TimeToText(5230, 0), "5");
    EXPECT_EQ(TimeToText(62030, 0), "1.02");
    EXPECT_EQ(TimeToText(0, 0), "0");
    EXPECT_EQ(TimeToText(0, 1), "0,0");
}

TEST(TimeToText, TruncatesNeverRounds) {
    EXPECT_EQ(TimeToText(1999, 0), "1");
    EXPECT_EQ(TimeToText(1999, 1), "1,9");
    EXPECT_EQ(TimeToText(1999, 2), "1,99");
    EXPECT_EQ(TimeToText(59999, 2), "59,99");
}

TEST(TimeToText, HoursModulo100AndTheTickWrap) {
    EXPECT_EQ(TimeToText(101 * 3600000, 2), "1:00.00,00");
    const std::uint32_t start = 0xFFFFFFF0u;
    const std::uint32_t lap = start + 7805270u;  // wraps past 2^32
    EXPECT_LT(lap, start);
    EXPECT_EQ(TimeToText(TickDiff(lap, start), 2), "2:10.05,27");
}

// No row shows a time before its reference, but should one come it is never a mix of signs.
TEST(TimeToText, ANegativeTimeReadsAsItsSizeBehindAMinus) {
    EXPECT_EQ(TimeToText(-30, 2), "-0,03");
    EXPECT_EQ(TimeToText(-62030, 1), "-1.02,0");
    EXPECT_EQ(TimeToText(INT32_MIN, 0), "-96:31.23");
}

// What the program writes reads back to the same time, and what a stopwatch shows is taken too.
TEST(ParseTimeText, ReadsWhatTheProgramWritesAndAStopwatchShows) {
    for (int resolution : {0, 1, 2})
        for (TRaceTime t : {0, 5230, 62030, 3600000, 7805270, 36000000, 359999990})
            if (const auto p = ParseTimeText(TimeToText(t, resolution)); p) {
                EXPECT_EQ(TimeToText(p->ms, resolution), TimeToText(t, resolution));
                EXPECT_EQ(p->resolution, resolution);
            } else {
                ADD_FAILURE() << TimeToText(t, resolution).toStdString();
            }
    EXPECT_EQ(ParseTimeText("1.02,35")->ms, 62350);
    EXPECT_EQ(ParseTimeText("0:01:02,35")->ms, 62350);
    EXPECT_EQ(ParseTimeText(" 62,35 ")->ms, 62350);
    EXPECT_EQ(ParseTimeText("2:10.05,27")->ms, 7805270);
    EXPECT_EQ(ParseTimeText("1:02")->ms, 62000);
    EXPECT_EQ(ParseTimeText("1.02,345")->ms, 62345);
    EXPECT_EQ(ParseTimeText("12,5")->resolution, 1);
}

TEST(ParseTimeText, RefusesWhatIsNoTime) {
    for (const char* bad : {"", " ", "abc", "1,", ",5", "1.61,00", "1:75", "1,2345", "1..2",
                            "-1,00", "1.2.3.4", "1:2:3:4", "1.02:03", "1 02", "٣", "999999:00.00",
                            "+5", "1e3"})
        EXPECT_FALSE(ParseTimeText(QString::fromUtf8(bad))) << bad;
}

TEST(TrimLeadingZeros, KeepsTheSecondsUnitsDigit) {
    EXPECT_EQ(TrimLeadingZeros("00:00.00,00"), "0,00");
    EXPECT_EQ(TrimLeadingZeros("00:00.05"), "5");
    EXPECT_EQ(TrimLeadingZeros("00:01.02,03"), "1.02,03");
    EXPECT_EQ(TrimLeadingZeros(""), "");
}

TEST(DisplayRow, LitAndDimDigitByDigit) {
    auto lit = [](int row, TRaceTime t) {
        QString s;
        for (bool b : DisplayRow(row, SplitTime(t)).lit)
            s += b ? 'L' : 'd';
        return s;
    };
    EXPECT_EQ(lit(1, 0), "ddddLLL");
    EXPECT_EQ(lit(2, 0), "ddddddd");
    EXPECT_EQ(lit(1, 59990), "dddLLLL");  // the seconds' tens digit is 5
    EXPECT_EQ(lit(2, 59990), "dddLLLL");
    EXPECT_EQ(lit(2, 10), "ddddLLL");
    EXPECT_EQ(lit(1, 60000), "ddLLLLL");
    EXPECT_EQ(lit(1, 36000000), "LLLLLLL");
    const RowDigits ten = DisplayRow(1, SplitTime(36000000));
    EXPECT_EQ(ten.value[0], 0);  // ten hours show as 0 on the single hour digit
    const RowDigits d = DisplayRow(1, SplitTime(62030));
    EXPECT_EQ(d.value, (std::array<int, 7>{0, 0, 1, 0, 2, 0, 3}));
}

TEST(SpeedText, OneDecimalInTheRegionalFormat) {
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(SpeedText(42195, 7805270), "19.5");
    EXPECT_EQ(SpeedText(0, 7805270), "0.0");
    EXPECT_EQ(SpeedText(42195, 0), "0.0");          // a lap in the start's tick must not fail
    EXPECT_EQ(SpeedText(42195, 1), "151902000.0");  // no group separators
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(SpeedText(42195, 7805270), "19,5");
    QLocale::setDefault(QLocale::c());
}

// Speeds exactly on a half tenth round away from zero, whatever their nearest binary value.
TEST(SpeedText, ExactHalfTenthsRoundUp) {
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(SpeedText(42195, 34920000), "4.4");  // 4.35 exactly (9 h 42 min)
    EXPECT_EQ(SpeedText(42195, 34920001), "4.3");  // just below the half
    EXPECT_EQ(SpeedText(1, 72000), "0.1");         // 0.05
    EXPECT_EQ(SpeedText(29, 72000), "1.5");        // 1.45
    EXPECT_EQ(SpeedText(100000, 1), "360000000.0");
    EXPECT_EQ(SpeedText(2147483647, 1), "7730941129200.0");
    EXPECT_EQ(SpeedText(42195, -34920000), "-4.4");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(SpeedText(42195, 34920000), "4,4");
    QLocale::setDefault(QLocale::c());
}

TEST(DateStamp, SixteenCharactersOfDigitsAndHyphens) {
    EXPECT_EQ(DateStamp(QDateTime(QDate(2027, 3, 3), QTime(9, 5))), "2027-03-03-09-05");
    EXPECT_EQ(DateStamp(QDateTime(QDate(2026, 12, 8), QTime(23, 40))), "2026-12-08-23-40");
    EXPECT_EQ(DateStamp().size(), 16);
}
