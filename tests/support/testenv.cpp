#include "tests/support/testenv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdlib>

namespace {
QTemporaryDir* g_dir = nullptr;
}

void PrepareTestEnvironment() {
    if (!g_dir) g_dir = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/vz-test-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", g_dir->path().toLocal8Bit());
    // Race journals go there too, never into the user's ~/.local/state.
    qputenv("XDG_STATE_HOME", (g_dir->path() + QStringLiteral("/state")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::atexit([] {
        delete g_dir;
        g_dir = nullptr;
    });
}

QString TestConfigHome() {
    return g_dir ? g_dir->path() : QString();
}

QImage Render(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void SaveShot(const QImage& image, const QString& name) {
    const QString dir = qEnvironmentVariable("VZ_SHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void SaveShotFile(const QString& path, const QString& name) {
    const QString dir = qEnvironmentVariable("VZ_SHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    QFile::remove(dir + QLatin1Char('/') + name);
    QFile::copy(path, dir + QLatin1Char('/') + name);
}
