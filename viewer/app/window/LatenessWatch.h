// How late the user-interface thread runs a timer that asks to run every
// 20 ms: a measure of the longest time the window could not answer the
// user. Only spans that start and end while `counted` holds are measured
// (the program's start-up and its shutdown are left out by the caller).
#pragma once

#include "net/Trace.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <string>

namespace tarnvik {

class LatenessWatch {
public:
    static constexpr int kIntervalMs = 20;
    // Longer hold-ups are traced as they happen, with the time they ended.
    static constexpr int kReportAboveMs = 100;

    LatenessWatch(QObject* owner, std::function<bool()> counted)
        : timer_(owner), counted_(std::move(counted))
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kIntervalMs);
        QObject::connect(&timer_, &QTimer::timeout, owner, [this] { Tick(); });
    }
    void Start()
    {
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    int WorstMs() const { return int(worst_); }
    long MeasuredTicks() const { return ticks_; }

private:
    void Tick()
    {
        const qint64 now = clock_.elapsed();
        const bool counted = counted_();
        if (counted && countedBefore_) {
            const qint64 late = now - last_ - kIntervalMs;
            if (late > kReportAboveMs)
                Trace("ui held up " + std::to_string(late) + " ms until " +
                      std::to_string(QDateTime::currentMSecsSinceEpoch()));
            worst_ = std::max(worst_, late);
            ++ticks_;
        }
        countedBefore_ = counted;
        last_ = now;
    }

    QTimer timer_;
    QElapsedTimer clock_;
    std::function<bool()> counted_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
    long ticks_ = 0;
    bool countedBefore_ = false;
};

} // namespace tarnvik
