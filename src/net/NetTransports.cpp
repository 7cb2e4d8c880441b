#include "net/NetTransports.h"

#include "net/TCPIPSvr.h"
#include "net/TermSocket.h"
#include "net/UDPSvr.h"
#include "net/UdpClient.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

namespace {

// The stored port is a 32-bit value; the low 16 bits name the port, as the
// conversion to a port number always did.
uint16_t PortOf(const CTrelliumDoc& doc)
{
    return static_cast<uint16_t>(doc.Info().m_nNetworkPort & 0xFFFF);
}

} // namespace

std::unique_ptr<CTransport> MakeTcpClient(CTrelliumDoc& doc)
{
    return std::make_unique<CTermSocket>(doc, doc, doc.Info().m_strAddress, PortOf(doc));
}

std::unique_ptr<CTransport> MakeTcpServer(CTrelliumDoc& doc)
{
    auto server = std::make_unique<CTCPIPSvr>(
        0, PortOf(doc), doc, doc, doc, doc.Context().Clock(),
        [&doc](const QByteArray& address) { doc.EditInfo()->m_strAddress = address; });
    server->Log().SetWindow(doc.ServerLogWindow());
    return server;
}

std::unique_ptr<CTransport> MakeUdpClient(CTrelliumDoc& doc)
{
    return std::make_unique<CUdpClient>(doc.Info().m_strAddress, PortOf(doc));
}

std::unique_ptr<CTransport> MakeUdpServer(CTrelliumDoc& doc)
{
    return std::make_unique<CUDPSvr>(0, PortOf(doc), doc, [&doc](const QByteArray& address) {
        doc.EditInfo()->m_strAddress = address;
    });
}
