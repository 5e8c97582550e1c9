#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <atomic>
#include <memory>
#include <mutex>

#include "live/livesnapshot.h"

class QThread;
class LiveWorker;

// The live results server: the page, its assets, /results.json and /results.csv over HTTP, and
// the updates pushed to every page over a WebSocket at /live. All socket work runs on a thread of
// its own; the window only hands it snapshots.
class LiveServer {
public:
    struct Limits {
        int maxClients = 500;               // connections at once, pages and requests together
        qint64 maxRequestBytes = 16 * 1024; // what a client may send before it is answered
        int requestTimeoutMs = 10000;       // a request must be complete this long after the
                                            // connection, or after the last answer on it
        qint64 maxUnsentBytes = 1024 * 1024; // answers a client has not taken yet
        int pingIntervalMs = 15000;         // pages are asked for a sign of life this often
        int silentTimeoutMs = 45000;        // a page that answers nothing this long is dropped
        int stuckTimeoutMs = 30000;         // a page that takes no update this long is dropped
        // Pages get the list at most this often: a burst of finishes costs the server a few
        // updates a second, however many pages are open, and each still comes within a second.
        int minUpdateIntervalMs = 200;
    };
    struct Stats {
        int connections = 0;       // TCP connections open, pages included
        int pages = 0;             // WebSocket connections
        qint64 refused = 0;        // connections turned away at the client limit
        qint64 dropped = 0;        // connections ended for a broken limit or time-out
        qint64 updatesSent = 0;    // messages sent to pages
        qint64 updatesSkipped = 0; // updates a page missed while it still had one to take
    };

    LiveServer();
    ~LiveServer();
    LiveServer(const LiveServer&) = delete;
    LiveServer& operator=(const LiveServer&) = delete;

    // Starts listening on port (0: any free port) on the loopback addresses only, or on every
    // address. Returns an empty string on success, else the message to show. Waits for the
    // server's thread to have bound its sockets (a moment), never for a client.
    QString Start(quint16 port, bool localOnly, const Limits& limits);
    QString Start(quint16 port, bool localOnly) { return Start(port, localOnly, Limits{}); }
    // Closes every connection and ends the thread. Start may follow again.
    void Stop();
    bool IsRunning() const { return port_ != 0; }
    quint16 Port() const { return port_; }
    bool LocalOnly() const { return localOnly_; }
    // The addresses to open the page at: http://HOST:PORT/ for each address it can be reached
    // at (the loopback address only, when local).
    QStringList Addresses() const;

    // Takes the newest state of the list. Never waits: the snapshot is stored for the server's
    // thread, which is woken when it is not already about to look; snapshots published faster
    // than it sends are coalesced into the newest.
    void Publish(std::shared_ptr<const LiveSnapshot> snapshot);

    Stats CurrentStats() const;

private:
    friend class LiveWorker;
    std::shared_ptr<const LiveSnapshot> TakePublished();

    QThread* thread_ = nullptr;
    LiveWorker* worker_ = nullptr;  // lives on thread_
    quint16 port_ = 0;
    bool localOnly_ = true;
    std::mutex publishMutex_;  // held for the swap of one pointer
    std::shared_ptr<const LiveSnapshot> published_;
    std::shared_ptr<const LiveSnapshot> lastPublished_;  // for a restart (window thread only)
    std::atomic<bool> wakePending_{false};
    struct AtomicStats {
        std::atomic<int> connections{0}, pages{0};
        std::atomic<qint64> refused{0}, dropped{0}, updatesSent{0}, updatesSkipped{0};
    };
    std::shared_ptr<AtomicStats> stats_;
};

// The URLs for a port: every address of the machine's interfaces that are up (IPv4, and IPv6
// other than link-local), or the loopback address alone when local.
QStringList LiveAddresses(quint16 port, bool localOnly);
