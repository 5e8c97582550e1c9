// The live results page under load: the real window records 200 finishes a minute while 300
// pages are connected over WebSockets (a second process, this program run with --clients).
// Measures the time from each LAP to its update having reached every page (p50, p99, max), the
// program's CPU and memory, and the LAP handler's main-thread time with the page off, on
// without pages, and on with the pages.
//   bench_live [--pages N] [--seconds S]   (defaults 300 pages, 60 s a phase)
#include <sys/resource.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <vector>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "bench/benchsupport.h"
#include "live/liveserver.h"
#include "tests/support/scripteddialogs.h"

namespace {

qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU seconds of this process, or of one of its threads by name.
double ProcessCpu() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double StatCpu(const QString& statPath) {
    QFile f(statPath);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray s = f.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           double(sysconf(_SC_CLK_TCK));
}

double ThreadCpu(const QByteArray& name) {
    for (const QString& tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(tid));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name)
            return StatCpu(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
    }
    return 0;
}

long StatusKb(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    return 0;
}

// ---- the pages: a process of their own --------------------------------------------------------

int RunPages(quint16 port, int count) {
    QCoreApplication::instance();
    struct Page {
        QWebSocket socket;
        std::vector<qint64> firstSeenNs;  // by newest row index: when this page first had it
        bool opened = false;
    };
    std::vector<std::unique_ptr<Page>> pages;
    int ready = 0;
    for (int i = 0; i < count; ++i) {
        auto page = std::make_unique<Page>();
        Page* p = page.get();
        QObject::connect(&p->socket, &QWebSocket::textMessageReceived, [p, &ready, count](const QString& m) {
            const qint64 t = NowNs();
            if (!p->opened) {
                p->opened = true;
                if (++ready == count) std::printf("connected\n"), std::fflush(stdout);
            }
            // "newest" is near the end of the message: no need to parse the rest.
            const qsizetype at = m.lastIndexOf(QLatin1String("\"newest\":"));
            if (at < 0) return;
            const int newest = QStringView(m).mid(at + 9, 8).split(u',').value(0).toInt();
            while (int(p->firstSeenNs.size()) <= newest)
                p->firstSeenNs.push_back(t);
        });
        p->socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(port)));
        pages.push_back(std::move(page));
        if (i % 50 == 49) QCoreApplication::processEvents();
    }
    // "report" on standard input: for each row, when the last page had it.
    QSocketNotifier in(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&in, &QSocketNotifier::activated, [&] {
        char buf[64];
        if (::read(STDIN_FILENO, buf, sizeof buf) <= 0) QCoreApplication::quit();
        std::size_t rows = 0;
        int open = 0;
        for (auto& p : pages) {
            rows = std::max(rows, p->firstSeenNs.size());
            open += p->socket.state() == QAbstractSocket::ConnectedState;
        }
        std::printf("open %d\n", open);
        for (std::size_t r = 0; r < rows; ++r) {
            qint64 last = 0;
            int had = 0;
            for (auto& p : pages)
                if (r < p->firstSeenNs.size()) last = std::max(last, p->firstSeenNs[r]), ++had;
            std::printf("row %zu %lld %d\n", r, static_cast<long long>(last), had);
        }
        std::printf("end\n");
        std::fflush(stdout);
    });
    return QCoreApplication::exec();
}

// ---- the program ------------------------------------------------------------------------------

struct Phase {
    explicit Phase(const char* n) : name(n) {}
    const char* name;
    std::vector<double> handlerUs;
    std::vector<qint64> lapNs;  // when each LAP began, by row index
    double cpuSeconds = 0, serverCpuSeconds = 0, wallSeconds = 0;
    long rssKb = 0;
};

// One run at the pace of 200 finishes a minute: START, the laps, STOP, RESET.
void RunPhase(TFormMain& form, Phase& phase, int laps) {
    const double cpu0 = ProcessCpu(), server0 = ThreadCpu("live results");
    const qint64 t0 = NowNs();
    form.mStart->Click();
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    pace.setInterval(300);
    QEventLoop loop;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        form.cbStartN->setEditText(QString::number(form.Race().LapCount() + 100));
        const qint64 before = NowNs();
        form.mLAP->Click();
        phase.handlerUs.push_back(double(NowNs() - before) / 1000.0);
        phase.lapNs.push_back(before);
        if (int(phase.lapNs.size()) == laps) loop.quit();
    });
    pace.start();
    loop.exec();
    pace.stop();
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);  // the last updates go out
    loop.exec();
    phase.rssKb = StatusKb("VmRSS:");
    phase.wallSeconds = double(NowNs() - t0) / 1e9;
    phase.cpuSeconds = ProcessCpu() - cpu0;
    phase.serverCpuSeconds = ThreadCpu("live results") - server0;
    form.mStop->Click();
    form.mReset->Click();
    // The window hands the page its snapshot once its event loop comes round: before the pages
    // of the next phase connect.
    QCoreApplication::processEvents();
}

void Print(const Phase& p) {
    std::printf("%-28s LAP handler: p50 %7.1f us  p99 %7.1f us  max %7.1f us   CPU %5.1f %% of a core "
                "(server thread %4.1f %%)  RSS %6.1f MB\n",
                p.name, Percentile(p.handlerUs, 0.5), Percentile(p.handlerUs, 0.99),
                p.handlerUs.empty() ? 0.0 : *std::max_element(p.handlerUs.begin(), p.handlerUs.end()),
                100.0 * p.cpuSeconds / p.wallSeconds, 100.0 * p.serverCpuSeconds / p.wallSeconds,
                double(p.rssKb) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    int pages = 300, seconds = 60;
    quint16 pagesPort = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--pages") pages = QByteArray(argv[++i]).toInt();
        else if (a == "--seconds") seconds = QByteArray(argv[++i]).toInt();
        else if (a == "--serve-pages") pagesPort = quint16(QByteArray(argv[++i]).toUInt());
    }
    if (pagesPort != 0) {
        QCoreApplication app(argc, argv);
        return RunPages(pagesPort, pages);
    }
    const int laps = std::max(1, seconds * 200 / 60);

    BenchEnvironment env(argc, argv);
    ScopedDialogs dialogs;
    dialogs.defaultConfirm = true;
    TFormMain form;
    form.CreateCfgDialog();
    form.show();
    QApplication::processEvents();
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    std::printf("%d laps a phase at 200 finishes a minute; %d pages; port %u\n", laps, pages, unsigned(port));

    Phase off("page off"), on("page on, no pages"), loaded("page on, pages connected");
    RunPhase(form, off, laps);
    Print(off);

    form.StartLive(port);
    if (!form.Live()) {
        std::fprintf(stderr, "the live page did not start: %s\n", qPrintable(dialogs.errors.join(' ')));
        return 1;
    }
    RunPhase(form, on, laps);
    Print(on);

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {"--serve-pages", QString::number(port), "--pages", QString::number(pages)});
    QByteArray line;
    while (child.waitForReadyRead(60000)) {
        line += child.readAll();
        if (line.contains("connected\n")) break;
    }
    if (!line.contains("connected\n")) {
        std::fprintf(stderr, "the pages did not all connect (%d of %d)\n", form.Live()->CurrentStats().pages, pages);
        return 1;
    }
    std::printf("%d pages connected (the server counts %d)\n", pages, form.Live()->CurrentStats().pages);
    const double childCpu0 = StatCpu(QStringLiteral("/proc/%1/stat").arg(child.processId()));
    RunPhase(form, loaded, laps);
    const double childCpu = StatCpu(QStringLiteral("/proc/%1/stat").arg(child.processId())) - childCpu0;
    Print(loaded);

    child.write("report\n");
    QByteArray report;
    while (!report.contains("end\n") && child.waitForReadyRead(60000))
        report += child.readAll();
    std::vector<double> latencyMs;
    int open = 0, incomplete = 0;
    for (const QByteArray& l : report.split('\n')) {
        const QList<QByteArray> f = l.split(' ');
        if (f.value(0) == "open") open = f.value(1).toInt();
        if (f.value(0) != "row") continue;
        const std::size_t row = f.value(1).toULongLong();
        if (row >= loaded.lapNs.size()) continue;
        if (f.value(3).toInt() < open) ++incomplete;
        latencyMs.push_back(double(f.value(2).toLongLong() - loaded.lapNs[row]) / 1e6);
    }
    std::printf("LAP to the update at every page (%zu laps, %d pages still open, %d laps some page never had):\n"
                "  p50 %.1f ms  p99 %.1f ms  max %.1f ms\n",
                latencyMs.size(), open, incomplete, Percentile(latencyMs, 0.5), Percentile(latencyMs, 0.99),
                latencyMs.empty() ? 0.0 : *std::max_element(latencyMs.begin(), latencyMs.end()));
    const LiveServer::Stats st = form.Live()->CurrentStats();
    std::printf("server: %lld updates sent, %lld coalesced into a newer one, %lld connections dropped\n",
                static_cast<long long>(st.updatesSent), static_cast<long long>(st.updatesSkipped),
                static_cast<long long>(st.dropped));
    std::printf("the pages' process: %.1f %% of a core\n", 100.0 * childCpu / loaded.wallSeconds);
    std::printf("peak resident memory of the program: %.1f MB\n", double(StatusKb("VmHWM:")) / 1024.0);
    child.closeWriteChannel();
    child.waitForFinished(10000);
    return 0;
}
