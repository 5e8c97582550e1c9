#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QToolButton>

#include "app/menuitem.h"
#include "grid/sortgrid.h"
#include "platform/recordingautomation.h"
#include "tests/app/formfixture.h"

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

class Files : public FormFixture {
protected:
    TFormMain& WithLaps(int laps) {
        TFormMain& f = Build();
        f.mStart->Click();
        for (int i = 0; i < laps; ++i) {
            clock.Advance(1000);
            f.cbStartN->setEditText(QString::number(100 + i));
            f.mLAP->Click();
        }
        f.mStop->Click();
        return f;
    }
    QString Path(const QString& name) { return dir.filePath(name); }
};

TEST_F(Files, SaveProposesTheDateStampAndTheTypeDecidesTheFormat) {
    TFormMain& f = WithLaps(2);
    dialogs.saveAnswers = {{Path("page.txt"), 3}, {Path("list.doc"), 1}, {Path("proto.html"), 4}};
    f.sbSaveClick();
    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests[0].fileName.size(), 16);
    EXPECT_EQ(dialogs.saveRequests[0].filterIndex, 2);
    EXPECT_TRUE(ReadAll(Path("page.txt")).contains("<table"));
    SaveShotFile(Path("page.txt"), "protocol.html");
    f.sbSaveClick();
    EXPECT_TRUE(ReadAll(Path("list.doc")).startsWith("Rang;Nr.;Time;Split;Km/h\r\n"));
    f.sbSaveClick();
    EXPECT_TRUE(ReadAll(Path("proto.html")).startsWith("GenerelSettings,0\r\n"));
    EXPECT_EQ(f.SaveDialog1.filterIndex, 4);  // kept for the next save and written at exit
    EXPECT_TRUE(f.SortGrid1->Modified());     // saving does not clear it
}

TEST_F(Files, CancelledSaveWritesNothing) {
    TFormMain& f = WithLaps(1);
    f.sbSaveClick();
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.csv", "*.html"}, QDir::Files).isEmpty());
}

TEST_F(Files, WordChoiceSavesThroughTheOfficeSuite) {
    TFormMain& f = WithLaps(1);
    auto recording = std::make_unique<RecordingAutomation>();
    RecordingAutomation* rec = recording.get();
    f.SetAutomation(std::move(recording));
    dialogs.saveAnswers = {{Path("result.txt"), 2}};
    f.sbSaveClick();
    QStringList lines;
    for (const auto& r : rec->Records())
        lines << r.ToString();
    EXPECT_TRUE(lines.join('\n').contains("FileSaveAs")) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.join('\n').contains("AppMinimize"));
}

TEST_F(Files, OpenAskedOverUnsavedResultsAndRefusedWithNo) {
    TFormMain& f = WithLaps(2);
    f.SortGrid1->SaveToFile(Path("old.txt"), false);
    f.SortGrid1->SetCells(1, 1, "999");
    dialogs.confirmAnswers = {false};
    dialogs.openAnswers = {Path("old.txt")};
    f.sbLoadClick();
    EXPECT_EQ(dialogs.confirms, QStringList{"Clear protocol?"});
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "999");
    EXPECT_TRUE(dialogs.openRequests.empty());
    dialogs.confirmAnswers = {true};
    f.sbLoadClick();
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "100");
    EXPECT_FALSE(f.SortGrid1->Modified());
    EXPECT_TRUE(f.sbSave->isEnabled());
}

TEST_F(Files, AFailedOpenLeavesTheProtocolAndSaysWhichFile) {
    TFormMain& f = WithLaps(3);
    f.SortGrid1->SetModified(false);
    QFile bad(Path("bad.txt"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("GenerelSettings,0\r\nFontColSettings,\"x,y\"\r\n");
    bad.close();
    dialogs.openAnswers = {Path("bad.txt")};
    f.sbLoadClick();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(Path("bad.txt")));
    EXPECT_EQ(f.SortGrid1->RowCount(), 4);
    EXPECT_EQ(f.SortGrid1->Cells(1, 3), "102");
}

TEST_F(Files, AProtocolNamedAtStartUpTakesTheOpenCommandsPath) {
    {
        TFormMain& f = WithLaps(2);
        f.SortGrid1->SaveToFile(Path("race.txt"), false);
        f.SortGrid1->SetModified(false);
        Destroy();
    }
    TFormMain& f = Build();
    f.OpenProtocolArgument(Path("race.txt"));
    EXPECT_TRUE(dialogs.confirms.isEmpty());  // nothing to lose yet
    EXPECT_TRUE(dialogs.openRequests.empty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(f.SortGrid1->Cells(1, 2), "101");
    EXPECT_FALSE(f.SortGrid1->Modified());
    EXPECT_TRUE(f.sbSave->isEnabled());

    f.OpenProtocolArgument(Path("missing.txt"));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(Path("missing.txt")));
    EXPECT_EQ(f.SortGrid1->Cells(1, 2), "101");

    // Unsaved results are asked about first, as by the Open command.
    f.SortGrid1->SetCells(1, 1, "999");
    f.SortGrid1->SetModified(true);
    dialogs.confirmAnswers = {false};
    f.OpenProtocolArgument(Path("race.txt"));
    EXPECT_EQ(dialogs.confirms, QStringList{"Clear protocol?"});
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "999");
}

TEST_F(Files, ExitSaveWritesTheProtocolButNeverAnEmptyOneOverALastRace) {
    {
        TFormMain& f = WithLaps(2);
        f.SortGrid1->SetModified(false);
        Destroy();
    }
    const QString exitFile = Path("vidazorov.txt");
    const QByteArray race = ReadAll(exitFile);
    EXPECT_TRUE(race.contains("\r\n1.,100,"));
    Build();
    Destroy();  // started and closed again: the race stays
    EXPECT_EQ(ReadAll(exitFile), race);
    QFile::remove(exitFile);
    Build();
    Destroy();  // no earlier file: the empty protocol is written
    EXPECT_TRUE(ReadAll(exitFile).startsWith("GenerelSettings"));
}

TEST_F(Files, PrintSetsTitlesAndRows) {
    TFormMain& f = WithLaps(5);
    f.sbPrintClick();  // prints, or reports that no printer is installed
    const TPrintOptions& p = f.SortGrid1->PrintOptions();
    EXPECT_EQ(p.JobTitle, "vidazorov");
    EXPECT_TRUE(p.PageTitle.startsWith("vidazorov       20"));
    EXPECT_EQ(p.PageTitle.size(), 9 + 7 + 16);
    EXPECT_EQ(p.FromRow, 1u);
    EXPECT_EQ(p.ToRow, 5u);
}
