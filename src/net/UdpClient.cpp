#include "net/UdpClient.h"

#include "platform/Socket.h"

CUdpClient::CUdpClient(QByteArray address, uint16_t port)
    : m_address(std::move(address)), m_port(port)
{
}

COpenResult CUdpClient::Open()
{
    CErrorOr<UniqueFd> socket = Platform::OpenUdpSocket();
    if (socket.IsError())
        return COpenResult::Offline();
    // Any local address: a host name that resolves to a loopback address
    // (as many do) would otherwise leave the socket unable to reach anyone
    // else.
    if (Platform::BindAny(socket.Value().Get(), 0, false).IsError())
        return COpenResult::Online();
    m_socket = std::move(socket.Value());
    return COpenResult::Online();
}

CWriteResult CUdpClient::Write(const char* bytes, int count)
{
    if (!m_socket.IsValid() || m_address.size() > kMaxAddressLength || count < 0)
        return CWriteResult::Sent();
    const auto address = Platform::ParseDottedIpv4(m_address);
    if (!address)
        return CWriteResult::Sent();
    const Platform::IoResult sent = Platform::SendDatagram(
        m_socket.Get(), bytes, static_cast<size_t>(count), {*address, m_port});
    // A datagram is whole or nothing: one the socket cannot take now is
    // refused as full, one it can never take (too large) as failed.
    if (sent.wouldBlock)
        return CWriteResult::Full();
    if (sent.error)
        return CWriteResult::Failed(sent.error);
    return CWriteResult::Sent();
}
