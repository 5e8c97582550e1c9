#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/serialdevice.h"

// A serial device without hardware, for tests and benchmarks. It behaves like a driver with
// modem-line counters: every change of a line counts one edge, and a waiter sees each change as
// soon as it is made. The scripting functions may be called from any thread.
class FakeSerialDevice : public SerialDevice {
public:
    FakeSerialDevice();

    // Scripting.
    void SetOpenError(int error, const QString& detail = {});
    void SetConfigureError(int error);
    // Sets the modem lines (MS_ bits); each line that changes counts one edge.
    void SetModemStatus(std::uint32_t status);
    // Lines (MS_ bits) that flip `edges` times faster than anyone could watch: the counters
    // advance, and the level changes only when `edges` is odd.
    void Pulse(std::uint32_t lines, int edges = 2);
    void Receive(int bytes);
    void Break();
    // Any change of the line state at once, as a driver might make it between two looks.
    void Edit(const std::function<void(LineState&)>& change);
    // The next change a wait reports is stamped with this tick instead of the clock's (the
    // moment its evidence was read, when that was before now).
    void StampNextChange(std::uint32_t tick);
    // While held, a wait that has seen a change keeps it (as a worker still busy with its
    // look) until released.
    void HoldReports(bool hold);
    // Blocks until a wait holds a change it has seen; false on timeout.
    bool WaitUntilHolding(int timeoutMs = 10000);
    // The current or next wait fails with this errno (an unplugged adapter).
    void FailWait(int error);
    // Blocks until a waiter sits in WaitForChange with nothing left to report; false on timeout.
    bool WaitUntilIdle(int timeoutMs = 10000);

    // Inspection.
    int OpenCount() const;
    int CloseCount() const;
    int LastPort() const;
    SerialSettings LastSettings() const;
    std::uint32_t LastWaitMask() const;
    std::vector<std::uint32_t> Purges() const;

    // SerialDevice.
    OpenResult Open(int port) override;
    bool IsOpen() const override;
    QString Path() const override;
    int Configure(const SerialSettings& settings) override;
    void Close() override;
    std::uint32_t ModemStatus() override;
    std::int32_t InputCount() override;
    void Purge(std::uint32_t flags) override;
    LineState ReadLineState(std::uint32_t evMask) override;
    WaitResult WaitForChange(std::uint32_t evMask, const LineState& since, LineState& now,
                             int& error, std::optional<std::uint32_t> until) override;
    void CancelWait() override;
    QString WatchDescription() const override;

private:
    void Changed();
    bool IdleLocked() const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable idle_;
    LineState state_;
    bool open_ = false;
    bool stop_ = false;
    int openError_ = 0;
    QString openDetail_;
    int configureError_ = 0;
    int failError_ = 0;
    std::optional<std::uint32_t> stamp_;
    bool hold_ = false;
    bool holding_ = false;
    int openCount_ = 0;
    int closeCount_ = 0;
    int port_ = 0;
    SerialSettings settings_;
    std::vector<std::uint32_t> purges_;
    // The waiter, while it sleeps.
    bool waiting_ = false;
    LineState waiterSince_;
    std::uint32_t waitMask_ = 0;
};
