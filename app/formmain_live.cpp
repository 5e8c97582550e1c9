// The live results page: the window hands the server a snapshot of what it shows after every
// change of the list or of the run, and shows where the page can be opened.
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include "app/appsettings.h"
#include "app/formmain.h"
#include "app/menuitem.h"
#include "app/panel.h"
#include "config/cfgdialog.h"
#include "grid/protocolfile.h"
#include "live/livejson.h"
#include "live/liveserver.h"
#include "platform/ttimer.h"

void TFormMain::TakeLiveSettings(const AppSettings& s) {
    LiveOn = s.live;
    LivePort = s.livePort;
    LiveLan = s.liveLan;
}

void TFormMain::PutLiveSettings(AppSettings& s) const {
    s.live = LiveOn;
    s.livePort = LivePort;
    s.liveLan = LiveLan;
}

void TFormMain::StartLive(int portOverride) {
    StopLive();
    if (portOverride <= 0 && !LiveOn) return;
    livePortInForce_ = portOverride > 0 ? portOverride : LivePort;
    liveLanInForce_ = LiveLan;
    auto server = std::make_shared<LiveServer>();
    const QString problem = server->Start(quint16(livePortInForce_), !liveLanInForce_);
    if (!problem.isEmpty()) {
        livePortInForce_ = 0;
        // Told once the running command is over: nothing waits for this box.
        QTimer::singleShot(0, this, [this, problem] { Dialogs().Error(this, problem); });
        return;
    }
    live_ = std::move(server);
    if (!LabelLive) {
        LabelLive = new QLabel(Panel1);
        LabelLive->setGeometry(300, 8, 256, 18);
        LabelLive->setAccessibleName(QStringLiteral("Live results page"));
    }
    const QStringList addresses = live_->Addresses();
    QString text = QStringLiteral("Live: ") + addresses.value(0);
    if (!liveLanInForce_) text += QStringLiteral(" (this computer only)");
    LabelLive->setText(text);
    LabelLive->setToolTip(QStringLiteral("The live results page opens at:\n") +
                          addresses.join(QLatin1Char('\n')));
    LabelLive->setAccessibleDescription(addresses.join(QStringLiteral(", ")));
    LabelLive->show();
    SendLiveSnapshot();  // a page opened at once finds the list
}

void TFormMain::StopLive() {
    live_.reset();
    livePortInForce_ = 0;
    if (LabelLive) LabelLive->hide();
}

QStringList TFormMain::LiveAddresses() const {
    return live_ ? live_->Addresses() : QStringList();
}

void TFormMain::PublishLive() {
    // Never inside the command that changed the race: once the window is back in its event
    // loop, one snapshot for every change since.
    if (!live_ || livePending_) return;
    livePending_ = true;
    QTimer::singleShot(0, this, [this] {
        livePending_ = false;
        SendLiveSnapshot();
    });
}

void TFormMain::SendLiveSnapshot() {
    if (!live_) return;
    auto s = std::make_shared<LiveSnapshot>();
    s->takenWallMs = QDateTime::currentMSecsSinceEpoch();
    s->takenSteadyMs = LiveSteadyNowMs();
    const TRace& race = race_;
    switch (race.State()) {
        case RunState::Running:
            s->state = LiveSnapshot::State::Running;
            s->raceTimeMs = TickDiff(GetTickCount(), race.StartTick());
            break;
        case RunState::Stopped:
            s->state = LiveSnapshot::State::Stopped;
            s->raceTimeMs = TickDiff(race.StopTick(), race.StartTick());
            break;
        case RunState::Ready:
            break;
    }
    s->resolution = race.Settings().resolution;
    s->header = race.Header();
    // The semicolon file as saved: every row, each with the list's columns.
    std::vector<QStringList> all;
    all.reserve(std::size_t(race.RowCount()));
    all.push_back(race.Header().mid(0, race.ColCount()));
    const int newest = race.State() == RunState::Ready ? 0 : race.NewestRow();
    for (int r = 1; r < race.RowCount(); ++r) {
        const ListRow& row = race.Row(r);
        QStringList cells = row.cells.mid(0, race.ColCount());
        while (cells.size() < race.ColCount())
            cells << QString();
        all.push_back(cells);
        if (row.Empty()) continue;
        if (r == newest) s->newest = int(s->rows.size());
        s->rows.push_back(LiveRow{row.cells, !row.notes.isEmpty(), row.notes.join(QStringLiteral("; "))});
    }
    s->csv = SemicolonFileBytes(all);
    live_->Publish(std::move(s));
}

void TFormMain::LiveConfigIn() {
    TCfgDialog& d = *CfgDialog;
    // What runs now: --live's port for this run shows as such.
    liveShown_ = {live_ != nullptr, live_ ? livePortInForce_ : LivePort,
                  live_ ? liveLanInForce_ : LiveLan};
    d.cbLive->setChecked(liveShown_.on);
    d.seLivePort->setValue(liveShown_.port);
    d.rbLiveLocal->setChecked(!liveShown_.lan);
    d.rbLiveLan->setChecked(liveShown_.lan);
}

void TFormMain::LiveConfigOut() {
    const TCfgDialog& d = *CfgDialog;
    const LiveShown chosen{d.cbLive->isChecked(), d.seLivePort->value(), d.rbLiveLan->isChecked()};
    // Confirming without a change leaves the page (and a port given for this run) alone.
    if (chosen.on == liveShown_.on && chosen.port == liveShown_.port && chosen.lan == liveShown_.lan)
        return;
    LiveOn = chosen.on;
    LivePort = chosen.port;
    LiveLan = chosen.lan;
    StartLive();
}
