#include <gtest/gtest.h>

#include "grid/commalist.h"

TEST(CommaListWriting, QuotesExactlyItemsWithBlanksControlsQuotesOrCommas) {
    EXPECT_EQ(CommaListText({"Rang", "Nr.", "Time"}), "Rang,Nr.,Time");
    EXPECT_EQ(CommaListText({"a b", "a,b", "say \"hi\"", "x"}),
              "\"a b\",\"a,b\",\"say \"\"hi\"\"\",x");
    EXPECT_EQ(CommaListText({QString("t\tab"), QString(QChar(1)), QString("\x7f")}),
              QString("\"t\tab\",\"") + QChar(1) + "\",\x7f");
    EXPECT_EQ(CommaListText({"Müller", "1:02,5"}), "Müller,\"1:02,5\"");
    EXPECT_EQ(CommaListText({"semi;colon", "it's"}), "semi;colon,it's");
}

TEST(CommaListWriting, EmptyItemsAndLists) {
    EXPECT_EQ(CommaListText({"a", "", "b"}), "a,,b");
    EXPECT_EQ(CommaListText({"", "", "", "", ""}), ",,,,");
    EXPECT_EQ(CommaListText({"a", ""}), "a,");
    EXPECT_EQ(CommaListText({""}), "\"\"");
    EXPECT_EQ(CommaListText({}), "");
}

TEST(CommaListReading, SkipsBlanksAroundItemsAndSeparators) {
    EXPECT_EQ(ParseCommaList(u"a,b,c"), QStringList({"a", "b", "c"}));
    EXPECT_EQ(ParseCommaList(u"  \t a , b,\tc"), QStringList({"a", "b", "c"}));
    EXPECT_EQ(ParseCommaList(u""), QStringList());
    EXPECT_EQ(ParseCommaList(u"   "), QStringList());
}

TEST(CommaListReading, AnUnquotedBlankEndsAnItemAndTheNextStartsThere) {
    EXPECT_EQ(ParseCommaList(u"a b"), QStringList({"a", "b"}));
    EXPECT_EQ(ParseCommaList(u"\"x\"y"), QStringList({"x", "y"}));
    EXPECT_EQ(ParseCommaList(u"ab\"c,d"), QStringList({"ab\"c", "d"}));
}

TEST(CommaListReading, QuotedItems) {
    EXPECT_EQ(ParseCommaList(u"\"a, b\",\"say \"\"hi\"\"\""), QStringList({"a, b", "say \"hi\""}));
    EXPECT_EQ(ParseCommaList(u"\"\""), QStringList({""}));
    EXPECT_EQ(ParseCommaList(u"\"\",\"\""), QStringList({"", ""}));
    // A missing closing quote takes the rest of the line.
    EXPECT_EQ(ParseCommaList(u"a,\"b,c d"), QStringList({"a", "b,c d"}));
}

TEST(CommaListReading, EmptyItemsAndTheTrailingComma) {
    EXPECT_EQ(ParseCommaList(u"a,,b"), QStringList({"a", "", "b"}));
    EXPECT_EQ(ParseCommaList(u",a"), QStringList({"", "a"}));
    EXPECT_EQ(ParseCommaList(u",,,,"), QStringList({"", "", "", "", ""}));
    EXPECT_EQ(ParseCommaList(u"a,"), QStringList({"a", ""}));
    EXPECT_EQ(ParseCommaList(u"a ,"), QStringList({"a", ""}));
    // Only a comma that is the very last character adds an item.
    EXPECT_EQ(ParseCommaList(u"a, "), QStringList({"a"}));
}

TEST(CommaListReading, NulEndsTheText) {
    const QString line = QString("a,b") + QChar(0) + ",c";
    EXPECT_EQ(ParseCommaList(line), QStringList({"a", "b"}));
}

TEST(CommaList, TrickyListsSurviveARoundTrip) {
    const QList<QStringList> lists = {
        {""},
        {"", ""},
        {"a", "", "b", ""},
        {" lead", "trail ", " ", "\"", "\"\"", ","},
        {QString("ctl") + QChar(1) + QChar(31), "tab\there", "line\r\nbreak", "cr\ronly"},
        {"Žiga Čeh", "Äpfel €", "日本", QString::fromUtf8("\xF0\x9F\x8E\xBF")},
        {"clBlack,0,0,0,clBlack", "\"clRed,1,0,0,clWhite\""},
    };
    for (const QStringList& items : lists)
        EXPECT_EQ(ParseCommaList(CommaListText(items)), items)
            << CommaListText(items).toStdString();
}

TEST(CommaListReading, ALimitStopsReadingJustPastIt) {
    EXPECT_EQ(ParseCommaList(u"a,b,c,d,e", 2), QStringList({"a", "b", "c"}));
    EXPECT_EQ(ParseCommaList(u"a,b", 2), QStringList({"a", "b"}));
    EXPECT_EQ(ParseCommaList(u"a,b,c", 0), QStringList({"a"}));
    EXPECT_EQ(ParseCommaList(u"a,b,c", -1), QStringList({"a", "b", "c"}));
}

TEST(CommaListReading, BlankLinesHoldNoItem) {
    for (QStringView line : {u"", u"  \t\x1f", u"\x01 "})
        EXPECT_TRUE(IsBlankCommaList(line));
    EXPECT_TRUE(IsBlankCommaList(QStringView(u" \0x", 3)));
    for (QStringView line : {u",", u"\"\"", u"  x", u"\x7f"}) {
        EXPECT_FALSE(IsBlankCommaList(line));
        EXPECT_FALSE(ParseCommaList(line).isEmpty());
    }
}
