#include "session/TransportKinds.h"

#include "base/CommInfo.h"
#include "net/TCPIPSvr.h"
#include "net/TermSocket.h"
#include "net/UDPSvr.h"
#include "net/UdpClient.h"
#include "remote/RemoteSerialTransport.h"
#include "serial/PortNames.h"
#include "serial/SerialTransport.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <iterator>

namespace {

// The stored port is a 32-bit value; the low 16 bits name the port, as the
// conversion to a port number always did.
uint16_t PortOf(const CTrelliumDoc& doc)
{
    return static_cast<uint16_t>(doc.Info().m_nNetworkPort & 0xFFFF);
}

std::unique_ptr<CTransport> MakeSerial(CTrelliumDoc& doc)
{
    // A COM number mapped to a port on another machine is reached over the
    // network, as a serial port all the same.
    const QString mapped =
        doc.Info().m_nPortId >= 0 ? PortNames::DevicePath(doc.Info().m_nPortId + 1) : QString();
    if (PortNames::IsRemote(mapped))
        return std::make_unique<CRemoteSerialTransport>(doc, doc.Pipeline(), doc.Info(), mapped,
                                                        doc.Context().RemoteTimeoutMs());
    return std::make_unique<CSerialTransport>(doc, doc.Pipeline(), doc.Info());
}

std::unique_ptr<CTransport> MakeTcpClient(CTrelliumDoc& doc)
{
    return std::make_unique<CTermSocket>(doc, doc.Pipeline(), doc.Info().m_strAddress, PortOf(doc));
}

std::unique_ptr<CTransport> MakeTcpServer(CTrelliumDoc& doc)
{
    auto server = std::make_unique<CTCPIPSvr>(
        0, PortOf(doc), doc, doc.Pipeline(), doc.Pipeline(), doc.Context().Clock(),
        [&doc](const QByteArray& address) { doc.EditInfo()->m_strAddress = address; });
    server->Log().SetWindow(doc.ServerLogWindow());
    server->SetListenAddress(doc.Context().ListenAddress());
    return server;
}

std::unique_ptr<CTransport> MakeUdpClient(CTrelliumDoc& doc)
{
    return std::make_unique<CUdpClient>(doc.Info().m_strAddress, PortOf(doc));
}

std::unique_ptr<CTransport> MakeUdpServer(CTrelliumDoc& doc)
{
    return std::make_unique<CUDPSvr>(
        0, PortOf(doc), doc.Pipeline(),
        [&doc](const QByteArray& address) { doc.EditInfo()->m_strAddress = address; });
}

// Indexed by connection type. A kind whose transport is not part of this
// build has no maker.
const CTransportKind kKinds[] = {
    /* ConnSerial    */ {MakeSerial, "Error creating port object!", true},
    /* ConnTcpClient */ {MakeTcpClient, nullptr, false},
    /* ConnTcpServer */ {MakeTcpServer, nullptr, false},
    /* ConnUdpClient */ {MakeUdpClient, nullptr, false},
    /* ConnUdpServer */ {MakeUdpServer, nullptr, false},
    /* ConnMerge     */ {nullptr, nullptr, true},
};

} // namespace

const CTransportKind& TransportKindOf(int connectionType)
{
    if (connectionType < 0 || connectionType >= static_cast<int>(std::size(kKinds)))
        return kKinds[ConnSerial];
    return kKinds[connectionType];
}
