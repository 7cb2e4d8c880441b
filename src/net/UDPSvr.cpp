#include "net/UDPSvr.h"

#include "net/NetOwners.h"
#include "platform/Socket.h"

CUDPSvr::CUDPSvr(int serverId, uint16_t port, CUDPOwner& owner,
                 std::function<void(const QByteArray&)> onAddress)
    : m_nServerId(serverId), m_port(port), m_owner(owner), m_onAddress(std::move(onAddress))
{
}

COpenResult CUDPSvr::Open()
{
    QByteArray address;
    if (StartListening(address) && m_onAddress)
        m_onAddress(address);
    return COpenResult::Online();
}

uint16_t CUDPSvr::ListeningPort() const
{
    return m_socket.IsValid() ? Platform::LocalPort(m_socket.Get()) : 0;
}

bool CUDPSvr::StartListening(QByteArray& addressText)
{
    CErrorOr<UniqueFd> socket = Platform::OpenUdpSocket();
    if (socket.IsError())
        return false;
    if (Platform::BindAny(socket.Value().Get(), m_port, false).IsError())
        return false;
    m_socket = std::move(socket.Value());
    m_readable = std::make_unique<QSocketNotifier>(m_socket.Get(), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
    const QStringList addresses = Platform::HostIpv4Addresses();
    addressText = addresses.isEmpty() ? QByteArray() : addresses.first().toLatin1();
    m_bRunning = true;
    return true;
}

void CUDPSvr::StopServer()
{
    m_bRunning = false;
    m_readable.reset();
    m_socket.Reset();
}

void CUDPSvr::OnReadable()
{
    // One datagram per notification; more waiting bring another.
    char buffer[kReadSize + 1] = {};
    const Platform::CDatagram got = Platform::ReceiveDatagram(m_socket.Get(), buffer, kReadSize);
    if (got.wouldBlock || got.error || got.truncated)
        return;
    m_owner.OnUdpData(m_nServerId, buffer, static_cast<int>(got.count));
}
