#pragma once

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <memory>

#include "app/formmain.h"
#include "tests/support/scripteddialogs.h"
#include "platform/tickcounter.h"
#include "tests/support/testenv.h"

// The race's settings changed one at a time, as the configuration dialog changes them.
inline void SetAlgorithm(TFormMain& f, int algorithm) {
    RaceSettings s = f.Race().Settings();
    s.algorithm = algorithm;
    f.SetRaceSettings(s);
}
inline void SetResolutionSetting(TFormMain& f, int resolution) {
    RaceSettings s = f.Race().Settings();
    s.resolution = resolution;
    f.SetRaceSettings(s);
}
inline void SetDistance(TFormMain& f, std::int32_t metres) {
    RaceSettings s = f.Race().Settings();
    s.distance = metres;
    f.SetRaceSettings(s);
}

// A main window in a private folder (settings, exit files), with scripted dialogs and a manual
// tick counter. Build() creates the window, so a test can prepare settings first.
class FormFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    TFormMain& Build();
    void Destroy();  // runs FormDestroy as at exit, answering no questions
    QString SettingsPath() const;
    void WriteSettings(const QString& iniBody);

    QTemporaryDir dir;
    QString oldCwd;
    ScopedDialogs dialogs;
    ScopedManualClock clock{1000000};
    std::unique_ptr<TFormMain> form;
};
