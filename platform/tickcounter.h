#pragma once

#include <atomic>
#include <cstdint>

// The system's millisecond tick counter: CLOCK_MONOTONIC in milliseconds, truncated to 32 bits so
// that it wraps like the counter race times were defined on. A race time is the 32-bit difference
// of two readings, read as signed.
std::uint32_t GetTickCount();

// Where GetTickCount reads from. Tests install a manual source; nullptr restores the system clock.
class TickSource {
public:
    virtual ~TickSource() = default;
    virtual std::uint32_t Now() const = 0;
};
void SetTickSource(const TickSource* source);

// A clock that moves only when told. Safe to read from any thread.
class ManualTickSource : public TickSource {
public:
    explicit ManualTickSource(std::uint32_t start = 0) : now_(start) {}
    std::uint32_t Now() const override { return now_.load(std::memory_order_acquire); }
    void Set(std::uint32_t t) { now_.store(t, std::memory_order_release); }
    void Advance(std::uint32_t ms) { now_.fetch_add(ms, std::memory_order_acq_rel); }

private:
    std::atomic<std::uint32_t> now_;
};

// Installs a manual source for the lifetime of the object (tests and benchmarks).
class ScopedManualClock : public ManualTickSource {
public:
    explicit ScopedManualClock(std::uint32_t start = 0) : ManualTickSource(start) {
        SetTickSource(this);
    }
    ~ScopedManualClock() override { SetTickSource(nullptr); }
    ScopedManualClock(const ScopedManualClock&) = delete;
    ScopedManualClock& operator=(const ScopedManualClock&) = delete;
};

// The elapsed race time between two tick readings.
using TRaceTime = std::int32_t;
constexpr TRaceTime TickDiff(std::uint32_t later, std::uint32_t earlier) {
    return static_cast<TRaceTime>(later - earlier);
}
