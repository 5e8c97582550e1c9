#include "serial/comthread.h"

#include <QMetaObject>

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
    LineState since = baseline_;
    for (;;) {
        LineState now;
        int error = 0;
        const WaitResult result = device_.WaitForChange(eventMask_, since, now, error);
        if (result == WaitResult::Stopped) break;
        const std::uint32_t tick = GetTickCount();
        if (result == WaitResult::Failed) {
            Post({Record{0, 0, tick, error}});
            break;
        }
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
        queue_.insert(queue_.end(), records.begin(), records.end());
        post = !posted_;
        posted_ = true;
    }
    // One queued call per batch: it drains everything that arrives until the queue is empty.
    if (post)
        QMetaObject::invokeMethod(
            this, [this] { DispatchEvents(); }, Qt::QueuedConnection);
}

void TComThread::DispatchEvents() {
    if (dispatching_) return;
    dispatching_ = true;
    while (!abandoned_) {
        Record record;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                posted_ = false;
                break;
            }
            record = queue_.front();
            queue_.pop_front();
        }
        Dispatch(record);
    }
    dispatching_ = false;
    if (abandoned_) delete this;
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
