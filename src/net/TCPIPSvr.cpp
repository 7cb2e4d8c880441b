#include "net/TCPIPSvr.h"

#include "net/NetOwners.h"
#include "net/SocketWriter.h"
#include "platform/Clock.h"
#include "platform/Socket.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <vector>

CTCPIPSvr::CTCPIPSvr(int serverId, uint16_t port, CTCPIPOwner& owner, CTransportOwner& data,
                     CSendProblemSink& problems, CClock& clock,
                     std::function<void(const QByteArray&)> onAddress)
    : m_nServerId(serverId), m_port(port), m_owner(owner), m_data(data), m_problems(problems),
      m_clock(clock), m_onAddress(std::move(onAddress))
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
    if (const QString problem = StartListening(address); !problem.isEmpty())
        return COpenResult::Offline(
            QStringLiteral("Cannot listen on TCP port %1: %2").arg(m_port).arg(problem),
            QStringLiteral("Error"), problem);
    if (m_onAddress)
        m_onAddress(address);
    return COpenResult::Online();
}

uint16_t CTCPIPSvr::ListeningPort() const
{
    return m_listen.IsValid() ? Platform::LocalPort(m_listen.Get()) : 0;
}

QString CTCPIPSvr::StartListening(QByteArray& addressText)
{
    CErrorOr<UniqueFd> socket = Platform::OpenTcpSocket();
    if (socket.IsError()) {
        m_log.WriteError(QStringLiteral("Could not create listen socket"),
                         socket.Error().ErrorNumber());
        return SystemErrorText(socket.Error().ErrorNumber());
    }
    UniqueFd listen = std::move(socket.Value());
    if (const CPlatformError bound = Platform::Bind(listen.Get(), m_listenAddress, m_port, true);
        bound.IsError()) {
        m_log.WriteError(QStringLiteral("bind() error"), bound.ErrorNumber());
        return SystemErrorText(bound.ErrorNumber());
    }
    if (const CPlatformError listening = Platform::Listen(listen.Get()); listening.IsError()) {
        m_log.WriteError(QStringLiteral("listen() error"), listening.ErrorNumber());
        return SystemErrorText(listening.ErrorNumber());
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
    return {};
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
    if (m_connections.Count() >= kMaxClients) {
        // Past the cap a client is closed at once; the log says so once
        // until the server is below the cap again.
        if (!m_bCapTold) {
            m_bCapTold = true;
            m_log.Write(QStringLiteral("Connection from %1 port %2 refused: the server holds %3 "
                                       "clients already; further ones are refused silently")
                            .arg(accepted.peer.DottedAddress())
                            .arg(accepted.peer.port)
                            .arg(kMaxClients));
        }
        return;
    }
    auto connection = std::make_unique<CTcpConnection>();
    connection->peer = accepted.peer;
    connection->acceptedTick = m_clock.TickCount();
    connection->fd = std::move(accepted.fd);
    const int socket = connection->fd.Get();
    connection->readable = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    connection->writer = std::make_unique<CSocketWriter>(
        socket, kOutputBudget + kMaxWrite,
        [this, socket](int) {
            CloseLater(socket); // the client reset the connection
        },
        [this] { OnClientRoom(); });
    if (m_bReadPaused)
        connection->readable->setEnabled(false);
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
    if (!m_buffer)
        m_buffer = std::make_unique<char[]>(kReadSize);
    for (int reads = 0; reads < kReadsPerNotification; ++reads) {
        const Platform::IoResult got =
            Platform::Receive(connection->fd.Get(), m_buffer.get(), kReadSize);
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
        if (!m_data.OnReceive(m_buffer.get(), static_cast<int>(got.count))) {
            // The session is full: every client is held back by TCP until it
            // has room, so none of their bytes is dropped.
            m_bReadPaused = true;
            m_connections.ForEach([](CTcpConnection* each) {
                if (each->readable)
                    each->readable->setEnabled(false);
            });
            return;
        }
        if (got.count < static_cast<size_t>(kReadSize))
            return;
    }
}

void CTCPIPSvr::ResumeReading()
{
    if (!m_bReadPaused)
        return;
    m_bReadPaused = false;
    m_connections.ForEach([](CTcpConnection* each) {
        if (each->readable)
            each->readable->setEnabled(true);
    });
}

size_t CTCPIPSvr::OutputPending() const
{
    size_t least = SIZE_MAX;
    m_connections.ForEach([&](CTcpConnection* connection) {
        if (connection->writer)
            least = std::min(least, connection->writer->Pending());
    });
    return least == SIZE_MAX ? 0 : least;
}

void CTCPIPSvr::WantOutputRoom()
{
    // Asked once until a client has room: asking every writer again on each
    // call would cost a pass over every client per send.
    if (m_bRoomWanted)
        return;
    m_bRoomWanted = true;
    m_connections.ForEach([](CTcpConnection* connection) {
        if (connection->writer)
            connection->writer->WantRoom();
    });
}

void CTCPIPSvr::OnClientRoom()
{
    if (!m_bRoomWanted)
        return;
    m_bRoomWanted = false;
    m_data.OnOutputRoom();
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
    if (m_connections.Count() <= kMaxClients)
        m_bCapTold = false;
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
    if (count <= 0)
        return true;
    const size_t clients = std::max<size_t>(1, m_connections.Count());
    const size_t share = std::max(kMinShare, kOutputBudget / clients);
    struct CDropped
    {
        CTcpConnection* connection;
        size_t missed;
    };
    std::vector<CDropped> dropped;
    m_connections.ForEach([&](CTcpConnection* connection) {
        if (!connection->writer)
            return;
        const size_t pending = connection->writer->Pending();
        // A client whose queue still holds output and would pass its share
        // is not reading: it goes, rather than everyone's memory.
        if (pending > 0 && pending + static_cast<size_t>(count) > share) {
            dropped.push_back({connection, pending + static_cast<size_t>(count)});
            return;
        }
        // A client whose send failed is closing already; no other refusal
        // is possible within its share.
        const CWriteResult result = connection->writer->Write(bytes, static_cast<size_t>(count));
        if (result.kind == CWriteResult::Kind::Full)
            dropped.push_back({connection, pending + static_cast<size_t>(count)});
    });
    if (dropped.empty()) {
        m_bDroppingTold = false;
        return true;
    }
    uint64_t missed = 0;
    constexpr size_t kNamed = 3; // the log names a few; the rest are counted
    for (size_t i = 0; i < dropped.size(); ++i) {
        const CTcpConnection* connection = dropped[i].connection;
        missed += dropped[i].missed;
        if (i < kNamed)
            m_log.Write(QStringLiteral("Client %1 port %2 is not reading: disconnected with %3 "
                                       "bytes not sent to it")
                            .arg(connection->peer.DottedAddress())
                            .arg(connection->peer.port)
                            .arg(dropped[i].missed));
    }
    if (dropped.size() > kNamed)
        m_log.Write(QStringLiteral("%1 more clients were not reading and were disconnected")
                        .arg(dropped.size() - kNamed));
    if (!m_bDroppingTold) {
        m_bDroppingTold = true;
        const CTcpConnection* first = dropped.front().connection;
        m_problems.ReportSendProblem(
            dropped.size() == 1
                ? QStringLiteral("Client %1 port %2 was not reading and was disconnected: %3 "
                                 "bytes were not sent to it.")
                      .arg(first->peer.DottedAddress())
                      .arg(first->peer.port)
                      .arg(missed)
                : QStringLiteral("%1 clients were not reading and were disconnected: %2 bytes "
                                 "were not sent to them.")
                      .arg(dropped.size())
                      .arg(missed));
    }
    for (const CDropped& each : dropped)
        CloseConnection(each.connection);
    return false;
}

CWriteResult CTCPIPSvr::Write(const char* bytes, int count)
{
    if (count > 0 && static_cast<size_t>(count) > kMaxWrite)
        return CWriteResult::Full();
    SendToAll(bytes, count);
    return CWriteResult::Sent();
}
