#pragma once
#include "platform/UniqueFd.h"
#include "session/Transport.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>

class CUDPOwner;

// A session's UDP server: receives the datagrams that arrive on the session's
// port, from any sender, and hands each to the owner whole. A datagram longer
// than 1023 bytes is dropped. Sends nothing. User-interface thread only.
class CUDPSvr final : public QObject, public CTransport
{
    Q_OBJECT
public:
    static constexpr int kReadSize = 1023;

    // `onAddress` receives the local host's first address once listening.
    CUDPSvr(int serverId, uint16_t port, CUDPOwner& owner,
            std::function<void(const QByteArray&)> onAddress);

    // Always online: a failure to listen is not shown.
    COpenResult Open() override;
    void Close() override { StopServer(); }
    CWriteResult Write(const char*, int) override { return CWriteResult::Sent; }
    bool IsUsable() const override { return m_bRunning; }

    bool StartListening(QByteArray& addressText);
    void StopServer();
    bool IsRunning() const { return m_bRunning; }
    uint16_t ListeningPort() const;

private:
    void OnReadable();

    int m_nServerId;
    uint16_t m_port;
    CUDPOwner& m_owner;
    std::function<void(const QByteArray&)> m_onAddress;
    UniqueFd m_socket;
    std::unique_ptr<QSocketNotifier> m_readable;
    bool m_bRunning = false;
};
