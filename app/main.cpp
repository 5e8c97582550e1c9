#include <memory>

#include "app/formmain.h"
#include "app/stdindriver.h"
#include "platform/application.h"
#include "platform/programpaths.h"

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vidazorov"));
    SetApplicationTitle(QStringLiteral("Vidazorov-ZavEzazi"));
    auto form = std::make_unique<TFormMain>();
    form->CreateCfgDialog();
    if (StdinDriverRequested())
        InstallStdinDriver(*form);
    else
        form->OfferJournalRestore();  // before the window shows: an unfinished race comes first
    form->show();
    const int rc = QApplication::exec();
    form.reset();  // writes the settings and the exit protocol
    return rc;
}
