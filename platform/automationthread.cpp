#include "platform/automationthread.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>

AutomationThread::AutomationThread(std::unique_ptr<AutomationFactory> factory)
    : factory_(std::move(factory)), raw_(factory_.get()), home_(std::make_unique<QObject>()) {
    worker_ = std::thread([this] { Run(); });
}

AutomationThread::~AutomationThread() {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
        queue_.clear();
        // Under the lock: the worker lets go of the server only after taking it.
        if (raw_) raw_->Interrupt();
    }
    wake_.notify_all();
    worker_.join();
}

void AutomationThread::Post(std::function<void(AutomationFactory&)> job,
                            std::function<void()> done) {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        queue_.push_back({std::move(job), std::move(done)});
        ++pending_;
    }
    wake_.notify_all();
}

int AutomationThread::Pending() const {
    const std::lock_guard<std::mutex> hold(mutex_);
    return pending_;
}

void AutomationThread::WaitIdle() {
    while (Pending() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents();
        if (Pending() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void AutomationThread::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> hold(mutex_);
            wake_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) break;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            job.work(*factory_);
        } catch (...) {
            // A job reports its own failures; nothing may end the worker.
        }
        QMetaObject::invokeMethod(
            home_.get(),
            [this, done = std::move(job.done)] {
                {
                    const std::lock_guard<std::mutex> hold(mutex_);
                    --pending_;
                }
                if (done) done();
            },
            Qt::QueuedConnection);
    }
    // The server's processes and pipes belong to this thread: they are taken down here.
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        raw_ = nullptr;
    }
    factory_.reset();
}
