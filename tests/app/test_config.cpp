#include <QComboBox>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include "app/menuitem.h"
#include "app/panel.h"
#include "config/cfgdialog.h"
#include "platform/ttimer.h"
#include "tests/app/formfixture.h"
#include "widgets/digit.h"
#include "widgets/floatedit.h"

class Config : public FormFixture {
protected:
    // Runs the dialog as the operator would: shown, changed by `edit`, then closed.
    void Answer(std::function<void(TCfgDialog&)> edit, bool ok) {
        dialogs.onExec = [edit, ok](QDialog* d) {
            auto& cfg = *static_cast<TCfgDialog*>(d);
            cfg.show();
            if (edit) edit(cfg);
            cfg.hide();
            return ok ? QDialog::Accepted : QDialog::Rejected;
        };
    }
};

TEST(CfgDialog, PortListFromTheScan) {
    TCfgDialog d(nullptr, (3u << 16) | 0b101);
    ASSERT_EQ(d.cbPort->count(), 3);
    EXPECT_EQ(d.cbPort->itemText(1), "COM1");
    EXPECT_EQ(d.cbPort->itemText(2), "COM3");
    TCfgDialog none(nullptr, 0);
    EXPECT_EQ(none.cbPort->count(), 1);
    EXPECT_EQ(d.windowTitle(), "Einstellungen");
    EXPECT_EQ(d.width(), 154);
}

TEST(CfgDialog, MetresRoundToTheNearestMetre) {
    EXPECT_EQ(KilometresToMetres(42.195L), 42195);
    EXPECT_EQ(KilometresToMetres(0.0014L), 1);
    EXPECT_EQ(KilometresToMetres(0.0016L), 2);
    EXPECT_EQ(KilometresToMetres(100.0L), 100000);
}

TEST_F(Config, PreviewOnChangeAndCancelRestores) {
    TFormMain& f = Build();
    f.Resolution = 1;
    f.SetResolution(1);
    int previewWidth = 0;
    Answer(
        [&](TCfgDialog& d) {
            EXPECT_EQ(d.cbDigits->currentText(), "1/10");
            d.cbDigits->setCurrentIndex(2);  // "1": whole seconds at once
            previewWidth = f.PanelTimer->width();
        },
        false);
    f.bCFGClick();
    EXPECT_EQ(previewWidth, 325);
    EXPECT_EQ(f.PanelTimer->width(), 397);
    EXPECT_EQ(f.Resolution, 1);
}

TEST_F(Config, OkAppliesFormatRedrawsStoppedTimeAndLocksThePhotocell) {
    TFormMain& f = Build();
    f.mStart->Click();
    clock.Advance(62030);
    f.mLAP->Click();
    f.mStop->Click();
    f.LedModus->SetKind(TLedKind::lkGreen);
    Answer([](TCfgDialog& d) { d.cbDigits->setCurrentIndex(1); }, true);
    f.bCFGClick();
    EXPECT_EQ(f.Resolution, 1);
    EXPECT_EQ(f.Digit4->Value(), 1);  // 1.02,03 redrawn
    EXPECT_EQ(f.Digit6->Value(), 2);
    EXPECT_EQ(f.Digit19->Value(), 0);
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkRed);
    EXPECT_EQ(f.PanelTimer->width(), 397);
}

TEST_F(Config, DistanceRoundTripsThroughKilometres) {
    TFormMain& f = Build();
    QString shown;
    Answer([&](TCfgDialog& d) { shown = d.feDist->text(); }, true);
    f.bCFGClick();
    EXPECT_EQ(shown, QString("42") + QLocale().decimalPoint() + "195");
    EXPECT_EQ(f.PanelDate->Tag(), 42195);
    f.PanelDate->SetTag(150000);  // beyond the edit's limit: clamped to 100 km
    f.bCFGClick();
    EXPECT_EQ(f.PanelDate->Tag(), 100000);
}

TEST_F(Config, AltCDuringARunLeavesBothRowsToTheClock) {
    TFormMain& f = Build();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.mStart->Click();
    clock.Advance(3000);
    f.mLAP->Click();
    EXPECT_FALSE(f.bCFG->isEnabled());
    bool opened = false;
    Answer([&](TCfgDialog&) { opened = true; }, true);
    QTest::keyClick(&f, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(f.Clock->Enabled());
    EXPECT_EQ(f.Digit19->Value(), 3);  // row 2 still shows the lap
}

TEST_F(Config, UnknownAlgorithmSelectsNothingAndDisablesThePortList) {
    TFormMain& f = Build();
    f.ComPort->SetTag(5);
    bool portEnabled = true;
    int algIndex = 0;
    Answer(
        [&](TCfgDialog& d) {
            algIndex = d.cbAlg->currentIndex();
            portEnabled = d.cbPort->isEnabled();
        },
        false);
    f.bCFGClick();
    EXPECT_EQ(algIndex, -1);
    EXPECT_TRUE(portEnabled);  // 5 is not negative
    f.ComPort->SetTag(-1);
    f.bCFGClick();
    EXPECT_FALSE(portEnabled);
}
