#pragma once
#include <QByteArray>
#include <cstdint>
#include <memory>
#include <mutex>

// A session's receive ring: the last 4096 bytes received (and echoed), what
// a rebuild of the display (a change of mode, Clear) shows again. Delivery to
// the view goes through the session's backlog, not through the ring.
// Writers append from any thread.
class CReceiveRing
{
public:
    static constexpr int kSize = 4096;

    CReceiveRing();
    CReceiveRing(const CReceiveRing&) = delete;
    CReceiveRing& operator=(const CReceiveRing&) = delete;

    // Any thread.
    void Append(const char* bytes, int count);

    // Copies `count` bytes from `start`, wrapping at the ring's end.
    int CopyFromRing(char* dest, int start, int count) const;
    // The whole ring, oldest byte first (the display rebuild).
    QByteArray Contents() const;
    int Pos() const;
    int Count() const;

private:
    mutable std::mutex m_lock; // guards everything below
    std::unique_ptr<uint8_t[]> m_ring;
    int m_ringPos = 0;
    int m_ringCount = 0;
};
