#pragma once
#include "platform/Socket.h"
#include "platform/UniqueFd.h"

#include <QSocketNotifier>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

class CSocketWriter;

// One accepted client of a TCP server.
struct CTcpConnection
{
    UniqueFd fd;
    Platform::CIpv4Endpoint peer;
    uint32_t acceptedTick = 0;
    uint32_t bytesReceived = 0;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<CSocketWriter> writer;

    ~CTcpConnection();
};

// A TCP server's connections in order of acceptance, found by socket in
// constant time. Owns the records.
class CReqList
{
public:
    CTcpConnection* Add(std::unique_ptr<CTcpConnection> connection);
    CTcpConnection* Find(int socket) const;
    // Frees the record (its socket is closed).
    void Remove(CTcpConnection* connection);
    void RemoveAll();
    size_t Count() const { return m_list.size(); }

    // In order of acceptance.
    template <typename Fn> void ForEach(Fn&& fn) const
    {
        for (const auto& connection : m_list)
            fn(connection.get());
    }

private:
    std::list<std::unique_ptr<CTcpConnection>> m_list;
    std::unordered_map<int, std::list<std::unique_ptr<CTcpConnection>>::iterator> m_bySocket;
};
