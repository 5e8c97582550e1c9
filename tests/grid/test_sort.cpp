#include <gtest/gtest.h>

#include <QLocale>
#include <random>

#include "grid/gridsort.h"
#include "grid/sortcompare.h"

namespace {

// Sets the default locale for one test.
class ScopedLocale {
public:
    explicit ScopedLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~ScopedLocale() { QLocale::setDefault(old_); }

private:
    QLocale old_;
};

// A grid's cells, row 0 the header; sorted by applying the returned order as the grid does.
struct Table {
    std::vector<QStringList> rows;

    int ColCount() const { return int(rows.front().size()); }
    int RowCount() const { return int(rows.size()); }

    std::vector<int> Sort(int col, TSortOptions& options, const GetSortStyleFunction& get = {}) {
        const std::vector<int> order = SortRowOrder(
            col, ColCount(), RowCount(), [this](int c, int r) { return rows[r][c]; }, options, get);
        std::vector<QStringList> sorted;
        for (int r : order)
            sorted.push_back(rows[r]);
        rows = sorted;
        return order;
    }
    QStringList Column(int col) const {
        QStringList out;
        for (size_t r = 1; r < rows.size(); ++r)
            out << rows[r][col];
        return out;
    }
};

Table OneColumn(const QStringList& values) {
    Table t;
    t.rows.push_back({"Header"});
    for (const QString& v : values)
        t.rows.push_back({v});
    return t;
}

}  // namespace

TEST(SortText, CodePointOrderAndPrefixes) {
    EXPECT_EQ(CompareText(u"abc", u"abd"), -1);
    EXPECT_EQ(CompareText(u"b", u"abc"), 1);
    EXPECT_EQ(CompareText(u"ab", u"abc"), -1);
    EXPECT_EQ(CompareText(u"", u""), 0);
    EXPECT_EQ(CompareText(u"Z", u"a"), -1);
    EXPECT_EQ(CompareText(u"z", u"é"), -1) << "bytes compare unsigned";
    // U+1F3BF (skier) after U+FFFD, as in UTF-8.
    EXPECT_EQ(CompareText(QString::fromUtf8("\xF0\x9F\x8E\xBF"), QString::fromUtf8("\xEF\xBF\xBD")),
              1);
}

TEST(SortText, FoldingTouchesOnlyAsciiCapitals) {
    EXPECT_EQ(FoldAsciiCase("MÜLLER Ärger Z9"), "mÜller Ärger z9");
    EXPECT_EQ(FoldAsciiCase("abc"), "abc");
}

TEST(SortNumericExtended, EmbeddedNumbers) {
    EXPECT_EQ(CompareNumericExtended(u"Run 9", u"Run 10"), -1);
    EXPECT_EQ(CompareNumericExtended(u"Run 10", u"Run 9"), 1);
    EXPECT_EQ(CompareNumericExtended(u"A1B", u"A2B"), -1);
    EXPECT_EQ(CompareNumericExtended(u"1.5", u"1.25"), -1) << "15 against 125";
    EXPECT_EQ(CompareNumericExtended(u"ab", u"abc"), 0);
    EXPECT_EQ(CompareNumericExtended(u"abc", u"ab"), 0);
    EXPECT_EQ(CompareNumericExtended(u"9 km", u"10 km"), -1) << "common tail trimmed";
    EXPECT_EQ(CompareNumericExtended(u"7", u"7"), 0);
    EXPECT_EQ(CompareNumericExtended(u"-5", u"3"), -1);
    // Remains that are not whole numbers compare as text.
    EXPECT_EQ(CompareNumericExtended(u"b1", u"a2"), 1);
    EXPECT_EQ(CompareNumericExtended(u"1x", u"10"), 1) << "\"1x\" against \"10\" as text";
    EXPECT_EQ(CompareNumericExtended(u"99999999999", u"2"), 1) << "overflow: text";
    // A differing character at the last compared position keeps both tails.
    EXPECT_EQ(CompareNumericExtended(u"x5", u"x10y"), 1) << "\"5\" against \"10y\" as text";
}

TEST(SortNumericExtended, OrdersTheSameWhicheverSideAValueIsOn) {
    EXPECT_EQ(CompareNumericExtended(u"", u"5"), -1);
    EXPECT_EQ(CompareNumericExtended(u"5", u""), 1);
    EXPECT_EQ(CompareNumericExtended(u"", u""), 0);
    EXPECT_EQ(CompareNumericExtended(u"007", u"7"), -1);
    EXPECT_EQ(CompareNumericExtended(u"7", u"007"), 1);
    EXPECT_EQ(CompareNumericExtended(u"x07", u"x7"), -1);
    EXPECT_EQ(CompareNumericExtended(u"x7", u"x07"), 1);
    EXPECT_EQ(CompareNumericExtended(u"01", u"1"), -CompareNumericExtended(u"1", u"01"));
    EXPECT_NE(CompareNumericExtended(u"01", u"1"), 0);
}

TEST(SortRegional, NumbersInTheCLocale) {
    EXPECT_EQ(CompareNumeric("9", "10"), -1);
    EXPECT_EQ(CompareNumeric(" -1.5 ", "1e1"), -1);
    EXPECT_EQ(CompareNumeric("2.0", "2"), 0);
    EXPECT_EQ(CompareNumeric("10", "x"), -1) << "text when either fails";
    EXPECT_EQ(CompareNumeric("1,000", "2"), -1) << "no group separators: text";
    const RegionalParser parser;
    EXPECT_FALSE(parser.Number("inf"));
    EXPECT_FALSE(parser.Number(""));
    EXPECT_EQ(parser.Number("+4.25"), 4.25);
}

TEST(SortRegional, GermanNumbersDatesAndTimes) {
    ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    const RegionalParser parser;
    EXPECT_EQ(parser.Number("41,5"), 41.5);
    EXPECT_FALSE(parser.Number("41.5"));
    EXPECT_FALSE(parser.Number("1.234")) << "group separators are refused";
    EXPECT_EQ(CompareNumeric("9,5", "10"), -1);

    EXPECT_EQ(parser.Time("9:05"), (9 * 60 + 5) * 60000);
    EXPECT_EQ(parser.Time(" 09:05:30 "), ((9 * 60 + 5) * 60 + 30) * 1000);
    EXPECT_FALSE(parser.Time("25:00"));
    EXPECT_FALSE(parser.Time("1.02,03")) << "a race time is not a time of day";
    EXPECT_EQ(CompareTime("9:05", "10:00"), -1);
    EXPECT_EQ(CompareTime("23:59:59", "23:59"), 1);

    ASSERT_TRUE(parser.DateTime("08.12.26"));
    EXPECT_EQ(parser.DateTime("8.12.2026"), parser.DateTime("08.12.2026"));
    EXPECT_EQ(CompareDateTime("31.12.2026", "1.1.2027"), -1);
    EXPECT_EQ(CompareDateTime("08.12.2026 10:00", "08.12.2026 9:30"), 1);
    EXPECT_EQ(CompareDateTime("08.12.2026", "08.12.2026 0:00"), 0);
    EXPECT_FALSE(parser.DateTime("9:05"));
    EXPECT_FALSE(parser.DateTime(""));
}

TEST(SortDetect, StyleOfAColumn) {
    EXPECT_EQ(DetectSortStyle({"10", "9", ""}), TSortStyle::ssNormal) << "an empty cell";
    EXPECT_EQ(DetectSortStyle({"10", "9"}), TSortStyle::ssNumeric);
    EXPECT_EQ(DetectSortStyle({"Run 9", "10"}), TSortStyle::ssNormal);
    ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(DetectSortStyle({"1,5", "-2"}), TSortStyle::ssNumeric);
    EXPECT_EQ(DetectSortStyle({"08.12.26", "1.1.2027 9:00"}), TSortStyle::ssDateTime);
    EXPECT_EQ(DetectSortStyle({"9:05", "10:00:01"}), TSortStyle::ssTime);
    EXPECT_EQ(DetectSortStyle({"1.02,03", "5,23"}), TSortStyle::ssNormal);
}

TEST(SortEntries, FoldingTieBreakAndDirection) {
    TSortOptions o;
    EXPECT_EQ(CompareEntries({"B", 1}, {"a", 2}, o), 1) << "b after a when folded";
    o.SortCaseSensitive = true;
    EXPECT_EQ(CompareEntries({"B", 1}, {"a", 2}, o), -1);
    o.SortCaseSensitive = false;
    // Equal values: the previous order, in either direction.
    EXPECT_EQ(CompareEntries({"x", 3}, {"X", 5}, o), -1);
    o.SortDirection = TSortDirection::sdDescending;
    EXPECT_EQ(CompareEntries({"x", 3}, {"X", 5}, o), -1);
    EXPECT_EQ(CompareEntries({"X", 5}, {"x", 3}, o), 1);
    EXPECT_EQ(CompareEntries({"a", 1}, {"b", 2}, o), 1);
    EXPECT_EQ(CompareEntries({"a", 4}, {"a", 4}, o), 0);
    // A custom comparison gets the folded values.
    o.SortStyle = TSortStyle::ssCustom;
    o.SortDirection = TSortDirection::sdAscending;
    QStringList seen;
    o.SortCompare = [&](const QString& a, const QString& b) {
        seen << a << b;
        return int(b.size() - a.size()) * 1000;  // longer first
    };
    EXPECT_EQ(CompareEntries({"AB", 1}, {"Xyz", 2}, o), 1);
    EXPECT_EQ(seen, QStringList({"ab", "xyz"}));
    o.SortCompare = nullptr;
    EXPECT_EQ(CompareEntries({"b", 1}, {"a", 2}, o), -1) << "no comparison keeps the order";
}

TEST(SortKeys, SecondaryColumns) {
    EXPECT_EQ(SortKeyColumns(1, "", 5), std::vector<int>({1}));
    EXPECT_EQ(SortKeyColumns(1, "2", 5), std::vector<int>({1, 2}));
    EXPECT_EQ(SortKeyColumns(1, "3,1,0", 5), std::vector<int>({1, 3, 0}));
    EXPECT_EQ(SortKeyColumns(0, "x, 7,-1, 2", 3), std::vector<int>({0, 2}))
        << "entries that are not columns of the grid are left out";
}

TEST(SortRows, AutomaticStyleIsDetectedAndKept) {
    Table t = OneColumn({"10", "9", ""});
    TSortOptions o;
    o.SortStyle = TSortStyle::ssAutomatic;
    t.Sort(0, o);
    EXPECT_EQ(t.Column(0), QStringList({"", "10", "9"}));
    EXPECT_EQ(o.SortStyle, TSortStyle::ssNormal);

    Table numbers = OneColumn({"10", "9"});
    o.SortStyle = TSortStyle::ssAutomatic;
    numbers.Sort(0, o);
    EXPECT_EQ(numbers.Column(0), QStringList({"9", "10"}));
    EXPECT_EQ(o.SortStyle, TSortStyle::ssNumeric);

    // The stored style stays for a later sort of another column.
    Table two;
    two.rows = {{"A", "B"}, {"b", "10"}, {"a", "9"}, {"c", "100"}};
    two.Sort(1, o);
    EXPECT_EQ(two.Column(1), QStringList({"9", "10", "100"}));
    EXPECT_EQ(o.SortStyle, TSortStyle::ssNumeric);
}

TEST(SortRows, EqualKeysKeepTheirOrderInBothDirections) {
    Table t;
    t.rows = {{"Nr", "Tag"}, {"1", "b"}, {"2", "a"}, {"3", "B"}, {"4", "a"}, {"5", "A"}};
    TSortOptions o;
    t.Sort(1, o);
    EXPECT_EQ(t.Column(0), QStringList({"2", "4", "5", "1", "3"}));
    o.SortDirection = TSortDirection::sdDescending;
    t.Sort(1, o);
    EXPECT_EQ(t.Column(0), QStringList({"1", "3", "2", "4", "5"}));
    t.Sort(1, o);
    EXPECT_EQ(t.Column(0), QStringList({"1", "3", "2", "4", "5"}))
        << "sorting descending twice does not reverse equal rows";
    EXPECT_EQ(t.rows.front(), QStringList({"Nr", "Tag"})) << "the header never moves";
}

TEST(SortRows, SecondaryColumnOrdersEqualRowsInTheSameDirection) {
    Table t;
    t.rows = {{"Rang", "Class", "Nr."}, {"1", "M", "30"}, {"2", "W", "12"},
              {"3", "M", "4"},          {"4", "W", "5"},  {"5", "M", "17"}};
    TSortOptions o;
    o.SecondaryIndex = "2";
    o.SortStyle = TSortStyle::ssNumericExtended;
    t.Sort(1, o);
    EXPECT_EQ(t.Column(2), QStringList({"4", "17", "30", "5", "12"}));
    o.SortDirection = TSortDirection::sdDescending;
    t.Sort(1, o);
    EXPECT_EQ(t.Column(2), QStringList({"12", "5", "30", "17", "4"}));
}

TEST(SortRows, StyleHookCustomComparisonAndItsReset) {
    Table t;
    t.rows = {{"A", "B"}, {"x", "ccc"}, {"y", "a"}, {"z", "bb"}};
    TSortOptions o;
    o.SecondaryIndex = "0";
    std::vector<int> asked;
    int compares = 0;
    o.SortCompare = [&](const QString& a, const QString& b) {
        ++compares;
        return int(a.size() - b.size());
    };
    t.Sort(1, o, [&](int col, TSortStyle& style) {
        asked.push_back(col);
        style = col == 1 ? TSortStyle::ssCustom : TSortStyle::ssNormal;
    });
    EXPECT_EQ(asked, std::vector<int>({0, 1})) << "once per pass, least significant first";
    EXPECT_EQ(t.Column(1), QStringList({"a", "bb", "ccc"}));
    EXPECT_GT(compares, 0);
    EXPECT_EQ(o.SortStyle, TSortStyle::ssCustom) << "the hook's style is stored";
    EXPECT_FALSE(o.SortCompare) << "cleared after every sort";
}

TEST(SortRows, NumericExtendedColumnWithEmptyCells) {
    Table t = OneColumn({"Run 10", "", "Run 9", "", "Run 100", "Run 9"});
    TSortOptions o;
    o.SortStyle = TSortStyle::ssNumericExtended;
    t.Sort(0, o);
    EXPECT_EQ(t.Column(0), QStringList({"", "", "Run 9", "Run 9", "Run 10", "Run 100"}));
    o.SortDirection = TSortDirection::sdDescending;
    t.Sort(0, o);
    EXPECT_EQ(t.Column(0), QStringList({"Run 100", "Run 10", "Run 9", "Run 9", "", ""}));
}

TEST(SortRows, TheOrderIsThatOfTheEntryComparison) {
    // The sort parses each value once; the order must be the one the pairwise comparison gives.
    std::mt19937 random(7);
    const QStringList pool = {"",      "9",      "10", "1.5", "1.25", "-3", "abc",   "ab",   "Ab",
                              "Run 9", "run 10", "x",  "1e2", "07",   "7",  "12:30", "9:05", "1,5"};
    for (TSortStyle style : {TSortStyle::ssNormal, TSortStyle::ssNumeric,
                             TSortStyle::ssNumericExtended, TSortStyle::ssTime}) {
        for (TSortDirection direction :
             {TSortDirection::sdAscending, TSortDirection::sdDescending}) {
            Table t;
            t.rows.push_back({"H"});
            for (int i = 0; i < 60; ++i)
                t.rows.push_back({pool[int(random() % pool.size())]});
            TSortOptions o;
            o.SortStyle = style;
            o.SortDirection = direction;
            std::vector<TSortedListEntry> entries;
            for (int r = 1; r < t.RowCount(); ++r)
                entries.push_back({t.rows[r][0], r});
            std::stable_sort(entries.begin(), entries.end(),
                             [&](const TSortedListEntry& a, const TSortedListEntry& b) {
                                 return CompareEntries(a, b, o) < 0;
                             });
            const std::vector<int> order = t.Sort(0, o);
            for (size_t p = 0; p < entries.size(); ++p)
                EXPECT_EQ(order[p + 1], entries[p].RowIndex) << int(style) << " " << p;
        }
    }
}

TEST(SortRows, SelectedRowsFollowTheirRows) {
    const std::vector<int> order = {0, 3, 1, 4, 2};
    EXPECT_EQ(RowsAfterSort(order, {1, 2}), std::vector<int>({2, 4}));
    EXPECT_EQ(RowsAfterSort(order, {4, 3}), std::vector<int>({1, 3}));
    EXPECT_EQ(RowsAfterSort(order, {}), std::vector<int>());
}

TEST(SortRows, HeaderOnlyAndSingleRowGrids) {
    Table header;
    header.rows = {{"H"}};
    TSortOptions o;
    EXPECT_EQ(header.Sort(0, o), std::vector<int>({0}));
    Table one = OneColumn({"x"});
    EXPECT_EQ(one.Sort(0, o), std::vector<int>({0, 1}));
}

TEST(SortHeader, ClicksAwayFromTheEdgesSortAndChooseTheDirection) {
    // Column from x = 100, 42 pixels wide.
    EXPECT_FALSE(IsHeaderSortClick(105, 100, 42));
    EXPECT_TRUE(IsHeaderSortClick(106, 100, 42));
    EXPECT_TRUE(IsHeaderSortClick(136, 100, 42));
    EXPECT_FALSE(IsHeaderSortClick(137, 100, 42));
    EXPECT_FALSE(IsHeaderSortClick(99, 100, 42));

    TSortOptions o;
    o.SortCol = 0;
    EXPECT_EQ(HeaderClickDirection(o, 2, false), TSortDirection::sdAscending) << "new column";
    o.SortCol = 2;
    EXPECT_EQ(HeaderClickDirection(o, 2, false), TSortDirection::sdDescending) << "again";
    o.SortDirection = TSortDirection::sdDescending;
    EXPECT_EQ(HeaderClickDirection(o, 2, false), TSortDirection::sdAscending) << "third click";
    o.SortDirection = TSortDirection::sdAscending;
    EXPECT_EQ(HeaderClickDirection(o, 3, true), TSortDirection::sdDescending) << "right click";
}

TEST(SortHeader, GlyphPlaceAndShortenedCaptions) {
    EXPECT_EQ(SortGlyphRect(84, 42, 20), QRect(87, 6, 8, 7));
    EXPECT_EQ(SortGlyphRect(84, 10, 21), QRect(87, 6, 7, 7));

    const auto width = [](const QString& s) { return int(s.size()) * 8; };  // 8 per character
    EXPECT_EQ(ShortenedCaption("Time", 41, width), "Time");
    EXPECT_EQ(ShortenedCaption("Split", 40, width), "Split") << "exactly as wide fits";
    EXPECT_EQ(ShortenedCaption("Distance", 41, width), "Dis..");
    EXPECT_EQ(ShortenedCaption("Distance", 30, width), "D..");
    EXPECT_EQ(ShortenedCaption("Distance", 1, width), "D..") << "never below three characters";
    EXPECT_EQ(ShortenedCaption("Km/h", 31, width), "K..");
    EXPECT_EQ(ShortenedCaption("X", 1, width), "X");
}
