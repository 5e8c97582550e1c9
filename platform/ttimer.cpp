#include "platform/ttimer.h"

#include <QTimer>

#include "platform/guard.h"

TTimer::TTimer(QObject* parent, int interval, bool enabled)
    : QObject(parent), timer_(new QTimer(this)), interval_(interval), enabled_(enabled) {
    connect(timer_, &QTimer::timeout, this, &TTimer::Fire);
    Apply();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Apply();
}

void TTimer::SetInterval(int ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Apply();
}

void TTimer::SetPrecise(bool precise) {
    timer_->setTimerType(precise ? Qt::PreciseTimer : Qt::CoarseTimer);
}

void TTimer::Fire() {
    if (OnTimer) Guarded([&] { OnTimer(this); });
}

void TTimer::Apply() {
    if (enabled_ && interval_ > 0)
        timer_->start(interval_);
    else
        timer_->stop();
}
