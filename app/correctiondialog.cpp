#include "app/correctiondialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/dialogs.h"
#include "race/timetext.h"

TCorrectionDialog::TCorrectionDialog(QWidget* parent, Kind kind, const QString& about)
    : QDialog(parent), kind_(kind) {
    setWindowTitle(kind == Kind::Insert   ? QStringLiteral("Insert a missed finish")
                   : kind == Kind::Retime ? QStringLiteral("Correct the finish time")
                                          : QStringLiteral("Correct the start"));
    auto* grid = new QGridLayout(this);
    LabAbout = new QLabel(about, this);
    LabAbout->setWordWrap(true);
    grid->addWidget(LabAbout, 0, 0, 1, 2);
    int row = 1;
    if (kind == Kind::Start) {
        rbLate = new QRadioButton(QStringLiteral("START was pressed &late by"), this);
        rbEarly = new QRadioButton(QStringLiteral("START was pressed &early by"), this);
        rbAt = new QRadioButton(QStringLiteral("The race &started at (time of day)"), this);
        rbLate->setChecked(true);
        for (QRadioButton* b : {rbLate, rbEarly, rbAt})
            grid->addWidget(b, row++, 0, 1, 2);
    }
    auto* labTime = new QLabel(kind == Kind::Start ? QStringLiteral("&Time:")
                                                   : QStringLiteral("Race &time:"),
                               this);
    edTime = new QLineEdit(this);
    edTime->setMaxLength(16);
    edTime->setAccessibleName(labTime->text().remove(QLatin1Char('&')));
    labTime->setBuddy(edTime);
    grid->addWidget(labTime, row, 0);
    grid->addWidget(edTime, row++, 1);
    if (kind == Kind::Insert) {
        auto* labNr = new QLabel(QStringLiteral("&Nr.:"), this);
        edStartNo = new QLineEdit(this);
        edStartNo->setMaxLength(5);  // as the start-number box takes it
        edStartNo->setAccessibleName(QStringLiteral("Nr."));
        labNr->setBuddy(edStartNo);
        grid->addWidget(labNr, row, 0);
        grid->addWidget(edStartNo, row++, 1);
    }
    auto* hint = new QLabel(QStringLiteral("Type the time ") + TimeTextExample() +
                                (kind == Kind::Start ? QStringLiteral("; a time of day as 14:05 or "
                                                                      "14:05:30.")
                                                     : QStringLiteral(".")),
                            this);
    hint->setWordWrap(true);
    hint->setEnabled(false);
    grid->addWidget(hint, row++, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    bOK = new QPushButton(QStringLiteral("&OK"), this);
    bCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    // Neither is the default: Enter is the operator's LAP while the clock runs, and confirms
    // nothing by accident otherwise either.
    for (QPushButton* b : {bOK, bCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    buttons->addStretch();
    buttons->addWidget(bOK);
    buttons->addWidget(bCancel);
    grid->addLayout(buttons, row, 0, 1, 2);
    connect(bOK, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    edTime->setFocus();
}

void TCorrectionDialog::OkClick() {
    const QString refusal = OnAccept ? OnAccept() : QString();
    if (!refusal.isEmpty()) {
        Dialogs().Error(this, refusal);
        edTime->setFocus();
        edTime->selectAll();
        return;
    }
    accept();
}

int TCorrectionDialog::exec() {
    // While it is open the clock runs on, photocell finishes are recorded, and Enter is LAP.
    ScopedEnterHandover enter;
    return QDialog::exec();
}
