// The window's side of the live page: what it publishes after each command, where it says the
// page is, and how the page is switched on (settings, dialog, --live) and fails to start.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>

#include "app/menuitem.h"
#include "config/cfgdialog.h"
#include "live/liveserver.h"
#include "platform/settingsstore.h"
#include "tests/app/formfixture.h"
#include "tests/live/liveclient.h"

namespace {

// A port nobody listens on just now.
quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class LiveWindow : public FormFixture {
protected:
    // The list as the page has it, once it satisfies done.
    QJsonObject Page(const std::function<bool(const QJsonObject&)>& done) {
        QJsonObject o;
        const quint16 port = form->Live()->Port();
        const bool ok = QTest::qWaitFor(
            [&] {
                o = QJsonDocument::fromJson(HttpGet(port, QStringLiteral("/results.json")).body).object();
                return done(o);
            },
            10000);
        EXPECT_TRUE(ok);
        return o;
    }
    static QStringList Cells(const QJsonObject& o, int row) {
        QStringList cells;
        for (const auto& v : o["rows"][row]["cells"].toArray())
            cells << v.toString();
        return cells;
    }
    void Lap(const QString& nr, std::uint32_t at) {
        clock.Set(at);
        form->cbStartN->setEditText(nr);
        form->mLAP->Click();
    }
};

}  // namespace

TEST_F(LiveWindow, OffUnlessSwitchedOn) {
    TFormMain& f = Build();
    f.StartLive();
    EXPECT_EQ(f.Live(), nullptr);
    EXPECT_TRUE(f.LiveAddresses().isEmpty());
    f.PublishLive();  // nothing to publish to: harmless
}

TEST_F(LiveWindow, EveryCommandReachesThePage) {
    TFormMain& f = Build();
    const quint16 port = FreePort();
    f.StartLive(port);
    ASSERT_NE(f.Live(), nullptr);
    EXPECT_EQ(f.Live()->Port(), port);
    // The window says where, and that only this computer may open it.
    ASSERT_NE(f.LabelLive, nullptr);
    EXPECT_TRUE(f.LabelLive->isVisibleTo(&f));
    EXPECT_EQ(f.LabelLive->text(),
              QStringLiteral("Live: http://127.0.0.1:%1/ (this computer only)").arg(port));

    QJsonObject o = Page([](const QJsonObject& o) { return o["state"] == "ready"; });
    EXPECT_EQ(o["rows"].toArray().size(), 0);
    EXPECT_EQ(o["header"].toArray().size(), 5);
    EXPECT_EQ(o["header"][0].toString(), QStringLiteral("Rang"));

    clock.Set(1000000);
    f.mStart->Click();
    Page([](const QJsonObject& o) { return o["state"] == "running"; });
    Lap(QStringLiteral("117"), 1000000 + 65270);
    Lap(QStringLiteral("<b>"), 1000000 + 70000);
    SaveShot(Render(&f), QStringLiteral("live-window"));
    o = Page([](const QJsonObject& o) { return o["rows"].toArray().size() == 2; });
    EXPECT_EQ(Cells(o, 0).mid(0, 4), (QStringList{"1.", "117", "1.05,27", "0,00"}));
    EXPECT_EQ(Cells(o, 1).mid(0, 4), (QStringList{"2.", "<b>", "1.10,00", "4,73"}));
    EXPECT_EQ(o["newest"].toInt(), 1);
    EXPECT_EQ(o["resolution"].toInt(), 2);
    EXPECT_FALSE(o["rows"][0]["corrected"].toBool());

    // A start number typed over in the list.
    f.SortGrid1->SetCells(1, 1, QStringLiteral("118"));
    f.SortGrid1->OnSetEditText(f.SortGrid1, 1, 1, QStringLiteral("118"));
    o = Page([](const QJsonObject& o) { return o["rows"][0]["cells"][1] == "118"; });

    clock.Set(1000000 + 90000);
    f.mStop->Click();
    o = Page([](const QJsonObject& o) { return o["state"] == "stopped"; });
    EXPECT_EQ(o["raceTimeMs"].toInteger(), 90000);
    EXPECT_EQ(o["raceNowMs"].toInteger(), 90000);  // a stopped clock stands

    // The semicolon file as "Save protocol as.." writes it, byte for byte.
    ASSERT_TRUE(f.SortGrid1->SaveToCSV(dir.filePath("saved.csv")));
    QFile saved(dir.filePath("saved.csv"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(HttpGet(port, QStringLiteral("/results.csv")).body, saved.readAll());

    dialogs.confirmAnswers = {true};
    f.mReset->Click();
    o = Page([](const QJsonObject& o) { return o["state"] == "ready"; });
    EXPECT_EQ(o["rows"].toArray().size(), 0);
    EXPECT_EQ(o["newest"].toInt(), -1);
}

TEST_F(LiveWindow, ATakenPortIsToldOnceAndTimingGoesOn) {
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any, 0));
    TFormMain& f = Build();
    f.StartLive(other.serverPort());
    EXPECT_EQ(f.Live(), nullptr);
    QTest::qWait(50);  // the message waits for the running command to end
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith(
        QStringLiteral("The live results page cannot start: port %1 is already used by another program.")
            .arg(other.serverPort())));
    f.mStart->Click();
    Lap(QStringLiteral("1"), 1000000 + 5000);
    EXPECT_EQ(f.Race().LapCount(), 1);
    EXPECT_EQ(dialogs.errors.size(), 1);
}

TEST_F(LiveWindow, SwitchedOnInTheDialogAndKeptInTheSettings) {
    const quint16 port = FreePort();
    TFormMain& f = Build();
    dialogs.onExec = [port](QDialog* d) {
        auto& cfg = *static_cast<TCfgDialog*>(d);
        EXPECT_FALSE(cfg.cbLive->isChecked());
        EXPECT_FALSE(cfg.seLivePort->isEnabled());
        cfg.cbLive->setChecked(true);
        EXPECT_TRUE(cfg.seLivePort->isEnabled());
        cfg.seLivePort->setValue(port);
        cfg.rbLiveLan->setChecked(true);
        SaveShot(Render(&cfg), QStringLiteral("live-config"));
        return int(QDialog::Accepted);
    };
    f.bCFGClick();
    ASSERT_NE(f.Live(), nullptr);
    EXPECT_EQ(f.Live()->Port(), port);
    EXPECT_FALSE(f.Live()->LocalOnly());
    EXPECT_FALSE(f.LabelLive->text().contains(QStringLiteral("this computer only")));
    EXPECT_EQ(HttpGet(port, QStringLiteral("/results.json")).status, 200);
    Destroy();
    SettingsStore store(SettingsPath());
    EXPECT_EQ(store.ReadInteger("Live"), 1);
    EXPECT_EQ(store.ReadInteger("LivePort"), port);
    EXPECT_EQ(store.ReadInteger("LiveLAN"), 1);

    // The next start serves it again, until it is switched off in the dialog.
    TFormMain& g = Build();
    g.StartLive();
    ASSERT_NE(g.Live(), nullptr);
    EXPECT_EQ(g.Live()->Port(), port);
    dialogs.onExec = [](QDialog* d) {
        static_cast<TCfgDialog*>(d)->cbLive->setChecked(false);
        return int(QDialog::Accepted);
    };
    g.bCFGClick();
    EXPECT_EQ(g.Live(), nullptr);
    EXPECT_FALSE(g.LabelLive->isVisibleTo(&g));
    EXPECT_EQ(HttpGet(port, QStringLiteral("/results.json")).status, 0);
}

TEST_F(LiveWindow, APortGivenForOneRunIsNotStored) {
    const quint16 port = FreePort();
    TFormMain& f = Build();
    f.StartLive(port);
    ASSERT_NE(f.Live(), nullptr);
    // The dialog shows what runs; confirming it unchanged leaves the page and the settings alone.
    dialogs.onExec = [port](QDialog* d) {
        auto& cfg = *static_cast<TCfgDialog*>(d);
        EXPECT_TRUE(cfg.cbLive->isChecked());
        EXPECT_EQ(cfg.seLivePort->value(), port);
        EXPECT_TRUE(cfg.rbLiveLocal->isChecked());
        return int(QDialog::Accepted);
    };
    f.bCFGClick();
    ASSERT_NE(f.Live(), nullptr);
    EXPECT_EQ(f.Live()->Port(), port);
    Destroy();
    SettingsStore store(SettingsPath());
    EXPECT_EQ(store.ReadInteger("Live"), 0);
    EXPECT_EQ(store.ReadInteger("LivePort"), 8080);
}
