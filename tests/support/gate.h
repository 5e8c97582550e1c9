#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Holds a worker thread in one chosen step until the test lets it go (or ten seconds pass), so a
// test can look at the window, or the caller, while the worker is known to be busy.
class Gate {
public:
    // Called on the worker: marks the step reached and waits to be let go.
    void Wait() {
        std::unique_lock<std::mutex> hold(mutex_);
        reached_ = true;
        cv_.notify_all();
        cv_.wait_for(hold, std::chrono::seconds(10), [&] { return open_; });
        left_ = true;
    }
    void Open() {
        const std::lock_guard<std::mutex> hold(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    bool Reached() {
        const std::lock_guard<std::mutex> hold(mutex_);
        return reached_;
    }
    bool Left() {
        const std::lock_guard<std::mutex> hold(mutex_);
        return left_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false, reached_ = false, left_ = false;
};
