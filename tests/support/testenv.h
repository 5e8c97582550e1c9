#pragma once

#include <QImage>
#include <QString>

#include "tests/support/printers.h"

class QWidget;

// Points $XDG_CONFIG_HOME at a fresh temporary folder so that no test touches the user's
// settings or ports folder. Called once by the test main.
void PrepareTestEnvironment();
QString TestConfigHome();

// Renders a widget offscreen into an image of its own size.
QImage Render(QWidget* w);

// Saves an image under $VZ_SHOTS (when set) for a person to look at.
void SaveShot(const QImage& image, const QString& name);
// Copies a produced file (a page, a document) there as well.
void SaveShotFile(const QString& path, const QString& name);
