#include "cli/RunDeadline.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int64_t kLongestStepMs = std::numeric_limits<int>::max();

} // namespace

CRunDeadline::CRunDeadline(std::function<void()> expired) : m_expired(std::move(expired))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Step(); });
}

void CRunDeadline::Start(int64_t ms)
{
    // A deadline beyond what the clock can hold comes back as "forever".
    m_deadline = QDeadlineTimer(ms, Qt::PreciseTimer);
    // Even a wait of 0 goes through the event loop, so the call never comes
    // before the loop runs.
    m_timer.start(static_cast<int>(std::min(LeftMs(), kLongestStepMs)));
}

void CRunDeadline::Step()
{
    if (m_deadline.hasExpired()) {
        m_expired();
        return;
    }
    m_timer.start(static_cast<int>(std::clamp<int64_t>(LeftMs(), 1, kLongestStepMs)));
}

int64_t CRunDeadline::LeftMs() const
{
    return m_deadline.isForever() ? kLongestStepMs : m_deadline.remainingTime();
}
