#pragma once
#include "base/Transport.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>

// A session's UDP server: receives the datagrams that arrive on the session's
// port, from any sender, and hands each to the data owner whole, up to the
// protocol's largest. Datagrams the system had to drop for want of buffer
// space are counted and handed over as lost. Sends nothing. User-interface
// thread only.
class CUDPSvr final : public QObject, public CTransport
{
    Q_OBJECT
public:
    static constexpr int kReadSize = 65535; // larger than any UDP payload
    static constexpr int kDatagramsPerNotification = 64;

    // `onAddress` receives the local host's first address once listening.
    CUDPSvr(int serverId, uint16_t port, CTransportOwner& data,
            std::function<void(const QByteArray&)> onAddress);

    // Offline, saying why, when the port cannot be had.
    COpenResult Open() override;
    void Close() override { StopServer(); }
    CWriteResult Write(const char*, int) override { return CWriteResult::Sent(); }
    bool IsUsable() const override { return m_bRunning; }

    // Empty when listening, else why not ("bind: Address already in use").
    QString StartListening(QByteArray& addressText);
    void StopServer();
    bool IsRunning() const { return m_bRunning; }
    uint16_t ListeningPort() const;
    // The local address to receive on (host byte order); any when 0.
    void SetListenAddress(uint32_t address) { m_listenAddress = address; }

private:
    void OnReadable();

    int m_nServerId;
    uint16_t m_port;
    uint32_t m_listenAddress = 0;
    CTransportOwner& m_data;
    std::function<void(const QByteArray&)> m_onAddress;
    UniqueFd m_socket;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<char[]> m_buffer;
    uint32_t m_lastDropCount = 0;
    bool m_bRunning = false;
};
