#include "app/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>

#include "app/panel.h"
#include "grid/gridaccessible.h"
#include "widgets/led.h"

namespace {

const char* const kDisplay = "vzAccessibleDisplay";
const char* const kPhotocellMode = "vzPhotocellMode";

// A panel is read by its caption when nobody named it; a named panel with a changing caption
// (the date) gives the caption as its value.
class PanelAccessible : public QAccessibleWidget {
public:
    explicit PanelAccessible(TPanel* panel)
        : QAccessibleWidget(panel, panel->children().isEmpty() && !panel->Caption().isEmpty()
                                       ? QAccessible::StaticText
                                       : QAccessible::Grouping) {}
    TPanel* Panel() const { return static_cast<TPanel*>(widget()); }
    QString text(QAccessible::Text t) const override {
        const QString own = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && own.isEmpty()) return Panel()->Caption();
        if (t == QAccessible::Value && !Panel()->accessibleName().isEmpty())
            return Panel()->Caption();
        return own;
    }
};

// The seven-segment display: one text, the time it shows, instead of fourteen digits and their
// separators.
class DisplayAccessible : public QAccessibleWidget {
public:
    explicit DisplayAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::StaticText) {}
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return widget()->accessibleDescription();
        return QAccessibleWidget::text(t);
    }
};

// The photocell mode LED: a switch whose state is armed (green) or locked (red).
class PhotocellLedAccessible : public QAccessibleWidget {
public:
    // The state is read whenever it is asked for, so no change of kind is ever missed.
    explicit PhotocellLedAccessible(TLed* led) : QAccessibleWidget(led, QAccessible::CheckBox) {}
    TLed* Led() const { return static_cast<TLed*>(widget()); }
    bool Armed() const { return Led()->Kind() == TLedKind::lkGreen; }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description)
            return Armed()
                       ? QStringLiteral("Armed: the photocell records finishers. Click to lock.")
                       : QStringLiteral("Locked: the photocell is ignored. Click to arm.");
        if (t == QAccessible::Value)
            return Armed() ? QStringLiteral("armed") : QStringLiteral("locked");
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = Armed();
        return s;
    }
};

}  // namespace

QAccessibleInterface* AppAccessibleFactory(const QString&, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    auto* w = static_cast<QWidget*>(object);
    if (w->property(kDisplay).toBool()) return new DisplayAccessible(w);
    if (auto* led = dynamic_cast<TLed*>(w); led && led->property(kPhotocellMode).toBool())
        return new PhotocellLedAccessible(led);
    if (auto* panel = dynamic_cast<TPanel*>(w)) return new PanelAccessible(panel);
    return nullptr;
}

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&AppAccessibleFactory);
        return true;
    }();
    (void)installed;
    InstallGridAccessibility();
}

namespace {
// An interface made before the mark (a widget may announce itself while it is built) is dropped,
// so that the next request makes the marked one.
void Mark(QWidget* w, const char* property) {
    w->setProperty(property, true);
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(w))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}
}  // namespace

void MarkAsAccessibleDisplay(QWidget* w) {
    Mark(w, kDisplay);
}

void MarkAsPhotocellModeLed(QWidget* w) {
    Mark(w, kPhotocellMode);
}
