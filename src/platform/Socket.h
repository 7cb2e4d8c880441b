#pragma once
#include "platform/Io.h"
#include "platform/PlatformError.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// IPv4 sockets for the network transports: every socket is non-blocking and
// closed on exec; calls are wrapped once (EINTR retried, EAGAIN read as
// "nothing now"); failures come back as error values naming the call.
namespace Platform {

struct CIpv4Endpoint
{
    uint32_t address = 0; // host byte order
    uint16_t port = 0;

    QString DottedAddress() const;
};

// A dotted IPv4 address ("127.0.0.1"); nothing for any other text.
std::optional<uint32_t> ParseDottedIpv4(const QByteArray& text);
QString DottedIpv4(uint32_t address);

CErrorOr<UniqueFd> OpenTcpSocket();
CErrorOr<UniqueFd> OpenUdpSocket();

struct CConnectStart
{
    bool inProgress = false; // the connection completes later (EINPROGRESS)
    CPlatformError error;
};
CConnectStart StartConnect(int fd, const CIpv4Endpoint& peer);
// The outcome of a connection that was in progress (SO_ERROR); 0 connected.
int PendingSocketError(int fd);

// Binds to any local address on `port` (0: a port the system picks).
// `reuseAddress` lets a listening server restart at once on its port.
CPlatformError BindAny(int fd, uint16_t port, bool reuseAddress);
// The same on one local address (host byte order; 0 is any).
CPlatformError Bind(int fd, uint32_t localAddress, uint16_t port, bool reuseAddress);
CPlatformError Listen(int fd);
uint16_t LocalPort(int fd);

struct CAccepted
{
    UniqueFd fd;
    CIpv4Endpoint peer;
    bool wouldBlock = false;
    int error = 0;
};
CAccepted Accept(int listenFd);

// One recv / send; a send never raises SIGPIPE.
IoResult Receive(int fd, void* buffer, size_t size);
IoResult Send(int fd, const void* bytes, size_t count);

struct CDatagram
{
    size_t count = 0;
    bool truncated = false; // the datagram was longer than the buffer
    bool wouldBlock = false;
    int error = 0;
    // Datagrams the system dropped on this socket since counting began
    // (CountDroppedDatagrams), when the system said.
    uint32_t dropCounter = 0;
    bool hasDropCounter = false;
};
CDatagram ReceiveDatagram(int fd, void* buffer, size_t size);
// Asks the system to report, with each datagram, how many it dropped for
// want of buffer space.
CPlatformError CountDroppedDatagrams(int fd);
IoResult SendDatagram(int fd, const void* bytes, size_t count, const CIpv4Endpoint& to);

void ShutdownSending(int fd);
void ShutdownBoth(int fd);

// The local host's IPv4 addresses: those of its interfaces that are up, in
// the system's order of interfaces, each once; the loopback addresses only
// when there is no other. Read from the interfaces themselves, so it never
// waits on a name lookup.
QStringList HostIpv4Addresses();

// Raises the soft limit of open files to `wanted` (never past the hard
// limit, never lowering it), so that a server can hold its clients. Returns
// the limit now in force.
uint64_t RaiseOpenFileLimit(uint64_t wanted);

} // namespace Platform
