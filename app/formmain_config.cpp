// The configuration dialog's flow: copy the settings in, show, apply on OK.
#include <QComboBox>
#include <QPushButton>

#include "app/formmain.h"
#include "app/panel.h"
#include "config/cfgdialog.h"
#include "platform/ttimer.h"
#include "widgets/floatedit.h"

void TFormMain::CreateCfgDialog() {
    CfgDialog = new TCfgDialog(this, PortMask);
    CfgDialog->OnPreviewResolution = [this](int r) { SetResolution(r); };
    CfgDialog->AlgorithmValue = [this] { return std::intptr_t(Algorithm()); };
}

void TFormMain::SetRaceSettings(const RaceSettings& settings) {
    if (settings != race_.Settings()) Execute(cmd::Settings{settings});
}

void TFormMain::bCFGClick() {
    if (!CfgDialog) return;
    TCfgDialog& d = *CfgDialog;
    d.cbDigits->setCurrentIndex(2 - Resolution());
    if (ComPort->Port() != 0)
        d.cbPort->setCurrentIndex(
            d.cbPort->findText(QStringLiteral("COM") + QString::number(ComPort->Port())));
    else
        d.cbPort->setCurrentIndex(0);
    d.cbAlg->setEnabled(ComPort->Port() != 0);
    const int alg = Algorithm();
    d.cbAlg->setCurrentIndex(alg >= 0 && alg <= 2 ? alg : -1);
    const int openingIndex = d.cbPort->currentIndex();
    d.feDist->SetValue(static_cast<long double>(Distance()) / 1000.0L);
    LiveConfigIn();

    if (Dialogs().Exec(&d) == QDialog::Accepted) {
        RaceSettings s = race_.Settings();
        s.distance = KilometresToMetres(d.feDist->Value());
        ApplyDisplayColors();
        if (!Clock->Enabled()) {
            ShowTime(1, TickDiff(race_.StopTick(), race_.StartTick()));
            ShowTime(2, 0);
        }
        s.resolution = 2 - d.cbDigits->currentIndex();
        SetRaceSettings(s);
        LiveConfigOut();
        const int index = d.cbPort->currentIndex();
        if (index != openingIndex) ComPort->Close();
        if (index == 0) {
            ComPort->SetPort(0);
        } else {
            bool ok = false;
            const int n = d.cbPort->currentText().mid(3).toInt(&ok);
            ComPort->SetPort(ok ? std::uint8_t(n) : std::uint8_t(0));
            s.algorithm = d.cbAlg->currentIndex();
            s.port = ComPort->Port();
            SetRaceSettings(s);
            // A failed open leaves here with its message; the steps below are skipped.
            if (index != openingIndex || !ComPort->Connected()) ComPort->Open();
        }
        Execute(cmd::Arm{false});
    }
    SetResolution(Resolution());
    PanelLeft->setFocus();
}
