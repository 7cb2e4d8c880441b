#include "net/SocketWriter.h"

#include "platform/Socket.h"

#include <algorithm>

CSocketWriter::CSocketWriter(int fd, size_t capacity, std::function<void(int)> onError,
                             std::function<void()> onRoom)
    : m_fd(fd), m_queue(capacity), m_onError(std::move(onError)), m_onRoom(std::move(onRoom)),
      m_writable(fd, QSocketNotifier::Write)
{
    m_writable.setEnabled(false);
    connect(&m_writable, &QSocketNotifier::activated, this, [this] { Flush(); });
}

size_t CSocketWriter::LowWater() const
{
    return std::min(kLowWater, m_queue.Capacity() / 4);
}

CWriteResult CSocketWriter::Write(const char* bytes, size_t count)
{
    if (m_error != 0)
        return CWriteResult::Failed(m_error);
    if (count == 0)
        return CWriteResult::Sent();
    // Decided before anything goes out: a refused write sends nothing.
    if (!m_queue.Fits(count)) {
        m_bRoomWanted = true;
        return CWriteResult::Full();
    }
    if (m_queue.IsEmpty()) {
        const Platform::IoResult sent = Platform::Send(m_fd, bytes, count);
        if (sent.error) {
            Fail(sent.error);
            return CWriteResult::Failed(sent.error);
        }
        bytes += sent.count;
        count -= sent.count;
        if (count == 0)
            return CWriteResult::Sent();
    }
    m_queue.Append(bytes, count);
    m_writable.setEnabled(true);
    return CWriteResult::Sent();
}

void CSocketWriter::WantRoom()
{
    m_bRoomWanted = true;
    if (m_queue.Size() <= LowWater())
        PostRoom();
}

void CSocketWriter::PostRoom()
{
    m_bRoomWanted = false;
    // One notice in flight at a time: asking again before it arrived must
    // not pile notices up in the event queue.
    if (!m_onRoom || m_bRoomPosted)
        return;
    m_bRoomPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bRoomPosted = false;
            m_onRoom();
        },
        Qt::QueuedConnection);
}

void CSocketWriter::Fail(int error)
{
    m_error = error;
    m_queue.Clear();
    m_writable.setEnabled(false);
    if (m_onError)
        m_onError(error);
    // One waiting for room learns of the failure from its next write.
    if (m_bRoomWanted)
        PostRoom();
}

void CSocketWriter::Flush()
{
    while (!m_queue.IsEmpty()) {
        const Platform::IoResult sent = Platform::Send(m_fd, m_queue.Data(), m_queue.Size());
        if (sent.wouldBlock)
            break;
        if (sent.error) {
            Fail(sent.error);
            return;
        }
        m_queue.Consume(sent.count);
    }
    if (m_queue.IsEmpty())
        m_writable.setEnabled(false);
    if (m_bRoomWanted && m_queue.Size() <= LowWater()) {
        m_bRoomWanted = false;
        if (m_onRoom)
            m_onRoom();
    }
}
