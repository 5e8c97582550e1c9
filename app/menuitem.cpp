#include "app/menuitem.h"

#include <QAction>
#include <QWidget>

#include "platform/guard.h"

TMenuItem::TMenuItem(QWidget* window, const QString& caption, const QKeySequence& shortcut,
                     bool enabled)
    : QObject(window), action_(new QAction(caption, window)), caption_(caption), enabled_(enabled) {
    // The action lives on the window itself, so its shortcut works with no menu bar shown.
    action_->setShortcutContext(Qt::WindowShortcut);
    window->addAction(action_);
    SetShortCut(shortcut);
    action_->setEnabled(enabled);
    QObject::connect(action_, &QAction::triggered, this, [this] { Guarded([this] { Click(); }); });
}

void TMenuItem::SetEnabled(bool enabled) {
    enabled_ = enabled;
    action_->setEnabled(enabled);
}

void TMenuItem::SetShortCut(const QKeySequence& shortcut) {
    shortcut_ = shortcut;
    QList<QKeySequence> keys;
    if (!shortcut.isEmpty()) {
        keys << shortcut;
        // Enter on the keypad is the same key to an operator.
        if (shortcut == QKeySequence(Qt::Key_Return)) keys << QKeySequence(Qt::Key_Enter);
    }
    action_->setShortcuts(keys);
}

void TMenuItem::Click() {
    if (!enabled_) return;
    if (OnClick) OnClick(this);
}
