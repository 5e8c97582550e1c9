#include "serial/comthread.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

#include "platform/guard.h"
#include "platform/tickcounter.h"
#include "serial/comport.h"

TComThread::TComThread(TComPort& port)
    : port_(port),
      device_(port.Device()),
      eventMask_(EventMaskOf(port.Events())),
      baseline_(device_.ReadLineState(eventMask_)) {
    worker_ = std::thread([this] { Execute(); });
}

TComThread::~TComThread() {
    Terminate();
}

void TComThread::Terminate() {
    if (!worker_.joinable()) return;
    stopping_ = true;
    device_.CancelWait();
    worker_.join();
}

void TComThread::Abandon() {
    abandoned_ = true;
}

// A first look that failed (an EIO from a USB control transfer) is tried again: a watch
// without a baseline could never tell a change. One that keeps failing ends the watch, which
// closes the port with the usual message.
bool TComThread::TakeBaseline(LineEdges& edges) {
    LineState look = baseline_;
    for (int attempt = 0; look.error && attempt < 5 && !stopping_; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1 << attempt));
        look = device_.ReadLineState(eventMask_);
    }
    if (stopping_) return false;
    if (look.error) {
        Post({Record{0, 0, GetTickCount(), look.error}}, look);
        return false;
    }
    edges.Baseline(look);
    Post({}, look);
    return true;
}

void TComThread::Execute() {
    RaiseWorkerPriority();
    LineEdges edges(eventMask_);
    if (TakeBaseline(edges)) {
        for (;;) {
            LineState now;
            int error = 0;
            const WaitResult result =
                device_.WaitForChange(eventMask_, edges.Last(), now, error, edges.Deadline());
            if (result == WaitResult::Stopped) break;
            if (result == WaitResult::Failed) {
                Post({Record{0, 0, GetTickCount(), error}}, edges.Last());
                break;
            }
            std::deque<Record> records;
            for (const LineEdge& e : edges.Next(now))
                records.push_back(Record{e.mask, e.modemStatus, e.tick, 0});
            Post(std::move(records), now);
        }
    }
    {
        std::lock_guard lock(mutex_);
        watching_ = false;
    }
    looked_.notify_all();
    device_.Purge(PURGE_RXABORT | PURGE_RXCLEAR);
}

void TComThread::Post(std::deque<Record> records, const LineState& look) {
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        for (const Record& r : records)
            Append(r);
        if (!look.error) seen_ = look;
        post = !records.empty() && !posted_;
        if (post) posted_ = true;
    }
    looked_.notify_all();
    // One queued call per batch: it drains what is queued, and queues itself again while more
    // keeps coming.
    if (post)
        QMetaObject::invokeMethod(
            this, [this] { Drain(std::nullopt, true); }, Qt::QueuedConnection);
}

// A bouncing contact can change a line thousands of times a second, faster than a busy main
// thread takes the records. Within one millisecond (the resolution of every tick) only the
// first record of each kind of change and the last record can make a difference to a callback
// that judges by tick and level: the first is the earliest moment of that change, the last
// leaves the final level. The ones in between are merged away, which bounds the queue by the
// time the main thread is busy rather than by the number of edges.
void TComThread::Append(const Record& record) {
    auto sameKind = [](const Record& a, const Record& b) {
        return a.mask == b.mask && a.modemStatus == b.modemStatus;
    };
    if (record.mask != 0 && !queue_.empty()) {
        // The records of this millisecond at the tail: [first of each kind..., last].
        auto groupBegin = queue_.end();
        while (groupBegin != queue_.begin() && std::prev(groupBegin)->tick == record.tick &&
               std::prev(groupBegin)->mask != 0)
            --groupBegin;
        if (groupBegin != queue_.end()) {
            const auto last = std::prev(queue_.end());
            // The current last record is only the last of its kind: the new one replaces it.
            if (std::find_if(groupBegin, last,
                             [&](const Record& r) { return sameKind(r, *last); }) != last)
                queue_.pop_back();
        }
    }
    queue_.push_back(record);
}

void TComThread::DispatchEvents() {
    Drain(std::nullopt, false);
}

void TComThread::DispatchEventsSeenBy(std::uint32_t tick) {
    if (dispatching_) return;
    CatchUp(tick);
    Drain(tick, false);
}

// The main thread looks at the line itself: when the worker's last published look has every
// edge this one shows, each edge up to now is queued, and one that comes later gets a later
// stamp. Otherwise the worker is busy with it, and gets a few milliseconds (of the tick
// counter, so that a frozen test clock cannot shorten them; the second bound only keeps such a
// clock from freezing the window).
void TComThread::CatchUp(std::uint32_t tick) {
    constexpr std::int32_t kBoundMs = 5;
    const LineState mine = device_.ReadLineState(eventMask_);
    if (mine.error) return;
    const auto wallEnd = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    std::unique_lock lock(mutex_);
    while (watching_ && !(seen_ && LineCaughtUp(*seen_, mine, eventMask_))) {
        if (TickDiff(GetTickCount(), tick) > kBoundMs || std::chrono::steady_clock::now() > wallEnd)
            return;
        looked_.wait_for(lock, std::chrono::microseconds(500));
    }
}

void TComThread::Drain(std::optional<std::uint32_t> seenBy, bool yield) {
    std::size_t budget = 0;
    {
        std::lock_guard lock(mutex_);
        if (yield) {
            posted_ = false;  // this is the queued call
            // It takes only what was there when it started and then lets the window's other
            // events run, so that a flood of records can never hold the event loop.
            budget = queue_.size();
        }
    }
    if (dispatching_) return;  // the outer dispatch sees to the queue
    dispatching_ = true;
    while (!abandoned_) {
        Record record;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) break;
            if (yield && budget-- == 0) break;
            if (seenBy && TickDiff(queue_.front().tick, *seenBy) > 0) break;
            record = queue_.front();
            queue_.pop_front();
        }
        Dispatch(record);
    }
    dispatching_ = false;
    if (abandoned_) {
        delete this;
        return;
    }
    // Whatever is left gets a queued call of its own.
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        post = !queue_.empty() && !posted_;
        if (post) posted_ = true;
    }
    if (post)
        QMetaObject::invokeMethod(
            this, [this] { Drain(std::nullopt, true); }, Qt::QueuedConnection);
}

void TComThread::Dispatch(const Record& record) {
    if (record.mask == 0) {
        port_.WatchFailed(record.error);
        return;
    }
    struct Raiser {
        std::uint32_t bit;
        void (*raise)(TComPort&, const TLineEvent&);
    };
    static constexpr Raiser kOrder[] = {
        {EV_RXCHAR, [](TComPort& p, const TLineEvent&) { p.DoRxChar(); }},
        {EV_TXEMPTY, [](TComPort& p, const TLineEvent&) { p.DoTxEmpty(); }},
        {EV_BREAK, [](TComPort& p, const TLineEvent&) { p.DoBreak(); }},
        {EV_RING, [](TComPort& p, const TLineEvent& e) { p.DoRing(e); }},
        {EV_CTS, [](TComPort& p, const TLineEvent& e) { p.DoCTS(e); }},
        {EV_DSR, [](TComPort& p, const TLineEvent& e) { p.DoDSR(e); }},
        {EV_RXFLAG, [](TComPort& p, const TLineEvent&) { p.DoRxFlag(); }},
        {EV_RLSD, [](TComPort& p, const TLineEvent& e) { p.DoRLSD(e); }},
        {EV_ERR, [](TComPort& p, const TLineEvent&) { p.DoError(); }},
    };
    const TLineEvent event{record.modemStatus, record.tick};
    for (const Raiser& r : kOrder) {
        if (!(record.mask & r.bit)) continue;
        // A failing callback is reported and the watch goes on.
        Guarded([&] { r.raise(port_, event); });
        if (abandoned_) return;  // the port was closed (or destroyed) by that callback
    }
}
