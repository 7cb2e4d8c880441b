#pragma once
#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <cstddef>
#include <functional>

// The sending side of one connected stream socket: what the socket takes at
// once goes out at once, the rest waits in a bounded queue that drains as
// the peer reads (a write notifier is on only while output waits). A peer
// that does not read never blocks the caller; once the queue is full, Write
// refuses the bytes whole instead of dropping part of them. User-interface
// thread only.
class CSocketWriter : public QObject
{
    Q_OBJECT
public:
    // `fd` is not owned and must outlive the writer. `onError` is called
    // once when a send fails (the peer reset the connection).
    CSocketWriter(int fd, size_t capacity, std::function<void(int error)> onError);

    // False when the bytes do not fit in the queue; nothing of them is sent.
    bool Write(const char* bytes, size_t count);
    size_t Pending() const { return static_cast<size_t>(m_pending.size()); }
    size_t Capacity() const { return m_capacity; }

private:
    void Flush();

    int m_fd;
    size_t m_capacity;
    std::function<void(int)> m_onError;
    QByteArray m_pending;
    QSocketNotifier m_writable;
    bool m_bFailed = false;
};
