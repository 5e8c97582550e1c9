// Accessible names and descriptions: what a screen reader says for each control, and the names
// tests find them by.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "app/accessibility.h"
#include "app/formmain.h"
#include "app/panel.h"
#include "widgets/digit.h"

void TFormMain::NameControls() {
    InstallAccessibility();
    auto name = [](QWidget* w, const QString& n, const QString& description = QString()) {
        w->setAccessibleName(n);
        if (!description.isEmpty()) w->setAccessibleDescription(description);
    };
    name(bCFG, QStringLiteral("Configuration"),
         QStringLiteral("Opens the configuration: resolution, port, trigger, distance (Alt+C)"));
    name(PanelDate, QStringLiteral("Date and time"));

    // The run buttons by their command; RESET's caption ("00:00") does not say what it does.
    name(bSTART, QStringLiteral("START"), QStringLiteral("Starts the clock (Alt+S)"));
    name(bLAP, QStringLiteral("LAP"),
         QStringLiteral("Records the next finisher with the start number typed (Enter)"));
    name(bSTOP, QStringLiteral("STOP"), QStringLiteral("Stops the clock (Alt+P)"));
    name(bRESET, QStringLiteral("RESET"),
         QStringLiteral("Clears the protocol and sets the display to zero"));

    // Marked before anything asks for their interfaces, which are kept once made.
    MarkAsAccessibleDisplay(PanelTimer);
    name(PanelTimer, QStringLiteral("Race time"));
    MarkAsPhotocellModeLed(LedModus);
    name(LedModus, QStringLiteral("Photocell mode"));
    name(cbStartN, QStringLiteral("Start number"),
         QStringLiteral("Start number of the next finisher"));
    name(cbStartN->lineEdit(), QStringLiteral("Start number"));

    for (QToolButton* b : {sbSave, sbLoad, sbPrint, sbWord, sbExcel, sbHTML})
        name(b, b->toolTip());
    name(SortGrid1, QStringLiteral("Protocol"),
         QStringLiteral("Results: rank, start number, time, gap to the first, km/h"));
}
