#include <gtest/gtest.h>

#include "output/wordexport.h"
#include "tests/support/recordingautomation.h"
#include "platform/waitcursor.h"

namespace {
const std::vector<QStringList> kProtocol = {
    {"Rang", "Nr.", "Time", "Split", "Km/h"},
    {"1.", "117", "2:10.05,27", "0,00", "19,5"},
    {"2.", "1 7", "2:11.07,77", "1.02,50", "19,4"},
    {"3.", "", "2:12.00,00", "1.54,73", "19,3"},
};

const QString kProtocolText = QStringLiteral(
    "Rang\tNr.\tTime\tSplit\tKm/h\r\n"
    "1.\t117\t2:10.05,27\t0,00\t19,5\r\n"
    "2.\t\"1 7\"\t2:11.07,77\t1.02,50\t19,4\r\n"
    "3.\t\t2:12.00,00\t1.54,73\t19,3\r\n");

QString Escaped(const QString& text) {
    return Variant(text).Describe();
}

QStringList ExpectedLog(TWordMode mode, const QString& fileName) {
    QStringList log = {
        "create Word.Basic",
        mode == TWordMode::wmShow ? "Word.Basic.AppMaximize()" : "Word.Basic.AppMinimize()",
        "Word.Basic.FileOpen(\"/opt/race/race.doc\")",
        "Word.Basic.Insert(" + Escaped(kProtocolText) + ")",
        "Word.Basic.LineUp(32700, 1)",
        "Word.Basic.TextToTable(ConvertFrom:=1, NumColumns:=5)",
        "Word.Basic.FileSaveAs(" + Escaped(fileName) + ")",
    };
    if (mode == TWordMode::wmSave) log << "Word.Basic.AppClose()";
    return log;
}
}  // namespace

TEST(WordProtocolText, TabsBetweenCellsCrLfAfterEveryRowQuotesOnlyWhereNeeded) {
    EXPECT_EQ(WordProtocolText(kProtocol), kProtocolText);
    // A cell's commas and periods are left alone; an empty cell stays empty, unquoted.
    EXPECT_EQ(WordProtocolText({{"1,5", "", "x"}}), QStringLiteral("1,5\t\tx\r\n"));
    EXPECT_EQ(WordProtocolText({}), QString());
    EXPECT_EQ(WordProtocolText({{}}), QStringLiteral("\r\n"));
}

TEST(WordProtocolText, QuotedCellsDoubleTheirQuotes) {
    EXPECT_EQ(WordProtocolText({{"say \"hi\""}}), QStringLiteral("\"say \"\"hi\"\"\"\r\n"));
    EXPECT_EQ(WordProtocolText({{"a\"b"}}), QStringLiteral("\"a\"\"b\"\r\n"));
    // Control characters (a tab typed into a cell, a line end) are enclosed too.
    EXPECT_EQ(WordProtocolText({{"a\tb", "c\r\nd", QString(QChar(0x7f))}}),
              QStringLiteral("\"a\tb\"\t\"c\r\nd\"\t\"\x7f\"\r\n"));
    // Non-ASCII letters are no reason to quote.
    EXPECT_EQ(WordProtocolText({{QStringLiteral("Müller")}}), QStringLiteral("Müller\r\n"));
}

TEST(ConvertToWord, ShowModeIssuesTheCallSequenceUnderTheHourglass) {
    RecordingAutomation word;
    ConvertToWord(kProtocol, "/opt/race/race.doc", "2026-12-08-01-40.doc", TWordMode::wmShow, word);
    EXPECT_EQ(word.Log(), ExpectedLog(TWordMode::wmShow, "2026-12-08-01-40.doc"));
    for (const AutomationRecord& r : word.Records()) {
        if (r.kind != AutomationRecord::Kind::akRelease) {
            EXPECT_TRUE(r.waitCursor) << r.ToString().toStdString();
        }
    }
    EXPECT_FALSE(WaitCursor::Shown());
    EXPECT_EQ(word.LiveObjects(), 0);
}

TEST(ConvertToWord, SaveModeMinimisesAndClosesAtTheEnd) {
    RecordingAutomation word;
    ConvertToWord(kProtocol, "/opt/race/race.doc", "results.txt", TWordMode::wmSave, word);
    EXPECT_EQ(word.Log(), ExpectedLog(TWordMode::wmSave, "results.txt"));
    // Numbers go as integers, texts as strings.
    for (const AutomationRecord& r : word.Records()) {
        if (r.name == QLatin1String("LineUp")) {
            ASSERT_EQ(r.args.size(), 2u);
            EXPECT_EQ(r.args[0].kind(), Variant::Kind::vkInt);
            EXPECT_EQ(r.args[1].kind(), Variant::Kind::vkInt);
        }
        if (r.name == QLatin1String("Insert")) {
            EXPECT_EQ(r.args[0].kind(), Variant::Kind::vkString);
        }
    }
    EXPECT_EQ(word.Records().back().ToString(), QStringLiteral("release Word.Basic"));
}

TEST(ConvertToWord, AFailureAtAnyStepEndsTheExportThereAndSaysWhy) {
    for (TWordMode mode : {TWordMode::wmShow, TWordMode::wmSave}) {
        const QStringList full = ExpectedLog(mode, "r.doc");
        const qsizetype saveStep = full.indexOf("Word.Basic.FileSaveAs(\"r.doc\")");
        for (int step = 0; step < full.size(); ++step) {
            RecordingAutomation word;
            word.FailAt(step);
            TExportOutcome outcome;
            EXPECT_NO_THROW(
                outcome = ConvertToWord(kProtocol, "/opt/race/race.doc", "r.doc", mode, word));
            EXPECT_EQ(word.Log(), full.mid(0, step + 1)) << "failing step " << step;
            EXPECT_TRUE(outcome.error.contains(full[step])) << outcome.error.toStdString();
            EXPECT_EQ(outcome.storing, step >= saveStep) << "failing step " << step;
            EXPECT_FALSE(outcome.officeEnded);
            // Only AppClose comes after a successful FileSaveAs, and r.doc is not on disk.
            EXPECT_FALSE(outcome.done) << "failing step " << step;
            EXPECT_FALSE(WaitCursor::Shown()) << "failing step " << step;
            EXPECT_EQ(word.LiveObjects(), 0);
        }
    }
}

TEST(ConvertToWord, AnOfficeThatHadToBeEndedIsSaidSo) {
    RecordingAutomation word;
    word.FailAsTimeout(true);
    word.FailWhen([](const AutomationRecord& r) { return r.name == QLatin1String("TextToTable"); });
    const TExportOutcome outcome =
        ConvertToWord(kProtocol, "t.doc", "r.doc", TWordMode::wmShow, word);
    EXPECT_TRUE(outcome.officeEnded);
    EXPECT_FALSE(outcome.done);
    EXPECT_FALSE(outcome.storing);
}

TEST(ConvertToWord, ASaveCountsOnlyWhenTheFileIsThere) {
    RecordingAutomation word;
    const TExportOutcome shown =
        ConvertToWord(kProtocol, "t.doc", "r.doc", TWordMode::wmShow, word);
    EXPECT_TRUE(shown.done);  // the office keeps it open: its word is taken
    const TExportOutcome saved =
        ConvertToWord(kProtocol, "t.doc", "/nonexistent/r.doc", TWordMode::wmSave, word);
    EXPECT_FALSE(saved.done);
    EXPECT_TRUE(saved.storing);
    EXPECT_EQ(saved.error, "The office did not write the file");
}

TEST(ConvertToWord, NonAutomationErrorsAreSwallowedToo) {
    RecordingAutomation word;
    word.FailWhen([](const AutomationRecord& r) {
        if (r.name == QLatin1String("Insert")) throw std::runtime_error("out of memory");
        return false;
    });
    EXPECT_NO_THROW(ConvertToWord(kProtocol, "t.doc", "r.doc", TWordMode::wmShow, word));
    EXPECT_EQ(word.Steps(), 4);
    EXPECT_FALSE(WaitCursor::Shown());
}
