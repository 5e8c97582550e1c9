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
struct FormJournal;
struct JournalGrid;
struct JournalRecord;
struct RaceReplay;
struct RaceSettings;
class AutomationThread;
class WaitCursor;
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
    void ComPortDSR(const TLineEvent& event);
    void ShowPortWatch();
    void PhotocellTrigger(std::uint32_t edgeTick);
    void StartLockOut(std::uint32_t tick);
    // Whether an edge seen at this tick falls in the lock-out after the last counted edge.
    bool LockedOutAt(std::uint32_t tick) const;
    // Whether a photocell edge seen at this tick belongs to the run: after START and, once
    // stopped, before STOP.
    bool RunOpenAt(std::uint32_t tick) const;
    // Before a LAP by hand taken at `tick`: handles the photocell events seen by then, so that
    // their rows come first. The start number typed for the press stays for the press.
    void DeliverPhotocellFinishesSeenBy(std::uint32_t tick);
    std::uint32_t LastModemStatus = 0x55555555u;

    // Protocol rows.
    static constexpr int kProtocolColumns = 5;
    static constexpr const char* kProtocolHeader[kProtocolColumns] = {"Rang", "Nr.", "Time",
                                                                      "Split", "Km/h"};
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
    // The office suite the exports drive, on a thread of its own so that the window never waits
    // for it; tests put a recording one in its place.
    AutomationThread& Exports();
    void SetAutomation(std::unique_ptr<AutomationFactory> automation);
    // Runs the event loop until every export begun has ended and been reported (tests, tools).
    void WaitForExports();

    // The race journal (formmain_journal.cpp): one record per event that changes the results.
    void JournalStart();
    void JournalLap(const QString& startNo);
    void JournalCellEdited(int col, int row, const QString& text);
    void JournalStop();
    void JournalSettings();  // resolution or distance changed: later rows follow them
    void JournalReset();
    void JournalOpened(const QString& path);
    void JournalSaved(const QString& path);
    void JournalEnd();            // the clean end, after the exit save
    QString JournalPath() const;  // the journal being written, or empty
    // At start-up: asks whether to restore the newest unfinished race; true when restored.
    bool OfferJournalRestore();
    // "Open protocol" of a journal: its protocol, not its running state. False when unreadable.
    bool OpenJournalProtocol(const QString& path);

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
    void EnsureProtocolColumns();
    FormJournal& Journal();
    RaceSettings CurrentSettings() const;
    void JournalAppend(const JournalRecord& record);
    void JournalFailed(const QString& path, int err);
    void ShowJournalGrid(const JournalGrid& grid);
    void RestoreRace(const QString& path, RaceReplay race);

    bool destroyed_ = false;
    // A lap was recorded since the protocol was last opened: the rows it wrote are unsaved even
    // where they changed no row count (and so left the grid's Modified flag alone).
    bool lapsSinceOpened_ = false;
    // The tick a photocell edge was seen at, for the LAP it triggers; empty for a LAP by hand.
    std::optional<std::uint32_t> edgeTick_;
    // Start of the lock-out interval, as the tick of the edge (or START) that began it.
    std::optional<std::uint32_t> lockOutTick_;
    // Whether the LED was armed when STOP locked it, for edges seen before STOP.
    bool ledArmedAtStop_ = false;
    // Set while the LAP button's press runs the command, so the journal knows the lap's source.
    bool lapByButton_ = false;
    std::shared_ptr<FormJournal> journal_;
    void BeginExport();
    void EndExport();
    // Shared pointers, so that this header needs neither class complete.
    std::shared_ptr<AutomationThread> exports_;
    std::shared_ptr<WaitCursor> exportCursor_;  // the hourglass while any export runs
    int exportsRunning_ = 0;
    // The display's text for a screen reader, kept by ShowTime.
    SpokenDisplay spoken_;
};

// Whether a file chosen to open is a race journal.
bool IsJournalFileName(const QString& fileName);
// "Can't read the protocol file:", the journal's name and, where it applies, why it is not read.
QString CantReadJournalMessage(const QString& fileName);

// Sets a label's font colour.
void SetFontColor(QLabel* label, TColor color);
