#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

// Threads that keep the machine busy beside a test or a benchmark while they live: perCore of
// them for each core (none for 0), so that what is measured has to share the processors.
class BusyThreads {
public:
    explicit BusyThreads(unsigned perCore) {
        const unsigned n = perCore * std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i)
            threads_.emplace_back([this] {
                volatile std::uint64_t x = 0;
                while (!stop_)
                    x = x + 1;
            });
    }
    ~BusyThreads() {
        stop_ = true;
        for (auto& t : threads_)
            t.join();
    }
    BusyThreads(const BusyThreads&) = delete;
    BusyThreads& operator=(const BusyThreads&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};
