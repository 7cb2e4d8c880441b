#include "platform/Socket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Platform {
namespace {

sockaddr_in ToSockaddr(const CIpv4Endpoint& endpoint)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = htonl(endpoint.address);
    return address;
}

CErrorOr<UniqueFd> OpenSocket(int type, const char* what)
{
    UniqueFd fd(::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.IsValid()) {
        const int error = errno;
        return CPlatformError(error, QString::fromLatin1(what));
    }
    return fd;
}

} // namespace

QString CIpv4Endpoint::DottedAddress() const
{
    return DottedIpv4(address);
}

std::optional<uint32_t> ParseDottedIpv4(const QByteArray& text)
{
    in_addr address{};
    if (text.isEmpty() || ::inet_pton(AF_INET, text.constData(), &address) != 1)
        return std::nullopt;
    return ntohl(address.s_addr);
}

QString DottedIpv4(uint32_t address)
{
    in_addr in{};
    in.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &in, text, sizeof text);
    return QString::fromLatin1(text);
}

CErrorOr<UniqueFd> OpenTcpSocket()
{
    return OpenSocket(SOCK_STREAM, "cannot create a TCP socket");
}

CErrorOr<UniqueFd> OpenUdpSocket()
{
    return OpenSocket(SOCK_DGRAM, "cannot create a UDP socket");
}

CConnectStart StartConnect(int fd, const CIpv4Endpoint& peer)
{
    const sockaddr_in address = ToSockaddr(peer);
    CConnectStart start;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return start;
    const int error = errno;
    // A connect interrupted by a signal goes on in the background, as one in
    // progress does.
    if (error == EINPROGRESS || error == EINTR)
        start.inProgress = true;
    else
        start.error = CPlatformError(error, QStringLiteral("cannot connect to %1 port %2")
                                                .arg(peer.DottedAddress())
                                                .arg(peer.port));
    return start;
}

int PendingSocketError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

CPlatformError BindAny(int fd, uint16_t port, bool reuseAddress)
{
    return Bind(fd, INADDR_ANY, port, reuseAddress);
}

CPlatformError Bind(int fd, uint32_t localAddress, uint16_t port, bool reuseAddress)
{
    if (reuseAddress) {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    const sockaddr_in address = ToSockaddr({localAddress, port});
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        return CPlatformError(error, QStringLiteral("cannot bind port %1").arg(port));
    }
    return {};
}

CPlatformError Listen(int fd)
{
    if (::listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        return CPlatformError(error, QStringLiteral("cannot listen"));
    }
    return {};
}

uint16_t LocalPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

CAccepted Accept(int listenFd)
{
    CAccepted accepted;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const int fd = RetryOnEintr([&] {
        return ::accept4(listenFd, reinterpret_cast<sockaddr*>(&address), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
    });
    if (fd < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            accepted.wouldBlock = true;
        else
            accepted.error = errno;
        return accepted;
    }
    accepted.fd.Reset(fd);
    accepted.peer = {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
    return accepted;
}

IoResult Receive(int fd, void* buffer, size_t size)
{
    return IoResultOf(RetryOnEintr([&] { return ::recv(fd, buffer, size, 0); }));
}

IoResult Send(int fd, const void* bytes, size_t count)
{
    return IoResultOf(RetryOnEintr([&] { return ::send(fd, bytes, count, MSG_NOSIGNAL); }));
}

CDatagram ReceiveDatagram(int fd, void* buffer, size_t size)
{
    CDatagram datagram;
    sockaddr_in from{};
    iovec io{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(uint32_t))] = {};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // MSG_TRUNC returns the datagram's whole length, so one longer than the
    // buffer is seen as such instead of being cut silently.
    const ssize_t got = RetryOnEintr([&] { return ::recvmsg(fd, &message, MSG_TRUNC); });
    if (got < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            datagram.wouldBlock = true;
        else
            datagram.error = errno;
        return datagram;
    }
    datagram.truncated = static_cast<size_t>(got) > size;
    datagram.count = datagram.truncated ? size : static_cast<size_t>(got);
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SO_RXQ_OVFL) {
            std::memcpy(&datagram.dropCounter, CMSG_DATA(header), sizeof datagram.dropCounter);
            datagram.hasDropCounter = true;
        }
    }
    return datagram;
}

CPlatformError CountDroppedDatagrams(int fd)
{
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) != 0)
        return CPlatformError(errno, QStringLiteral("setsockopt(SO_RXQ_OVFL)"));
    return {};
}

IoResult SendDatagram(int fd, const void* bytes, size_t count, const CIpv4Endpoint& to)
{
    const sockaddr_in address = ToSockaddr(to);
    return IoResultOf(RetryOnEintr([&] {
        return ::sendto(fd, bytes, count, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                        sizeof address);
    }));
}

void ShutdownSending(int fd)
{
    ::shutdown(fd, SHUT_WR);
}

void ShutdownBoth(int fd)
{
    ::shutdown(fd, SHUT_RDWR);
}

QStringList HostIpv4Addresses()
{
    ifaddrs* found = nullptr;
    if (::getifaddrs(&found) != 0)
        return {};
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> list(found, &::freeifaddrs);
    QStringList addresses;
    QStringList loopback;
    for (const ifaddrs* a = list.get(); a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP))
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        const QString text = DottedIpv4(ntohl(in->sin_addr.s_addr));
        QStringList& into = (a->ifa_flags & IFF_LOOPBACK) ? loopback : addresses;
        if (!into.contains(text))
            into.append(text);
    }
    return addresses.isEmpty() ? loopback : addresses;
}

uint64_t RaiseOpenFileLimit(uint64_t wanted)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    const rlim_t target = std::min<rlim_t>(limit.rlim_max, static_cast<rlim_t>(wanted));
    if (limit.rlim_cur < target) {
        limit.rlim_cur = target;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<uint64_t>(limit.rlim_cur);
}

} // namespace Platform
