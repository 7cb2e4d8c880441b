#include "net/ReqList.h"

#include "net/SocketWriter.h"

CTcpConnection::~CTcpConnection() = default;

CTcpConnection* CReqList::Add(std::unique_ptr<CTcpConnection> connection)
{
    const int socket = connection->fd.Get();
    m_list.push_back(std::move(connection));
    auto it = std::prev(m_list.end());
    m_bySocket[socket] = it;
    return it->get();
}

CTcpConnection* CReqList::Find(int socket) const
{
    const auto it = m_bySocket.find(socket);
    return it == m_bySocket.end() ? nullptr : it->second->get();
}

void CReqList::Remove(CTcpConnection* connection)
{
    const auto it = m_bySocket.find(connection->fd.Get());
    if (it == m_bySocket.end() || it->second->get() != connection)
        return;
    const auto node = it->second;
    m_bySocket.erase(it);
    m_list.erase(node);
}

void CReqList::RemoveAll()
{
    m_bySocket.clear();
    m_list.clear();
}
