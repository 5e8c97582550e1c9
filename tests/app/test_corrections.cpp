// Corrections through the real window: keys in the list, its context menu, the dialogs, Undo
// and Redo; timing never stops for them; and a corrected race comes back from its journal
// exactly, its undo history too.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/correctiondialog.h"
#include "app/menuitem.h"
#include "app/panel.h"
#include "widgets/digit.h"
#include "platform/ttimer.h"
#include "tests/app/formfixture.h"
#include "tests/support/fakeserialdevice.h"
#include "platform/serialdevice.h"

namespace {

class Corrections : public FormFixture {
protected:
    // Four finishers at 10, 11, 12 and 13 s, the window shown and active for real keys.
    TFormMain& FourFinishers() {
        TFormMain& f = Build();
        f.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
        f.mStart->Click();
        for (int i = 1; i <= 4; ++i) {
            clock.Advance(i == 1 ? 10000 : 1000);
            f.cbStartN->setEditText(QString::number(100 + i));
            f.mLAP->Click();
        }
        return f;
    }
    QStringList Column(const TFormMain& f, int col) {
        QStringList out;
        for (int r = 1; r < f.SortGrid1->RowCount(); ++r)
            out << f.SortGrid1->Cells(col, r);
        return out;
    }
    // A click on a time cell: the whole row is selected, as the operator picks a finisher.
    void PickRow(TFormMain& f, int row) {
        QTest::mouseClick(f.SortGrid1->viewport(), Qt::LeftButton, {},
                          f.SortGrid1->CellRect(2, row).center());
    }
    QAction* Item(QMenu& menu, const QString& startsWith) {
        for (QAction* a : menu.actions())
            if (a->text().remove('&').startsWith(startsWith)) return a;
        ADD_FAILURE() << startsWith.toStdString();
        return nullptr;
    }
    // The correction dialog the next Exec shows: filled and OK clicked, or its first refusal
    // kept.
    void AnswerDialog(const std::function<void(TCorrectionDialog&)>& fill) {
        dialogs.onExec = [fill](QDialog* d) {
            auto& c = *static_cast<TCorrectionDialog*>(d);
            fill(c);
            c.bOK->click();
            return c.result();
        };
    }
};

}  // namespace

TEST_F(Corrections, DeleteKeyAsksWithNoAsItsDefaultAndRenumbers) {
    TFormMain& f = FourFinishers();
    PickRow(f, 2);
    dialogs.confirmAnswers = {false};
    QTest::keyClick(f.SortGrid1, Qt::Key_Delete);
    ASSERT_EQ(dialogs.asks.size(), 1u);
    EXPECT_EQ(dialogs.asks[0].first, "Delete finisher 102 (rank 2, 11,00)?");
    EXPECT_FALSE(dialogs.asks[0].second);
    EXPECT_EQ(Column(f, 1), (QStringList{"101", "102", "103", "104"}));
    dialogs.confirmAnswers = {true};
    QTest::keyClick(f.SortGrid1, Qt::Key_Delete);
    EXPECT_EQ(Column(f, 0), (QStringList{"1.", "2.", "3."}));
    EXPECT_EQ(Column(f, 1), (QStringList{"101", "103", "104"}));
    EXPECT_EQ(f.bLAP->text(), "LAP 4");
    // The next finisher is the fourth, and the journal holds the story.
    clock.Advance(1000);
    f.mLAP->Click();
    EXPECT_EQ(f.SortGrid1->Cells(0, 4), "4.");
    QFile journal(f.JournalPath());
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    EXPECT_TRUE(journal.readAll().contains("\nDELETE row=2 "));
}

TEST_F(Corrections, AMissedFinishIsInsertedFromItsDialogAndMarked) {
    TFormMain& f = FourFinishers();
    f.mStop->Click();
    // A wrong entry is refused in the dialog with the expected form; nothing changes.
    bool refusedFirst = false;
    dialogs.onExec = [&](QDialog* d) {
        auto& c = *static_cast<TCorrectionDialog*>(d);
        c.edTime->setText("1.75,00");
        c.bOK->click();
        refusedFirst = c.result() != QDialog::Accepted && dialogs.errors.size() == 1;
        c.edTime->setText("0:00:11,50");
        c.edStartNo->setText("77");
        c.bOK->click();
        return c.result();
    };
    QTest::keyClick(f.SortGrid1, Qt::Key_Insert);
    EXPECT_TRUE(refusedFirst);
    ASSERT_FALSE(dialogs.errors.isEmpty());
    EXPECT_TRUE(dialogs.errors[0].contains("1.02,35")) << dialogs.errors[0].toStdString();
    EXPECT_EQ(Column(f, 1), (QStringList{"101", "102", "77", "103", "104"}));
    EXPECT_EQ(f.SortGrid1->Cells(2, 3), "11,50");
    EXPECT_EQ(f.SortGrid1->Cells(0, 5), "5.");
    ASSERT_EQ(f.Race().Row(3).notes.size(), 1);
    EXPECT_TRUE(f.Race().Row(3).notes[0].startsWith("Inserted at "));
    // It stands out in the grid.
    const QImage grid = Render(f.SortGrid1);
    const QRect cell = f.SortGrid1->CellRect(0, 3);
    EXPECT_EQ(grid.pixelColor(cell.left() + 3, cell.top() + 3), QColor(0xFF, 0xE8, 0xA8));
    SaveShot(grid, "corrections-inserted-row");
}

TEST_F(Corrections, CtrlUpAndDownSwapStartNumbersAndTheContextMenuToo) {
    TFormMain& f = FourFinishers();
    PickRow(f, 3);
    QTest::keyClick(f.SortGrid1, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Column(f, 1), (QStringList{"101", "103", "102", "104"}));
    EXPECT_EQ(Column(f, 2), (QStringList{"10,00", "11,00", "12,00", "13,00"}));
    std::unique_ptr<QMenu> menu = f.CorrectionMenu(3);
    Item(*menu, "Swap with the row below")->trigger();
    EXPECT_EQ(Column(f, 1), (QStringList{"101", "103", "104", "102"}));
    EXPECT_FALSE(f.Race().Row(4).notes.isEmpty());
}

TEST_F(Corrections, AFinishTimeCorrectedFromTheMenuMovesTheRow) {
    TFormMain& f = FourFinishers();
    AnswerDialog([](TCorrectionDialog& d) { d.edTime->setText("12,50"); });
    std::unique_ptr<QMenu> menu = f.CorrectionMenu(1);
    Item(*menu, "Correct the finish time")->trigger();
    EXPECT_EQ(Column(f, 1), (QStringList{"102", "103", "101", "104"}));
    EXPECT_EQ(Column(f, 3), (QStringList{"0,00", "1,00", "1,50", "2,00"}));
    EXPECT_TRUE(f.Race().Row(3).notes.value(0).contains("from 10,00 to 12,50"));
}

TEST_F(Corrections, TheStartCorrectedShiftsEveryTimeAndTheRunningClock) {
    TFormMain& f = FourFinishers();
    AnswerDialog([](TCorrectionDialog& d) {
        d.rbLate->setChecked(true);
        d.edTime->setText("3,00");
    });
    std::unique_ptr<QMenu> menu = f.CorrectionMenu(0);
    Item(*menu, "Correct the start")->trigger();
    EXPECT_EQ(Column(f, 2), (QStringList{"13,00", "14,00", "15,00", "16,00"}));
    EXPECT_EQ(Column(f, 3), (QStringList{"0,00", "1,00", "2,00", "3,00"}));
    f.Clock->Fire();
    EXPECT_EQ(f.Digit6->Value(), 6);  // 16 s now, not 13
    EXPECT_TRUE(f.PanelTimer->toolTip().contains("pressed 3,00 late"));
    // By the time of day: the race started a second after the press.
    const QDateTime pressed = QDateTime::fromMSecsSinceEpoch(f.Race().StartWallMs());
    AnswerDialog([&](TCorrectionDialog& d) {
        d.rbAt->setChecked(true);
        d.edTime->setText(pressed.addSecs(1).toString("HH:mm:ss,zzz").left(11));
    });
    f.CorrectStart();
    EXPECT_EQ(f.SortGrid1->Cells(2, 1), "12,00");
}

// Undo and Redo with their keys, back to the race as recorded and forward again.
TEST_F(Corrections, CtrlZAndCtrlYTakeBackAndRedoInOrder) {
    TFormMain& f = FourFinishers();
    const QStringList recorded = Column(f, 1);
    EXPECT_FALSE(f.mUndo->Enabled());
    dialogs.confirmAnswers = {true};
    f.DeleteFinisher(1);
    f.SwapWithNeighbour(1, 1);
    const QStringList corrected = Column(f, 1);
    // The start-number box is where the focus is while the clock runs; the keys still work.
    f.cbStartN->setFocus();
    QTest::keyClick(f.cbStartN->lineEdit(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(f.cbStartN->lineEdit(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Column(f, 1), recorded);
    EXPECT_FALSE(f.mUndo->Enabled());
    QTest::keyClick(&f, Qt::Key_Y, Qt::ControlModifier);
    std::unique_ptr<QMenu> menu = f.CorrectionMenu(1);
    Item(*menu, "Redo swap")->trigger();
    EXPECT_EQ(Column(f, 1), corrected);
    menu = f.CorrectionMenu(1);
    Item(*menu, "Undo swap")->trigger();
    EXPECT_EQ(Column(f, 1), (QStringList{"102", "103", "104"}));
}

// A correction dialog open during the race: a photocell finish is recorded at its own time, and
// Enter records the next finisher instead of confirming; nothing lands in the dialog's field.
TEST_F(Corrections, TimingGoesOnWhileACorrectionDialogIsOpen) {
    TFormMain& f = Build();
    auto fake = std::make_unique<FakeSerialDevice>();
    FakeSerialDevice* device = fake.get();
    f.ComPort->SetDevice(std::move(fake));
    f.ComPort->SetPort(3);
    SetAlgorithm(f, 2);
    f.ComPort->Open();
    ASSERT_TRUE(device->WaitUntilIdle());
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.mStart->Click();
    clock.Advance(10000);
    f.mLAP->Click();
    std::uint32_t edgeTick = 0;
    int lapsWhileOpen = 0;
    dialogs.onExec = [&](QDialog* d) {
        auto& c = *static_cast<TCorrectionDialog*>(d);
        c.edTime->setText("5,00");
        clock.Advance(2000);
        edgeTick = GetTickCount();
        device->SetModemStatus(MS_DSR_ON);  // the beam is broken
        EXPECT_TRUE(device->WaitUntilIdle());
        EXPECT_TRUE(QTest::qWaitFor([&] { return f.Race().LapCount() == 2; }, 5000));
        clock.Advance(3000);
        f.cbStartN->setEditText("55");
        QTest::keyClick(c.edTime, Qt::Key_Return);
        lapsWhileOpen = f.Race().LapCount();
        EXPECT_TRUE(c.isVisible() || !c.result());
        EXPECT_EQ(c.edTime->text(), "5,00");
        c.reject();
        return int(QDialog::Rejected);
    };
    f.InsertFinish();
    EXPECT_EQ(lapsWhileOpen, 3);
    EXPECT_EQ(f.Race().Row(2).finish->tick, edgeTick);
    EXPECT_EQ(f.SortGrid1->Cells(1, 3), "55");
    EXPECT_EQ(f.Race().LapCount(), 3);  // the dialog was not confirmed
}

// Enter while a start number is typed over in the list confirms it: no phantom finisher.
TEST_F(Corrections, EnterInAStartNumberCellConfirmsItAndRecordsNoFinisher) {
    TFormMain& f = FourFinishers();
    TSortGrid* g = f.SortGrid1;
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->CellRect(1, 2).center());
    for (const char key : {'4', '2'})
        QTest::keyClick(QApplication::focusWidget(), key);  // wherever the focus went
    ASSERT_TRUE(g->EditorMode());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(f.Race().LapCount(), 4);
    EXPECT_FALSE(g->EditorMode());
    EXPECT_EQ(g->Cells(1, 2), "42");
    EXPECT_EQ(f.Race().Row(2).cells.value(1), "42");
}

// A number typed after a click in the list is the next finisher's, not lost.
TEST_F(Corrections, DigitsTypedWhileTheClockRunsGoToTheNumberBox) {
    TFormMain& f = FourFinishers();
    PickRow(f, 1);
    QTest::keyClicks(QApplication::focusWidget(), "44");
    EXPECT_EQ(f.cbStartN->currentText(), "44");
    clock.Advance(1000);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(f.Race().LapCount(), 5);
    EXPECT_EQ(f.SortGrid1->Cells(1, 5), "44");
}

// Exit file, saved files and exports take the list as corrected.
TEST_F(Corrections, EveryWayOutShowsTheCorrectedList) {
    TFormMain& f = FourFinishers();
    dialogs.confirmAnswers = {true};
    f.DeleteFinisher(2);
    f.mStop->Click();
    dialogs.saveAnswers = {{dir.filePath("out.csv"), 1}};
    f.sbSaveClick();
    QFile csv(dir.filePath("out.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray text = csv.readAll();
    EXPECT_TRUE(text.contains("2.;103;12,00;2,00;")) << text.constData();
    EXPECT_FALSE(text.contains("102"));
    EXPECT_EQ(f.ProtocolRows()[2].value(1), "103");
    Destroy();
    QFile exitFile(dir.filePath("vidazorov.txt"));
    ASSERT_TRUE(exitFile.open(QIODevice::ReadOnly));
    EXPECT_FALSE(exitFile.readAll().contains(",102,"));
}

// A question asked after the window is gone (at exit, by a later window) takes Enter itself.
TEST_F(Corrections, AClosedWindowNoLongerTakesEnter) {
    FourFinishers();
    ASSERT_TRUE(EnterTaken());  // LAP while the clock runs
    Destroy();
    EXPECT_FALSE(EnterTaken());
}

// The real program, corrected and killed: its own start-up restores the corrected list exactly,
// marks and undo history included.
TEST_F(Corrections, ACorrectedRaceComesBackExactlyAfterAKill) {
    QTemporaryDir home;
    // One run of the program with the commands given, killed at the end; what it listed last:
    // its rows, then the marks of its corrected rows.
    auto run = [&](const QByteArray& input, bool restore) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_STATE_HOME", home.filePath("state"));
        env.insert("VIDAZOROV_DRIVER", "stdin");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        p.start(VZ_PROGRAM_PATH, {});
        EXPECT_TRUE(p.waitForStarted(10000));
        p.write((restore ? "yes\n" : "") + input + "rows\nmarks\nend\n");
        QByteArray out;
        while (!out.contains("ok end") && p.waitForReadyRead(10000))
            out += p.readAllStandardOutput();
        p.kill();
        p.waitForFinished(10000);
        QStringList listed;
        const QList<QByteArray> lines = out.split('\n');
        const qsizetype rowsAt = lines.lastIndexOf("ok rows");
        for (qsizetype i = rowsAt - 1; i >= 0 && lines[i].startsWith("row "); --i)
            listed.prepend(QString::fromUtf8(lines[i]));
        for (qsizetype i = rowsAt + 1; i < lines.size() && lines[i].startsWith("mark "); ++i)
            listed << QString::fromUtf8(lines[i]);
        return listed.join('\n');
    };
    const QString before = run(
        "start\nlap 1\nlap 2\nlap 3\nlap 4\ndelete 2\ninsert 0,05 9\nswap 1 2\nretime 4 9:00,00\n"
        "undo\n",
        false);
    ASSERT_TRUE(before.contains("mark ")) << before.toStdString();
    const QString after = run("", true);
    EXPECT_EQ(after, before);
    // The history came back too: the next undo takes back the swap, and two redos bring it back
    // with the correction undone before the kill.
    const QString undone = run("undo\n", true);
    EXPECT_NE(undone, after);
    const QString redone = run("redo\nredo\n", true);
    EXPECT_TRUE(redone.contains("Time corrected at")) << redone.toStdString();
}

// Pictures for a person to look at (saved when $VZ_SHOTS is set): a corrected list in the
// window, and the dialog of a missed finish.
TEST_F(Corrections, PicturesOfACorrectedList) {
    TFormMain& f = Build();
    f.resize(900, 420);
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.mStart->Click();
    clock.Advance(2 * 3600000 + 10 * 60000);
    const int gaps[] = {0, 41230, 3170, 12050, 8800, 27410, 1990};
    for (int i = 0; i < 7; ++i) {
        clock.Advance(std::uint32_t(gaps[i]));
        f.cbStartN->setEditText(QString::number(112 + i * 17));
        f.mLAP->Click();
    }
    const qint64 wall = QDateTime(QDate(2026, 12, 9), QTime(14, 32, 10)).toMSecsSinceEpoch();
    f.Execute(cmd::Insert{2 * 3600000 + 10 * 60000 + 50000, "88", wall});
    f.Execute(cmd::Swap{2, 3, wall + 60000});
    f.Execute(cmd::Retime{6, 2 * 3600000 + 11 * 60000 + 5000, wall + 120000});
    f.mStop->Click();
    SaveShot(Render(&f), "corrections-window");
    EXPECT_EQ(f.SortGrid1->Cells(1, 4), "88");

    TCorrectionDialog d(&f, TCorrectionDialog::Kind::Insert,
                        "The finish goes into the list at its place in time.");
    d.edTime->setText("2:10.50,00");
    d.edStartNo->setText("88");
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    SaveShot(Render(&d), "corrections-insert-dialog");
}
