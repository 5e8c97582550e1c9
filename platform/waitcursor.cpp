#include "platform/waitcursor.h"

#include <QCursor>
#include <QGuiApplication>

WaitCursor::WaitCursor() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    set_ = true;
}

WaitCursor::~WaitCursor() {
    if (set_) QGuiApplication::restoreOverrideCursor();
}

bool WaitCursor::Shown() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}
