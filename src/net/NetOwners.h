#pragma once
#include <QString>
#include <cstdint>

struct CTcpConnection;

// Implemented by the session that owns a TCP server: called on the
// user-interface thread for each connection event.
class CTCPIPOwner
{
public:
    virtual void OnTcpAccept(int serverId, CTcpConnection* connection) = 0;
    virtual void OnTcpClose(int serverId, CTcpConnection* connection) = 0;

protected:
    ~CTCPIPOwner() = default;
};

// Implemented by the session that owns a TCP client socket; user-interface
// thread.
class CTermSocketOwner
{
public:
    // The connection attempt ended: 0 connected, otherwise the errno.
    virtual void OnClientConnect(int error) = 0;
    // The peer closed the connection (or it broke); the socket is finished.
    virtual void OnClientClosed() = 0;

protected:
    ~CTermSocketOwner() = default;
};

// Where a TCP server's log lines go as they are written (the connections
// window, or standard error in the companion).
class CServerLogSink
{
public:
    virtual void AppendLog(const QString& line) = 0;

protected:
    ~CServerLogSink() = default;
};

// Told when bytes could not be sent because a peer does not read and its
// output queue is full.
class CSendProblemSink
{
public:
    virtual void ReportSendProblem(const QString& message) = 0;

protected:
    ~CSendProblemSink() = default;
};
