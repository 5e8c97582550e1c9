#include <QFileInfo>
#include <cstdio>
#include <memory>

#include "app/commandline.h"
#include "app/formmain.h"
#include "app/nodisplay.h"
#include "app/stdindriver.h"
#include "platform/application.h"
#include "platform/guard.h"
#include "platform/programpaths.h"

int main(int argc, char** argv) {
    // The command line is read before the toolkit starts, which needs a display.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CommandLine cl = ParseCommandLine(args);
    switch (cl.action) {
        case CommandLine::Action::Help:
            std::fputs(HelpText(cl.programName).toLocal8Bit().constData(), stdout);
            return kExitOk;
        case CommandLine::Action::Version:
            std::fputs(VersionText(cl.programName).toLocal8Bit().constData(), stdout);
            return kExitOk;
        case CommandLine::Action::Error:
            std::fputs(ErrorText(cl).toLocal8Bit().constData(), stderr);
            return kExitUsage;
        case CommandLine::Action::Run:
            break;
    }

    if (DisplayMissing(args, QProcessEnvironment::systemEnvironment())) {
        std::fputs(NoDisplayText(cl.programName).toLocal8Bit().constData(), stderr);
        return kExitNoDisplay;
    }
    PreferSocketImageTransfer();
    auto opening = std::make_unique<DisplayOpening>(cl.programName);
    Application app(argc, argv);
    opening.reset();
    QApplication::setApplicationName(QStringLiteral("vidazorov"));
    SetApplicationTitle(QStringLiteral("Vidazorov-ZavEzazi"));
    auto form = std::make_unique<TFormMain>();
    form->CreateCfgDialog();
    // Before the window shows: an unfinished race comes first. The driver answers the question
    // from its input, as the operator would.
    if (StdinDriverRequested()) InstallStdinDriverDialogs();
    form->OfferJournalRestore();
    if (StdinDriverRequested()) InstallStdinDriver(*form);
    form->show();
    Guarded([&] { form->StartLive(cl.livePort); });
    if (!cl.protocolFile.isEmpty())
        Guarded([&] { form->OpenProtocolArgument(QFileInfo(cl.protocolFile).absoluteFilePath()); });
    const int rc = QApplication::exec();
    form.reset();  // writes the settings and the exit protocol
    return rc;
}
