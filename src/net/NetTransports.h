#pragma once
#include <memory>

class CTransport;
class CTrelliumDoc;

// The network transports of a session, made from its settings (one line
// each in the transport table).
std::unique_ptr<CTransport> MakeTcpClient(CTrelliumDoc& doc);
std::unique_ptr<CTransport> MakeTcpServer(CTrelliumDoc& doc);
std::unique_ptr<CTransport> MakeUdpClient(CTrelliumDoc& doc);
std::unique_ptr<CTransport> MakeUdpServer(CTrelliumDoc& doc);
