#pragma once
#include "base/Transport.h"
#include "net/ReqList.h"
#include "net/ServerLog.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>

class CClock;
class CSendProblemSink;
class CTCPIPOwner;

// A session's TCP server: listens on the session's port, accepts clients up
// to a cap, hands what they send to the data owner (large reads; every
// client stops being read while the owner is full) and sends every transmit
// to all of them. Keeps a bounded, time-stamped event log.
//
// Output: each client's unsent bytes wait in a queue of its own, and all
// queues together stay within one budget. A client whose queue would grow
// past its share of the budget is not reading: it is disconnected and the
// log says how many bytes it missed, so it neither blocks the window nor
// holds back the others. User-interface thread only.
class CTCPIPSvr final : public QObject, public CTransport
{
    Q_OBJECT
public:
    static constexpr int kReadSize = 64 * 1024;
    static constexpr int kReadsPerNotification = 4;
    static constexpr size_t kMaxClients = 10000;
    // What all clients' queues may hold together, and the most one write
    // to a client may be.
    static constexpr size_t kOutputBudget = 16 * 1024 * 1024;
    static constexpr size_t kMinShare = 4 * 1024;
    static constexpr size_t kMaxWrite = 1024 * 1024;

    // `onAddress` receives the local host's addresses once listening starts.
    CTCPIPSvr(int serverId, uint16_t port, CTCPIPOwner& owner, CTransportOwner& data,
              CSendProblemSink& problems, CClock& clock,
              std::function<void(const QByteArray&)> onAddress);
    ~CTCPIPSvr() override;

    // Always online: a failure to listen shows only as a line in the log.
    COpenResult Open() override;
    void Close() override { StopServer(); }
    CWriteResult Write(const char* bytes, int count) override;
    bool IsUsable() const override { return m_bRunning && m_connections.Count() > 0; }
    // A file send is paced by the client that reads fastest.
    size_t OutputPending() const override;
    void WantOutputRoom() override;
    void ResumeReading() override;

    // The system's reason when the server could not start, else empty.
    QString StartListening(QByteArray& addressText);
    void StopServer();
    bool SendToAll(const char* bytes, int count);

    int ConnectionCount() const { return m_nConnections; }
    bool IsRunning() const { return m_bRunning; }
    uint16_t ListeningPort() const;
    // The local address to listen on (host byte order); any when 0, as
    // it is unless set before Open.
    void SetListenAddress(uint32_t address) { m_listenAddress = address; }
    CServerLog& Log() { return m_log; }
    const CServerLog& Log() const { return m_log; }

private:
    void OnAcceptable();
    void OnReadable(CTcpConnection* connection);
    void CloseConnection(CTcpConnection* connection);
    void CloseLater(int socket);
    bool SpareAccept();
    void OnClientRoom();

    int m_nServerId;
    uint16_t m_port;
    uint32_t m_listenAddress = 0;
    CTCPIPOwner& m_owner;
    CTransportOwner& m_data;
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
    bool m_bReadPaused = false;
    bool m_bRoomWanted = false;
    bool m_bCapTold = false;      // the cap was reached; told once until below it
    bool m_bDroppingTold = false; // slow clients were dropped; told once per episode
    std::unique_ptr<char[]> m_buffer;
    CReqList m_connections;
    CServerLog m_log;
};
