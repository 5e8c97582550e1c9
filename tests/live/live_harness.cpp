// Serves a fixed list on the live page for the browser test: rows the window cannot make yet
// (a corrected row with its note) and texts that must show as text. Prints "port <n>" once
// listening and runs until its standard input closes.
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <cstdio>

#include "live/livejson.h"
#include "live/liveserver.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const quint16 port = argc > 1 ? quint16(QByteArray(argv[1]).toUInt()) : 0;
    LiveServer server;
    const QString problem = server.Start(port, true);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    auto s = std::make_shared<LiveSnapshot>();
    s->state = LiveSnapshot::State::Stopped;
    s->header = {"Rang", "Nr.", "Time", "Split", "Km/h"};
    s->rows.push_back({{"1.", "117", "12.05,27", "0,00", "21,0"}, false, {}});
    s->rows.push_back({{"2.", "<img src=x onerror=document.title='XSS'>", "12.07,02", "1,75", "20,9"},
                       true, "Nr. corrected from \"<b>12</b>\" to 21 at 10:32:05"});
    s->rows.push_back({{"3.", "33", "12.09,90", "4,63", "20,8"}, false, {}});
    s->newest = 2;
    s->raceTimeMs = 730'000;
    s->resolution = 2;
    s->takenWallMs = QDateTime::currentMSecsSinceEpoch();
    s->takenSteadyMs = LiveSteadyNowMs();
    server.Publish(s);
    std::printf("port %u\n", unsigned(server.Port()));
    std::fflush(stdout);
    QSocketNotifier stdinClosed(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinClosed, &QSocketNotifier::activated, [&] {
        char buf[256];
        if (::read(STDIN_FILENO, buf, sizeof buf) <= 0) QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}
