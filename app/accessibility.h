#pragma once

class QAccessibleInterface;
class QObject;
class QString;
class QWidget;

// Accessible interfaces of the main window's own painted controls: panels read their caption,
// the time display is one text (its digits are not read one by one), the photocell LED tells
// whether it is armed. The grid's table comes from the grid itself. Installed once.
void InstallAccessibility();
QAccessibleInterface* AppAccessibleFactory(const QString& className, QObject* object);

// Marks a widget as the display: read as one text, its description, without its children.
void MarkAsAccessibleDisplay(QWidget* w);
// Marks an LED as the photocell mode switch, described by its state.
void MarkAsPhotocellModeLed(QWidget* w);
