#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include "platform/programpaths.h"

// Points COM1..COM16 of the program's ports folder at missing devices, so that a port scan in a
// test or benchmark never opens the machine's own serial lines (/dev/ttyS0 is the console).
inline void IsolateSerialPorts() {
    const QString ports = ProgramConfigDir() + QStringLiteral("/ports");
    QDir().mkpath(ports);
    for (int n = 1; n <= 16; ++n)
        QFile::link(QStringLiteral("/nonexistent/vz-missing-%1").arg(n),
                    ports + QStringLiteral("/COM%1").arg(n));
}
