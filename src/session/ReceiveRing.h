#pragma once
#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// A session's receive ring: the last 4096 bytes received (and echoed), with
// coalesced delivery to the view. Writers append from any thread; each append
// that finds no delivery pending asks `schedule` (called after the ring's lock
// is released) to arrange one, so a flood leaves at most one delivery pending.
// The delivery (TakeNew, user-interface thread) hands over everything new in
// one step; when the view fell more than a ring behind it gets the count of
// the bytes that were overwritten first, never the overwritten bytes.
class CReceiveRing
{
public:
    static constexpr int kSize = 4096;

    struct CDelivery
    {
        QByteArray bytes;  // everything new still in the ring, oldest first
        uint64_t lost = 0; // bytes overwritten before they could be taken
    };

    explicit CReceiveRing(std::function<void()> schedule);
    CReceiveRing(const CReceiveRing&) = delete;
    CReceiveRing& operator=(const CReceiveRing&) = delete;

    // Any thread.
    void Append(const char* bytes, int count);
    // Clears the pending mark; the caller hands the result to the view.
    CDelivery TakeNew();

    // Copies `count` bytes from `start`, wrapping at the ring's end.
    int CopyFromRing(char* dest, int start, int count) const;
    // The whole ring, oldest byte first (the display rebuild).
    QByteArray Contents() const;
    int Pos() const;
    int Count() const;

private:
    QByteArray CopyLast(int count) const;

    std::function<void()> m_schedule;
    mutable std::mutex m_lock; // guards everything below
    std::unique_ptr<uint8_t[]> m_ring;
    int m_ringPos = 0;
    int m_ringCount = 0;
    uint64_t m_total = 0;     // bytes ever stored
    uint64_t m_delivered = 0; // bytes handed to the view (or counted lost)
    bool m_bPending = false;
};
