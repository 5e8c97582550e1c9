#include "config/cfgdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QShowEvent>
#include <cmath>

#include "platform/guard.h"
#include "widgets/floatedit.h"

namespace {
constexpr int kInputX = 70;
constexpr int kRow = 24;

QLabel* RowLabel(QWidget* parent, const QString& text, int y) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setGeometry(0, y, kInputX - 4, 22);
    return l;
}
}  // namespace

std::int32_t KilometresToMetres(long double km) {
    return static_cast<std::int32_t>(std::nearbyintl(km * 1000.0L));
}

TCfgDialog::TCfgDialog(QWidget* owner, std::uint32_t portMask) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Einstellungen"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    // The dialog takes the main window's font, as its labels and edits are sized for it.
    setAttribute(Qt::WA_WindowPropagation);
    if (owner) setFont(owner->font());

    int y = 8;
    cbDigits = new QComboBox(this);
    cbDigits->addItems({QStringLiteral("1/100"), QStringLiteral("1/10"), QStringLiteral("1")});
    cbDigits->setGeometry(kInputX, y, 59, 22);
    Label2 = RowLabel(this, QStringLiteral("Time format:"), y);
    Label2->setBuddy(cbDigits);  // names the control for a screen reader
    y += kRow;
    cbPort = new QComboBox(this);
    cbPort->addItem(QStringLiteral("None"));
    cbPort->setGeometry(kInputX, y, 62, 22);
    Label1 = RowLabel(this, QStringLiteral("COM-Port:"), y);
    Label1->setBuddy(cbPort);  // names the control for a screen reader
    y += kRow;
    cbAlg = new QComboBox(this);
    cbAlg->addItems({QStringLiteral("ON"), QStringLiteral("OFF"), QStringLiteral("With Split")});
    cbAlg->setGeometry(kInputX, y, 62, 22);
    cbAlg->setEnabled(false);
    Label6 = RowLabel(this, QStringLiteral("Algorithm:"), y);
    Label6->setBuddy(cbAlg);  // names the control for a screen reader
    y += kRow;
    feDist = new TSpinFloatEdit(this);
    feDist->setGeometry(kInputX, y, 62, 22);
    feDist->SetIncrement(0.5);
    feDist->SetDigits(3);
    feDist->SetMax(100.0);
    feDist->SetMin(0.0);
    feDist->SetValue(5.0);
    feDist->SetAlignment(TAlignment::taRightJustify);
    Label10 = RowLabel(this, QStringLiteral("Distance:"), y);
    Label10->setBuddy(feDist);  // names the control for a screen reader
    LabelKm = new QLabel(QStringLiteral("km"), this);
    LabelKm->setGeometry(kInputX + 66, y, 20, 22);
    y += kRow + 6;
    // The live results page, below the race's own settings.
    cbLive = new QCheckBox(QStringLiteral("Live results page"), this);
    cbLive->setGeometry(8, y, 146 - 8, 22);
    y += kRow;
    seLivePort = new QSpinBox(this);
    seLivePort->setRange(1, 65535);
    seLivePort->setValue(8080);
    seLivePort->setGeometry(kInputX, y, 62, 22);
    LabelLivePort = RowLabel(this, QStringLiteral("Port:"), y);
    LabelLivePort->setBuddy(seLivePort);  // names the control for a screen reader
    // Its text field is what a screen reader lands on.
    if (auto* field = seLivePort->findChild<QLineEdit*>())
        field->setAccessibleName(QStringLiteral("Live page port"));
    y += kRow;
    rbLiveLocal = new QRadioButton(QStringLiteral("Only this computer"), this);
    rbLiveLocal->setGeometry(8, y, 154 - 8, 22);
    rbLiveLocal->setChecked(true);
    y += kRow - 4;
    rbLiveLan = new QRadioButton(QStringLiteral("Other machines too"), this);
    rbLiveLan->setGeometry(8, y, 154 - 8, 22);
    rbLiveLocal->setToolTip(QStringLiteral("Only a browser on this computer may open the page"));
    rbLiveLan->setToolTip(
        QStringLiteral("Phones and computers on this computer's networks may open the page"));
    auto* who = new QButtonGroup(this);
    who->addButton(rbLiveLocal);
    who->addButton(rbLiveLan);
    auto follow = [this] {
        for (QWidget* w : {static_cast<QWidget*>(seLivePort), static_cast<QWidget*>(LabelLivePort),
                           static_cast<QWidget*>(rbLiveLocal), static_cast<QWidget*>(rbLiveLan)})
            w->setEnabled(cbLive->isChecked());
    };
    connect(cbLive, &QCheckBox::toggled, this, follow);
    follow();
    y += kRow + 8;
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setGeometry(8, y, 50, 25);
    OKBtn->setDefault(true);
    // A click on OK leaves the focus where it is, so that the distance is checked by accept()
    // and a refused text keeps the dialog open, as with Enter.
    OKBtn->setFocusPolicy(Qt::TabFocus);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setGeometry(8 + 50 + 8, y, 73, 25);
    setFixedSize(154, y + 25 + 8);

    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, cbDigits);
    setTabOrder(cbDigits, cbPort);
    setTabOrder(cbPort, cbAlg);
    setTabOrder(cbAlg, feDist);
    setTabOrder(feDist, cbLive);
    setTabOrder(cbLive, seLivePort);
    setTabOrder(seLivePort, rbLiveLocal);
    setTabOrder(rbLiveLocal, rbLiveLan);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbDigits, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { cbDigitsChange(); }); });
    connect(cbPort, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { cbPortChange(); }); });
    FormCreate(portMask);
}

void TCfgDialog::FormCreate(std::uint32_t portMask) {
    const std::uint32_t highest = portMask >> 16;
    for (std::uint32_t n = 1; n <= highest && n <= 16; ++n)
        if (portMask & (1u << (n - 1))) cbPort->addItem(QStringLiteral("COM") + QString::number(n));
}

void TCfgDialog::showEvent(QShowEvent* event) {
    Guarded([this] { FormShow(); });
    // Centred over the main window at every opening.
    if (QWidget* owner = parentWidget())
        move(owner->geometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(event);
}

void TCfgDialog::accept() {
    if (!feDist->CheckText()) return;
    QDialog::accept();
}

void TCfgDialog::FormShow() {
    if (AlgorithmValue) cbPort->setEnabled(AlgorithmValue() >= 0);
}

void TCfgDialog::cbDigitsChange() {
    if (OnPreviewResolution && cbDigits->currentIndex() >= 0)
        OnPreviewResolution(2 - cbDigits->currentIndex());
}

void TCfgDialog::cbPortChange() {
    cbAlg->setEnabled(cbPort->currentIndex() > 0);
}
