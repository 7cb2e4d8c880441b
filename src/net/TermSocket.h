#pragma once
#include "platform/UniqueFd.h"
#include "session/Transport.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <memory>

class CSendProblemSink;
class CSocketWriter;
class CTermSocketOwner;
class QHostInfo;

// The TCP client connection of a session: one non-blocking stream socket to
// the session's address and port. A dotted address connects at once; a host
// name is resolved first without blocking the window. Received bytes go to
// the owner 255 at a time (one read per notification; data left waiting
// brings another). Output the peer does not take yet waits in a bounded
// queue. User-interface thread only.
class CTermSocket final : public QObject, public CTransport
{
    Q_OBJECT
public:
    static constexpr int kReadSize = 255;
    static constexpr size_t kQueueCapacity = 1 << 20;

    CTermSocket(CTermSocketOwner& owner, CSendProblemSink& problems, QByteArray host,
                uint16_t port);
    ~CTermSocket() override;

    // Online while the attempt is under way; the outcome arrives through the
    // owner's OnClientConnect. Offline with "Socket Create Error" when no
    // socket can be made, quietly when the attempt fails at once.
    COpenResult Open() override;
    // Stops sending, drains and discards what is still arriving, closes.
    void Close() override;
    CWriteResult Write(const char* bytes, int count) override;
    bool IsUsable() const override { return m_state == State::Connected; }

private:
    enum class State
    {
        Idle,
        Resolving,
        Connecting,
        Connected,
        Failed,
        Closed,
    };

    bool ConnectTo(uint32_t address);
    void OnResolved(const QHostInfo& info);
    void OnWritable();
    void OnReadable();
    void Fail(int error);
    void PeerClosed();

    CTermSocketOwner& m_owner;
    CSendProblemSink& m_problems;
    QByteArray m_host;
    uint16_t m_port;
    State m_state = State::Idle;
    UniqueFd m_fd;
    int m_lookupId = -1;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_connecting;
    std::unique_ptr<CSocketWriter> m_writer;
    bool m_bOverflowReported = false;
};
