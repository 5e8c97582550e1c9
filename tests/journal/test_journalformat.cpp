#include <gtest/gtest.h>

#include "journal/journalformat.h"

namespace {

QByteArray Journal(std::initializer_list<JournalRecord> records) {
    QByteArray data = VersionLine();
    for (const JournalRecord& r : records)
        data += FormatRecord(r);
    return data;
}

JournalRecord Lap(int row, const QString& nr) {
    JournalRecord r{"LAP"};
    r.Add("row", row).Add("nr", nr);
    return r;
}

}  // namespace

TEST(JournalFormat, Crc32MatchesTheStandardCheckValue) {
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32(""), 0u);
}

TEST(JournalFormat, RecordsRoundTripWithAwkwardValues) {
    JournalRecord r{"EDIT"};
    const QString awkward = QStringLiteral("a b%c=d *12345678\t\r\nÄö€ ");
    r.Add("row", 3).Add("old", QString()).Add("new", awkward).Add("tick", 4294967295u);
    const QByteArray line = FormatRecord(r);
    ASSERT_TRUE(line.endsWith('\n'));
    EXPECT_EQ(line.count('\n'), 1);
    // Readable in a pager: plain key=value words, UTF-8 kept as it is.
    EXPECT_TRUE(line.startsWith("EDIT row=3 old= new=a%20b%25c=d%20*12345678%09%0d%0a"));
    EXPECT_TRUE(line.contains("Äö€"));

    JournalRecord back;
    ASSERT_TRUE(ParseRecord(QByteArrayView(line).chopped(1), back));
    EXPECT_EQ(back.type, "EDIT");
    EXPECT_EQ(back.Int("row"), 3);
    EXPECT_TRUE(back.Has("old"));
    EXPECT_EQ(back.Value("old", QStringLiteral("x")), QString());
    EXPECT_EQ(back.Value("new"), awkward);
    EXPECT_EQ(back.Tick("tick"), 4294967295u);
    EXPECT_FALSE(back.Has("none"));
}

TEST(JournalFormat, AValueStartingWithAZeroWidthNoBreakSpaceKeepsIt) {
    // U+FEFF reads as a byte-order mark to a decoder that skips one: the cell would come back
    // one character short. (Found by fuzzing.)
    JournalRecord r{"EDIT"};
    const QString value = QString(QChar(0xFEFF)) + QStringLiteral("12");
    r.Add("new", value).Add("old", QString(QChar(0xFEFF)) + QStringLiteral(" "));
    const QByteArray line = FormatRecord(r);
    JournalRecord back;
    ASSERT_TRUE(ParseRecord(QByteArrayView(line).chopped(1), back));
    EXPECT_EQ(back.fields, r.fields);
}

TEST(JournalFormat, DamagedLinesAreRecognised) {
    const QByteArray line = FormatRecord(Lap(1, QStringLiteral("117"))).chopped(1);
    JournalRecord r;
    ASSERT_TRUE(ParseRecord(line, r));
    QByteArray flipped = line;
    flipped[5] = 'X';
    EXPECT_FALSE(ParseRecord(flipped, r));
    EXPECT_FALSE(ParseRecord(line.chopped(1), r));
    EXPECT_FALSE(ParseRecord(line.left(8), r));
    EXPECT_FALSE(ParseRecord("", r));
    QByteArray badEscape = "LAP nr=%4";
    const std::uint32_t crc = Crc32(badEscape);
    badEscape += " *" + QByteArray::number(crc, 16).rightJustified(8, '0');
    EXPECT_FALSE(ParseRecord(badEscape, r));
}

TEST(JournalFormat, WholeJournalRoundTrip) {
    const JournalContents c = ParseJournal(Journal({Lap(1, "7"), Lap(2, ""), Lap(3, "12")}));
    EXPECT_EQ(c.status, JournalContents::Status::Ok);
    EXPECT_EQ(c.version, kJournalVersion);
    ASSERT_EQ(c.records.size(), 3u);
    EXPECT_EQ(c.records[2].Value("nr"), "12");
}

TEST(JournalFormat, ATornLastLineIsLostAlone) {
    QByteArray data = Journal({Lap(1, "7"), Lap(2, "8")});
    const QByteArray last = FormatRecord(Lap(3, "9"));
    for (int cut = 1; cut < last.size(); ++cut) {
        const JournalContents c = ParseJournal(data + last.left(cut));
        EXPECT_EQ(c.status, JournalContents::Status::Damaged) << cut;
        EXPECT_EQ(c.damagedLines, std::vector<int>{4});
        EXPECT_EQ(c.records.size(), 2u);
    }
}

TEST(JournalFormat, ADamagedLineInTheMiddleLosesThatLineOnly) {
    QByteArray bad = FormatRecord(Lap(2, "8"));
    bad.replace("nr=8", "nr=9");
    const QByteArray data =
        VersionLine() + FormatRecord(Lap(1, "7")) + bad + FormatRecord(Lap(3, "9"));
    const JournalContents c = ParseJournal(data);
    EXPECT_EQ(c.status, JournalContents::Status::Damaged);
    EXPECT_EQ(c.damagedLines, std::vector<int>{3});
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_EQ(c.records[0].Value("nr"), "7");
    EXPECT_EQ(c.records[1].Value("nr"), "9");
}

// A write that failed half-way leaves a torn line; the writer closes it with a line feed before
// it writes the whole record again.
TEST(JournalFormat, ARetriedWriteAfterATornLineIsReadBack) {
    const QByteArray second = FormatRecord(Lap(2, "8"));
    const QByteArray data = VersionLine() + FormatRecord(Lap(1, "7")) + second.left(9) + "\n" +
                            second + "\n" + FormatRecord(Lap(3, "9"));
    const JournalContents c = ParseJournal(data);
    EXPECT_EQ(c.damagedLines, std::vector<int>{3});
    ASSERT_EQ(c.records.size(), 3u);
    EXPECT_EQ(c.records[1].Value("nr"), "8");
}

TEST(JournalFormat, EmptyNewerAndForeignFiles) {
    EXPECT_EQ(ParseJournal("").status, JournalContents::Status::Empty);
    // Killed while the version line was being written.
    EXPECT_EQ(ParseJournal(VersionLine().left(10)).status, JournalContents::Status::Empty);
    const JournalContents onlyVersion = ParseJournal(VersionLine());
    EXPECT_EQ(onlyVersion.status, JournalContents::Status::Ok);
    EXPECT_TRUE(onlyVersion.records.empty());

    JournalRecord v{QByteArray(kJournalMagic)};
    v.Add("version", kJournalVersion + 1);
    const JournalContents newer = ParseJournal(FormatRecord(v) + "FUTURE stuff\n");
    EXPECT_EQ(newer.status, JournalContents::Status::Newer);
    EXPECT_EQ(newer.version, kJournalVersion + 1);

    EXPECT_EQ(ParseJournal("GenerelSettings\n1,2,3\n").status, JournalContents::Status::NotJournal);
    EXPECT_EQ(ParseJournal(FormatRecord(Lap(1, "1"))).status, JournalContents::Status::NotJournal);
}
