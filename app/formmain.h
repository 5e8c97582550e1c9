#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/spokendisplay.h"
#include "grid/sortgrid.h"
#include "output/wordexport.h"
#include "platform/dialogs.h"
#include "platform/tcolor.h"
#include "platform/tickcounter.h"
#include "serial/comport.h"
#include "widgets/bitbtnwithcolor.h"
#include "widgets/led.h"

class AutomationFactory;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class TCfgDialog;
class TDigit;
class TMenuItem;
class TPanel;
class TTimer;

// The race clock's one window: display, run control, protocol and photocell. Split into files by
// concern: formmain_layout.cpp (controls, start-up, exit), formmain_clock.cpp (display),
// formmain_run.cpp (START/LAP/STOP/RESET), formmain_protocol.cpp (rows).
class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // Start-up and shut-down.
    void FormCreate();
    void FormCloseQuery(bool& canClose);
    void FormDestroy();
    void FormResize();
    void TimerDateTimer();
    void ScanComPorts();

    // Display.
    void ClockTimer();
    void ShowTime(int row, TRaceTime time);
    void ShowTimeParts(int row, int hours, int minutes, int seconds, int hundredths);
    void SetResolution(int r);
    void ApplyDisplayColors();
    QString TimeToText(TRaceTime time) const;

    // Run control.
    void mStartClick();
    void mLAPClick();
    void mStopClick();
    void mResetClick();
    void LedModusClick();
    void TimerGesperrtTimer();
    void SetRunControls(bool running);

    // Photocell.
    void ComPortOpen();
    void ComPortClose();
    void ComPortDSR();
    void PhotocellTrigger(std::uint32_t edgeTick);
    void StartLockOut(std::uint32_t tick);
    // Whether an edge seen at this tick falls in the lock-out after the last counted edge.
    bool LockedOutAt(std::uint32_t tick) const;
    std::uint32_t LastModemStatus = 0x55555555u;

    // Protocol rows.
    void AddProtocolRow(const QString& startNo, const QString& timeText, const QString& splitText);
    void SetDefaultColWidths();
    void UpdateProtocolButtons();
    void SortGrid1SelectCell(int aCol, int aRow, bool& canSelect);

    // Saving, opening, printing.
    void sbSaveClick();
    void sbLoadClick();
    // Opens a protocol file into the grid and says so when it cannot: the one loading path of
    // the Open command and of a protocol named on the command line.
    void OpenProtocol(const QString& fileName);
    // A protocol named on the command line: the same question over unsaved results as the Open
    // command, then OpenProtocol.
    void OpenProtocolArgument(const QString& fileName);
    bool MayReplaceProtocol();
    void sbPrintClick();
    void SaveToHtml(const QString& fileName);
    bool ProtocolIsEmpty() const;  // no data row holds any text
    QString ExitProtocolPath() const;
    void SaveExitProtocol();

    // Output.
    std::vector<QStringList> ProtocolRows() const;
    void ConvertToWord(TWordMode mode, const QString& fileName);
    void sbWordClick();
    void exporttoWord1Click();
    void sbExcelClick();
    // The office suite the exports drive; tests put a recording one in its place.
    AutomationFactory& Automation();
    void SetAutomation(std::unique_ptr<AutomationFactory> automation);

    // Configuration: the dialog is created after the window, from the port scan's result.
    void CreateCfgDialog();
    void bCFGClick();
    TCfgDialog* CfgDialog = nullptr;

    // Settings and clock state, readable by the configuration dialog and by tests.
    QString RegKeyPath = QStringLiteral("\\Software\\");
    bool SoundOn = true;
    std::int32_t Resolution = 2;
    std::uint32_t PortMask = 0;
    QString WordTemplatePath;
    std::uint32_t StartTick = 0, LapTick = 0, FirstLapTick = 0, StopTick = 0;
    std::int32_t LapCount = 0;
    TColor DimColor = RGBColor(0x40, 0x40, 0x40);
    TColor LitColor1 = clYellow;
    TColor LitColor2 = clLime;

    // Controls, named as the operator's guide and the handlers know them.
    TPanel *Panel1, *PanelDate, *Panel2, *PanelLeft, *PanelTimerOwner, *PanelTimer, *Panel3,
        *Panel4;
    std::array<QLabel*, 5> LogoLabels{};
    QPushButton* bCFG;
    QLabel *LabelMadus2, *LabelNr;
    TLed* LedModus;
    QComboBox* cbStartN;
    TBitBtnWithColor *bSTART, *bLAP, *bSTOP, *bRESET;
    QToolButton *sbSave, *sbLoad, *sbPrint, *sbWord, *sbExcel, *sbHTML;
    TSortGrid* SortGrid1;
    TTimer *TimerDate, *Clock, *TimerGesperrt;
    TComPort* ComPort;
    TMenuItem *mStart, *mLAP, *mStop, *mReset, *EinstellunGen1, *Drucker1;
    FileDialogRequest OpenDialog1, SaveDialog1;

    TDigit *Digit2, *Digit3, *Digit4, *Digit5, *Digit6, *Digit7, *Digit8;
    TDigit *Digit13, *Digit15, *Digit16, *Digit18, *Digit19, *Digit21, *Digit22;
    QLabel *LabHour, *LabMin, *LabSec, *Lab_Hour, *Lab_Min, *Lab_sek, *Lab_100;
    QLabel *LabHour2, *LabMin2, *LabSec2;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    // Accessible names and descriptions of the controls (formmain_accessibility.cpp).
    void NameControls();
    void LapAtEdge(std::uint32_t tick);
    void Relayout();
    void SetButtonState(TBitBtnWithColor* b, TMenuItem* m, bool enabled);

    bool destroyed_ = false;
    // The tick a photocell edge was seen at, for the LAP it triggers; empty for a LAP by hand.
    std::optional<std::uint32_t> edgeTick_;
    // Start of the lock-out interval, as the tick of the edge (or START) that began it.
    std::optional<std::uint32_t> lockOutTick_;
    std::unique_ptr<AutomationFactory> automation_;
    // The display's text for a screen reader, kept by ShowTime.
    SpokenDisplay spoken_;
};

// Sets a label's font colour.
void SetFontColor(QLabel* label, TColor color);
