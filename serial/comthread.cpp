#include "serial/comthread.h"

#include <QMetaObject>
#include <algorithm>
#include <iterator>

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
    device_.CancelWait();
    worker_.join();
}

void TComThread::Abandon() {
    abandoned_ = true;
}

void TComThread::Execute() {
    RaiseWorkerPriority();
    LineState since = baseline_;
    for (;;) {
        LineState now;
        int error = 0;
        const WaitResult result = device_.WaitForChange(eventMask_, since, now, error);
        if (result == WaitResult::Stopped) break;
        if (result == WaitResult::Failed) {
            Post({Record{0, 0, GetTickCount(), error}});
            break;
        }
        // The device stamps the change the moment it saw it.
        const std::uint32_t tick = now.tick;
        std::deque<Record> records;
        for (const CommEvent& e : CommEventsBetween(since, now, eventMask_))
            records.push_back(Record{e.mask, e.modemStatus, tick, 0});
        since = now;
        Post(std::move(records));
    }
    device_.Purge(PURGE_RXABORT | PURGE_RXCLEAR);
}

void TComThread::Post(std::deque<Record> records) {
    if (records.empty()) return;
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        for (const Record& r : records)
            Append(r);
        post = !posted_;
        posted_ = true;
    }
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
    Drain(tick, false);
}

bool TComThread::HasRecordsSeenBy(std::uint32_t tick) {
    std::lock_guard lock(mutex_);
    return !queue_.empty() && TickDiff(queue_.front().tick, tick) <= 0;
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
        void (TComPort::*raise)();
    };
    static constexpr Raiser kOrder[] = {
        {EV_RXCHAR, &TComPort::DoRxChar}, {EV_TXEMPTY, &TComPort::DoTxEmpty},
        {EV_BREAK, &TComPort::DoBreak},   {EV_RING, &TComPort::DoRing},
        {EV_CTS, &TComPort::DoCTS},       {EV_DSR, &TComPort::DoDSR},
        {EV_RXFLAG, &TComPort::DoRxFlag}, {EV_RLSD, &TComPort::DoRLSD},
        {EV_ERR, &TComPort::DoError},
    };
    port_.BeginEvent(record.modemStatus, record.tick);
    for (const Raiser& r : kOrder) {
        if (!(record.mask & r.bit)) continue;
        // A failing callback is reported and the watch goes on.
        Guarded([port = &port_, raise = r.raise] { (port->*raise)(); });
        if (abandoned_) return;  // the port was closed (or destroyed) by that callback
    }
    port_.EndEvent();
}
