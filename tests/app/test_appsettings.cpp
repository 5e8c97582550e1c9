#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "app/appsettings.h"
#include "platform/settingsstore.h"

namespace {
void Write(const QString& path, const QByteArray& body) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\n" + body);
}
}  // namespace

TEST(AppSettings, NoKeyKeepsEveryDefault) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("v.conf"));
    AppSettings s;
    EXPECT_EQ(ReadAppSettings(store, s), 0);
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.dist, 42195);
    EXPECT_EQ(s.filterInd, 2);
}

TEST(AppSettings, PortAndAlgOnlyAreApplied) {
    QTemporaryDir dir;
    Write(dir.filePath("v.conf"), "Port=3\nAlg=2\nWidth=900\n");
    SettingsStore store(dir.filePath("v.conf"));
    AppSettings s;
    EXPECT_EQ(ReadAppSettings(store, s), 2);
    EXPECT_EQ(s.port, 3);
    EXPECT_EQ(s.alg, 2);
    EXPECT_EQ(s.width, 800);  // "Left" was missing: the reading ended there
}

TEST(AppSettings, NonIntegerWidthEndsTheReading) {
    QTemporaryDir dir;
    Write(dir.filePath("v.conf"),
          "Port=1\nAlg=1\nLeft=5\nTop=6\nWidth=x\nHeight=500\nSound=0\nAcc=0\nDist=10000\n"
          "FilterInd=4\n");
    SettingsStore store(dir.filePath("v.conf"));
    AppSettings s;
    EXPECT_EQ(ReadAppSettings(store, s), 4);
    EXPECT_EQ(s.top, 6);
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 394);
    EXPECT_TRUE(s.sound);
    EXPECT_EQ(s.acc, 2);
    EXPECT_EQ(s.dist, 42195);
}

TEST(AppSettings, PortKeepsTheLowEightBitsAndSoundReadsNonZeroAsTrue) {
    QTemporaryDir dir;
    Write(dir.filePath("v.conf"),
          "Port=259\nAlg=0\nLeft=0\nTop=0\nWidth=800\nHeight=394\nSound=7\n");
    SettingsStore store(dir.filePath("v.conf"));
    AppSettings s;
    s.sound = false;
    ReadAppSettings(store, s);
    EXPECT_EQ(s.port, 3);
    EXPECT_TRUE(s.sound);
}

TEST(AppSettings, EveryValueWrittenIsReadBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/v.conf");
    SettingsStore store(path);
    AppSettings s;
    s.port = 4;
    s.alg = 1;
    s.sound = false;
    s.acc = 0;
    s.dist = 5000;
    s.filterInd = 3;
    s.live = true;
    s.livePort = 8123;
    s.liveLan = true;
    s.folder = QString::fromUtf8("/home/anna/Läufe 2026, Januar");
    ASSERT_TRUE(WriteAppSettings(store, s));
    AppSettings back;
    EXPECT_EQ(ReadAppSettings(SettingsStore(path), back), 13);
    EXPECT_EQ(back.dist, 5000);
    EXPECT_FALSE(back.sound);
    EXPECT_TRUE(back.live);
    EXPECT_EQ(back.livePort, 8123);
    EXPECT_TRUE(back.liveLan);
    EXPECT_EQ(back.folder, s.folder);
}

TEST(AppSettings, TheFolderIsReadWhereverTheIntegersEnded) {
    QTemporaryDir dir;
    Write(dir.filePath("v.conf"), "Port=3\nFolder=/srv/races\n");
    AppSettings s;
    EXPECT_EQ(ReadAppSettings(SettingsStore(dir.filePath("v.conf")), s), 1);
    EXPECT_EQ(s.folder, "/srv/races");
}

// The live page's values stand on their own: settings from before the page leave it off, and
// an unusable value keeps its default without ending the reading of the others.
TEST(AppSettings, LivePageValuesAreReadEachOnItsOwn) {
    QTemporaryDir dir;
    const QString path = dir.filePath("v.conf");
    auto read = [&](const QByteArray& body) {
        Write(path, body);
        AppSettings s;
        ReadAppSettings(SettingsStore(path), s);
        return s;
    };
    AppSettings s = read("Port=1\nAlg=0\nDist=5000\n");
    EXPECT_FALSE(s.live);
    EXPECT_EQ(s.livePort, 8080);
    EXPECT_FALSE(s.liveLan);
    // A width out of range ends the window's values, not the page's.
    s = read("Port=1\nAlg=0\nLeft=1\nTop=1\nWidth=5\nLive=1\nLivePort=9000\nLiveLAN=1\n");
    EXPECT_TRUE(s.live);
    EXPECT_EQ(s.livePort, 9000);
    EXPECT_TRUE(s.liveLan);
    for (const QByteArray port : {"0", "65536", "-80", "http"}) {
        s = read("Live=1\nLivePort=" + port + "\nLiveLAN=1\n");
        EXPECT_TRUE(s.live) << port.constData();
        EXPECT_EQ(s.livePort, 8080) << port.constData();
        EXPECT_TRUE(s.liveLan) << port.constData();
    }
}

// A value the program cannot show or use ends the reading as a non-integer one does; the values
// whose documented reading takes any integer still do.
TEST(AppSettings, OutOfRangeValuesEndTheReading) {
    struct Case {
        QByteArray body;
        int applied;
    };
    const QByteArray head = "Port=1\nAlg=1\nLeft=5\nTop=6\n";
    const Case cases[] = {
        {head + "Width=0\nHeight=500\n", 4},
        {head + "Width=700\nHeight=500\n", 4},
        {head + "Width=40000\nHeight=500\n", 4},
        {head + "Width=900\nHeight=-394\nSound=0\n", 5},
        {head + "Width=900\nHeight=500\nSound=0\nAcc=3\nDist=10000\nFilterInd=4\n", 7},
        {head + "Width=900\nHeight=500\nSound=0\nAcc=-1\nDist=10000\nFilterInd=4\n", 7},
        {head + "Width=900\nHeight=500\nSound=0\nAcc=1\nDist=100001\nFilterInd=4\n", 8},
        {head + "Width=900\nHeight=500\nSound=0\nAcc=1\nDist=-1\nFilterInd=4\n", 8},
        {head + "Width=900\nHeight=500\nSound=0\nAcc=1\nDist=100000\nFilterInd=5\n", 9},
        {head + "Width=900\nHeight=500\nSound=0\nAcc=1\nDist=0\nFilterInd=0\n", 9},
        {head + "Width=792\nHeight=394\nSound=0\nAcc=0\nDist=0\nFilterInd=1\n", 10},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        Write(dir.filePath("v.conf"), c.body);
        AppSettings s;
        EXPECT_EQ(ReadAppSettings(SettingsStore(dir.filePath("v.conf")), s), c.applied)
            << c.body.toStdString();
        const AppSettings d;
        // What was not applied kept its default.
        EXPECT_EQ(s.width == d.width, c.applied < 5);
        EXPECT_EQ(s.acc == d.acc, c.applied < 8);
        EXPECT_EQ(s.dist == d.dist, c.applied < 9);
        EXPECT_EQ(s.filterInd == d.filterInd, c.applied < 10);
    }
    // Port, algorithm, position and sound keep their documented reading of any integer.
    QTemporaryDir dir;
    Write(dir.filePath("v.conf"),
          "Port=-255\nAlg=5\nLeft=-30000\nTop=99999\nWidth=800\nHeight=394\nSound=-7\n");
    AppSettings s;
    s.sound = false;
    EXPECT_EQ(ReadAppSettings(SettingsStore(dir.filePath("v.conf")), s), 7);
    EXPECT_EQ(s.port, 1);
    EXPECT_EQ(s.alg, 5);
    EXPECT_EQ(s.left, -30000);
    EXPECT_TRUE(s.sound);
}
