#pragma once
#include "display/MergeRegistry.h"
#include "send/DataString.h"
#include "send/KeyPanes.h"
#include "serial/PortList.h"
#include "session/CommInfo.h"

#include <vector>

class CClock;
class CTrelliumDoc;

// What the sessions of one program share: the clock and its timers, the live
// sessions in creation order, the port list, the merge display, the status
// bar's key panes, the colour-set rotation and the checksum state of data
// strings. The
// program, the companion and each test make their own and pass it to every
// session they create; it must outlive them.
class CSessionContext
{
public:
    // `clock` is not owned.
    explicit CSessionContext(CClock& clock);
    // The system clock with Qt timers.
    CSessionContext();
    CSessionContext(const CSessionContext&) = delete;
    CSessionContext& operator=(const CSessionContext&) = delete;

    CClock& Clock() const { return m_clock; }
    CMergeRegistry& Merge() { return m_merge; }
    CKeyPaneTable& KeyPanes() { return m_keyPanes; }
    CColorRotation& ColorRotation() { return m_colors; }
    CSharedChecksum& Checksum() { return m_checksum; }
    // The connection choices. Built when the first session is added, emptied
    // when the last is removed. User-interface thread only.
    CPortList& Ports() { return m_ports; }

    // Live sessions in creation order (the workspace order). User-interface
    // thread only; sessions add and remove themselves.
    const std::vector<CTrelliumDoc*>& Sessions() const { return m_sessions; }
    void AddSession(CTrelliumDoc* doc);
    void RemoveSession(CTrelliumDoc* doc);

private:
    CClock& m_clock;
    CMergeRegistry m_merge;
    CKeyPaneTable m_keyPanes;
    CColorRotation m_colors;
    CSharedChecksum m_checksum;
    CPortList m_ports;
    std::vector<CTrelliumDoc*> m_sessions;
};
