#pragma once
#include "base/Transport.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <memory>

class CSocketWriter;
class CTermSocketOwner;
class CTransportOwner;
class QHostInfo;

// The TCP client connection of a session: one non-blocking stream socket to
// the session's address and port. A dotted address connects at once; a host
// name is resolved first without blocking the window. What the socket holds
// is read in large reads and handed to the data owner; when the owner is
// full, reading stops (TCP then holds the peer back) until ResumeReading.
// Output the peer does not take yet waits in a bounded queue. User-interface
// thread only.
class CTermSocket final : public QObject, public CTransport
{
    Q_OBJECT
public:
    static constexpr int kReadSize = 64 * 1024;
    static constexpr int kReadsPerNotification = 4;
    static constexpr size_t kQueueCapacity = 1 << 20;

    CTermSocket(CTermSocketOwner& owner, CTransportOwner& data, QByteArray host, uint16_t port);
    ~CTermSocket() override;

    // Online while the attempt is under way; the outcome arrives through the
    // owner's OnClientConnect. Offline with "Socket Create Error" when no
    // socket can be made, quietly when the attempt fails at once.
    COpenResult Open() override;
    // Stops sending, drains and discards what is still arriving, closes.
    void Close() override;
    CWriteResult Write(const char* bytes, int count) override;
    bool IsUsable() const override { return m_state == State::Connected; }
    size_t OutputPending() const override;
    void WantOutputRoom() override;
    void ResumeReading() override;

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
    CTransportOwner& m_data;
    QByteArray m_host;
    uint16_t m_port;
    State m_state = State::Idle;
    UniqueFd m_fd;
    int m_lookupId = -1;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_connecting;
    std::unique_ptr<CSocketWriter> m_writer;
    std::unique_ptr<char[]> m_buffer;
};
