#include "live/livejson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>

QString LiveStateName(LiveSnapshot::State state) {
    switch (state) {
        case LiveSnapshot::State::Running:
            return QStringLiteral("running");
        case LiveSnapshot::State::Stopped:
            return QStringLiteral("stopped");
        case LiveSnapshot::State::Ready:
            break;
    }
    return QStringLiteral("ready");
}

QByteArray LiveSnapshotJson(const LiveSnapshot& s) {
    QJsonArray rows;
    for (const LiveRow& r : s.rows) {
        QJsonObject row;
        row.insert(QStringLiteral("cells"), QJsonArray::fromStringList(r.cells));
        row.insert(QStringLiteral("corrected"), r.corrected);
        row.insert(QStringLiteral("note"), r.note);
        rows.append(row);
    }
    QJsonObject o;
    o.insert(QStringLiteral("state"), LiveStateName(s.state));
    o.insert(QStringLiteral("header"), QJsonArray::fromStringList(s.header));
    o.insert(QStringLiteral("rows"), rows);
    o.insert(QStringLiteral("newest"), s.newest >= 0 && s.newest < int(s.rows.size()) ? s.newest : -1);
    o.insert(QStringLiteral("raceTimeMs"), s.raceTimeMs);
    o.insert(QStringLiteral("resolution"), s.resolution);
    o.insert(QStringLiteral("takenWallMs"), s.takenWallMs);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray LiveStampedJson(const QByteArray& body, qint64 nowWallMs, qint64 raceNowMs) {
    QByteArray out;
    out.reserve(body.size() + 64);
    out += "{\"now\":";
    out += QByteArray::number(nowWallMs);
    out += ",\"raceNowMs\":";
    out += QByteArray::number(raceNowMs);
    // The body is a JSON object that is never empty: its first member follows a comma.
    out += ',';
    out += QByteArrayView(body).sliced(1);
    return out;
}

qint64 LiveRaceTimeAt(const LiveSnapshot& s, qint64 steadyNowMs, qint64 wallNowMs) {
    switch (s.state) {
        case LiveSnapshot::State::Ready:
            return 0;
        case LiveSnapshot::State::Stopped:
            return s.raceTimeMs;
        case LiveSnapshot::State::Running:
            break;
    }
    const qint64 since = s.takenSteadyMs > 0 ? steadyNowMs - s.takenSteadyMs : wallNowMs - s.takenWallMs;
    return s.raceTimeMs + std::max<qint64>(0, since);
}

qint64 LiveSteadyNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
