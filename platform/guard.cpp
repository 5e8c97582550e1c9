#include "platform/guard.h"

#include <QApplication>
#include <QWidget>

#include "platform/dialogs.h"
#include "platform/exception.h"

void ReportEscapedException(std::exception_ptr e) {
    QString message;
    try {
        std::rethrow_exception(e);
    } catch (const Exception& ex) {
        message = ex.Message();
    } catch (const std::exception& ex) {
        message = QString::fromLocal8Bit(ex.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    try {
        Dialogs().Error(QApplication::activeWindow(), message);
    } catch (...) {
        // Reporting must never take the program down.
    }
}
