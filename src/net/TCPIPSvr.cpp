#include "net/TCPIPSvr.h"

#include "net/NetOwners.h"
#include "net/SocketWriter.h"
#include "platform/Clock.h"
#include "platform/Socket.h"

#include <cerrno>
#include <fcntl.h>

CTCPIPSvr::CTCPIPSvr(int serverId, uint16_t port, CTCPIPOwner& owner, CSendProblemSink& problems,
                     CClock& clock, std::function<void(const QByteArray&)> onAddress)
    : m_nServerId(serverId), m_port(port), m_owner(owner), m_problems(problems), m_clock(clock),
      m_onAddress(std::move(onAddress))
{
}

CTCPIPSvr::~CTCPIPSvr()
{
    if (m_listen.IsValid())
        StopServer();
}

COpenResult CTCPIPSvr::Open()
{
    QByteArray address;
    StartListening(address);
    if (m_onAddress)
        m_onAddress(address);
    return COpenResult::Online();
}

uint16_t CTCPIPSvr::ListeningPort() const
{
    return m_listen.IsValid() ? Platform::LocalPort(m_listen.Get()) : 0;
}

bool CTCPIPSvr::StartListening(QByteArray& addressText)
{
    CErrorOr<UniqueFd> socket = Platform::OpenTcpSocket();
    if (socket.IsError()) {
        m_log.WriteError(QStringLiteral("Could not create listen socket"),
                         socket.Error().ErrorNumber());
        return false;
    }
    UniqueFd listen = std::move(socket.Value());
    if (const CPlatformError bound = Platform::BindAny(listen.Get(), m_port, true);
        bound.IsError()) {
        m_log.WriteError(QStringLiteral("bind() error"), bound.ErrorNumber());
        return false;
    }
    if (const CPlatformError listening = Platform::Listen(listen.Get()); listening.IsError()) {
        m_log.WriteError(QStringLiteral("listen() error"), listening.ErrorNumber());
        return false;
    }
    m_listen = std::move(listen);
    m_spare.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    m_acceptable = std::make_unique<QSocketNotifier>(m_listen.Get(), QSocketNotifier::Read);
    connect(m_acceptable.get(), &QSocketNotifier::activated, this, [this] { OnAcceptable(); });
    addressText = Platform::HostIpv4Addresses().join(QStringLiteral(", ")).toLatin1();
    m_bRunning = true;
    m_log.Write(QStringLiteral("Server started %1 port %2")
                    .arg(QString::fromLatin1(addressText))
                    .arg(ListeningPort()));
    return true;
}

bool CTCPIPSvr::SpareAccept()
{
    if (!m_spare.IsValid())
        return false;
    m_spare.Reset();
    Platform::CAccepted dropped = Platform::Accept(m_listen.Get());
    dropped.fd.Reset();
    m_spare.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    return true;
}

void CTCPIPSvr::OnAcceptable()
{
    Platform::CAccepted accepted = Platform::Accept(m_listen.Get());
    if (accepted.wouldBlock)
        return;
    if (accepted.error) {
        m_log.WriteError(QStringLiteral("accept() error"), accepted.error);
        // Out of descriptors: the client would stay queued and keep the
        // listening socket readable for ever. Take it off the queue and close
        // it, and go on serving the clients that are connected.
        if (accepted.error == EMFILE || accepted.error == ENFILE)
            SpareAccept();
        return;
    }
    auto connection = std::make_unique<CTcpConnection>();
    connection->peer = accepted.peer;
    connection->acceptedTick = m_clock.TickCount();
    connection->fd = std::move(accepted.fd);
    const int socket = connection->fd.Get();
    connection->readable = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    connection->writer =
        std::make_unique<CSocketWriter>(socket, kQueueCapacity, [this, socket](int) {
            CloseLater(socket); // the client reset the connection
        });
    CTcpConnection* record = m_connections.Add(std::move(connection));
    connect(record->readable.get(), &QSocketNotifier::activated, this,
            [this, record] { OnReadable(record); });
    m_log.Write(QStringLiteral("Accepted connection %1 from: %2 port: %3")
                    .arg(socket)
                    .arg(record->peer.DottedAddress())
                    .arg(record->peer.port));
    ++m_nConnections;
    m_owner.OnTcpAccept(m_nServerId, record);
}

void CTCPIPSvr::OnReadable(CTcpConnection* connection)
{
    char buffer[kReadSize + 1] = {};
    const Platform::IoResult got = Platform::Receive(connection->fd.Get(), buffer, kReadSize);
    if (got.wouldBlock)
        return;
    if (got.error) {
        m_log.WriteError(QStringLiteral("recv()"), got.error);
        CloseConnection(connection);
        return;
    }
    if (got.AtEnd()) {
        // The client's orderly shutdown: its close follows at once here.
        CloseConnection(connection);
        return;
    }
    connection->bytesReceived += static_cast<uint32_t>(got.count);
    m_owner.OnTcpData(m_nServerId, connection, buffer, static_cast<int>(got.count));
}

void CTCPIPSvr::CloseLater(int socket)
{
    QMetaObject::invokeMethod(
        this,
        [this, socket] {
            if (CTcpConnection* connection = m_connections.Find(socket))
                CloseConnection(connection);
        },
        Qt::QueuedConnection);
}

void CTCPIPSvr::CloseConnection(CTcpConnection* connection)
{
    --m_nConnections;
    m_log.Write(QStringLiteral("Closing connection %1 from %2 port %3")
                    .arg(connection->fd.Get())
                    .arg(connection->peer.DottedAddress())
                    .arg(connection->peer.port));
    m_owner.OnTcpClose(m_nServerId, connection);
    // Notifiers go before their socket; the record closes the socket.
    connection->readable.reset();
    connection->writer.reset();
    m_connections.Remove(connection);
}

void CTCPIPSvr::StopServer()
{
    m_bRunning = false;
    m_acceptable.reset();
    m_listen.Reset();
    m_spare.Reset();
    m_connections.ForEach([](CTcpConnection* connection) {
        connection->readable.reset();
        connection->writer.reset();
    });
    m_connections.RemoveAll();
    m_nConnections = 0;
    m_log.Write(QStringLiteral("Server stopped"));
}

bool CTCPIPSvr::SendToAll(const char* bytes, int count)
{
    bool ok = true;
    m_connections.ForEach([&](CTcpConnection* connection) {
        if (!connection->writer)
            return;
        if (connection->writer->Write(bytes, static_cast<size_t>(count))) {
            if (connection->writer->Pending() == 0)
                connection->bOverflowReported = false;
            return;
        }
        ok = false;
        const QString message =
            QStringLiteral("Client %1 port %2 is not reading: %3 bytes were not sent to it")
                .arg(connection->peer.DottedAddress())
                .arg(connection->peer.port)
                .arg(count);
        m_log.Write(message);
        if (!connection->bOverflowReported) {
            connection->bOverflowReported = true;
            m_problems.ReportSendProblem(message + QLatin1Char('.'));
        }
    });
    return ok;
}

CWriteResult CTCPIPSvr::Write(const char* bytes, int count)
{
    SendToAll(bytes, count);
    return CWriteResult::Sent;
}
