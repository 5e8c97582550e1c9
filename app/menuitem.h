#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QWidget;

// An item of the window's hidden menu. It exists for its shortcut, and its enabled state is the
// single guard of its command: Click does nothing while the item is disabled, whichever way the
// command was given (key, button press, photocell).
class TMenuItem : public QObject {
public:
    TMenuItem(QWidget* window, const QString& caption, const QKeySequence& shortcut, bool enabled);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    QKeySequence ShortCut() const { return shortcut_; }
    void SetShortCut(const QKeySequence& shortcut);
    const QString& Caption() const { return caption_; }

    std::function<void(TMenuItem*)> OnClick;
    void Click();

private:
    QAction* action_;
    QString caption_;
    QKeySequence shortcut_;
    bool enabled_;
};
