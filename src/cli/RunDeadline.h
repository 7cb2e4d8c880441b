#pragma once
#include <QDeadlineTimer>
#include <QTimer>
#include <cstdint>
#include <functional>

// Calls `expired` once, from the event loop, when `ms` milliseconds have
// passed since Start. A Qt timer takes at most INT_MAX milliseconds (about 24
// days) and a coarse one may fire a little early, so a long wait is made of
// steps, each re-measured against one deadline: the call never comes early.
// User-interface thread only.
class CRunDeadline
{
public:
    explicit CRunDeadline(std::function<void()> expired);
    CRunDeadline(const CRunDeadline&) = delete;
    CRunDeadline& operator=(const CRunDeadline&) = delete;

    // `ms` must not be negative; any larger value is a wait without end
    // for all practical purposes, and is treated as such.
    void Start(int64_t ms);
    // No call comes until the next Start.
    void Stop() { m_timer.stop(); }

private:
    void Step();
    int64_t LeftMs() const;

    std::function<void()> m_expired;
    QDeadlineTimer m_deadline;
    QTimer m_timer;
};
