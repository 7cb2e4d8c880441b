#include "net/TermSocket.h"

#include "net/NetOwners.h"
#include "net/SocketWriter.h"
#include "platform/Socket.h"

#include <QHostAddress>
#include <QHostInfo>
#include <cerrno>

CTermSocket::CTermSocket(CTermSocketOwner& owner, CTransportOwner& data, QByteArray host,
                         uint16_t port)
    : m_owner(owner), m_data(data), m_host(std::move(host)), m_port(port)
{
}

CTermSocket::~CTermSocket()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
}

COpenResult CTermSocket::Open()
{
    CErrorOr<UniqueFd> socket = Platform::OpenTcpSocket();
    if (socket.IsError())
        return COpenResult::Offline(QStringLiteral("Socket Create Error"));
    m_fd = std::move(socket.Value());
    if (const auto address = Platform::ParseDottedIpv4(m_host)) {
        if (!ConnectTo(*address))
            return COpenResult::Offline();
        return COpenResult::Online();
    }
    // A host name: resolved in the background; the attempt is under way.
    m_state = State::Resolving;
    m_lookupId = QHostInfo::lookupHost(QString::fromLatin1(m_host), this, &CTermSocket::OnResolved);
    return COpenResult::Online();
}

bool CTermSocket::ConnectTo(uint32_t address)
{
    const Platform::CConnectStart start = Platform::StartConnect(m_fd.Get(), {address, m_port});
    if (start.error.IsError()) {
        m_state = State::Failed;
        return false;
    }
    m_state = State::Connecting;
    // Writable means the attempt has ended, either way. An immediate success
    // (possible on the loopback) is reported the same way, after Open.
    m_connecting = std::make_unique<QSocketNotifier>(m_fd.Get(), QSocketNotifier::Write);
    connect(m_connecting.get(), &QSocketNotifier::activated, this, [this] { OnWritable(); });
    return true;
}

void CTermSocket::OnResolved(const QHostInfo& info)
{
    m_lookupId = -1;
    if (m_state != State::Resolving)
        return;
    for (const QHostAddress& address : info.addresses()) {
        bool isIpv4 = false;
        const uint32_t ipv4 = address.toIPv4Address(&isIpv4);
        if (isIpv4) {
            if (!ConnectTo(ipv4))
                Fail(ECONNREFUSED);
            return;
        }
    }
    Fail(EHOSTUNREACH);
}

void CTermSocket::OnWritable()
{
    m_connecting.reset();
    const int error = Platform::PendingSocketError(m_fd.Get());
    if (error != 0) {
        Fail(error);
        return;
    }
    m_state = State::Connected;
    m_readable = std::make_unique<QSocketNotifier>(m_fd.Get(), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
    m_writer = std::make_unique<CSocketWriter>(
        m_fd.Get(), kQueueCapacity,
        [this](int) {
            // The peer reset the connection: handled like its close.
            QMetaObject::invokeMethod(this, &CTermSocket::PeerClosed, Qt::QueuedConnection);
        },
        [this] { m_data.OnOutputRoom(); });
    m_owner.OnClientConnect(0);
}

void CTermSocket::Fail(int error)
{
    m_state = State::Failed;
    m_connecting.reset();
    m_owner.OnClientConnect(error);
}

void CTermSocket::OnReadable()
{
    if (!m_buffer)
        m_buffer = std::make_unique<char[]>(kReadSize);
    // Reads what the socket holds, a few large reads a turn; more waiting
    // brings another notification.
    for (int reads = 0; reads < kReadsPerNotification; ++reads) {
        const Platform::IoResult got = Platform::Receive(m_fd.Get(), m_buffer.get(), kReadSize);
        if (got.wouldBlock)
            return;
        if (got.error || got.AtEnd()) {
            // The peer closed (or reset) the connection. The notifier stops
            // here: left on, an ended stream would be reported readable for ever.
            m_readable->setEnabled(false);
            PeerClosed();
            return;
        }
        if (!m_data.OnReceive(m_buffer.get(), static_cast<int>(got.count))) {
            // The session is full: TCP holds the peer back until it has room.
            m_readable->setEnabled(false);
            return;
        }
        if (got.count < static_cast<size_t>(kReadSize))
            return;
    }
}

void CTermSocket::ResumeReading()
{
    if (m_readable && m_state == State::Connected)
        m_readable->setEnabled(true);
}

void CTermSocket::PeerClosed()
{
    if (m_state != State::Connected)
        return;
    m_state = State::Closed;
    m_owner.OnClientClosed();
}

void CTermSocket::Close()
{
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    m_readable.reset();
    m_connecting.reset();
    m_writer.reset();
    if (m_fd.IsValid()) {
        Platform::ShutdownSending(m_fd.Get());
        // Drain what is already here and discard it, without waiting for more.
        char scratch[256];
        for (int i = 0; i < 4096; ++i) {
            const Platform::IoResult got = Platform::Receive(m_fd.Get(), scratch, sizeof scratch);
            if (got.count == 0)
                break;
        }
        Platform::ShutdownBoth(m_fd.Get());
        m_fd.Reset();
    }
    m_state = State::Closed;
}

CWriteResult CTermSocket::Write(const char* bytes, int count)
{
    if (m_state != State::Connected || !m_writer || count <= 0)
        return CWriteResult::Sent(); // nothing reaches a peer; as the plain socket would
    return m_writer->Write(bytes, static_cast<size_t>(count));
}

size_t CTermSocket::OutputPending() const
{
    return m_writer ? m_writer->Pending() : 0;
}

void CTermSocket::WantOutputRoom()
{
    if (m_writer)
        m_writer->WantRoom();
}
