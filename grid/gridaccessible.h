#pragma once

class QAccessibleInterface;
class QObject;
class QString;

// Gives string grids an accessible table: a screen reader sees the cells below the fixed rows as
// a table whose column headers are the fixed row's texts. Installed once for the application.
void InstallGridAccessibility();
QAccessibleInterface* GridAccessibleFactory(const QString& className, QObject* object);
