#include <QComboBox>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include "app/menuitem.h"
#include "app/panel.h"
#include "config/cfgdialog.h"
#include "tests/support/fakeserialdevice.h"
#include "platform/guard.h"
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
    f.show();
    SetResolutionSetting(f, 1);
    f.SetResolution(1);
    int previewWidth = 0;
    Answer(
        [&](TCfgDialog& d) {
            EXPECT_EQ(d.cbDigits->currentText(), "1/10");
            d.cbDigits->setCurrentIndex(2);  // "1": whole seconds at once
            previewWidth = f.PanelTimer->width();
            // The dialog over the window, as the operator sees it.
            QImage shot = Render(&f);
            QPainter p(&shot);
            p.drawImage(f.width() / 2 - d.width() / 2, f.height() / 2 - d.height() / 2, Render(&d));
            p.end();
            SaveShot(shot, "config_dialog_preview");
        },
        false);
    f.bCFGClick();
    EXPECT_EQ(previewWidth, 325);
    EXPECT_EQ(f.PanelTimer->width(), 397);
    EXPECT_EQ(f.Resolution(), 1);
}

TEST_F(Config, OkAppliesFormatRedrawsStoppedTimeAndLocksThePhotocell) {
    TFormMain& f = Build();
    f.mStart->Click();
    clock.Advance(62030);
    f.mLAP->Click();
    f.mStop->Click();
    f.Execute(cmd::Arm{true});
    Answer([](TCfgDialog& d) { d.cbDigits->setCurrentIndex(1); }, true);
    f.bCFGClick();
    EXPECT_EQ(f.Resolution(), 1);
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
    EXPECT_EQ(f.Distance(), 42195);
    SetDistance(f, 150000);  // beyond the edit's limit: clamped to 100 km
    f.bCFGClick();
    EXPECT_EQ(f.Distance(), 100000);
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
    SetAlgorithm(f, 5);
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
    SetAlgorithm(f, -1);
    f.bCFGClick();
    EXPECT_FALSE(portEnabled);
}

// OK by Enter or by a click checks the distance as leaving the field does: text out of range is
// refused, the field keeps the focus with its value from entry, and the dialog stays open.
TEST_F(Config, OkRefusesADistanceTheFieldRefuses) {
    TFormMain& f = Build();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    const QString sep = QLocale().decimalPoint();
    QStringList texts;
    QList<bool> openAfter;
    dialogs.onExec = [&](QDialog* dialog) {
        auto& d = *static_cast<TCfgDialog*>(dialog);
        d.setResult(QDialog::Rejected);
        d.show();
        QApplication::setActiveWindow(&d);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
        d.feDist->setFocus(Qt::TabFocusReason);
        // "42.195" without its separator reads 42195 km.
        d.feDist->setCursorPosition(3);
        QTest::keyClick(d.feDist, Qt::Key_Backspace);
        texts << d.feDist->text();
        QTest::keyClick(d.feDist, Qt::Key_Return);
        openAfter << d.isVisible();
        texts << d.feDist->text();
        // The same by a click on OK.
        d.feDist->setCursorPosition(3);
        QTest::keyClick(d.feDist, Qt::Key_Backspace);
        QTest::mouseClick(d.OKBtn, Qt::LeftButton);
        openAfter << d.isVisible();
        texts << d.feDist->text();
        EXPECT_TRUE(d.feDist->hasFocus());
        // A distance within the limits is taken.
        d.feDist->selectAll();
        QTest::keyClicks(d.feDist, "10");
        QTest::keyClick(d.feDist, Qt::Key_Return);
        openAfter << d.isVisible();
        d.hide();
        return d.result();
    };
    f.bCFGClick();
    EXPECT_EQ(texts, QStringList({"42195", "42" + sep + "195", "42" + sep + "195"}));
    EXPECT_EQ(openAfter, QList<bool>({true, true, false}));
    EXPECT_EQ(f.Distance(), 10000);
}

// Port changes through the dialog, on a fake serial device.
class ConfigPorts : public Config {
protected:
    FakeSerialDevice* device = nullptr;
    TFormMain& Prepare(std::uint8_t port, int alg) {
        WriteSettings(QString("Port=0\nAlg=%1\n").arg(alg));
        TFormMain& f = Build();
        auto fake = std::make_unique<FakeSerialDevice>();
        device = fake.get();
        f.ComPort->SetDevice(std::move(fake));
        f.PortMask = (3u << 16) | 0b101;  // COM1 and COM3 present
        delete f.CfgDialog;
        f.CreateCfgDialog();
        if (port) {
            f.ComPort->SetPort(port);
            f.ComPort->Open();
        }
        return f;
    }
    void Choose(const QString& port, int alg) {
        Answer(
            [port, alg](TCfgDialog& d) {
                d.cbPort->setCurrentIndex(d.cbPort->findText(port));
                d.cbAlg->setCurrentIndex(alg);
            },
            true);
    }
};

TEST_F(ConfigPorts, NoneToCom3WithSplitOpensThePort) {
    TFormMain& f = Prepare(0, 0);
    Choose("COM3", 2);
    f.bCFGClick();
    EXPECT_EQ(f.ComPort->Port(), 3);
    EXPECT_EQ(f.Algorithm(), 2);
    EXPECT_TRUE(f.ComPort->Connected());
    EXPECT_EQ(device->OpenCount(), 1);
    EXPECT_EQ(device->LastPort(), 3);
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkRed);
    EXPECT_TRUE(f.LedModus->isVisibleTo(&f));
}

TEST_F(ConfigPorts, SamePortWithAnotherAlgorithmIsNotReopened) {
    TFormMain& f = Prepare(3, 0);
    Choose("COM3", 1);
    f.bCFGClick();
    EXPECT_EQ(f.Algorithm(), 1);
    EXPECT_EQ(device->OpenCount(), 1);
    EXPECT_EQ(device->CloseCount(), 0);
    EXPECT_TRUE(f.ComPort->Connected());
}

TEST_F(ConfigPorts, NoneClosesThePortAndKeepsTheAlgorithm) {
    TFormMain& f = Prepare(3, 2);
    SetAlgorithm(f, 2);
    Choose("None", 0);
    f.bCFGClick();
    EXPECT_EQ(f.ComPort->Port(), 0);
    EXPECT_EQ(f.Algorithm(), 2);
    EXPECT_FALSE(f.ComPort->Connected());
    EXPECT_FALSE(f.LedModus->isVisibleTo(&f));
}

TEST_F(ConfigPorts, AFailedOpenShowsThePortsMessageAndSkipsTheRest) {
    TFormMain& f = Prepare(0, 0);
    device->SetOpenError(16);
    f.Execute(cmd::Arm{true});
    SetResolutionSetting(f, 2);
    Answer(
        [](TCfgDialog& d) {
            d.cbPort->setCurrentIndex(d.cbPort->findText("COM1"));
            d.cbAlg->setCurrentIndex(1);
            d.cbDigits->setCurrentIndex(2);
        },
        true);
    Guarded([&] { f.bCFGClick(); });
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Unable to open com port: 16"));
    EXPECT_EQ(f.ComPort->Port(), 1);
    EXPECT_EQ(f.Algorithm(), 1);
    EXPECT_FALSE(f.ComPort->Connected());
    EXPECT_EQ(f.LedModus->Kind(), TLedKind::lkGreen);  // step 14 skipped
    EXPECT_EQ(f.Resolution(), 0);                        // applied before the port
}
