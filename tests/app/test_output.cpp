// The Word and Excel buttons and the Word choice of "Save protocol as.." through the automation
// seam: what reaches the office, what the operator is told, and a window that never waits.
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <QToolButton>

#include "app/menuitem.h"
#include "grid/sortgrid.h"
#include "tests/support/recordingautomation.h"
#include "platform/waitcursor.h"
#include "tests/app/formfixture.h"
#include "tests/support/gate.h"

namespace {
QString Joined(const RecordingAutomation& rec) {
    return rec.Log().join('\n');
}
}  // namespace

class Exports : public FormFixture {
protected:
    // A race at whole seconds whose finishers come in at 1:20, 2:50 and 10:00.
    TFormMain& WholeSecondRace() {
        TFormMain& f = Build();
        SetResolutionSetting(f, 0);
        f.SetResolution(0);
        f.mStart->Click();
        const int at[] = {80, 170, 600};
        int now = 0;
        const char* numbers[] = {"117", "118", "7"};
        for (int i = 0; i < 3; ++i) {
            clock.Advance(std::uint32_t(at[i] - now) * 1000u);
            now = at[i];
            f.cbStartN->setEditText(QString::fromUtf8(numbers[i]));
            f.mLAP->Click();
        }
        f.mStop->Click();
        // As an opened protocol may hold it (the start-number box takes five characters).
        f.SortGrid1->SetCells(1, 2, QString::fromUtf8("Jörg \"Jö\" ßé"));
        auto recording = std::make_unique<RecordingAutomation>();
        rec = recording.get();
        f.SetAutomation(std::move(recording));
        return f;
    }
    QString Path(const QString& name) { return dir.filePath(name); }

    RecordingAutomation* rec = nullptr;
};

TEST_F(Exports, ExcelButtonSendsTimesAsTextAndNumbersOnlyWhereTheyShowTheSame) {
    TFormMain& f = WholeSecondRace();
    ASSERT_EQ(f.SortGrid1->Cells(2, 1), "1.20");
    ASSERT_EQ(f.SortGrid1->Cells(2, 3), "10.00");
    ASSERT_TRUE(f.sbExcel->isEnabled());
    f.sbExcel->click();
    f.WaitForExports();
    const QString log = Joined(*rec);
    EXPECT_TRUE(log.contains("Excel.Application.Cells(1, 3) := \"Time\"")) << log.toStdString();
    EXPECT_TRUE(log.contains("Excel.Application.Cells(2, 3) := \"1.20\""));
    EXPECT_TRUE(log.contains("Excel.Application.Cells(3, 3) := \"2.50\""));
    EXPECT_TRUE(log.contains("Excel.Application.Cells(4, 3) := \"10.00\""));
    EXPECT_TRUE(log.contains("Excel.Application.Cells(3, 4) := \"1.30\""));
    EXPECT_TRUE(log.contains("Excel.Application.Cells(2, 4) := \"0\""));  // a split, text too
    EXPECT_TRUE(log.contains("Excel.Application.Cells(2, 2) := 117.0"));
    EXPECT_TRUE(log.contains("Excel.Application.Cells(2, 1) := \"1.\""));
    EXPECT_TRUE(log.contains(QString::fromUtf8("Cells(3, 2) := \"Jörg \\\"Jö\\\" ßé\"")));
    EXPECT_TRUE(log.endsWith("Excel.Application.Selection.Columns.Autofit()"));
    for (const AutomationRecord& r : rec->Records()) {
        if (r.kind != AutomationRecord::Kind::akRelease) {
            EXPECT_TRUE(r.waitCursor);
        }
    }
    EXPECT_FALSE(WaitCursor::Shown());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(Exports, ExcelButtonReportsACallRefusedAfterTheOfficeWasReached) {
    TFormMain& f = WholeSecondRace();
    rec->FailWhen([](const AutomationRecord& r) { return r.name == "add"; });
    f.sbExcel->click();
    f.WaitForExports();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Excel could not show the protocol: "));
    EXPECT_TRUE(dialogs.errors[0].contains("Workbooks.add")) << dialogs.errors[0].toStdString();
    // Unreachable office: nothing happens, nothing is said.
    rec->FailWhen([](const AutomationRecord& r) {
        return r.kind == AutomationRecord::Kind::akCreate ||
               r.kind == AutomationRecord::Kind::akGetActive;
    });
    f.sbExcel->click();
    f.WaitForExports();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_FALSE(WaitCursor::Shown());
    // The office's short reason is said, its own words wait under the details.
    rec->FailWithWords("not enough space", "ScDocShell::SaveAs failed: 0x309(Error Area:Io Class:Space Code:9)");
    rec->FailWhen([](const AutomationRecord& r) { return r.name == "Autofit"; });
    f.sbExcel->click();
    f.WaitForExports();
    ASSERT_EQ(dialogs.errors.size(), 2);
    EXPECT_EQ(dialogs.errors[1], "Excel could not show the protocol: not enough space");
    EXPECT_TRUE(dialogs.errorDetails[1].contains("Class:Space")) << dialogs.errorDetails[1].toStdString();
}

TEST_F(Exports, WordButtonStoresTheDateStampInShowMode) {
    TFormMain& f = WholeSecondRace();
    f.sbWord->click();
    f.WaitForExports();
    const QStringList log = rec->Log();
    ASSERT_GE(log.size(), 7) << log.join('\n').toStdString();
    EXPECT_EQ(log[0], "create Word.Basic");
    EXPECT_EQ(log[1], "Word.Basic.AppMaximize()");
    EXPECT_EQ(log[2], "Word.Basic.FileOpen(\"" + f.WordTemplatePath + "\")");
    EXPECT_TRUE(
        log[3].contains("Insert(\"Rang\\tNr.\\tTime\\tSplit\\tKm/h\\r\\n1.\\t117\\t1.20\\t0"))
        << log[3].toStdString();
    EXPECT_TRUE(log[3].contains(QString::fromUtf8("\\t\\\"Jörg \\\"\\\"Jö\\\"\\\" ßé\\\"\\t2.50")))
        << log[3].toStdString();
    EXPECT_TRUE(log[6].startsWith("Word.Basic.FileSaveAs(\"")) << log[6].toStdString();
    EXPECT_TRUE(log[6].endsWith(".doc\")"));
    EXPECT_EQ(log.size(), 7);  // no AppClose: Word stays open for the operator
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(Exports, WordButtonIsQuietWithoutAnOfficeButNotWhenItsDocumentCannotBeStored) {
    TFormMain& f = WholeSecondRace();
    rec->FailWhen(
        [](const AutomationRecord& r) { return r.kind == AutomationRecord::Kind::akCreate; });
    f.sbWord->click();
    f.WaitForExports();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    rec->FailWhen([](const AutomationRecord& r) { return r.name == "FileSaveAs"; });
    f.sbWord->click();
    f.WaitForExports();
    ASSERT_EQ(dialogs.errors.size(), 1);
    // The bare name the office saved under, told with its folder.
    EXPECT_TRUE(dialogs.errors[0].startsWith("Word could not save " + dir.path() + "/"))
        << dialogs.errors[0].toStdString();
    EXPECT_TRUE(dialogs.errors[0].contains(".doc: ")) << dialogs.errors[0].toStdString();
    // An office that had to be ended is told of, whatever the step.
    rec->FailAsTimeout(true);
    rec->FailWhen([](const AutomationRecord& r) { return r.name == "FileOpen"; });
    f.sbWord->click();
    f.WaitForExports();
    ASSERT_EQ(dialogs.errors.size(), 2);
    EXPECT_TRUE(dialogs.errors[1].contains("not answered")) << dialogs.errors[1].toStdString();
}

TEST_F(Exports, AFailedWordSaveTellsTheOperatorWhichFileAndWhy) {
    TFormMain& f = WholeSecondRace();
    const QString target = Path("results.doc");
    rec->FailWhen([](const AutomationRecord& r) { return r.name == "FileSaveAs"; });
    dialogs.saveAnswers = {{target, 2}};
    f.sbSaveClick();
    f.WaitForExports();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Word could not save " + target + ": "));
    EXPECT_TRUE(dialogs.errors[0].contains("refused")) << dialogs.errors[0].toStdString();
    // No office at all: the same, with its reason.
    rec->FailWhen(
        [](const AutomationRecord& r) { return r.kind == AutomationRecord::Kind::akCreate; });
    dialogs.saveAnswers = {{target, 2}};
    f.sbSaveClick();
    f.WaitForExports();
    ASSERT_EQ(dialogs.errors.size(), 2);
    EXPECT_TRUE(dialogs.errors[1].contains(target));
    // The office says it stored the file, but it is not there: not a save either.
    rec->FailWhen(nullptr);
    dialogs.saveAnswers = {{target, 2}};
    f.sbSaveClick();
    f.WaitForExports();
    ASSERT_EQ(dialogs.errors.size(), 3);
    EXPECT_EQ(dialogs.errors[2], "Word could not save " + target + ": The office did not write the file");
    // The office's own words, which say more than its short reason, wait under the details.
    const QString words = "SfxBaseModel::impl_store <file://" + target +
                          "> failed: 0x507(Error Area:Io Class:Access Code:7)";
    rec->FailWithWords("access denied", words);
    rec->FailWhen([](const AutomationRecord& r) { return r.name == "FileSaveAs"; });
    dialogs.saveAnswers = {{target, 2}};
    f.sbSaveClick();
    f.WaitForExports();
    ASSERT_EQ(dialogs.errors.size(), 4);
    EXPECT_EQ(dialogs.errors[3], "Word could not save " + target + ": access denied");
    EXPECT_EQ(dialogs.errorDetails[3], words);
}

TEST_F(Exports, ANameTypedWithoutExtensionGetsTheOneOfTheSelectedType) {
    TFormMain& f = WholeSecondRace();
    dialogs.saveAnswers = {{Path("result"), 2},
                           {Path("kept.txt"), 2},
                           {Path("list"), 1},
                           {Path("page"), 3},
                           {Path("proto"), 4}};
    for (int i = 0; i < 5; ++i)
        f.sbSaveClick();
    f.WaitForExports();
    const QString log = Joined(*rec);
    EXPECT_TRUE(log.contains("FileSaveAs(\"" + Path("result.doc") + "\")")) << log.toStdString();
    EXPECT_TRUE(log.contains("FileSaveAs(\"" + Path("kept.txt") + "\")"));
    EXPECT_TRUE(QFileInfo::exists(Path("list.csv")));
    EXPECT_TRUE(QFileInfo::exists(Path("page.html")));
    EXPECT_TRUE(QFileInfo::exists(Path("proto.txt")));
    EXPECT_FALSE(QFileInfo::exists(Path("list")));
}

TEST_F(Exports, TheWindowKeepsAnsweringWhileTheOfficeIsHeld) {
    TFormMain& f = WholeSecondRace();
    Gate gate;
    rec->FailWhen([&](const AutomationRecord& r) {
        if (r.name == "add") gate.Wait();
        return false;
    });
    f.sbExcel->click();
    // The click has returned while the office still holds the export.
    EXPECT_FALSE(gate.Left());
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    for (int i = 0; i < 2000 && !(gate.Reached() && timerRan); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(gate.Reached());
    EXPECT_TRUE(timerRan);
    EXPECT_TRUE(WaitCursor::Shown());
    // The operator may go on with the protocol meanwhile; the export has its own copy.
    f.SortGrid1->SetCells(1, 1, "999");
    f.sbWord->click();  // waits its turn
    gate.Open();
    f.WaitForExports();
    EXPECT_FALSE(WaitCursor::Shown());
    const QString log = Joined(*rec);
    EXPECT_TRUE(log.contains("Excel.Application.Cells(2, 2) := 117.0")) << log.toStdString();
    EXPECT_TRUE(log.contains("\\t999\\t"));
    EXPECT_LT(log.indexOf("Autofit"), log.indexOf("create Word.Basic"));
}
