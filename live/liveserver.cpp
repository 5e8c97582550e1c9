#include "live/liveserver.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractHttpServer>
#include <QDateTime>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <future>
#include <unordered_map>

#include "live/livejson.h"
#include "live/livepage.h"

namespace {

qint64 WallNowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// Turned away at the client limit: a fixed answer, written before the connection is closed, so
// that a browser says why instead of waiting.
constexpr char kBusyAnswer[] =
    "HTTP/1.1 503 Service Unavailable\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 44\r\n"
    "Retry-After: 10\r\n"
    "Connection: close\r\n"
    "\r\n"
    "Too many viewers at once; try again shortly.";
static_assert(sizeof "Too many viewers at once; try again shortly." - 1 == 44);

// Bytes the kernel holds for a connection that its client has not acknowledged yet: what a
// client that stopped reading leaves there, beyond what Qt still holds.
qint64 KernelQueued(const QTcpSocket* socket) {
    int queued = 0;
    if (!socket || ::ioctl(int(socket->socketDescriptor()), SIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

// A page is sent no update while the kernel holds more than this for it: a page that stopped
// reading keeps at most one update in the kernel and one in Qt's buffer.
constexpr qint64 kMaxKernelQueued = 256 * 1024;

QString ListenProblem(const QTcpServer& server, quint16 port) {
    const QString head = QStringLiteral("The live results page cannot start: ");
    const QString tail =
        QStringLiteral("\rTiming goes on without the page; choose another port in the configuration.");
    switch (server.serverError()) {
        case QAbstractSocket::AddressInUseError:
            return head + QStringLiteral("port ") + QString::number(port) +
                   QStringLiteral(" is already used by another program.") + tail;
        case QAbstractSocket::SocketAccessError:
            return head + QStringLiteral("port ") + QString::number(port) +
                   QStringLiteral(" may not be used by this account (ports below 1024 need "
                                  "privileges).") +
                   tail;
        default:
            return head + QStringLiteral("port ") + QString::number(port) + QStringLiteral(": ") +
                   server.errorString() + QLatin1Char('.') + tail;
    }
}

}  // namespace

class LiveWorker;

// Hands every accepted connection to the worker first, which counts it, bounds what it may send
// and times it, before the HTTP server sees it.
class LiveTcpServer : public QTcpServer {
public:
    LiveTcpServer(LiveWorker& worker) : worker_(worker) {}
    void Hand(QTcpSocket* socket) { addPendingConnection(socket); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    LiveWorker& worker_;
};

// Qt's HTTP server with the requests answered by the worker.
class LiveHttpServer : public QAbstractHttpServer {
public:
    explicit LiveHttpServer(LiveWorker& worker, QObject* parent)
        : QAbstractHttpServer(parent), worker_(worker) {}
    using QAbstractHttpServer::makeResponder;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    LiveWorker& worker_;
};

// Everything on the server's thread: the listening sockets, the connections and their limits,
// the pages and the newest snapshot.
class LiveWorker : public QObject {
public:
    LiveWorker(LiveServer& owner, const LiveServer::Limits& limits)
        : owner_(owner), limits_(limits), stats_(owner.stats_) {}

    QString Listen(quint16 port, bool localOnly, quint16& bound);
    void Shutdown();
    void TakePublished();
    void Accept(LiveTcpServer& server, qintptr descriptor);
    bool Answer(const QHttpServerRequest& request, QTcpSocket* socket);
    void NotFound(const QHttpServerRequest& request, QTcpSocket* socket);

private:
    struct Connection {
        // Tracks the socket's end without a signal: the HTTP server cuts the signals of a
        // connection it hands on as a WebSocket, and the WebSocket server deletes one whose
        // handshake fails.
        QPointer<QTcpSocket> socket;
        qint64 sinceMs = 0;   // accepted, or last written to
        qint64 received = 0;  // bytes received since
        bool page = false;    // upgraded to a WebSocket: timed as a page
        bool dropping = false;
    };
    struct Page {
        std::unique_ptr<QWebSocket> socket;
        QPointer<QTcpSocket> tcp;  // the connection under it
        qint64 heardMs = 0;       // last sign of life
        qint64 waitingSinceMs = -1;  // since when its client has had updates not yet taken
        bool owed = false;        // a newer update than the one it is taking
    };

    void ReadyRead(QTcpSocket* socket);
    void ForgetClosed();
    void Drop(QTcpSocket* socket);
    void NewPages();
    void SendUpdate(Page& page);
    static qint64 Untaken(const Page& page) {
        return page.socket->bytesToWrite() + KernelQueued(page.tcp.data());
    }
    void Sweep();
    QByteArray Stamped() const;
    void CountConnections();

    LiveServer& owner_;
    LiveServer::Limits limits_;
    std::shared_ptr<LiveServer::AtomicStats> stats_;
    LiveHttpServer* http_ = nullptr;
    QTimer* sweep_ = nullptr;
    qint64 lastUpdateMs_ = -1;  // when the pages last got a new list
    bool updateDue_ = false;    // a newer one waits for the interval to pass
    std::unordered_map<QTcpSocket*, Connection> connections_;
    std::unordered_map<QWebSocket*, Page> pages_;
    std::shared_ptr<const LiveSnapshot> snapshot_;
    QByteArray json_;  // the snapshot's JSON body
    qint64 lastPingMs_ = 0;
};

void LiveTcpServer::incomingConnection(qintptr descriptor) {
    worker_.Accept(*this, descriptor);
}

bool LiveHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    return worker_.Answer(request, socket);
}

void LiveHttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    worker_.NotFound(request, socket);
}

QString LiveWorker::Listen(quint16 port, bool localOnly, quint16& bound) {
    http_ = new LiveHttpServer(*this, this);
    connect(http_, &QAbstractHttpServer::newWebSocketConnection, this, [this] { NewPages(); });
    const QHostAddress first = localOnly ? QHostAddress(QHostAddress::LocalHost)
                                         : QHostAddress(QHostAddress::Any);
    auto* server = new LiveTcpServer(*this);
    // Leave the accept queue to the kernel's own bound; the limit on clients is ours.
    if (!server->listen(first, port)) {
        const QString problem = ListenProblem(*server, port);
        delete server;
        return problem;
    }
    bound = server->serverPort();
    http_->bind(server);
    if (localOnly) {
        // The same port on the IPv6 loopback, where the machine has it ("localhost" may name
        // either); without IPv6 the IPv4 one serves alone.
        auto* v6 = new LiveTcpServer(*this);
        if (v6->listen(QHostAddress(QHostAddress::LocalHostIPv6), bound))
            http_->bind(v6);
        else
            delete v6;
    }
    sweep_ = new QTimer(this);
    sweep_->setInterval(250);
    connect(sweep_, &QTimer::timeout, this, [this] { Sweep(); });
    sweep_->start();
    lastPingMs_ = LiveSteadyNowMs();
    return {};
}

void LiveWorker::Shutdown() {
    // A page's socket says it disconnected as it is deleted: not to this map being emptied.
    for (auto& [ws, page] : pages_)
        ws->disconnect(this);
    pages_.clear();
    delete http_;  // its listening sockets and their connections with it
    http_ = nullptr;
    connections_.clear();
    delete sweep_;
    sweep_ = nullptr;
    CountConnections();
}

void LiveWorker::ForgetClosed() {
    std::erase_if(connections_, [](const auto& entry) { return entry.second.socket.isNull(); });
}

void LiveWorker::CountConnections() {
    ForgetClosed();
    stats_->connections = int(connections_.size());
    stats_->pages = int(pages_.size());
}

void LiveWorker::Accept(LiveTcpServer& server, qintptr descriptor) {
    auto* socket = new QTcpSocket(&server);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(int(descriptor));
        delete socket;
        return;
    }
    ForgetClosed();
    if (int(connections_.size()) >= limits_.maxClients) {
        ++stats_->refused;
        // The answer, then the end of what this side sends; the request is read and thrown
        // away meanwhile, since closing on unread data would reset the connection and lose the
        // answer before the client read it.
        connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
            if (socket->bytesToWrite() == 0) ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->write(kBusyAnswer, sizeof kBusyAnswer - 1);
        // A client that does not close is not waited for long.
        QTimer::singleShot(5000, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        return;
    }
    // The socket buffers one request and a little more: a longer one is refused below instead of
    // being kept whole, as Qt's parser would keep it.
    socket->setReadBufferSize(limits_.maxRequestBytes + 1);
    connections_.emplace(socket, Connection{socket, LiveSteadyNowMs(), 0, false, false});
    // Before the HTTP server's own slot: the count is taken before its parser reads.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ReadyRead(socket); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        auto it = connections_.find(socket);
        if (it == connections_.end()) return;
        it->second.sinceMs = LiveSteadyNowMs();
        it->second.received = 0;
    });
    connect(socket, &QObject::destroyed, this, [this, socket] {
        connections_.erase(socket);
        CountConnections();
    });
    CountConnections();
    server.Hand(socket);
}

void LiveWorker::ReadyRead(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    it->second.received += socket->bytesAvailable();
    // A request that does not end, or requests sent faster than their answers are taken.
    if (it->second.received > limits_.maxRequestBytes ||
        socket->bytesToWrite() > limits_.maxUnsentBytes)
        Drop(socket);
}

void LiveWorker::Drop(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end() || it->second.dropping || !it->second.socket) return;
    it->second.dropping = true;
    ++stats_->dropped;
    // Closed without waiting for unsent data, once the signal that found the fault is over (the
    // HTTP server may be about to read it); the HTTP server (or the page's WebSocket) then
    // deletes the socket.
    QMetaObject::invokeMethod(socket, [socket] { socket->abort(); }, Qt::QueuedConnection);
}

namespace {

void Respond(const QHttpServerRequest& request, QTcpSocket* socket, const QByteArray& type,
             const QByteArray& body, QHttpServerResponder::StatusCode status, bool page) {
    QHttpServerResponder responder = LiveHttpServer::makeResponder(request, socket);
    if (page)
        responder.write(body,
                        {{"Content-Type", type},
                         {"Cache-Control", "no-cache"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"Referrer-Policy", "no-referrer"},
                         {"Content-Security-Policy",
                          "default-src 'none'; script-src 'self'; style-src 'self'; img-src "
                          "'self' data:; connect-src 'self' ws: wss:; base-uri 'none'; "
                          "form-action 'none'; frame-ancestors 'none'"}},
                        status);
    else
        responder.write(body,
                        {{"Content-Type", type},
                         {"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"Access-Control-Allow-Origin", "*"}},
                        status);
}

}  // namespace

bool LiveWorker::Answer(const QHttpServerRequest& request, QTcpSocket* socket) {
    // Read-only: nothing but GET is answered, and no name reaches the file system.
    if (request.method() != QHttpServerRequest::Method::Get) return false;
    const QString path = request.url().path();
    // A page asking for its updates: taken as handled without an answer, so that the HTTP
    // server hands the connection on as a WebSocket (any other path is refused with a 404).
    if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
        return path == QLatin1String("/live");
    if (const LivePageAsset* asset = FindLivePageAsset(path)) {
        Respond(request, socket, asset->contentType, asset->body,
                QHttpServerResponder::StatusCode::Ok, true);
        return true;
    }
    if (path == QLatin1String("/results.json")) {
        Respond(request, socket, "application/json", Stamped(),
                QHttpServerResponder::StatusCode::Ok, false);
        return true;
    }
    if (path == QLatin1String("/results.csv")) {
        Respond(request, socket, "text/csv; charset=utf-8",
                snapshot_ ? snapshot_->csv : QByteArray(), QHttpServerResponder::StatusCode::Ok,
                false);
        return true;
    }
    return false;
}

void LiveWorker::NotFound(const QHttpServerRequest& request, QTcpSocket* socket) {
    Respond(request, socket, "text/plain; charset=utf-8", "Not found\n",
            QHttpServerResponder::StatusCode::NotFound, false);
}

QByteArray LiveWorker::Stamped() const {
    static const LiveSnapshot empty;
    const LiveSnapshot& s = snapshot_ ? *snapshot_ : empty;
    const QByteArray& body = snapshot_ ? json_ : LiveSnapshotJson(empty);
    return LiveStampedJson(body, WallNowMs(), LiveRaceTimeAt(s, LiveSteadyNowMs(), WallNowMs()));
}

void LiveWorker::NewPages() {
    while (http_ && http_->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> ws = http_->nextPendingWebSocketConnection();
        if (!ws) break;
        // The updates go out to the page only; a path other than the page's is not served.
        if (ws->requestUrl().path() != QLatin1String("/live")) {
            ws->abort();
            continue;
        }
        QWebSocket* raw = ws.get();
        Page page;
        // The TCP connection under it, found by its two ends: from now on it is timed as a page.
        ForgetClosed();
        for (auto& [key, c] : connections_) {
            const QTcpSocket* tcp = c.socket.data();
            if (tcp->peerPort() == raw->peerPort() && tcp->peerAddress() == raw->peerAddress() &&
                tcp->localPort() == raw->localPort()) {
                c.page = true;
                page.tcp = c.socket;
                break;
            }
        }
        raw->setMaxAllowedIncomingFrameSize(4096);
        raw->setMaxAllowedIncomingMessageSize(4096);
        page.heardMs = LiveSteadyNowMs();
        page.socket = std::move(ws);
        auto heard = [this, raw] {
            auto it = pages_.find(raw);
            if (it != pages_.end()) it->second.heardMs = LiveSteadyNowMs();
        };
        connect(raw, &QWebSocket::pong, this, heard);
        connect(raw, &QWebSocket::textMessageReceived, this, heard);
        connect(raw, &QWebSocket::binaryMessageReceived, this, heard);
        connect(raw, &QWebSocket::bytesWritten, this, [this, raw] {
            auto it = pages_.find(raw);
            if (it == pages_.end() || raw->bytesToWrite() > 0) return;
            if (it->second.owed) SendUpdate(it->second);
        });
        connect(raw, &QWebSocket::disconnected, this, [this, raw] {
            // Deleted once its own signal is over.
            auto it = pages_.find(raw);
            if (it == pages_.end()) return;
            it->second.socket.release()->deleteLater();
            pages_.erase(it);
            CountConnections();
        });
        auto [it, inserted] = pages_.emplace(raw, std::move(page));
        (void)inserted;
        CountConnections();
        // A page that connects, or connects again, gets the whole list at once.
        SendUpdate(it->second);
    }
}

void LiveWorker::SendUpdate(Page& page) {
    if (page.socket->bytesToWrite() > 0 || KernelQueued(page.tcp.data()) > kMaxKernelQueued) {
        // Still taking the last one: it gets the newest when done, never a queue of them.
        if (!page.owed) ++stats_->updatesSkipped;
        page.owed = true;
        return;
    }
    page.owed = false;
    if (page.waitingSinceMs < 0) page.waitingSinceMs = LiveSteadyNowMs();
    page.socket->sendTextMessage(QString::fromUtf8(Stamped()));
    ++stats_->updatesSent;
}

void LiveWorker::TakePublished() {
    // Too soon after the last update: the newest list goes out once the interval is over.
    const qint64 now = LiveSteadyNowMs();
    if (lastUpdateMs_ >= 0 && now - lastUpdateMs_ < limits_.minUpdateIntervalMs) {
        if (!updateDue_) {
            updateDue_ = true;
            QTimer::singleShot(int(lastUpdateMs_ + limits_.minUpdateIntervalMs - now), this, [this] {
                updateDue_ = false;
                TakePublished();
            });
        }
        return;
    }
    std::shared_ptr<const LiveSnapshot> s = owner_.TakePublished();
    if (!s) return;
    lastUpdateMs_ = now;
    snapshot_ = std::move(s);
    json_ = LiveSnapshotJson(*snapshot_);
    for (auto& [ws, page] : pages_)
        SendUpdate(page);
}

void LiveWorker::Sweep() {
    CountConnections();
    const qint64 now = LiveSteadyNowMs();
    std::vector<QTcpSocket*> late;
    for (auto& [socket, c] : connections_)
        if (!c.page && now - c.sinceMs > limits_.requestTimeoutMs) late.push_back(socket);
    const bool ping = now - lastPingMs_ >= limits_.pingIntervalMs;
    if (ping) lastPingMs_ = now;
    std::vector<QWebSocket*> gone;
    for (auto& [ws, page] : pages_) {
        // Everything sent has been taken: the page is keeping up.
        if (Untaken(page) == 0) page.waitingSinceMs = -1;
        const bool silent = now - page.heardMs > limits_.silentTimeoutMs;
        const bool stuck =
            page.waitingSinceMs >= 0 && now - page.waitingSinceMs > limits_.stuckTimeoutMs;
        if (silent || stuck) {
            gone.push_back(ws);
            continue;
        }
        // One held back for the kernel's queue goes out once that has drained.
        if (page.owed && ws->bytesToWrite() == 0) SendUpdate(page);
        if (ping) ws->ping();
    }
    for (QTcpSocket* socket : late)
        Drop(socket);
    for (QWebSocket* ws : gone) {
        if (!pages_.count(ws)) continue;
        ++stats_->dropped;
        ws->abort();
    }
}

// ---------------------------------------------------------------------------------------------

LiveServer::LiveServer() : stats_(std::make_shared<AtomicStats>()) {}

LiveServer::~LiveServer() {
    Stop();
}

QString LiveServer::Start(quint16 port, bool localOnly, const Limits& limits) {
    Stop();
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("live results"));
    worker_ = new LiveWorker(*this, limits);
    worker_->moveToThread(thread_);
    thread_->start();
    QString problem;
    quint16 bound = 0;
    QMetaObject::invokeMethod(
        worker_, [&] { problem = worker_->Listen(port, localOnly, bound); },
        Qt::BlockingQueuedConnection);
    if (!problem.isEmpty()) {
        Stop();
        return problem;
    }
    port_ = bound;
    localOnly_ = localOnly;
    // A restarted server serves what the window showed last.
    if (lastPublished_) Publish(lastPublished_);
    return {};
}

void LiveServer::Stop() {
    if (!thread_) return;
    QMetaObject::invokeMethod(worker_, [w = worker_] { w->Shutdown(); },
                              Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete worker_;
    delete thread_;
    worker_ = nullptr;
    thread_ = nullptr;
    port_ = 0;
    wakePending_ = false;
}

void LiveServer::Publish(std::shared_ptr<const LiveSnapshot> snapshot) {
    lastPublished_ = snapshot;
    if (!worker_) return;
    {
        std::lock_guard<std::mutex> lock(publishMutex_);
        published_ = std::move(snapshot);
    }
    if (!wakePending_.exchange(true))
        QMetaObject::invokeMethod(worker_, [w = worker_] { w->TakePublished(); },
                                  Qt::QueuedConnection);
}

std::shared_ptr<const LiveSnapshot> LiveServer::TakePublished() {
    // Cleared before the take: a snapshot published after it wakes the thread once more.
    wakePending_ = false;
    std::lock_guard<std::mutex> lock(publishMutex_);
    return std::move(published_);
}

LiveServer::Stats LiveServer::CurrentStats() const {
    Stats s;
    s.connections = stats_->connections;
    s.pages = stats_->pages;
    s.refused = stats_->refused;
    s.dropped = stats_->dropped;
    s.updatesSent = stats_->updatesSent;
    s.updatesSkipped = stats_->updatesSkipped;
    return s;
}

QStringList LiveServer::Addresses() const {
    return port_ ? LiveAddresses(port_, localOnly_) : QStringList();
}

QStringList LiveAddresses(quint16 port, bool localOnly) {
    auto url = [port](const QHostAddress& a) {
        const QString host = a.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QLatin1Char('[') + a.toString() + QLatin1Char(']')
                                 : a.toString();
        return QStringLiteral("http://") + host + QLatin1Char(':') + QString::number(port) +
               QLatin1Char('/');
    };
    if (localOnly) return {url(QHostAddress(QHostAddress::LocalHost))};
    QStringList v4, v6;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        const auto flags = i.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            const QHostAddress a = e.ip();
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                v4 << url(a);
            else if (a.protocol() == QAbstractSocket::IPv6Protocol && !a.isLinkLocal() &&
                     a.scopeId().isEmpty())
                v6 << url(a);
        }
    }
    // The machine's own address always works, for a browser on this computer.
    return v4 + v6 + QStringList{url(QHostAddress(QHostAddress::LocalHost))};
}
