#pragma once
#include "base/OutputQueue.h"
#include "base/Transport.h"

#include <QObject>
#include <QSocketNotifier>
#include <cstddef>
#include <functional>

// The sending side of one connected stream socket: what the socket takes at
// once goes out at once, the rest waits in a bounded queue that drains as
// the peer reads (a write notifier is on only while output waits). A write
// is queued whole or refused whole: Full when the queue lacks room, Failed
// with the errno once a send failed (the peer reset the connection). Never
// waits. User-interface thread only.
class CSocketWriter : public QObject
{
    Q_OBJECT
public:
    // `fd` is not owned and must outlive the writer. `onError` is called
    // once when a send fails; `onRoom` once the queue drained to its low
    // water mark after a refusal as full or WantRoom.
    CSocketWriter(int fd, size_t capacity, std::function<void(int error)> onError,
                  std::function<void()> onRoom = {});

    // The level at or below which waiting output counts as having room.
    static constexpr size_t kLowWater = CTransport::kOutputLowWater;

    CWriteResult Write(const char* bytes, size_t count);
    size_t Pending() const { return m_queue.Size(); }
    void WantRoom();

private:
    void Flush();
    void Fail(int error);
    void PostRoom();
    size_t LowWater() const;

    int m_fd;
    COutputQueue m_queue;
    std::function<void(int)> m_onError;
    std::function<void()> m_onRoom;
    QSocketNotifier m_writable;
    int m_error = 0;
    bool m_bRoomWanted = false;
    bool m_bRoomPosted = false;
};
