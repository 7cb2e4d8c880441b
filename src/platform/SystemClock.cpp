#include "platform/SystemClock.h"

#include "platform/TickCount.h"

#include <QTimer>

namespace {

class CQtOneShotTimer final : public COneShotTimer
{
public:
    explicit CQtOneShotTimer(std::function<void()> onTimeout)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [callback = std::move(onTimeout)] { callback(); });
    }
    void Start(int intervalMs) override { m_timer.start(intervalMs < 0 ? 0 : intervalMs); }
    void Stop() override { m_timer.stop(); }
    bool IsActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

uint32_t CSystemClock::TickCount() const
{
    return Platform::GetTickCount();
}

std::unique_ptr<COneShotTimer> CSystemClock::MakeTimer(std::function<void()> onTimeout)
{
    return std::make_unique<CQtOneShotTimer>(std::move(onTimeout));
}

CSystemClock& CSystemClock::Instance()
{
    static CSystemClock clock;
    return clock;
}
