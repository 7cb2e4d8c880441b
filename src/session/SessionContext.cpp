#include "session/SessionContext.h"

#include "platform/SystemClock.h"

#include <algorithm>

CSessionContext::CSessionContext(CClock& clock) : m_clock(clock) {}

CSessionContext::CSessionContext() : m_clock(CSystemClock::Instance()) {}

void CSessionContext::AddSession(CTrelliumDoc* doc)
{
    if (m_sessions.empty())
        m_ports.Enumerate();
    m_sessions.push_back(doc);
}

void CSessionContext::RemoveSession(CTrelliumDoc* doc)
{
    if (std::erase(m_sessions, doc) > 0 && m_sessions.empty())
        m_ports.Clear();
}
