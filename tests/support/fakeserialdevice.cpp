#include "tests/support/fakeserialdevice.h"

#include <cerrno>
#include <chrono>

#include "platform/tickcounter.h"

FakeSerialDevice::FakeSerialDevice() {
    state_.statusValid = true;
    state_.countersValid = true;
}

void FakeSerialDevice::SetOpenError(int error, const QString& detail) {
    std::lock_guard lock(mutex_);
    openError_ = error;
    openDetail_ = detail;
}

void FakeSerialDevice::SetConfigureError(int error) {
    std::lock_guard lock(mutex_);
    configureError_ = error;
}

void FakeSerialDevice::SetModemStatus(std::uint32_t status) {
    std::lock_guard lock(mutex_);
    const std::uint32_t changed = state_.modemStatus ^ status;
    LineCounters& c = state_.counters;
    if (changed & MS_CTS_ON) ++c.cts;
    if (changed & MS_DSR_ON) ++c.dsr;
    if (changed & MS_RLSD_ON) ++c.dcd;
    if ((changed & MS_RING_ON) && !(status & MS_RING_ON)) ++c.rng;  // the trailing edge counts
    state_.modemStatus = status;
    Changed();
}

void FakeSerialDevice::Pulse(std::uint32_t lines, int edges) {
    std::lock_guard lock(mutex_);
    LineCounters& c = state_.counters;
    const auto n = std::uint32_t(edges);
    if (lines & MS_CTS_ON) c.cts += n;
    if (lines & MS_DSR_ON) c.dsr += n;
    if (lines & MS_RLSD_ON) c.dcd += n;
    if (lines & MS_RING_ON) c.rng += n / 2;
    if (edges & 1) state_.modemStatus ^= lines;
    Changed();
}

void FakeSerialDevice::Receive(int bytes) {
    std::lock_guard lock(mutex_);
    state_.inQueue += bytes;
    state_.counters.rx += std::uint32_t(bytes);
    Changed();
}

void FakeSerialDevice::Break() {
    std::lock_guard lock(mutex_);
    ++state_.counters.brk;
    Changed();
}

void FakeSerialDevice::Edit(const std::function<void(LineState&)>& change) {
    std::lock_guard lock(mutex_);
    change(state_);
    Changed();
}

void FakeSerialDevice::StampNextChange(std::uint32_t tick) {
    std::lock_guard lock(mutex_);
    stamp_ = tick;
}

void FakeSerialDevice::HoldReports(bool hold) {
    std::lock_guard lock(mutex_);
    hold_ = hold;
    Changed();
}

bool FakeSerialDevice::WaitUntilHolding(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return holding_; });
}

void FakeSerialDevice::FailWait(int error) {
    std::lock_guard lock(mutex_);
    failError_ = error;
    Changed();
}

void FakeSerialDevice::Changed() {
    changed_.notify_all();
}

bool FakeSerialDevice::IdleLocked() const {
    return waiting_ && failError_ == 0 && !stop_ && !LineMoved(waiterSince_, state_, waitMask_);
}

bool FakeSerialDevice::WaitUntilIdle(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return IdleLocked(); });
}

int FakeSerialDevice::OpenCount() const {
    std::lock_guard lock(mutex_);
    return openCount_;
}

int FakeSerialDevice::CloseCount() const {
    std::lock_guard lock(mutex_);
    return closeCount_;
}

int FakeSerialDevice::LastPort() const {
    std::lock_guard lock(mutex_);
    return port_;
}

SerialSettings FakeSerialDevice::LastSettings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

std::uint32_t FakeSerialDevice::LastWaitMask() const {
    std::lock_guard lock(mutex_);
    return waitMask_;
}

std::vector<std::uint32_t> FakeSerialDevice::Purges() const {
    std::lock_guard lock(mutex_);
    return purges_;
}

OpenResult FakeSerialDevice::Open(int port) {
    std::lock_guard lock(mutex_);
    port_ = port;
    if (port < 1 || port > 16) return {ENOENT, {}};
    if (openError_) return {openError_, openDetail_};
    open_ = true;
    stop_ = false;
    failError_ = 0;
    ++openCount_;
    return {};
}

bool FakeSerialDevice::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

QString FakeSerialDevice::Path() const {
    std::lock_guard lock(mutex_);
    return QStringLiteral("/fake/") + ComPortName(port_);
}

int FakeSerialDevice::Configure(const SerialSettings& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
    return open_ ? configureError_ : EBADF;
}

void FakeSerialDevice::Close() {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    open_ = false;
    ++closeCount_;
}

std::uint32_t FakeSerialDevice::ModemStatus() {
    std::lock_guard lock(mutex_);
    return open_ ? state_.modemStatus : 0;
}

std::int32_t FakeSerialDevice::InputCount() {
    std::lock_guard lock(mutex_);
    return open_ ? state_.inQueue : 0;
}

void FakeSerialDevice::Purge(std::uint32_t flags) {
    std::lock_guard lock(mutex_);
    purges_.push_back(flags);
    if (flags & PURGE_RXCLEAR) state_.inQueue = 0;
}

LineState FakeSerialDevice::ReadLineState(std::uint32_t evMask) {
    std::lock_guard lock(mutex_);
    waitMask_ = evMask;
    LineState s = state_;
    s.tick = s.lookTick = GetTickCount();
    return s;
}

WaitResult FakeSerialDevice::WaitForChange(std::uint32_t evMask, const LineState& since,
                                           LineState& now, int& error,
                                           std::optional<std::uint32_t> until) {
    std::unique_lock lock(mutex_);
    waitMask_ = evMask;
    for (;;) {
        if (stop_) return WaitResult::Stopped;
        if (failError_) {
            error = failError_;
            return WaitResult::Failed;
        }
        now = state_;
        now.lookTick = GetTickCount();
        if (LineMoved(since, now, evMask)) {
            now.tick = stamp_ ? *stamp_ : now.lookTick;
            stamp_.reset();
            if (hold_) {
                holding_ = true;
                idle_.notify_all();
                changed_.wait(lock, [&] { return !hold_ || stop_; });
                holding_ = false;
            }
            return WaitResult::Changed;
        }
        if (until && TickDiff(now.lookTick, *until) >= 0) {
            now.tick = now.lookTick;
            return WaitResult::TimedOut;
        }
        waiting_ = true;
        waiterSince_ = since;
        idle_.notify_all();
        if (until)
            changed_.wait_for(lock, std::chrono::milliseconds(1));
        else
            changed_.wait(lock);
        waiting_ = false;
    }
}

void FakeSerialDevice::CancelWait() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    Changed();
}

QString FakeSerialDevice::WatchDescription() const {
    std::lock_guard lock(mutex_);
    if (!open_) return {};
    return QStringLiteral("/fake/") + ComPortName(port_) +
           QStringLiteral(" reports every change of its lines.");
}
