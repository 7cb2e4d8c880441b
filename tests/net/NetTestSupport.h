#pragma once
// Peers for the network tests: plain non-blocking sockets on 127.0.0.1 with
// ephemeral ports, driven while the test spins the event loop.
#include "SessionTestSupport.h"
#include "platform/Socket.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

inline constexpr uint32_t kLoopback = 0x7F000001;

// A listening TCP socket on an ephemeral loopback port.
inline UniqueFd ListenOnLoopback(uint16_t& port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(kLoopback);
    EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(fd.Get(), 16), 0);
    port = Platform::LocalPort(fd.Get());
    return fd;
}

// A connected TCP client of a server on the loopback.
inline UniqueFd ConnectTo(uint16_t port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    Platform::StartConnect(fd.Get(), {kLoopback, port});
    return fd;
}

inline UniqueFd AcceptOne(int listenFd)
{
    UniqueFd accepted;
    SpinUntil([&] {
        Platform::CAccepted a = Platform::Accept(listenFd);
        if (a.fd.IsValid())
            accepted = std::move(a.fd);
        return accepted.IsValid();
    });
    return accepted;
}

inline void SendAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    SpinUntil([&] {
        const Platform::IoResult sent =
            Platform::Send(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        done += static_cast<qsizetype>(sent.count);
        return done == bytes.size() || sent.error;
    });
    EXPECT_EQ(done, bytes.size());
}

// Reads until `count` bytes came (or the deadline passed).
inline QByteArray ReceiveBytes(int fd, qsizetype count)
{
    QByteArray got;
    SpinUntil([&] {
        char buffer[4096];
        const Platform::IoResult r = Platform::Receive(fd, buffer, sizeof buffer);
        got.append(buffer, static_cast<qsizetype>(r.count));
        return got.size() >= count;
    });
    return got;
}

inline UniqueFd UdpSocketOnLoopback(uint16_t& port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(kLoopback);
    EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    port = Platform::LocalPort(fd.Get());
    return fd;
}
