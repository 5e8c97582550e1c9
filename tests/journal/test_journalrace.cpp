#include <gtest/gtest.h>

#include "journal/journalrace.h"

namespace {

QStringList Row(int rank, const QString& nr, const QString& time) {
    return {QString::number(rank) + QLatin1Char('.'), nr, time, QStringLiteral("0,00"),
            QStringLiteral("12.5")};
}

// Every record goes through its text line and back, as a restore reads it.
RaceReplay ReplayThroughText(const std::vector<JournalRecord>& records) {
    QByteArray data = VersionLine();
    for (const JournalRecord& r : records)
        data += FormatRecord(r);
    const JournalContents c = ParseJournal(data);
    EXPECT_EQ(c.status, JournalContents::Status::Ok);
    return Replay(c.records);
}

std::vector<JournalRecord> StartOfRace(std::uint32_t tick) {
    StartClocks clocks;
    clocks.tick = tick;
    clocks.wallMs = 1796800000000;
    clocks.bootId = QStringLiteral("boot-a");
    std::vector<JournalRecord> rs{StartRecord(clocks, RaceSettings{1, 42195, 3, 2})};
    for (JournalRecord& g : GridRecords(JournalGrid{}))
        rs.push_back(std::move(g));
    return rs;
}

}  // namespace

TEST(JournalReplay, LapsEditsStopAndSettings) {
    auto rs = StartOfRace(5000);
    rs.push_back(LapRecord(1, 6000, "17", LapSource::Key, {}, Row(1, "17", "1,0"), 2, false));
    rs.push_back(LapRecord(2, 7500, "", LapSource::Photocell, 7499u, Row(2, "", "2,5"), 3, true));
    rs.push_back(EditRecord(1, 2, "", "2"));
    rs.push_back(EditRecord(1, 2, "2", "23"));
    rs.push_back(EditRecord(1, 1, "17", "171"));
    rs.push_back(StopRecord(9000));
    RaceReplay race = ReplayThroughText(rs);
    EXPECT_EQ(race.settings.resolution, 1);
    rs.push_back(SettingsRecord(RaceSettings{0, 10000, 0, 1}));
    EXPECT_EQ(ReplayThroughText(rs).settings.resolution, 0);
    EXPECT_EQ(ReplayThroughText(rs).settings.distance, 10000);
    rs.pop_back();

    EXPECT_TRUE(race.started);
    EXPECT_EQ(race.state, RunState::Stopped);
    EXPECT_EQ(race.settings.resolution, 1);
    EXPECT_EQ(race.settings.distance, 42195);
    EXPECT_EQ(race.settings.port, 3);
    EXPECT_EQ(race.settings.algorithm, 2);
    EXPECT_EQ(race.start.bootId, "boot-a");
    EXPECT_EQ(race.startTick, 5000u);
    EXPECT_EQ(race.firstLapTick, 6000u);
    EXPECT_EQ(race.lapTick, 7500u);
    EXPECT_EQ(race.stopTick, 9000u);
    EXPECT_EQ(race.lapCount, 2);
    EXPECT_EQ(race.grid.rowCount, 3);
    EXPECT_TRUE(race.grid.modified);
    EXPECT_EQ(race.grid.Row(1), Row(1, "171", "1,0"));
    EXPECT_EQ(race.grid.Row(2), Row(2, "23", "2,5"));
    EXPECT_EQ(race.grid.FilledRows(), 2);
    EXPECT_EQ(race.events, int(rs.size()));
}

TEST(JournalReplay, ResetClearsAndLaterLapsStartOver) {
    auto rs = StartOfRace(100);
    rs.push_back(LapRecord(1, 200, "1", LapSource::Button, {}, Row(1, "1", "0,1"), 2, false));
    rs.push_back(LapRecord(2, 300, "2", LapSource::Button, {}, Row(2, "2", "0,2"), 3, true));
    rs.push_back(StopRecord(400));
    rs.push_back(ResetRecord());
    RaceReplay race = ReplayThroughText(rs);
    EXPECT_EQ(race.state, RunState::Ready);
    EXPECT_EQ(race.grid.rowCount, 2);
    EXPECT_FALSE(race.grid.modified);
    EXPECT_EQ(race.grid.FilledRows(), 0);
    EXPECT_TRUE(race.grid.Row(1).isEmpty());
}

TEST(JournalReplay, GridAtStartKeepsOpenedRowsUnderTheLaps) {
    // A protocol opened before START stays below the rows the new laps write.
    StartClocks clocks;
    std::vector<JournalRecord> rs{StartRecord(clocks, RaceSettings{})};
    JournalGrid opened;
    opened.rowCount = 4;
    opened.SetRow(1, Row(1, "9", "old1"));
    opened.SetRow(3, Row(3, "8", "old3"));
    for (JournalRecord& g : GridRecords(opened))
        rs.push_back(std::move(g));
    rs.push_back(LapRecord(1, 10, "5", LapSource::Key, {}, Row(1, "5", "new1"), 4, false));
    const RaceReplay race = ReplayThroughText(rs);
    EXPECT_EQ(race.grid.rowCount, 4);
    EXPECT_EQ(race.grid.Row(1), Row(1, "5", "new1"));
    EXPECT_TRUE(race.grid.Row(2).isEmpty());
    EXPECT_EQ(race.grid.Row(3), Row(3, "8", "old3"));
    EXPECT_EQ(race.state, RunState::Running);
}

TEST(JournalReplay, ResumeMovesEveryTickAndEndsADecline) {
    auto rs = StartOfRace(4294967000u);  // wraps during the race
    rs.push_back(
        LapRecord(1, 4294967000u + 700, "", LapSource::Key, {}, Row(1, "", "0,7"), 2, false));
    rs.push_back(DeclinedRecord(1));
    RaceReplay race = ReplayThroughText(rs);
    EXPECT_TRUE(race.declined);
    rs.push_back(ResumeRecord("boot-b", 50, 2));
    rs.push_back(LapRecord(2, 2000, "", LapSource::Key, {}, Row(2, "", "1,9"), 3, true));
    race = ReplayThroughText(rs);
    EXPECT_FALSE(race.declined);
    EXPECT_EQ(race.bootId, "boot-b");
    EXPECT_EQ(race.startTick, 50u);
    EXPECT_EQ(race.firstLapTick, 750u);
    EXPECT_EQ(race.lapTick, 2000u);
    EXPECT_FALSE(race.cleanEnd);
    rs.push_back(EndRecord(3));
    EXPECT_TRUE(ReplayThroughText(rs).cleanEnd);
}

TEST(JournalReplay, AbsurdRowNumbersAreNotBelieved) {
    // A line with a sound checksum can still come from a broken or hostile writer.
    auto rs = StartOfRace(1);
    JournalRecord grid{"GRID"};
    grid.Add("rows", qint64(1) << 40);
    rs.push_back(grid);
    JournalRecord lap = LapRecord(1, 2, "", LapSource::Key, {}, Row(1, "", "0,0"), 2, false);
    lap.fields[0].second = QStringLiteral("2000000000");
    rs.push_back(lap);
    rs.push_back(EditRecord(1, 2000000000, "", "x"));
    rs.push_back(EditRecord(5000, 1, "", "x"));
    const RaceReplay race = ReplayThroughText(rs);
    EXPECT_EQ(race.grid.rowCount, JournalGrid::kMaxRows);
    EXPECT_LT(race.grid.rows.size(), 10u);
}

TEST(JournalReplay, UnknownRecordsAreSkipped) {
    auto rs = StartOfRace(1);
    rs.push_back(JournalRecord{"WEATHER"});
    rs.push_back(LapRecord(1, 2, "", LapSource::Key, {}, Row(1, "", "0,0"), 2, false));
    const RaceReplay race = ReplayThroughText(rs);
    EXPECT_EQ(race.lapCount, 1);
    EXPECT_EQ(race.events, int(rs.size()) - 1);
}

TEST(JournalFiles, NamesSortByStartAndSequence) {
    const QDateTime t(QDate(2026, 12, 9), QTime(10, 32, 5));
    EXPECT_EQ(JournalFileName(t), "2026-12-09-10-32-05.journal");
    EXPECT_EQ(JournalFileName(t, 2), "2026-12-09-10-32-05_2.journal");
    QDateTime back;
    int seq = 0;
    ASSERT_TRUE(ParseJournalFileName("2026-12-09-10-32-05_12.journal", back, seq));
    EXPECT_EQ(back, t);
    EXPECT_EQ(seq, 12);
    EXPECT_FALSE(ParseJournalFileName("2026-12-09-10-32-05.txt", back, seq));
    EXPECT_FALSE(ParseJournalFileName("2026-13-09-10-32-05.journal", back, seq));
    EXPECT_TRUE(
        JournalNameLater("2026-12-09-10-32-05_10.journal", "2026-12-09-10-32-05_9.journal"));
    EXPECT_TRUE(JournalNameLater("2026-12-09-10-32-05_2.journal", "2026-12-09-10-32-05.journal"));
    EXPECT_TRUE(JournalNameLater("2026-12-09-10-32-06.journal", "2026-12-09-10-32-05_2.journal"));
    EXPECT_FALSE(JournalNameLater("2025-12-09-10-32-06.journal", "2026-01-01-00-00-00.journal"));
}

TEST(JournalFiles, RetentionKeepsYoungAndTheNewestTwenty) {
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0));
    QStringList names{QStringLiteral("notes.journal"), QStringLiteral("other.txt")};
    // 30 old races (100 to 129 days ago) and 5 young ones.
    for (int d = 100; d < 130; ++d)
        names << JournalFileName(now.addDays(-d));
    for (int d = 0; d < 5; ++d)
        names << JournalFileName(now.addDays(-d));
    const QStringList doomed = JournalsToDelete(names, now);
    // The five young ones and the 15 newest old ones stay.
    EXPECT_EQ(doomed.size(), 15);
    for (int d = 115; d < 130; ++d)
        EXPECT_TRUE(doomed.contains(JournalFileName(now.addDays(-d)))) << d;

    // Many young journals: none goes, however many there are.
    QStringList young;
    for (int d = 0; d < 60; ++d)
        young << JournalFileName(now.addDays(-d));
    EXPECT_TRUE(JournalsToDelete(young, now).isEmpty());
    // Exactly 90 days old is not older than 90 days.
    EXPECT_TRUE(JournalsToDelete({JournalFileName(now.addDays(-90))}, now, 90, 0).isEmpty());
    EXPECT_EQ(JournalsToDelete({JournalFileName(now.addDays(-91))}, now, 90, 0).size(), 1);
}
