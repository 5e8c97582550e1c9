#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>

#include "app/menuitem.h"
#include "app/panel.h"
#include "platform/ttimer.h"
#include "tests/app/formfixture.h"
#include "tests/support/testenv.h"
#include "widgets/digit.h"

namespace {
QColor FontColor(QLabel* l) {
    return l->palette().color(QPalette::WindowText);
}
const QColor kDim(0x40, 0x40, 0x40), kYellow(255, 255, 0), kLime(0, 255, 0);
}  // namespace

using FormMain = FormFixture;

TEST_F(FormMain, FirstStartDefaults) {
    TFormMain& f = Build();
    EXPECT_EQ(f.windowTitle(), "Vidazorov-ZavEzazi 1.1");
    EXPECT_EQ(f.size(), QSize(800, 394));
    EXPECT_EQ(f.minimumSize(), QSize(792, 394));
    EXPECT_EQ(f.Resolution(), 2);
    EXPECT_EQ(f.Distance(), 42195);
    EXPECT_EQ(f.ComPort->Port(), 0);
    EXPECT_EQ(f.Algorithm(), 0);
    EXPECT_EQ(f.SaveDialog1.filterIndex, 2);
    EXPECT_EQ(f.SaveDialog1.fileName, "vidazorov.csv");
    EXPECT_TRUE(f.WordTemplatePath.endsWith("/bin/vidazorov.doc"));
    EXPECT_NE(f.PanelDate->Caption(), "00:00");  // filled at once
    EXPECT_TRUE(f.PanelDate->Caption().contains("   "));
    EXPECT_FALSE(f.LedModus->isVisibleTo(&f));
    EXPECT_FALSE(f.LabelMadus2->isVisibleTo(&f));
    EXPECT_TRUE(f.sbSave->isEnabled());
    EXPECT_TRUE(f.sbPrint->isEnabled());
    EXPECT_FALSE(f.sbWord->isEnabled());
    EXPECT_EQ(f.SortGrid1->Cells(0, 0), "Rang");
    EXPECT_EQ(f.SortGrid1->Cells(4, 0), "Km/h");
    EXPECT_EQ(f.SortGrid1->ColWidths(0), 42);
    EXPECT_EQ(f.SortGrid1->ColWidths(1), 52);
    EXPECT_EQ(f.SortGrid1->ColWidths(3), 92);
    EXPECT_EQ(f.SortGrid1->ColWidths(4), 32);
    EXPECT_EQ(f.focusWidget(), f.bSTART);
}

TEST_F(FormMain, BothRowsShowZeroOnStart) {
    TFormMain& f = Build();
    for (TDigit* d : {f.Digit2, f.Digit3, f.Digit4, f.Digit5})
        EXPECT_EQ(d->ColorOn(), RGBColor(0x40, 0x40, 0x40));
    for (TDigit* d : {f.Digit6, f.Digit7, f.Digit8})
        EXPECT_EQ(d->ColorOn(), clYellow);
    for (TDigit* d :
         {f.Digit13, f.Digit15, f.Digit16, f.Digit18, f.Digit19, f.Digit21, f.Digit22}) {
        EXPECT_EQ(d->ColorOn(), RGBColor(0x40, 0x40, 0x40));
        EXPECT_EQ(d->Value(), 0);
    }
    EXPECT_EQ(FontColor(f.Lab_Hour), kDim);
    EXPECT_EQ(FontColor(f.Lab_sek), kYellow);
    EXPECT_EQ(FontColor(f.LabSec2), kDim);
    f.show();
    SaveShot(Render(&f), "first_start");
}

TEST_F(FormMain, RowsLightDigitByDigit) {
    TFormMain& f = Build();
    f.ShowTime(1, 59990);
    EXPECT_EQ(f.Digit4->ColorOn(), RGBColor(0x40, 0x40, 0x40));
    EXPECT_EQ(f.Digit5->ColorOn(), clYellow);
    EXPECT_EQ(f.Digit5->Value(), 5);
    EXPECT_EQ(FontColor(f.Lab_Min), kDim);
    f.ShowTime(1, 60000);
    EXPECT_EQ(f.Digit4->ColorOn(), clYellow);
    EXPECT_EQ(FontColor(f.Lab_Min), kYellow);
    EXPECT_EQ(FontColor(f.LabMin), kYellow);
    f.ShowTime(2, 36000000);
    EXPECT_EQ(f.Digit13->Value(), 0);
    EXPECT_EQ(f.Digit13->ColorOn(), clLime);
    EXPECT_EQ(FontColor(f.LabHour2), kLime);
    f.ShowTime(2, 10);
    EXPECT_EQ(f.Digit19->ColorOn(), clLime);
    EXPECT_EQ(f.Digit22->ColorOn(), clLime);
    EXPECT_EQ(f.Digit18->ColorOn(), RGBColor(0x40, 0x40, 0x40));
    EXPECT_EQ(FontColor(f.LabSec2), kLime);
}

TEST_F(FormMain, ResolutionNarrowsAndCentresThePanel) {
    TFormMain& f = Build();
    f.SetResolution(0);
    EXPECT_EQ(f.PanelTimer->width(), 325);
    EXPECT_EQ(f.PanelTimer->x(), (446 - 325) / 2);
    EXPECT_FALSE(f.Digit7->isVisibleTo(&f));
    EXPECT_FALSE(f.Digit22->isVisibleTo(&f));
    EXPECT_FALSE(f.Lab_100->isVisibleTo(&f));
    EXPECT_FALSE(f.LabSec->isVisibleTo(&f));
    f.SetResolution(1);
    EXPECT_EQ(f.PanelTimer->width(), 397);
    EXPECT_EQ(f.PanelTimer->x(), (446 - 397) / 2);
    EXPECT_EQ(f.Lab_100->x(), 346);
    EXPECT_EQ(f.Lab_100->text(), "1/10");
    EXPECT_TRUE(f.Digit7->isVisibleTo(&f));
    EXPECT_FALSE(f.Digit8->isVisibleTo(&f));
    f.SetResolution(2);
    EXPECT_EQ(f.PanelTimer->width(), 446);
    EXPECT_EQ(f.PanelTimer->x(), 0);
    EXPECT_EQ(f.Lab_100->x(), 366);
    EXPECT_EQ(f.Lab_100->text(), "1/100");
}

TEST_F(FormMain, SettingsAreReadInOrderAndWrittenAtExit) {
    WriteSettings("Port=0\nAlg=2\nLeft=10\nTop=20\nWidth=900\nHeight=450\nSound=0\nAcc=x\n");
    {
        TFormMain& f = Build();
        EXPECT_EQ(f.Algorithm(), 2);
        EXPECT_EQ(f.size(), QSize(900, 450));
        EXPECT_FALSE(f.SoundOn);
        EXPECT_EQ(f.Resolution(), 2);  // "Acc" was not an integer: it and the rest keep defaults
        EXPECT_EQ(f.Distance(), 42195);
        SetDistance(f, 10000);
        Destroy();
    }
    QSettings s(SettingsPath(), QSettings::IniFormat);
    EXPECT_EQ(s.value("Acc").toInt(), 2);
    EXPECT_EQ(s.value("Dist").toInt(), 10000);
    EXPECT_EQ(s.value("Alg").toInt(), 2);
    EXPECT_EQ(s.value("Width").toInt(), 900);
    EXPECT_EQ(s.value("Sound").toInt(), 0);
    EXPECT_EQ(s.value("FilterInd").toInt(), 2);
}

// A resolution the display has no label for is not taken: tenths under a "1/190" label while the
// protocol got hundredths. It and the values after it keep their defaults, and the exit writes
// the defaults back.
TEST_F(FormMain, AnOutOfRangeResolutionIsNotTaken) {
    WriteSettings(
        "Port=0\nAlg=1\nLeft=10\nTop=20\nWidth=900\nHeight=450\nSound=0\nAcc=3\n"
        "Dist=10000\nFilterInd=4\n");
    {
        TFormMain& f = Build();
        EXPECT_EQ(f.size(), QSize(900, 450));
        EXPECT_EQ(f.Resolution(), 2);
        EXPECT_EQ(f.Lab_100->text(), "1/100");
        EXPECT_EQ(f.Distance(), 42195);
        EXPECT_EQ(f.SaveDialog1.filterIndex, 2);
        f.mStart->Click();
        clock.Advance(5234);
        f.mLAP->Click();
        EXPECT_EQ(f.SortGrid1->Cells(2, 1), "5,23");
        f.mStop->Click();
        Destroy();
    }
    QSettings s(SettingsPath(), QSettings::IniFormat);
    EXPECT_EQ(s.value("Acc").toInt(), 2);
    EXPECT_EQ(s.value("Dist").toInt(), 42195);
    EXPECT_EQ(s.value("Alg").toInt(), 1);
}

TEST_F(FormMain, AbsentPortStartsSilently) {
    WriteSettings("Port=7\nAlg=0\n");
    TFormMain& f = Build();
    EXPECT_EQ(f.ComPort->Port(), 7);
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_FALSE(f.LedModus->isVisibleTo(&f));
}

TEST_F(FormMain, CloseRightAfterStartAsks) {
    TFormMain& f = Build();
    bool can = true;
    dialogs.confirmAnswers = {false};
    f.FormCloseQuery(can);
    EXPECT_FALSE(can);
    EXPECT_EQ(dialogs.confirms, QStringList{"Exit program?"});
}

TEST_F(FormMain, ShortcutsWorkWithoutAMenuBar) {
    TFormMain& f = Build();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(&f, Qt::Key_P, Qt::AltModifier);  // disabled while stopped
    EXPECT_FALSE(f.Clock->Enabled());
    QTest::keyClick(&f, Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(f.Clock->Enabled());
    QTest::keyClick(&f, Qt::Key_P, Qt::AltModifier);
    EXPECT_FALSE(f.Clock->Enabled());
    EXPECT_FALSE(f.mStart->Enabled());
    QTest::keyClick(&f, Qt::Key_S, Qt::AltModifier);  // START needs a RESET first
    EXPECT_FALSE(f.Clock->Enabled());
}
