#include "net/SocketWriter.h"

#include "platform/Socket.h"

CSocketWriter::CSocketWriter(int fd, size_t capacity, std::function<void(int)> onError)
    : m_fd(fd), m_capacity(capacity), m_onError(std::move(onError)),
      m_writable(fd, QSocketNotifier::Write)
{
    m_writable.setEnabled(false);
    connect(&m_writable, &QSocketNotifier::activated, this, [this] { Flush(); });
}

bool CSocketWriter::Write(const char* bytes, size_t count)
{
    if (m_bFailed)
        return true; // the connection is going away; its owner closes it
    if (count == 0)
        return true;
    if (m_pending.isEmpty()) {
        const Platform::IoResult sent = Platform::Send(m_fd, bytes, count);
        if (sent.error) {
            m_bFailed = true;
            if (m_onError)
                m_onError(sent.error);
            return true;
        }
        bytes += sent.count;
        count -= sent.count;
        if (count == 0)
            return true;
    }
    if (Pending() + count > m_capacity)
        return false;
    m_pending.append(bytes, static_cast<qsizetype>(count));
    m_writable.setEnabled(true);
    return true;
}

void CSocketWriter::Flush()
{
    while (!m_pending.isEmpty()) {
        const Platform::IoResult sent =
            Platform::Send(m_fd, m_pending.constData(), static_cast<size_t>(m_pending.size()));
        if (sent.wouldBlock)
            return;
        if (sent.error) {
            m_pending.clear();
            m_writable.setEnabled(false);
            m_bFailed = true;
            if (m_onError)
                m_onError(sent.error);
            return;
        }
        m_pending.remove(0, static_cast<qsizetype>(sent.count));
    }
    m_writable.setEnabled(false);
}
