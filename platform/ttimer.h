#pragma once

#include <QObject>
#include <functional>

class QTimer;

// A window timer: OnTimer every Interval ms while Enabled. An interval of 0 never fires.
// Fire() runs the handler as the timer would, so tests drive timers without waiting.
class TTimer : public QObject {
    Q_OBJECT
public:
    explicit TTimer(QObject* parent = nullptr, int interval = 1000, bool enabled = true);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    int Interval() const { return interval_; }
    void SetInterval(int ms);
    // Precise timers for the race clock; coarse ones for the date panel.
    void SetPrecise(bool precise);

    std::function<void(TTimer*)> OnTimer;
    void Fire();

private:
    void Apply();
    QTimer* timer_;
    int interval_;
    bool enabled_;
};
