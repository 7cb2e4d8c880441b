#pragma once
#include "net/ReqList.h"
#include "net/ServerLog.h"
#include "platform/UniqueFd.h"
#include "session/Transport.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>

class CClock;
class CSendProblemSink;
class CTCPIPOwner;

// A session's TCP server: listens on the session's port, accepts any number
// of clients, hands their bytes to the owner (1023 at most a read) and sends
// every transmit to all of them. Keeps a bounded, time-stamped event log.
// Each client's unsent output waits in a bounded queue of its own, so a
// client that does not read neither blocks the window nor holds back the
// others. User-interface thread only.
class CTCPIPSvr final : public QObject, public CTransport
{
    Q_OBJECT
public:
    static constexpr int kReadSize = 1023;
    static constexpr size_t kQueueCapacity = 256 * 1024;

    // `onAddress` receives the local host's addresses once listening starts.
    CTCPIPSvr(int serverId, uint16_t port, CTCPIPOwner& owner, CSendProblemSink& problems,
              CClock& clock, std::function<void(const QByteArray&)> onAddress);
    ~CTCPIPSvr() override;

    // Always online: a failure to listen shows only as a line in the log.
    COpenResult Open() override;
    void Close() override { StopServer(); }
    CWriteResult Write(const char* bytes, int count) override;
    bool IsUsable() const override { return m_bRunning && m_connections.Count() > 0; }

    bool StartListening(QByteArray& addressText);
    void StopServer();
    bool SendToAll(const char* bytes, int count);

    int ConnectionCount() const { return m_nConnections; }
    bool IsRunning() const { return m_bRunning; }
    uint16_t ListeningPort() const;
    CServerLog& Log() { return m_log; }
    const CServerLog& Log() const { return m_log; }

private:
    void OnAcceptable();
    void OnReadable(CTcpConnection* connection);
    void CloseConnection(CTcpConnection* connection);
    void CloseLater(int socket);
    bool SpareAccept();

    int m_nServerId;
    uint16_t m_port;
    CTCPIPOwner& m_owner;
    CSendProblemSink& m_problems;
    CClock& m_clock;
    std::function<void(const QByteArray&)> m_onAddress;
    UniqueFd m_listen;
    // Kept open so that, when accept finds no descriptor left, one can be
    // freed to take the pending client off the queue (it is then closed).
    UniqueFd m_spare;
    std::unique_ptr<QSocketNotifier> m_acceptable;
    int m_nConnections = 0;
    bool m_bRunning = false;
    CReqList m_connections;
    CServerLog m_log;
};
