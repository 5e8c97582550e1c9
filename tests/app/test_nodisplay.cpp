#include <gtest/gtest.h>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "app/nodisplay.h"

namespace {
QProcessEnvironment Env(std::initializer_list<std::pair<const char*, const char*>> vars) {
    QProcessEnvironment env;
    for (const auto& [name, value] : vars)
        env.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return env;
}

struct Started {
    int status = -1;
    bool crashed = false;
    QByteArray err;
};

// The program as a user starts it: without the test's offscreen platform.
Started StartProgram(const QProcessEnvironment& display) {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES"})
        env.remove(QString::fromLatin1(name));
    for (const QString& name : display.keys())
        env.insert(name, display.value(name));
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_STATE_HOME", dir.filePath("state"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(VZ_PROGRAM_PATH, {});
    Started run;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.crashed = p.exitStatus() == QProcess::CrashExit;
    run.status = p.exitCode();
    run.err = p.readAllStandardError();
    return run;
}
}  // namespace

TEST(NoDisplay, OnlyThePlatformsThatDrawOnADisplayNeedOne) {
    const QStringList bare{"vidazorov"};
    EXPECT_TRUE(DisplayMissing(bare, Env({})));
    EXPECT_TRUE(DisplayMissing(bare, Env({{"QT_QPA_PLATFORM", "xcb"}})));
    EXPECT_TRUE(DisplayMissing(bare, Env({{"QT_QPA_PLATFORM", "wayland;xcb"}})));
    EXPECT_FALSE(DisplayMissing(bare, Env({{"DISPLAY", ":0"}})));
    EXPECT_FALSE(DisplayMissing(bare, Env({{"WAYLAND_DISPLAY", "wayland-0"}})));
    // A platform without a display, from the environment or the command line (which wins).
    EXPECT_FALSE(DisplayMissing(bare, Env({{"QT_QPA_PLATFORM", "offscreen"}})));
    EXPECT_FALSE(DisplayMissing(bare, Env({{"QT_QPA_PLATFORM", "wayland;offscreen"}})));
    EXPECT_FALSE(DisplayMissing({"vidazorov", "-platform", "offscreen"}, Env({})));
    EXPECT_FALSE(DisplayMissing({"vidazorov", "--platform=vnc"}, Env({})));
    EXPECT_TRUE(
        DisplayMissing({"vidazorov", "-platform", "xcb"}, Env({{"QT_QPA_PLATFORM", "offscreen"}})));
    // After "--" everything is a file name.
    EXPECT_TRUE(DisplayMissing({"vidazorov", "--", "-platform", "offscreen"}, Env({})));

    EXPECT_EQ(NoDisplayText("vidazorov"),
              "vidazorov: no display found (DISPLAY and WAYLAND_DISPLAY are unset); start it on "
              "the desktop, or under a virtual display: xvfb-run vidazorov\n");
}

TEST(NoDisplay, TheProgramSaysSoInOneLineAndEndsWithStatusOne) {
    const Started unset = StartProgram({});
    EXPECT_FALSE(unset.crashed) << unset.err.toStdString();
    EXPECT_EQ(unset.status, 1) << unset.err.toStdString();
    EXPECT_EQ(unset.err, NoDisplayText("vidazorov").toLocal8Bit());

    // A display that is named but not there: the toolkit's reason, still in one line.
    const Started absent = StartProgram(Env({{"DISPLAY", ":987"}}));
    EXPECT_FALSE(absent.crashed) << absent.err.toStdString();
    EXPECT_EQ(absent.status, 1) << absent.err.toStdString();
    EXPECT_EQ(absent.err.count('\n'), 1) << absent.err.toStdString();
    EXPECT_TRUE(absent.err.startsWith("vidazorov: the display cannot be opened (")) << absent.err.toStdString();
    EXPECT_TRUE(absent.err.contains("could not connect to display :987"))
        << absent.err.toStdString();
    EXPECT_TRUE(absent.err.contains("xvfb-run vidazorov"));
    // Logging rules that keep the toolkit's reason back: the display asked for is named.
    const Started quiet =
        StartProgram(Env({{"DISPLAY", ":987"}, {"QT_LOGGING_RULES", "qt.qpa.*=false"}}));
    EXPECT_EQ(quiet.status, 1) << quiet.err.toStdString();
    EXPECT_EQ(quiet.err, NoDisplayText("vidazorov", "DISPLAY=:987").toLocal8Bit());
}
