#include "platform/application.h"

#include "platform/fonts.h"
#include "platform/guard.h"

void PreferSocketImageTransfer() {
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    InstallFontSubstitutes();
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportEscapedException(std::current_exception());
        return false;
    }
}
