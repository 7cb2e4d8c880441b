#include "session/SessionContext.h"

#include "session/TrelliumDoc.h"

#include "platform/Socket.h"
#include "platform/SystemClock.h"

#include <QByteArray>
#include <algorithm>

namespace {

// A lab machine with several interfaces may serve on one of them only; the
// tests keep their servers on the loopback this way.
uint32_t ListenAddressFromEnvironment()
{
    const auto address = Platform::ParseDottedIpv4(qgetenv("TRELLIUM_LISTEN_ADDRESS"));
    return address.value_or(0);
}

} // namespace

CSessionContext::CSessionContext(CClock& clock)
    : m_clock(clock), m_listenAddress(ListenAddressFromEnvironment())
{
}

CSessionContext::CSessionContext()
    : m_clock(CSystemClock::Instance()), m_listenAddress(ListenAddressFromEnvironment())
{
}

void CSessionContext::AddSession(CTrelliumDoc* doc)
{
    if (m_sessions.empty())
        m_ports.Enumerate();
    m_sessions.push_back(doc);
}

void CSessionContext::PortsRebuilt()
{
    // A copy: going online may add nothing, but a message box shown on
    // the way runs events that may close a session.
    const std::vector<CTrelliumDoc*> sessions = m_sessions;
    for (CTrelliumDoc* doc : sessions) {
        if (std::find(m_sessions.begin(), m_sessions.end(), doc) != m_sessions.end())
            doc->OnPortsRebuilt();
    }
}

void CSessionContext::RemoveSession(CTrelliumDoc* doc)
{
    if (m_pActive == doc)
        m_pActive = nullptr;
    if (std::erase(m_sessions, doc) > 0 && m_sessions.empty())
        m_ports.Clear();
}

void CSessionContext::SetHistoryLines(int lines)
{
    m_nHistoryLines =
        std::clamp(lines, CDisplayRenderer::kDefaultLines, CDisplayRenderer::kMostLines);
}
