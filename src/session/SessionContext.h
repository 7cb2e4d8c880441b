#pragma once
#include "base/CommInfo.h"
#include "display/DisplayRenderer.h"
#include "display/MergeRegistry.h"
#include "send/DataString.h"
#include "send/KeyPanes.h"
#include "serial/PortList.h"

#include <vector>

class CClock;
class CTrelliumDoc;

// The program's and the companion's display frame: new bytes reach a view at
// most this often while data keeps coming. The window's display draws no
// more often than this either (CRichCtrl::kSyncIntervalMs), so a shorter
// frame would only wake the window for nothing.
inline constexpr int kDisplayFrameMs = 30;
// Descriptors a program needs beside a full TCP server's clients.
inline constexpr uint64_t kSpareDescriptors = 256;

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

    // The shortest time between two deliveries of a session's new bytes to
    // its view while data keeps coming (a display frame); 0 delivers at
    // every turn of the event loop. The first bytes after a quiet spell are
    // always delivered at once.
    int DeliveryFrameMs() const { return m_nDeliveryFrameMs; }

    // The local address TCP and UDP servers listen on (host byte order; 0,
    // any, unless TRELLIUM_LISTEN_ADDRESS names a dotted IPv4 address).
    uint32_t ListenAddress() const { return m_listenAddress; }
    void SetListenAddress(uint32_t address) { m_listenAddress = address; }
    void SetDeliveryFrameMs(int ms) { m_nDeliveryFrameMs = ms; }

    // How long a remote serial port may take to connect and agree to serial
    // port control, and how long a session that lost one waits between
    // attempts to connect again.
    int RemoteTimeoutMs() const { return m_nRemoteTimeoutMs; }
    int RemoteRetryMs() const { return m_nRemoteRetryMs; }
    void SetRemoteTimes(int timeoutMs, int retryMs)
    {
        m_nRemoteTimeoutMs = timeoutMs;
        m_nRemoteRetryMs = retryMs;
    }

    // How many lines each session's display keeps (the program's history
    // setting, from the profile): 100 unless set, at most 1,000,000.
    int HistoryLines() const { return m_nHistoryLines; }
    void SetHistoryLines(int lines);

    // Live sessions in creation order (the workspace order). User-interface
    // thread only; sessions add and remove themselves.
    const std::vector<CTrelliumDoc*>& Sessions() const { return m_sessions; }
    void AddSession(CTrelliumDoc* doc);
    void RemoveSession(CTrelliumDoc* doc);
    // The session whose macros the key panes show: the window's active one.
    // While none is set (the companion, tests) every session may fill them.
    CTrelliumDoc* ActiveSession() const { return m_pActive; }
    void SetActiveSession(CTrelliumDoc* doc) { m_pActive = doc; }
    // The port list was rebuilt after devices came or went: sessions whose
    // port was lost take it back when it is present again.
    void PortsRebuilt();

private:
    CClock& m_clock;
    CMergeRegistry m_merge;
    CKeyPaneTable m_keyPanes;
    CColorRotation m_colors;
    CSharedChecksum m_checksum;
    CPortList m_ports;
    std::vector<CTrelliumDoc*> m_sessions;
    CTrelliumDoc* m_pActive = nullptr;
    int m_nDeliveryFrameMs = 0;
    int m_nHistoryLines = CDisplayRenderer::kDefaultLines;
    uint32_t m_listenAddress = 0;
    int m_nRemoteTimeoutMs = 10000;
    int m_nRemoteRetryMs = 3000;
};
