#pragma once

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <memory>

#include "app/formmain.h"
#include "tests/support/scripteddialogs.h"
#include "platform/tickcounter.h"
#include "tests/support/testenv.h"

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
