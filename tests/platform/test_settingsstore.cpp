#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "platform/settingsstore.h"

TEST(SettingsStore, AbsentKeyReadsNothing) {
    QTemporaryDir dir;
    SettingsStore s(dir.filePath("x/x.conf"));
    EXPECT_FALSE(s.KeyExists());
    EXPECT_FALSE(s.ReadInteger("Port").has_value());
}

TEST(SettingsStore, WritesAndReadsIntegersIncludingNegativeAndFullDword) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/prog.conf");
    {
        SettingsStore s(path);
        ASSERT_TRUE(s.OpenForWrite());
        s.WriteInteger("Port", 3);
        s.WriteInteger("Left", -8);
        ASSERT_TRUE(s.Flush());
    }
    SettingsStore s(path);
    EXPECT_TRUE(s.KeyExists());
    EXPECT_EQ(s.ReadInteger("Port"), 3);
    EXPECT_EQ(s.ReadInteger("Left"), -8);
    EXPECT_FALSE(s.ReadInteger("Top").has_value());
}

TEST(SettingsStore, NonIntegerValueReadsAsNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.conf");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\nWidth=wide\nHeight=400\nDword=4294967295\n");
    f.close();
    SettingsStore s(path);
    EXPECT_FALSE(s.ReadInteger("Width").has_value());
    EXPECT_EQ(s.ReadInteger("Height"), 400);
    EXPECT_EQ(s.ReadInteger("Dword"), -1);
}
