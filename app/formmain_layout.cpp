// The window's controls, start-up and exit.
#include <QCloseEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QTime>
#include <QToolButton>
#include <cerrno>

#include "app/appsettings.h"
#include "app/filefolders.h"
#include "app/formmain.h"
#include "app/menuitem.h"
#include "app/panel.h"
#include "platform/automation.h"
#include "platform/guard.h"
#include "platform/programpaths.h"
#include "platform/serialdevice.h"
#include "platform/settingsstore.h"
#include "platform/ttimer.h"
#include "widgets/digit.h"

namespace {

QFont MakeFont(const QString& family, int pixelSize, bool bold) {
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QFont& font, int x, int y,
                  TColor color) {
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    l->setAttribute(Qt::WA_TranslucentBackground);
    SetFontColor(l, color);
    l->adjustSize();
    l->move(x, y);
    return l;
}

TDigit* MakeDigit(QWidget* parent, int x, int y) {
    auto* d = new TDigit(parent);
    d->setGeometry(x, y, 45, 89);
    d->SetThickness(5);
    d->SetSeparation(1);
    d->SetValueBinary(125);
    return d;
}

QToolButton* MakeSpeedButton(QWidget* parent, const QString& hint, const QIcon& icon,
                             const QString& name) {
    auto* b = new QToolButton(parent);
    b->resize(36, 36);
    b->setToolTip(hint);
    b->setIcon(icon);
    b->setIconSize(QSize(24, 24));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setObjectName(name);
    return b;
}

void SetCaptionColor(QWidget* button, const QColor& color) {
    QPalette pal = button->palette();
    pal.setColor(QPalette::ButtonText, color);
    button->setPalette(pal);
}

// Sends the resizes that Qt keeps back for a widget not yet shown and its children (a scroll
// area hears of its size through its viewport's), as the first showing would send them.
void DeliverPendingResizes(QWidget* w) {
    if (w->testAttribute(Qt::WA_PendingResizeEvent)) {
        w->setAttribute(Qt::WA_PendingResizeEvent, false);
        QResizeEvent e(w->size(), QSize());
        QCoreApplication::sendEvent(w, &e);
    }
    for (QObject* child : w->children()) {
        auto* c = qobject_cast<QWidget*>(child);
        if (c && !c->isWindow()) DeliverPendingResizes(c);
    }
}

}  // namespace

void SetFontColor(QLabel* label, TColor color) {
    // Called on every clock tick: leave an unchanged label alone.
    const QColor c = ToQColor(color);
    if (label->palette().color(QPalette::WindowText) == c) return;
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, c);
    label->setPalette(pal);
}

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
    BuildControls();
    FormCreate();
}

TFormMain::~TFormMain() {
    if (!destroyed_) FormDestroy();
    SetEnterHandler({});  // it calls this window
}

void TFormMain::BuildControls() {
    setFont(MakeFont(QStringLiteral("MS Sans Serif"), 11, false));
    setMinimumSize(792, 394);
    resize(800, 394);
    setWindowTitle(QStringLiteral("1.1"));

    auto* central = new QWidget(this);
    setCentralWidget(central);

    // Top strip: configuration button, logo, date.
    Panel1 = new TPanel(central);
    Panel1->SetBevelOuter(TPanel::Bevel::None);
    bCFG = new QPushButton(QStringLiteral("Configuration"), Panel1);
    bCFG->setGeometry(4, 3, 120, 26);
    bCFG->setToolTip(QStringLiteral("Alt+E"));
    bCFG->setCursor(Qt::PointingHandCursor);
    bCFG->setFocusPolicy(Qt::ClickFocus);
    const QFont logoFont = MakeFont(QStringLiteral("Arial"), 27, true);
    LogoLabels[0] = MakeLabel(Panel1, QStringLiteral("Vidazorov"), logoFont, 142, 2, clBlack);
    const struct {
        const char* text;
        TColor color;
    } parts[] = {{"Vi", clRed}, {"da", clGreen}, {"zo", clRed}, {"rov", clGreen}};
    int x = 140;
    for (int i = 0; i < 4; ++i) {
        LogoLabels[i + 1] =
            MakeLabel(Panel1, QString::fromLatin1(parts[i].text), logoFont, x, 0, parts[i].color);
        x += QFontMetrics(logoFont).horizontalAdvance(QString::fromLatin1(parts[i].text));
    }
    PanelDate = new TPanel(Panel1);
    PanelDate->resize(222, 32);
    PanelDate->SetColor(clBlack);
    PanelDate->SetBevelOuter(TPanel::Bevel::Lowered);
    PanelDate->SetBevelWidth(2);
    PanelDate->SetFontColor(clSilver);
    PanelDate->setFont(MakeFont(QStringLiteral("Arial Narrow"), 24, false));
    PanelDate->SetCaption(QStringLiteral("00:00"));

    Panel2 = new TPanel(central);
    Panel2->SetBevelOuter(TPanel::Bevel::Lowered);

    // Left half: display and run control.
    PanelLeft = new TPanel(Panel2);
    PanelLeft->SetBevelOuter(TPanel::Bevel::None);
    PanelLeft->setFont(MakeFont(QStringLiteral("Arial"), 19, true));
    PanelTimerOwner = new TPanel(PanelLeft);
    PanelTimerOwner->SetBevelOuter(TPanel::Bevel::None);
    PanelTimerOwner->setGeometry(0, 0, 446, 241);
    PanelTimer = new TPanel(PanelTimerOwner);
    PanelTimer->setGeometry(0, 0, 446, 241);
    PanelTimer->SetColor(clBlack);
    PanelTimer->SetBevelWidth(5);
    PanelTimer->SetFontColor(clYellow);
    PanelTimer->SetTag(RGBColor(0x40, 0x40, 0x40));

    const QFont sepFont = MakeFont(QStringLiteral("Times New Roman"), 64, true);
    const QFont unitFont = MakeFont(QStringLiteral("Arial"), 19, true);
    auto sep = [&](const char* t, int x, int y) {
        return MakeLabel(PanelTimer, QString::fromLatin1(t), sepFont, x, y, clYellow);
    };
    Digit2 = MakeDigit(PanelTimer, 8, 11);
    LabHour = sep(":", 61, 11);
    Digit3 = MakeDigit(PanelTimer, 88, 11);
    Digit4 = MakeDigit(PanelTimer, 136, 11);
    LabMin = sep(".", 192, 41);
    Digit5 = MakeDigit(PanelTimer, 216, 11);
    Digit6 = MakeDigit(PanelTimer, 264, 11);
    LabSec = sep(",", 320, 41);
    Digit7 = MakeDigit(PanelTimer, 344, 11);
    Digit8 = MakeDigit(PanelTimer, 392, 11);
    Digit13 = MakeDigit(PanelTimer, 8, 136);
    LabHour2 = sep(":", 61, 136);
    Digit15 = MakeDigit(PanelTimer, 88, 136);
    Digit16 = MakeDigit(PanelTimer, 136, 136);
    LabMin2 = sep(".", 192, 166);
    Digit18 = MakeDigit(PanelTimer, 216, 136);
    Digit19 = MakeDigit(PanelTimer, 264, 136);
    LabSec2 = sep(",", 320, 166);
    Digit21 = MakeDigit(PanelTimer, 344, 136);
    Digit22 = MakeDigit(PanelTimer, 392, 136);
    Lab_Hour = MakeLabel(PanelTimer, QStringLiteral("Hour"), unitFont, 12, 106, clYellow);
    Lab_Min = MakeLabel(PanelTimer, QStringLiteral("Min."), unitFont, 116, 106, clYellow);
    Lab_sek = MakeLabel(PanelTimer, QStringLiteral("Sec."), unitFont, 244, 106, clYellow);
    Lab_100 = MakeLabel(PanelTimer, QStringLiteral("1/100"), unitFont, 366, 106, clYellow);

    LabelMadus2 = new QLabel(QStringLiteral("&Mode:"), PanelLeft);
    LabelMadus2->setGeometry(8, 250, 70, 28);
    LabelMadus2->hide();
    LedModus = new TLed(PanelLeft);
    LedModus->setGeometry(82, 256, 16, 16);
    LedModus->SetKind(TLedKind::lkRed);
    LedModus->SetValue(true);
    LedModus->setToolTip(QStringLiteral("Lock IR"));
    LedModus->setCursor(Qt::PointingHandCursor);
    LedModus->hide();
    LabelMadus2->setBuddy(LedModus);
    LabelNr = new QLabel(QStringLiteral("Nr.:"), PanelLeft);
    LabelNr->setGeometry(230, 250, 44, 28);
    LabelNr->setEnabled(false);
    cbStartN = new QComboBox(PanelLeft);
    cbStartN->setEditable(true);
    cbStartN->setInsertPolicy(QComboBox::InsertAlphabetically);
    cbStartN->setMaxVisibleItems(5);
    cbStartN->lineEdit()->setMaxLength(5);
    cbStartN->setFont(unitFont);
    cbStartN->setGeometry(276, 248, 91, 30);
    cbStartN->setEnabled(false);

    auto runButton = [&](const QString& caption, const QString& hint, int x, int w) {
        auto* b = new TBitBtnWithColor(PanelLeft);
        b->setText(caption);
        b->setToolTip(hint);
        b->setGeometry(x, 305, w, 42);
        b->setFont(unitFont);
        return b;
    };
    bSTART = runButton(QStringLiteral("START"), QStringLiteral("Alt+S"), 6, 101);
    bSTART->SetColor(clGreen);
    bSTART->setFont(MakeFont(QStringLiteral("Arial"), 24, true));
    SetCaptionColor(bSTART, Qt::white);
    bLAP = runButton(QStringLiteral("LAP"), QStringLiteral("Enter"), 113, 121);
    SetCaptionColor(bLAP, ToQColor(clGray));
    bLAP->setEnabled(false);
    bSTOP = runButton(QStringLiteral("STOP"), QStringLiteral("Alt+P"), 240, 105);
    bSTOP->setEnabled(false);
    bRESET = runButton(QStringLiteral("00:00"), QString(), 351, 91);
    // Its active face is black: a white caption stays readable (disabled captions are embossed
    // whatever the font colour).
    SetCaptionColor(bRESET, Qt::white);
    bRESET->setEnabled(false);

    // Right half: protocol.
    Panel3 = new TPanel(Panel2);
    Panel3->SetBevelOuter(TPanel::Bevel::None);
    Panel4 = new TPanel(Panel3);
    Panel4->SetCaption(QStringLiteral("Protocol"));
    Panel4->setFont(MakeFont(QStringLiteral("MS Sans Serif"), 19, false));
    Panel4->SetFontColor(clBtnShadow);
    QStyle* st = style();
    sbSave =
        MakeSpeedButton(Panel4, QStringLiteral("Save protocol as.."),
                        st->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("sbSave"));
    sbSave->setEnabled(false);
    sbLoad =
        MakeSpeedButton(Panel4, QStringLiteral("Open protocol"),
                        st->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("sbLoad"));
    sbPrint = MakeSpeedButton(Panel4, QStringLiteral("Print protocol"),
                              st->standardIcon(QStyle::SP_FileDialogDetailedView),
                              QStringLiteral("sbPrint"));
    sbPrint->setEnabled(false);
    sbWord = MakeSpeedButton(Panel4, QStringLiteral("Convert to MS Word"), QIcon(),
                             QStringLiteral("sbWord"));
    sbWord->setText(QStringLiteral("W"));
    sbWord->setEnabled(false);
    sbExcel = MakeSpeedButton(Panel4, QStringLiteral("Convert to MS Excel"), QIcon(),
                              QStringLiteral("sbExcel"));
    sbExcel->setText(QStringLiteral("X"));
    sbExcel->setEnabled(false);
    sbHTML =
        MakeSpeedButton(Panel4, QStringLiteral("Convert to IE"), QIcon(), QStringLiteral("sbHTML"));
    sbHTML->hide();

    SortGrid1 = new TSortGrid(Panel3);
    SortGrid1->setFont(MakeFont(QStringLiteral("Courier New"), 15, false));
    SortGrid1->SetDefaultColWidth(42);
    SortGrid1->SetDefaultRowHeight(20);
    SortGrid1->SetFixedCols(0);
    SortGrid1->SetColCount(5);
    SortGrid1->SetRowCount(2);  // from the grid's 5: the window starts "modified"
    SortGrid1->SetOptions({TGridOption::goFixedVertLine, TGridOption::goFixedHorzLine,
                           TGridOption::goVertLine, TGridOption::goHorzLine,
                           TGridOption::goDrawFocusSelected, TGridOption::goColSizing,
                           TGridOption::goEditing});
    SortGrid1->SetScrollBars(TScrollStyle::ssVertical);
    for (int c = 0; c < 5; ++c)
        SortGrid1->SetColWidths(c, c == 4 ? 166 : 42);
    TSortOptions& sort = SortGrid1->SortOptions();
    sort.CanSort = false;
    sort.SortStyle = TSortStyle::ssNormal;
    sort.SortCaseSensitive = false;
    sort.SortCol = 0;
    sort.SortDirection = TSortDirection::sdAscending;
    sort.UpdateOnSizeChange = false;
    SortGrid1->SetAlignmentHorz(TAlignment::taRightJustify);
    SortGrid1->SetAlignmentVert(TVertAlignment::taTopJustify);
    SortGrid1->OnSelectCell = [this](TSortGrid*, int c, int r, bool& can) {
        SortGrid1SelectCell(c, r, can);
    };
    // A typed cell is the race's: the grid tells the new text, the race knows the old one.
    SortGrid1->OnSetEditText = [this](TMyCustomGrid*, int c, int r, const QString& text) {
        const QString old = race_.Row(r).cells.value(c);
        if (old != text) Execute(cmd::Edit{r, c, old, text});
    };

    // Timers.
    TimerDate = new TTimer(this, 5000, true);
    TimerDate->OnTimer = [this](TTimer*) { TimerDateTimer(); };
    Clock = new TTimer(this, 10, false);
    Clock->SetPrecise(true);
    Clock->OnTimer = [this](TTimer*) { ClockTimer(); };
    TimerGesperrt = new TTimer(this, 10, false);
    TimerGesperrt->SetPrecise(true);
    TimerGesperrt->OnTimer = [this](TTimer*) { TimerGesperrtTimer(); };

    ComPort = new TComPort(this);
    ComPort->SetBaudRate(TBaudRate::br9600);
    ComPort->SetBaudRateUser(28800);
    ComPort->SetPort(0);
    ComPort->SetParity(TParity::prNone);
    ComPort->SetStopBits(TStopBits::sbOneStopBit);
    ComPort->SetFlowControl(TFlowControl::fcNone);
    ComPort->SetDataBits(5);
    ComPort->SetEvents(TEvents{TEvent::evDSR});
    ComPort->SetEnableDTR(true);
    ComPort->SetWriteBufSize(64);
    ComPort->SetReadBufSize(64);
    ComPort->OnDSR = [this](TComPort*, const TLineEvent& event) { ComPortDSR(event); };
    ComPort->OnOpen = [this](TComPort*) { ComPortOpen(); };
    ComPort->OnClose = [this](TComPort*) { ComPortClose(); };

    // The hidden menu: its items exist for their shortcuts.
    mStart =
        new TMenuItem(this, QStringLiteral("Start"), QKeySequence(QStringLiteral("Alt+S")), true);
    mLAP = new TMenuItem(this, QStringLiteral("Sp&lit"), QKeySequence(), false);
    mStop =
        new TMenuItem(this, QStringLiteral("Sto&p"), QKeySequence(QStringLiteral("Alt+P")), false);
    mReset = new TMenuItem(this, QStringLiteral("0,00"), QKeySequence(), false);
    EinstellunGen1 =
        new TMenuItem(this, QStringLiteral("&Config"), QKeySequence(QStringLiteral("Alt+C")), true);
    mUndo = new TMenuItem(this, QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), false);
    mRedo = new TMenuItem(this, QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::Key_Y), false);
    Drucker1 =
        new TMenuItem(this, QStringLiteral("&Print"), QKeySequence(QStringLiteral("Alt+T")), true);

    OpenDialog1.defaultExt = QStringLiteral(".txt");
    OpenDialog1.filter =
        QStringLiteral("Text file (*.txt)|*.txt|Race journal (*.journal)|*.journal");
    OpenDialog1.mustExist = true;
    SaveDialog1.defaultExt = QStringLiteral(".csv");
    SaveDialog1.filter = QStringLiteral(
        "MS Excel (*.csv)|*.csv|MS Word (*.doc)|*.doc|Internet HTML (*.html)|*.html|Text file "
        "(*.txt)|*.txt");
    SaveDialog1.filterIndex = 2;

    // Commands: the menu items are the single guard; buttons act on the press of any mouse button.
    mStart->OnClick = [this](TMenuItem*) { mStartClick(); };
    mLAP->OnClick = [this](TMenuItem*) { mLAPClick(); };
    mStop->OnClick = [this](TMenuItem*) { mStopClick(); };
    mReset->OnClick = [this](TMenuItem*) { mResetClick(); };
    auto pressTo = [](TMenuItem* item) {
        return [item](TBitBtnWithColor*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
            item->Click();
        };
    };
    bSTART->OnMouseDown = pressTo(mStart);
    // The menu item's enabled state guards the button's LAP too.
    bLAP->OnMouseDown = [this](TBitBtnWithColor*, Qt::MouseButton, Qt::KeyboardModifiers, int,
                               int) {
        if (mLAP->Enabled()) Guarded([this] { LapByHand(LapSource::Button); });
    };
    bSTOP->OnMouseDown = pressTo(mStop);
    bRESET->OnMouseDown = pressTo(mReset);
    bSTART->OnClick = [this](TBitBtnWithColor*) { mStart->Click(); };
    bSTOP->OnClick = [this](TBitBtnWithColor*) { mStop->Click(); };
    bRESET->OnClick = [this](TBitBtnWithColor*) { mReset->Click(); };
    LedModus->OnClick = [this](TLed*) { LedModusClick(); };
    EinstellunGen1->OnClick = [this](TMenuItem*) { bCFGClick(); };
    mUndo->OnClick = [this](TMenuItem*) { UndoCorrection(); };
    mRedo->OnClick = [this](TMenuItem*) { RedoCorrection(); };

    // Corrections: keys and a context menu in the list, marked rows with their story as a hint,
    // and the start corrected from the display's context menu too.
    SortGrid1->OnKeyDown = [this](TMyCustomGrid*, int& key, Qt::KeyboardModifiers mods) {
        if (CorrectionKey(key, mods)) key = 0;
    };
    SortGrid1->OnContextPopup = [this](TMyCustomGrid*, QPoint pos, bool& handled) {
        int c = -1, r = -1;
        SortGrid1->MouseToCell(pos.x(), pos.y(), c, r);
        CorrectionMenu(r)->exec(SortGrid1->viewport()->mapToGlobal(pos));
        handled = true;
    };
    SortGrid1->OnGetCellFormat = [this](TSortGrid*, int, int r, TGridDrawState state,
                                        TFormatOptions& format, bool&, bool&, bool&) {
        if (r >= 1 && !state.Contains(TGridDrawStateItem::gdSelected) &&
            !race_.Row(r).notes.isEmpty())
            format.Brush.Color = RGBColor(0xFF, 0xE8, 0xA8);  // a corrected row stands out
    };
    SortGrid1->viewport()->installEventFilter(this);
    PanelTimer->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PanelTimer, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("Correct the &start..."), this, [this] {
            Guarded([this] { CorrectStart(); });
        })->setEnabled(race_.Timed());
        menu.exec(PanelTimer->mapToGlobal(pos));
    });
    // Ctrl+Z and Ctrl+Y in the start-number box take back corrections too. Digits
    // typed while the clock runs and no cell is being typed in go to it, wherever the focus is.
    cbStartN->lineEdit()->installEventFilter(this);
    qApp->installEventFilter(this);
    // Enter in a question or a correction dialog is LAP while the clock runs.
    SetEnterHandler([this] {
        if (!race_.Running()) return false;
        mLAP->Click();
        return true;
    });
    Drucker1->OnClick = [this](TMenuItem*) { sbPrintClick(); };
    connect(sbSave, &QToolButton::clicked, this, [this] { Guarded([this] { sbSaveClick(); }); });
    connect(sbLoad, &QToolButton::clicked, this, [this] { Guarded([this] { sbLoadClick(); }); });
    connect(sbPrint, &QToolButton::clicked, this, [this] { Guarded([this] { sbPrintClick(); }); });
    connect(sbWord, &QToolButton::clicked, this, [this] { Guarded([this] { sbWordClick(); }); });
    connect(sbExcel, &QToolButton::clicked, this, [this] { Guarded([this] { sbExcelClick(); }); });
    connect(bCFG, &QPushButton::clicked, this, [this] { Guarded([this] { bCFGClick(); }); });

    // Tab order: the run buttons, then the start-number box.
    setTabOrder(bSTART, bLAP);
    setTabOrder(bLAP, bSTOP);
    setTabOrder(bSTOP, bRESET);
    setTabOrder(bRESET, cbStartN);
    NameControls();
    Relayout();
}

void TFormMain::Relayout() {
    QWidget* c = centralWidget();
    const int w = c->width(), h = c->height();
    Panel1->setGeometry(0, 0, w, 33);
    PanelDate->move(w - PanelDate->width() - 4, 0);
    Panel2->setGeometry(0, 33, w, h - 33);
    const int innerH = Panel2->height() - 4;
    PanelLeft->setGeometry(2, 2, 446, innerH);
    Panel3->setGeometry(450, 2, Panel2->width() - 452, innerH);
    Panel4->setGeometry(0, 0, Panel3->width(), 41);
    sbSave->move(2, 2);
    sbLoad->move(40, 2);
    sbPrint->move(78, 2);
    sbHTML->move(Panel4->width() - 38 * 3, 2);
    sbWord->move(Panel4->width() - 38 * 2, 2);
    sbExcel->move(Panel4->width() - 38, 2);
    SortGrid1->setGeometry(0, 41, Panel3->width(), Panel3->height() - 41);
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Relayout();
    // The grid fits its last column to its new size before the window sets its widths, as on a
    // window already on screen, where the grid's resize comes with its new geometry. Before the
    // first showing that resize is still pending and would come after the window's.
    DeliverPendingResizes(SortGrid1);
    Guarded([this] { FormResize(); });
}

void TFormMain::FormCreate() {
    RegKeyPath += ProgramBaseName();
    setWindowTitle(ApplicationTitle() + QLatin1Char(' ') + windowTitle());
    PanelTimer->SetFontColor(LitColor1);
    Digit8->SetTag(LitColor2);
    WordTemplatePath = ProgramDir() + QLatin1Char('/') + ProgramBaseName() + QStringLiteral(".doc");

    AppSettings s;
    s.port = ComPort->Port();
    s.alg = race_.Settings().algorithm;
    s.width = width();
    s.height = height();
    s.sound = SoundOn;
    s.acc = race_.Settings().resolution;
    s.dist = race_.Settings().distance;
    s.filterInd = SaveDialog1.filterIndex;
    SettingsStore store(SettingsStore::DefaultPath());
    ReadAppSettings(store, s);
    TakeLiveSettings(s);
    ComPort->SetPort(s.port);
    // Left and top are kept but not applied: the system places the window.
    resize(s.width, s.height);
    SoundOn = s.sound;
    SaveDialog1.filterIndex = s.filterInd;
    SetRaceSettings(RaceSettings{s.acc, s.dist, s.port, s.alg});

    LitColor1 = PanelTimer->FontColor();
    LitColor2 = TColor(Digit8->Tag());

    SortGrid1->SetRow(0, race_.Header());
    SetDefaultColWidths();
    SortGrid1->SetSelection(TGridRect{0, 1, SortGrid1->ColCount() - 1, 1});
    SetResolution(Resolution());
    ScanComPorts();
    SaveDialog1.fileName = ProgramBaseName() + SaveDialog1.defaultExt;
    StartFileDialogs(SaveDialog1, OpenDialog1, s.folder);
    ApplyDisplayColors();
    ShowTime(1, 0);
    ShowTime(2, 0);
    TimerDateTimer();
    if (ComPort->Port() != 0) {
        try {
            ComPort->Open();
            LedModus->SetKind(TLedKind::lkRed);
        } catch (const EComHandle& e) {
            // A configured port that is absent at start-up is not worth a message; one the
            // user may not open is, as the operator can mend it (the message says how).
            if (e.Error() == EACCES || e.Error() == EPERM) Dialogs().Error(this, e.Message());
        } catch (...) {
        }
    }
    UpdateProtocolButtons();
    bSTART->setFocus();
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == SortGrid1->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (ShowCorrectionHint(help->pos(), help->globalPos())) return true;
    }
    if (event->type() == QEvent::KeyPress && watched == cbStartN->lineEdit()) {
        // The box claims Ctrl+Z and Ctrl+Y for its own few characters; here they take back and
        // make again corrections, as everywhere in the window.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::ControlModifier &&
            (key->key() == Qt::Key_Z || key->key() == Qt::Key_Y)) {
            (key->key() == Qt::Key_Z ? mUndo : mRedo)->Click();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && race_.Running()) {
        // A digit for the next finisher's number lands in the box however the focus moved,
        // unless a start number in the list was chosen to be typed over.
        auto* target = qobject_cast<QWidget*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        const TGridRect sel = SortGrid1->Selection();
        const bool startNumberChosen = (target == SortGrid1 || SortGrid1->EditorMode()) &&
                                       SortGrid1->Col() == 1 && sel.Left == sel.Right &&
                                       sel.Top == sel.Bottom;
        if (target && target->window() == this && target != cbStartN->lineEdit() &&
            target != cbStartN && !startNumberChosen && key->modifiers() == Qt::NoModifier &&
            key->text().size() == 1 && key->text()[0].isDigit() &&
            cbStartN->lineEdit()->text().size() < cbStartN->lineEdit()->maxLength()) {
            cbStartN->setFocus();
            cbStartN->lineEdit()->insert(key->text());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::FormCloseQuery(bool& canClose) {
    // While the clock runs, the operator's next Enter is meant for a finisher: it never ends the
    // program. A list changed since it was saved or opened is asked about too.
    if (Clock->Enabled() || SortGrid1->Modified() || (race_.Unsaved() && !race_.ListEmpty()))
        canClose = Dialogs().Ask(this, QStringLiteral("Exit program?"), !race_.Running());
}

void TFormMain::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    Guarded([&] { FormCloseQuery(canClose); });
    if (canClose)
        event->accept();
    else
        event->ignore();
}

void TFormMain::FormDestroy() {
    destroyed_ = true;
    AppSettings s;
    s.left = x();
    s.top = y();
    s.width = width();
    s.height = height();
    s.sound = SoundOn;
    s.port = ComPort->Port();
    s.alg = race_.Settings().algorithm;
    s.acc = race_.Settings().resolution;
    s.dist = race_.Settings().distance;
    s.filterInd = SaveDialog1.filterIndex;
    PutLiveSettings(s);
    s.folder = SaveDialog1.lastDir;
    SettingsStore store(SettingsStore::DefaultPath());
    WriteAppSettings(store, s);
    ComPort->Close();
    SaveExitProtocol();
    JournalEnd();
}

void TFormMain::TimerDateTimer() {
    const QLocale locale;
    const QDateTime now = QDateTime::currentDateTime();
    PanelDate->SetCaption(locale.toString(now.date(), QLocale::ShortFormat) +
                          QStringLiteral("   ") +
                          locale.toString(now.time(), QLocale::ShortFormat));
}

void TFormMain::ScanComPorts() {
    PortMask = ::ScanComPorts();
}
