#include "platform/waitcursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QThread>

WaitCursor::WaitCursor() {
    // The cursor belongs to the window's thread; work on another thread shows it from there.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread() != QCoreApplication::instance()->thread())
        return;
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
