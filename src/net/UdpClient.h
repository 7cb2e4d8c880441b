#pragma once
#include "base/Transport.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <cstdint>

// A session's UDP client: every transmit is one datagram to the session's
// address and port. The address must be a dotted IPv4 address of at most 24
// characters; anything else (a host name, a longer text) sends nothing.
// Receives nothing. User-interface thread only.
class CUdpClient final : public CTransport
{
public:
    static constexpr qsizetype kMaxAddressLength = 24;

    CUdpClient(QByteArray address, uint16_t port);

    // Offline (and said so) when no socket can be made; online otherwise,
    // with no socket when it cannot be bound (sends then do nothing).
    COpenResult Open() override;
    void Close() override { m_socket.Reset(); }
    CWriteResult Write(const char* bytes, int count) override;
    bool IsUsable() const override { return m_socket.IsValid(); }

private:
    QByteArray m_address;
    uint16_t m_port;
    UniqueFd m_socket;
};
