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
    CfgDialog->AlgorithmValue = [this] { return ComPort->Tag(); };
}

void TFormMain::bCFGClick() {
    if (!CfgDialog) return;
    TCfgDialog& d = *CfgDialog;
    d.cbDigits->setCurrentIndex(2 - Resolution);
    if (ComPort->Port() != 0)
        d.cbPort->setCurrentIndex(
            d.cbPort->findText(QStringLiteral("COM") + QString::number(ComPort->Port())));
    else
        d.cbPort->setCurrentIndex(0);
    d.cbAlg->setEnabled(ComPort->Port() != 0);
    const auto alg = ComPort->Tag();
    d.cbAlg->setCurrentIndex(alg >= 0 && alg <= 2 ? int(alg) : -1);
    const int openingIndex = d.cbPort->currentIndex();
    d.feDist->SetValue(static_cast<long double>(PanelDate->Tag()) / 1000.0L);

    if (Dialogs().Exec(&d) == QDialog::Accepted) {
        PanelDate->SetTag(KilometresToMetres(d.feDist->Value()));
        ApplyDisplayColors();
        if (!Clock->Enabled()) {
            ShowTime(1, TickDiff(StopTick, StartTick));
            ShowTime(2, 0);
        }
        Resolution = 2 - d.cbDigits->currentIndex();
        JournalSettings();
        const int index = d.cbPort->currentIndex();
        if (index != openingIndex) ComPort->Close();
        if (index == 0) {
            ComPort->SetPort(0);
        } else {
            bool ok = false;
            const int n = d.cbPort->currentText().mid(3).toInt(&ok);
            ComPort->SetPort(ok ? std::uint8_t(n) : std::uint8_t(0));
            ComPort->SetTag(d.cbAlg->currentIndex());
            // A failed open leaves here with its message; the steps below are skipped.
            if (index != openingIndex || !ComPort->Connected()) ComPort->Open();
        }
        LedModus->SetKind(TLedKind::lkRed);
    }
    SetResolution(Resolution);
    PanelLeft->setFocus();
}
