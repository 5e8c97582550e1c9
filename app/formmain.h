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
#include "race/photocell.h"
#include "race/race.h"
#include "serial/comport.h"
#include "widgets/bitbtnwithcolor.h"
#include "widgets/led.h"

class AutomationFactory;
class LiveServer;
struct AppSettings;
struct FormJournal;
struct LoadedJournal;
class AutomationThread;
class WaitCursor;
class QComboBox;
class QMenu;
class TCorrectionDialog;
class QLabel;
class QPushButton;
class QToolButton;
class TCfgDialog;
class TDigit;
class TMenuItem;
class TPanel;
class TTimer;

// The race clock's one window: display, run control, protocol and photocell. The race itself is a
// TRace: the window turns keys, clicks and photocell edges into its commands (Execute) and shows
// what it holds. Split into files by concern: formmain_layout.cpp (controls, start-up, exit),
// formmain_clock.cpp (display), formmain_run.cpp (START/LAP/STOP/RESET), formmain_protocol.cpp
// (the list), formmain_photocell.cpp, formmain_journal.cpp (commands and their journal).
class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // The race the window shows.
    const TRace& Race() const { return race_; }
    // The one way the race changes: the command is journaled, applied, and what it changed is
    // shown.
    void Execute(const RaceCommand& command);
    // Shows what a command changed.
    void Show(const RaceChange& change);
    // The settings the race is timed with.
    int Resolution() const { return race_.Settings().resolution; }
    std::int32_t Distance() const { return race_.Settings().distance; }
    int Algorithm() const { return race_.Settings().algorithm; }
    // Changes one of them, as the configuration dialog does.
    void SetRaceSettings(const RaceSettings& settings);

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
    // A LAP given by hand (key, menu, button) at this moment.
    void LapByHand(LapSource source);
    void mStopClick();
    void mResetClick();
    void LedModusClick();
    void TimerGesperrtTimer();
    void SetRunControls(bool running);

    // Photocell.
    void ComPortOpen();
    void ComPortClose();
    // A change of the photocell's line, with the tick it was seen at.
    void ComPortDSR(const TLineEvent& event);
    void ShowPortWatch();
    // Before a LAP by hand taken at `tick`: handles the photocell events seen by then, so that
    // their rows come first. The start number typed for the press stays for the press.
    void DeliverPhotocellFinishesSeenBy(std::uint32_t tick);
    TPhotocell Photocell;

    // Protocol rows: the race's list, shown in the grid.
    static constexpr int kProtocolColumns = TRace::kProtocolColumns;
    // Shows what a command changed in the list.
    void ShowList(const RaceChange& change);
    void SetDefaultColWidths();
    void UpdateProtocolButtons();
    void SortGrid1SelectCell(int aCol, int aRow, bool& canSelect);

    // Corrections (formmain_corrections.cpp): each asks or opens its dialog, then gives the
    // race its command.
    int SelectedRow() const;  // the list's current row, 0 for none
    void DeleteFinisher(int row);
    void InsertFinish();
    void SwapWithNeighbour(int row, int direction);  // -1 the row above, +1 the row below
    void CorrectFinishTime(int row);
    void CorrectStart();
    void UndoCorrection();
    void RedoCorrection();
    // The list's context menu for a row; a right click shows it.
    std::unique_ptr<QMenu> CorrectionMenu(int row);
    // Delete, Insert, Ctrl+Up and Ctrl+Down in the list; true when taken.
    bool CorrectionKey(int key, Qt::KeyboardModifiers mods);
    TMenuItem *mUndo, *mRedo;

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
    // START over a list that holds rows this run did not time asks first, as RESET does.
    bool MayStartOverList();
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

    // The race journal (formmain_journal.cpp): every command is written to it before it is
    // applied.
    void JournalEnd();            // the clean end, after the exit save
    QString JournalPath() const;  // the journal being written, or empty
    // At start-up: offers the unfinished races, newest first, until one is restored; true then.
    bool OfferJournalRestore();
    // "Open protocol" of a journal: its race's list, not its running state. False when unreadable.
    bool OpenJournalProtocol(const QString& path);

    // The live results page (formmain_live.cpp): a read-only view of the list for browsers.
    // Started after the window shows, on the stored settings or, for this run, on the port
    // given with --live (portOverride > 0); a port that cannot be had is told once.
    void StartLive(int portOverride = 0);
    void StopLive();
    // Hands the page the list and the run state as shown: after every change of either, once
    // the event loop comes round.
    void PublishLive();
    void SendLiveSnapshot();
    LiveServer* Live() const { return live_.get(); }
    QStringList LiveAddresses() const;  // where the page is open, empty while off
    void TakeLiveSettings(const AppSettings& s);
    void PutLiveSettings(AppSettings& s) const;
    void LiveConfigIn();   // the dialog's live controls from the page in force
    void LiveConfigOut();  // a change made in the dialog: stored, and the page restarted
    bool LiveOn = false;   // the stored settings
    int LivePort = 8080;
    bool LiveLan = false;
    QLabel* LabelLive = nullptr;  // the address to open, while the page is on

    // Configuration: the dialog is created after the window, from the port scan's result.
    void CreateCfgDialog();
    void bCFGClick();
    TCfgDialog* CfgDialog = nullptr;

    // Settings, readable by the configuration dialog and by tests.
    QString RegKeyPath = QStringLiteral("\\Software\\");
    bool SoundOn = true;
    std::uint32_t PortMask = 0;
    QString WordTemplatePath;
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
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    // Accessible names and descriptions of the controls (formmain_accessibility.cpp).
    void NameControls();
    // Records a finish the race accepts: journaled, applied, shown, selected.
    void RecordLap(const cmd::Lap& lap);
    void Relayout();
    void SetButtonState(TBitBtnWithColor* b, TMenuItem* m, bool enabled);
    // The run controls as the race's state has them (after a restore).
    void ShowRunState();
    void SelectRow(int row);
    void RunCorrectionDialog(TCorrectionDialog& dialog);
    // The Undo and Redo items and the display's hint as the corrections leave them.
    void ShowCorrectionState();
    // The story of a corrected row under the mouse as its hint; false for any other row.
    bool ShowCorrectionHint(const QPoint& pos, const QPoint& globalPos);
    FormJournal& Journal();
    void JournalRecord(const RaceCommand& command);
    void JournalFailed(const QString& path, int err);
    // Opens the journal of a race that START begins.
    void JournalCreate();
    // Restores a race the journal at `path` holds, going on in the journal `writer` holds.
    void RestoreRace(const LoadedJournal& journal);
    // Adopts a whole race (a restore): shown as it stands.
    void ShowRace();

    bool destroyed_ = false;
    TRace race_;
    // A race restored from its journal at start-up: its exit save is asked about before it
    // replaces a saved list that holds more.
    bool restored_ = false;
    std::shared_ptr<FormJournal> journal_;
    void BeginExport();
    void EndExport();
    // Shared pointers, so that this header needs neither class complete.
    std::shared_ptr<AutomationThread> exports_;
    std::shared_ptr<WaitCursor> exportCursor_;  // the hourglass while any export runs
    int exportsRunning_ = 0;
    // The display's text for a screen reader, kept by ShowTime.
    SpokenDisplay spoken_;
    std::shared_ptr<LiveServer> live_;  // while the page is on
    bool livePending_ = false;          // a snapshot is due
    // What the page runs on now (the stored settings or --live's port), and what the dialog
    // showed of it at its last opening.
    int livePortInForce_ = 0;
    bool liveLanInForce_ = false;
    struct LiveShown {
        bool on = false;
        int port = 0;
        bool lan = false;
    } liveShown_;
};

// Whether a file chosen to open is a race journal.
bool IsJournalFileName(const QString& fileName);
// "Can't read the protocol file:", the journal's name and, where it applies, why it is not read.
QString CantReadJournalMessage(const QString& fileName);

// Sets a label's font colour.
void SetFontColor(QLabel* label, TColor color);
