#pragma once
#include <cstdint>

struct CTcpConnection;

// Implemented by the session that owns a TCP server: called on the
// user-interface thread for each connection event.
class CTCPIPOwner
{
public:
    virtual void OnTcpData(int serverId, CTcpConnection* connection, const char* bytes, int count) = 0;
    virtual void OnTcpAccept(int serverId, CTcpConnection* connection) = 0;
    virtual void OnTcpClose(int serverId, CTcpConnection* connection) = 0;

protected:
    ~CTCPIPOwner() = default;
};

// Implemented by the session that owns a UDP server.
class CUDPOwner
{
public:
    virtual void OnUdpData(int serverId, const char* bytes, int count) = 0;

protected:
    ~CUDPOwner() = default;
};
