#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/automation.h"

// Drives an automation server on a worker thread of its own, so that an office that is slow or
// hung never stops the window: the window's thread posts a job and goes on; the job's `done`
// runs back on that thread (from its event loop) once the job has finished. Jobs run one after
// the other in the order posted. The server is created, used and destroyed on the worker only.
class AutomationThread {
public:
    explicit AutomationThread(std::unique_ptr<AutomationFactory> factory);
    // Drops the jobs not yet begun, interrupts the one in progress and waits for the worker.
    ~AutomationThread();
    AutomationThread(const AutomationThread&) = delete;
    AutomationThread& operator=(const AutomationThread&) = delete;

    // `job` runs on the worker; what it throws is caught there and lost, so it catches itself.
    // `done` runs afterwards on the thread that created this object, unless it is gone by then.
    void Post(std::function<void(AutomationFactory&)> job, std::function<void()> done);

    // Jobs posted whose `done` has not run yet.
    int Pending() const;
    // Runs the event loop until every job posted is done (tests and tools).
    void WaitIdle();

private:
    struct Job {
        std::function<void(AutomationFactory&)> work;
        std::function<void()> done;
    };
    void Run();

    std::unique_ptr<AutomationFactory> factory_;
    AutomationFactory* raw_;         // for Interrupt, which may be called while the worker uses it
    std::unique_ptr<QObject> home_;  // lives on the creating thread; `done` is delivered there
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    bool stopping_ = false;
    int pending_ = 0;
    std::thread worker_;
};
