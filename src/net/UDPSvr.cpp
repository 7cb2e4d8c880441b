#include "net/UDPSvr.h"

#include "platform/Socket.h"

CUDPSvr::CUDPSvr(int serverId, uint16_t port, CTransportOwner& data,
                 std::function<void(const QByteArray&)> onAddress)
    : m_nServerId(serverId), m_port(port), m_data(data), m_onAddress(std::move(onAddress))
{
}

COpenResult CUDPSvr::Open()
{
    QByteArray address;
    const QString problem = StartListening(address);
    if (!problem.isEmpty())
        return COpenResult::Offline(
            QStringLiteral("Cannot receive on UDP port %1: %2").arg(m_port).arg(problem),
            QStringLiteral("Error"), problem);
    if (m_onAddress)
        m_onAddress(address);
    return COpenResult::Online();
}

uint16_t CUDPSvr::ListeningPort() const
{
    return m_socket.IsValid() ? Platform::LocalPort(m_socket.Get()) : 0;
}

QString CUDPSvr::StartListening(QByteArray& addressText)
{
    CErrorOr<UniqueFd> socket = Platform::OpenUdpSocket();
    if (socket.IsError())
        return SystemErrorText(socket.Error().ErrorNumber());
    if (const CPlatformError bound =
            Platform::Bind(socket.Value().Get(), m_listenAddress, m_port, false);
        bound.IsError())
        return SystemErrorText(bound.ErrorNumber());
    // Without the count the drops stay unseen, but datagrams still arrive.
    Platform::CountDroppedDatagrams(socket.Value().Get());
    m_socket = std::move(socket.Value());
    m_readable = std::make_unique<QSocketNotifier>(m_socket.Get(), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
    const QStringList addresses = Platform::HostIpv4Addresses();
    addressText = addresses.isEmpty() ? QByteArray() : addresses.first().toLatin1();
    m_bRunning = true;
    return {};
}

void CUDPSvr::StopServer()
{
    m_bRunning = false;
    m_readable.reset();
    m_socket.Reset();
}

void CUDPSvr::OnReadable()
{
    if (!m_buffer)
        m_buffer = std::make_unique<char[]>(kReadSize);
    // A few datagrams a turn; more waiting bring another notification.
    for (int i = 0; i < kDatagramsPerNotification; ++i) {
        const Platform::CDatagram got =
            Platform::ReceiveDatagram(m_socket.Get(), m_buffer.get(), kReadSize);
        if (got.wouldBlock || got.error)
            return;
        if (got.hasDropCounter && got.dropCounter != m_lastDropCount) {
            m_data.OnDatagramsDropped(got.dropCounter - m_lastDropCount);
            m_lastDropCount = got.dropCounter;
        }
        m_data.OnDatagram(m_buffer.get(), static_cast<int>(got.count));
    }
}
