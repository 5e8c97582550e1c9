#include "platform/programpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString& Override() {
    static QString path;
    return path;
}
}  // namespace

QString ProgramFilePath() {
    if (!Override().isEmpty()) return Override();
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    return QStringLiteral("vidazorov");
}

void SetProgramFilePath(const QString& path) {
    Override() = path;
}

QString ProgramBaseName() {
    return QFileInfo(ProgramFilePath()).completeBaseName();
}

QString ProgramDir() {
    return QFileInfo(ProgramFilePath()).absolutePath();
}

QString ProgramConfigDir() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + ProgramBaseName();
}

namespace {
QString& Title() {
    static QString title;
    return title;
}
}  // namespace

QString ApplicationTitle() {
    return Title();
}
void SetApplicationTitle(const QString& title) {
    Title() = title;
}
