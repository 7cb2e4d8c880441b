#include "serial/PortWatcher.h"

#include "platform/Clock.h"
#include "serial/PortList.h"
#include "serial/PortMonitor.h"

CPortWatcher::CPortWatcher(CClock& clock, CPortList& list, std::function<void()> rebuilt)
    : m_list(list), m_rebuilt(std::move(rebuilt)), m_timer(clock.MakeTimer([this] { Rebuild(); }))
{
}

CPortWatcher::~CPortWatcher() = default;

bool CPortWatcher::WatchDevices()
{
    m_monitor = CPortMonitor::Start([this] { PortsChanged(); });
    return m_monitor != nullptr;
}

void CPortWatcher::PortsChanged()
{
    // An adapter plugged in sends a burst of events: rebuild once, after the
    // burst has had time to settle.
    if (!m_timer->IsActive())
        m_timer->Start(kDebounceMs);
}

bool CPortWatcher::IsPending() const
{
    return m_timer->IsActive();
}

void CPortWatcher::Rebuild()
{
    m_list.Enumerate();
    if (m_rebuilt)
        m_rebuilt();
}
