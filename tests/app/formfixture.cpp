#include "tests/app/formfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/programpaths.h"
#include "platform/settingsstore.h"
#include "tests/support/isolatedports.h"

void FormFixture::SetUp() {
    ASSERT_TRUE(dir.isValid());
    oldCwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
    qputenv("XDG_STATE_HOME", dir.filePath("state").toLocal8Bit());
    SetProgramFilePath(dir.filePath("bin/vidazorov"));
    SetApplicationTitle("Vidazorov-ZavEzazi");
    IsolateSerialPorts();
}

void FormFixture::TearDown() {
    form.reset();
    QDir::setCurrent(oldCwd);
    SetProgramFilePath({});
}

TFormMain& FormFixture::Build() {
    form = std::make_unique<TFormMain>();
    form->CreateCfgDialog();
    return *form;
}

void FormFixture::Destroy() {
    form.reset();
}

QString FormFixture::SettingsPath() const {
    return SettingsStore::DefaultPath();
}

void FormFixture::WriteSettings(const QString& iniBody) {
    QDir().mkpath(QFileInfo(SettingsPath()).absolutePath());
    QFile f(SettingsPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\n" + iniBody.toUtf8());
}
