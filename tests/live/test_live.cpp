// The live results server seen from the network: what it serves, what it refuses, and how it
// bounds clients that misbehave. The server runs on its own thread; the clients here block.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QWebSocket>

#include "live/livejson.h"
#include "live/livepage.h"
#include "live/liveserver.h"
#include "tests/live/liveclient.h"

namespace {

std::shared_ptr<LiveSnapshot> SampleSnapshot() {
    auto s = std::make_shared<LiveSnapshot>();
    s->state = LiveSnapshot::State::Running;
    s->header = {"Rang", "Nr.", "Time", "Split", "Km/h"};
    s->rows.push_back({{"1.", "117", "2:10.05,27", "0,00", "19,5"}, false, {}});
    s->rows.push_back({{"2.", "<script>alert(1)</script>", "2:11.00,00", "54,73", "19,3"},
                       true, "Nr. corrected from \"12\" at 10:32:05"});
    s->rows.push_back({{"3.", "Ünë;\"x\"", "2:12.00,00", "1.54,73", "19,1"}, false, {}});
    s->newest = 2;
    s->raceTimeMs = 7'900'000;
    s->resolution = 1;
    s->takenWallMs = 1'765'000'000'000;
    s->takenSteadyMs = LiveSteadyNowMs();
    s->csv = QByteArray("Rang;Nr.;Time;Split;Km/h\r\n1.;117;2:10.05,27;0,00;19,5\r\n");
    return s;
}

// Waits for the server's thread to have taken what was published.
bool WaitForJson(quint16 port, const std::function<bool(const QJsonObject&)>& done) {
    return QTest::qWaitFor(
        [&] {
            const HttpAnswer a = HttpGet(port, QStringLiteral("/results.json"));
            return a.status == 200 && done(QJsonDocument::fromJson(a.body).object());
        },
        10000);
}

struct Page {
    QWebSocket socket;
    QList<QJsonObject> messages;
    Page() {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& m) {
            messages << QJsonDocument::fromJson(m.toUtf8()).object();
        });
    }
    bool Open(quint16 port, const QString& path = QStringLiteral("/live")) {
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path)));
        return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; },
                               10000);
    }
    bool WaitMessages(int n) {
        return QTest::qWaitFor([&] { return messages.size() >= n; }, 10000);
    }
};

class LiveServerTest : public testing::Test {
protected:
    void Start(const LiveServer::Limits& limits = {}) {
        ASSERT_EQ(server.Start(0, true, limits), QString());
        port = server.Port();
        ASSERT_NE(port, 0);
    }
    LiveServer server;
    quint16 port = 0;
};

}  // namespace

TEST(LiveJson, CarriesRowsStateAndTheRunningClock) {
    auto s = SampleSnapshot();
    const QJsonObject o = QJsonDocument::fromJson(LiveStampedJson(LiveSnapshotJson(*s), 5, 6)).object();
    EXPECT_EQ(o["now"].toInteger(), 5);
    EXPECT_EQ(o["raceNowMs"].toInteger(), 6);
    EXPECT_EQ(o["state"].toString(), QStringLiteral("running"));
    EXPECT_EQ(o["rows"].toArray().size(), 3);
    EXPECT_EQ(o["rows"][1]["cells"][1].toString(), QStringLiteral("<script>alert(1)</script>"));
    // A newest index outside the rows is no row.
    s->newest = 3;
    EXPECT_EQ(QJsonDocument::fromJson(LiveSnapshotJson(*s)).object()["newest"].toInt(), -1);

    // The clock runs on from the snapshot by the steady clock, however the wall clock moved;
    // a stopped race keeps its final time, a ready one shows none.
    EXPECT_EQ(LiveRaceTimeAt(*s, s->takenSteadyMs + 1500, 0), 7'901'500);
    s->takenSteadyMs = 0;
    EXPECT_EQ(LiveRaceTimeAt(*s, 0, s->takenWallMs + 250), 7'900'250);
    EXPECT_EQ(LiveRaceTimeAt(*s, 0, s->takenWallMs - 250), 7'900'000);
    s->state = LiveSnapshot::State::Stopped;
    EXPECT_EQ(LiveRaceTimeAt(*s, 0, s->takenWallMs + 99999), 7'900'000);
    s->state = LiveSnapshot::State::Ready;
    EXPECT_EQ(LiveRaceTimeAt(*s, 0, s->takenWallMs + 99999), 0);
}

TEST_F(LiveServerTest, ServesTheListAsJsonAndTheSemicolonFileAsSaved) {
    Start();
    // Before the window published anything: an empty, ready list.
    HttpAnswer a = HttpGet(port, QStringLiteral("/results.json"));
    ASSERT_EQ(a.status, 200);
    EXPECT_EQ(QJsonDocument::fromJson(a.body).object()["state"].toString(), QStringLiteral("ready"));

    const auto s = SampleSnapshot();
    server.Publish(s);
    ASSERT_TRUE(WaitForJson(port, [](const QJsonObject& o) { return o["rows"].toArray().size() == 3; }));
    a = HttpGet(port, QStringLiteral("/results.json"));
    EXPECT_EQ(a.headers.value("content-type"), "application/json");
    EXPECT_EQ(a.headers.value("cache-control"), "no-store");
    const QJsonObject o = QJsonDocument::fromJson(a.body).object();
    EXPECT_EQ(o["state"].toString(), QStringLiteral("running"));
    EXPECT_EQ(o["header"].toArray().size(), 5);
    EXPECT_EQ(o["header"][1].toString(), QStringLiteral("Nr."));
    EXPECT_EQ(o["rows"][0]["cells"][2].toString(), QStringLiteral("2:10.05,27"));
    EXPECT_FALSE(o["rows"][0]["corrected"].toBool());
    EXPECT_TRUE(o["rows"][1]["corrected"].toBool());
    EXPECT_EQ(o["rows"][1]["note"].toString(), QStringLiteral("Nr. corrected from \"12\" at 10:32:05"));
    EXPECT_EQ(o["rows"][2]["cells"][1].toString(), QStringLiteral("Ünë;\"x\""));
    EXPECT_EQ(o["newest"].toInt(), 2);
    EXPECT_EQ(o["resolution"].toInt(), 1);
    EXPECT_EQ(o["takenWallMs"].toInteger(), s->takenWallMs);
    // The race time at the answer: the running clock carried on from the snapshot.
    EXPECT_GE(o["raceNowMs"].toInteger(), s->raceTimeMs);
    EXPECT_GT(o["now"].toInteger(), 0);

    a = HttpGet(port, QStringLiteral("/results.csv"));
    ASSERT_EQ(a.status, 200);
    EXPECT_EQ(a.body, s->csv);
    EXPECT_EQ(a.headers.value("content-type"), "text/csv; charset=utf-8");
}

TEST_F(LiveServerTest, ServesThePageAndItsAssetsAndNothingElse) {
    Start();
    for (const char* path : {"/", "/live.css", "/live.js"}) {
        const HttpAnswer a = HttpGet(port, QString::fromLatin1(path));
        ASSERT_EQ(a.status, 200) << path;
        EXPECT_EQ(a.body, FindLivePageAsset(QString::fromLatin1(path))->body) << path;
        EXPECT_EQ(a.headers.value("x-content-type-options"), "nosniff");
        EXPECT_TRUE(a.headers.value("content-security-policy").contains("default-src 'none'"));
        // Self-contained: nothing is loaded from another host.
        EXPECT_FALSE(a.body.contains("http://")) << path;
        EXPECT_FALSE(a.body.contains("https://")) << path;
        EXPECT_FALSE(a.body.contains("@import")) << path;
    }
    EXPECT_TRUE(HttpGet(port, QStringLiteral("/")).headers.value("content-type").startsWith("text/html"));
    EXPECT_TRUE(HttpGet(port, QStringLiteral("/live.js")).headers.value("content-type").startsWith("text/javascript"));
    // A query changes nothing.
    EXPECT_EQ(HttpGet(port, QStringLiteral("/?screen")).status, 200);

    for (const char* path :
         {"/index.html", "/favicon.ico", "/live", "/results.json/", "/results.jsonx", "/results",
          "/../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/live.js/../../etc/passwd", "//etc/passwd",
          "/page/index.html", "/:/live/live.js", "/qrc:/live/live.js"}) {
        const HttpAnswer a = HttpGet(port, QString::fromLatin1(path));
        EXPECT_EQ(a.status, 404) << path;
        EXPECT_EQ(a.body, "Not found\n") << path;
    }
    // Read-only: no other method is answered, whatever its path.
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        const HttpAnswer a = HttpExchange(port, QByteArray(method) +
                                                    " /results.json HTTP/1.1\r\nHost: x\r\n"
                                                    "Content-Length: 2\r\nConnection: close\r\n\r\n{}");
        EXPECT_EQ(a.status, 404) << method;
    }
}

TEST_F(LiveServerTest, APageGetsTheWholeListOnConnectingAndEveryChangeAfter) {
    Start();
    server.Publish(SampleSnapshot());
    Page page;
    ASSERT_TRUE(page.Open(port));
    ASSERT_TRUE(page.WaitMessages(1));
    EXPECT_EQ(page.messages[0]["rows"].toArray().size(), 3);

    auto next = SampleSnapshot();
    next->rows.push_back({{"4.", "9", "2:13.00,00", "2.54,73", "19,0"}, false, {}});
    next->newest = 3;
    server.Publish(next);
    ASSERT_TRUE(page.WaitMessages(2));
    EXPECT_EQ(page.messages.last()["rows"].toArray().size(), 4);
    EXPECT_EQ(page.messages.last()["newest"].toInt(), 3);

    // Published faster than sent: the page ends on the newest.
    for (int i = 0; i < 200; ++i) {
        auto s = SampleSnapshot();
        s->raceTimeMs = i;
        s->state = LiveSnapshot::State::Stopped;
        server.Publish(s);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.messages.last()["raceTimeMs"].toInt() == 199; }, 10000));

    // Reconnecting: the whole list again, without a change in between.
    page.socket.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.CurrentStats().pages == 0; }, 10000));
    Page again;
    ASSERT_TRUE(again.Open(port));
    ASSERT_TRUE(again.WaitMessages(1));
    EXPECT_EQ(again.messages[0]["rows"].toArray().size(), 3);
    EXPECT_EQ(again.messages[0]["state"].toString(), QStringLiteral("stopped"));

    // Updates are the page's alone: a WebSocket elsewhere is closed at once.
    Page stray;
    stray.Open(port, QStringLiteral("/results.json"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return stray.socket.state() == QAbstractSocket::UnconnectedState; }, 10000));
    EXPECT_TRUE(stray.messages.isEmpty());
}

TEST_F(LiveServerTest, TurnsAwayClientsBeyondTheLimit) {
    LiveServer::Limits limits;
    limits.maxClients = 4;
    Start(limits);
    std::vector<int> held;
    for (int i = 0; i < 4; ++i)
        held.push_back(ConnectRaw(port));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.CurrentStats().connections == 4; }, 10000));
    // The fifth is told why and closed.
    const HttpAnswer busy = HttpGet(port, QStringLiteral("/results.json"));
    EXPECT_EQ(busy.status, 503);
    EXPECT_EQ(server.CurrentStats().refused, 1);
    ::close(held.back());
    held.pop_back();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.CurrentStats().connections == 3; }, 10000));
    EXPECT_EQ(HttpGet(port, QStringLiteral("/results.json")).status, 200);
    for (int fd : held)
        ::close(fd);
}

TEST_F(LiveServerTest, PagesThatLeaveGiveTheirPlaceBack) {
    LiveServer::Limits limits;
    limits.maxClients = 2;
    Start(limits);
    // Each page and each request frees its place when it ends: far more come and go than the
    // limit allows at once.
    for (int i = 0; i < 6; ++i) {
        Page page;
        ASSERT_TRUE(page.Open(port)) << i;
        ASSERT_TRUE(page.WaitMessages(1)) << i;
        EXPECT_EQ(HttpGet(port, QStringLiteral("/results.json")).status, 200) << i;
        page.socket.close();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return server.CurrentStats().connections == 0 && server.CurrentStats().pages == 0; },
            10000))
            << i;
    }
    EXPECT_EQ(server.CurrentStats().refused, 0);
}

TEST_F(LiveServerTest, DropsARequestThatNeverEnds) {
    LiveServer::Limits limits;
    limits.requestTimeoutMs = 60000;  // the size alone ends it
    Start(limits);
    const int fd = ConnectRaw(port);
    ASSERT_GE(fd, 0);
    QByteArray request = "GET / HTTP/1.1\r\nHost: x\r\n";
    const QByteArray header = "X-Filler: " + QByteArray(1000, 'a') + "\r\n";
    // Sent until the server closes: with the header never ending, the bytes are refused past
    // the bound instead of being kept.
    bool closed = false;
    for (int i = 0; i < 200 && !closed; ++i) {
        const QByteArray& chunk = i == 0 ? request : header;
        if (::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL) < 0) closed = true;
        else closed = WaitClosed(fd, 5, false);
    }
    EXPECT_TRUE(closed || WaitClosed(fd, 5000));
    EXPECT_GE(server.CurrentStats().dropped, 1);
    ::close(fd);
    // The server goes on answering everyone else.
    EXPECT_EQ(HttpGet(port, QStringLiteral("/results.json")).status, 200);
}

TEST_F(LiveServerTest, DropsSlowAndIdleClients) {
    LiveServer::Limits limits;
    limits.requestTimeoutMs = 400;
    Start(limits);
    // Connected and silent.
    const int idle = ConnectRaw(port);
    // A request dribbled a byte at a time (slowloris), well inside the size bound.
    const int slow = ConnectRaw(port);
    // Answered once, then kept open and idle.
    const int kept = ConnectRaw(port);
    ASSERT_TRUE(idle >= 0 && slow >= 0 && kept >= 0);
    const QByteArray get = "GET /results.json HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(::send(kept, get.constData(), size_t(get.size()), MSG_NOSIGNAL), get.size());
    bool slowClosed = false;
    for (int i = 0; i < 400 && !slowClosed; ++i) {
        const char c = "GET / HTTP/1.1\r\nX-A: "[std::min(i, 20)];
        if (::send(slow, &c, 1, MSG_NOSIGNAL) < 0) slowClosed = true;
        else slowClosed = WaitClosed(slow, 25);
    }
    EXPECT_TRUE(slowClosed);
    EXPECT_TRUE(WaitClosed(idle, 10000));
    EXPECT_TRUE(WaitClosed(kept, 10000));
    EXPECT_GE(server.CurrentStats().dropped, 3);
    for (int fd : {idle, slow, kept})
        ::close(fd);
}

TEST_F(LiveServerTest, APageThatStopsReadingGetsNoQueueAndIsDropped) {
    LiveServer::Limits limits;
    limits.stuckTimeoutMs = 500;
    Start(limits);
    const int fd = ConnectRaw(port, true);
    ASSERT_GE(fd, 0);
    const QByteArray upgrade = WebSocketUpgrade(QStringLiteral("/live"));
    ASSERT_EQ(::send(fd, upgrade.constData(), size_t(upgrade.size()), MSG_NOSIGNAL), upgrade.size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.CurrentStats().pages == 1; }, 10000));
    // Large lists, published faster than a client that reads nothing can take them: once the
    // kernel's buffers are full, the page is owed the newest instead of being sent every one.
    auto big = SampleSnapshot();
    for (int i = 0; i < 4000; ++i)
        big->rows.push_back({{QString::number(i) + QLatin1Char('.'), QString::number(i), "1:00.00,00", "0,00", "1,0"}, false, {}});
    for (int i = 0; i < 60; ++i) {
        auto s = std::make_shared<LiveSnapshot>(*big);
        s->raceTimeMs = i;
        server.Publish(s);
        QTest::qWait(5);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.CurrentStats().updatesSkipped > 0; }, 10000));
    EXPECT_LT(server.CurrentStats().updatesSent, 60);
    // And it is let go once it has taken nothing for the time allowed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.CurrentStats().pages == 0; }, 10000));
    EXPECT_GE(server.CurrentStats().dropped, 1);
    ::close(fd);
}

TEST_F(LiveServerTest, DropsAPageThatAnswersNoPing) {
    LiveServer::Limits limits;
    limits.pingIntervalMs = 100;
    limits.silentTimeoutMs = 600;
    Start(limits);
    // A page that reads everything and never answers.
    const int fd = ConnectRaw(port);
    const QByteArray upgrade = WebSocketUpgrade(QStringLiteral("/live"));
    ASSERT_EQ(::send(fd, upgrade.constData(), size_t(upgrade.size()), MSG_NOSIGNAL), upgrade.size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.CurrentStats().pages == 1; }, 10000));
    // A browser's page answers the pings by itself and stays.
    Page page;
    ASSERT_TRUE(page.Open(port));
    // Waited for with the events running, so that the browser-like page can answer.
    EXPECT_TRUE(QTest::qWaitFor([&] { return WaitClosed(fd, 0); }, 10000));
    QTest::qWait(800);
    EXPECT_EQ(page.socket.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(server.CurrentStats().pages, 1);
    ::close(fd);
}

TEST_F(LiveServerTest, DropsAClientThatSendsRequestsButTakesNoAnswers) {
    LiveServer::Limits limits;
    limits.maxUnsentBytes = 64 * 1024;
    Start(limits);
    server.Publish(SampleSnapshot());
    const int fd = ConnectRaw(port, true);
    QByteArray many;
    for (int i = 0; i < 50; ++i)
        many += "GET /live.js HTTP/1.1\r\nHost: x\r\n\r\n";
    bool closed = false;
    for (int i = 0; i < 400 && !closed; ++i) {
        if (::send(fd, many.constData(), size_t(many.size()), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
            errno != EAGAIN)
            closed = true;
        else
            closed = WaitClosed(fd, 10, false);
    }
    EXPECT_TRUE(closed || WaitClosed(fd, 10000, false));
    EXPECT_GE(server.CurrentStats().dropped, 1);
    ::close(fd);
}

TEST(LiveServerStart, ATakenPortGivesOneClearMessageAndLeavesTheOtherServerRunning) {
    LiveServer first;
    ASSERT_EQ(first.Start(0, false), QString());
    LiveServer second;
    const QString message = second.Start(first.Port(), false);
    EXPECT_TRUE(message.contains(QStringLiteral("port %1 is already used by another program").arg(first.Port())))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Timing goes on without the page")));
    EXPECT_FALSE(second.IsRunning());
    second.Publish(SampleSnapshot());  // harmless while not running
    EXPECT_EQ(HttpGet(first.Port(), QStringLiteral("/results.json")).status, 200);
}

TEST(LiveServerStart, ShowsTheAddressesToOpen) {
    LiveServer local;
    ASSERT_EQ(local.Start(0, true), QString());
    EXPECT_EQ(local.Addresses(), QStringList{QStringLiteral("http://127.0.0.1:%1/").arg(local.Port())});
    LiveServer lan;
    ASSERT_EQ(lan.Start(0, false), QString());
    const QStringList all = lan.Addresses();
    ASSERT_FALSE(all.isEmpty());
    // This machine's own address comes last, after those of its network interfaces.
    EXPECT_EQ(all.last(), QStringLiteral("http://127.0.0.1:%1/").arg(lan.Port()));
    for (const QString& a : all) {
        EXPECT_TRUE(a.startsWith(QStringLiteral("http://"))) << a.toStdString();
        EXPECT_TRUE(a.endsWith(QStringLiteral(":%1/").arg(lan.Port()))) << a.toStdString();
    }
    // Reachable here whichever it listens on.
    EXPECT_EQ(HttpGet(lan.Port(), QStringLiteral("/")).status, 200);
    // Stopping ends it; a start after that serves what was published before.
    lan.Publish(SampleSnapshot());
    lan.Stop();
    EXPECT_FALSE(lan.IsRunning());
    ASSERT_EQ(lan.Start(0, true), QString());
    EXPECT_TRUE(WaitForJson(lan.Port(), [](const QJsonObject& o) { return o["rows"].toArray().size() == 3; }));
}
