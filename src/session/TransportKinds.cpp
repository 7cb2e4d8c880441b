#include "session/TransportKinds.h"

#include "net/NetTransports.h"
#include "serial/SerialTransport.h"
#include "session/CommInfo.h"

#include <iterator>

namespace {

// Indexed by connection type. A kind whose transport is not part of this
// build has no maker.
const CTransportKind kKinds[] = {
    /* ConnSerial    */ {CSerialTransport::Make, "Error creating port object!", true},
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
