#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/serialdevice.h"

class TComPort;

// The worker that watches one open port. It never waits for the main thread: every edge it
// sees becomes a record (events, modem status, tick) in a queue, and a queued call drains the
// queue on the main thread, where the port's callbacks run in a fixed order. A pulse that comes
// and goes while the main thread is busy thus still arrives as its two edges, each with its own
// tick. With the records it publishes the look they came from, so that the main thread can
// tell whether the worker has seen everything up to a moment.
class TComThread : public QObject {
public:
    // Reads the port's Events into the device event mask, observes the line and starts watching.
    explicit TComThread(TComPort& port);
    // Stops and waits for the worker (Terminate); events not yet dispatched are dropped.
    ~TComThread() override;
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    std::uint32_t EventMask() const { return eventMask_; }

    // Main thread: runs the callbacks of every queued record, oldest first. A call made while a
    // dispatch is already running (from a callback's own event loop) returns at once; the outer
    // dispatch goes on with the queue afterwards.
    void DispatchEvents();
    // Main thread: the same for the records stamped at or before `tick` only, so that a
    // command taken at that tick can first let the line's earlier events have their turn. It
    // first waits, bounded, until the worker has seen what the line showed at that moment.
    void DispatchEventsSeenBy(std::uint32_t tick);
    bool Dispatching() const { return dispatching_; }

    // Main thread: asks the worker to stop and waits until it has ended. Records queued before
    // the stop stay queued for a last DispatchEvents.
    void Terminate();

    // Called by the port when it is closed from inside one of this thread's callbacks: the
    // dispatch stops after that callback, drops what is left and deletes this object.
    void Abandon();

private:
    struct Record {
        std::uint32_t mask = 0;  // EV_ bits; 0 for a failure
        std::uint32_t modemStatus = 0;
        std::uint32_t tick = 0;
        int error = 0;  // the errno of a failed wait
    };
    void Execute();
    bool TakeBaseline(LineEdges& edges);
    void CatchUp(std::uint32_t tick);
    void Post(std::deque<Record> records, const LineState& look);
    void Append(const Record& record);
    void Drain(std::optional<std::uint32_t> seenBy, bool yield);
    void Dispatch(const Record& record);

    TComPort& port_;
    SerialDevice& device_;
    const std::uint32_t eventMask_;
    LineState baseline_;
    std::atomic<bool> stopping_{false};

    std::mutex mutex_;
    std::condition_variable looked_;
    std::deque<Record> queue_;
    bool posted_ = false;
    // The worker's last look whose edges are all queued; none until it has one, or once it
    // has ended.
    std::optional<LineState> seen_;
    bool watching_ = true;

    // Main thread only.
    bool dispatching_ = false;
    bool abandoned_ = false;

    std::thread worker_;
};
