#include "platform/application.h"

#include "platform/fonts.h"
#include "platform/guard.h"

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
