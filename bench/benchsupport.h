#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "platform/fonts.h"
#include "platform/programpaths.h"
#include "tests/support/isolatedports.h"

// Benchmarks run offscreen with their settings and exit files in a private folder.
struct BenchEnvironment {
    QTemporaryDir dir;
    std::unique_ptr<QApplication> app;
    BenchEnvironment(int& argc, char** argv) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        qputenv("XDG_STATE_HOME", dir.filePath("state").toLocal8Bit());  // race journals
        app = std::make_unique<QApplication>(argc, argv);
        InstallFontSubstitutes();
        QDir::setCurrent(dir.path());
        SetProgramFilePath(dir.filePath("vidazorov"));
        SetApplicationTitle(QStringLiteral("Vidazorov-ZavEzazi"));
        IsolateSerialPorts();
    }
};
