#pragma once
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

// What a session received and has not shown yet, between its transport and
// its view. Bounded: a stream source (serial reader, TCP) is told to stop
// reading once it is full and the session resumes it when the view has
// caught up, so nothing it could have held back is lost; datagrams that
// find it full are dropped and counted.
//
// Each chunk keeps the tick at which it arrived, so that the view marks
// pauses where they happened even when it shows the bytes later. Chunks
// from the same tick (or any, while time stamps are off) are joined.
//
// Writers append from any thread; Take runs on the user-interface thread.
// The first append that finds no delivery pending calls `schedule` (with no
// lock held), so a flood leaves at most one delivery pending; so does the
// append that fills it, pending or not.
class CDeliveryBacklog
{
public:
    static constexpr size_t kCapacity = 4 * 1024 * 1024;
    static constexpr size_t kChunkOverhead = 64; // counted per chunk against the capacity
    static constexpr qsizetype kMaxChunk = 64 * 1024;

    struct CChunk
    {
        QByteArray bytes;
        uint32_t tick = 0;                // when its first byte arrived
        uint64_t lostBefore = 0;          // bytes dropped just before it
        uint64_t lostDatagramsBefore = 0; // datagrams the system dropped before it
    };
    struct CTaken
    {
        std::vector<CChunk> chunks;
        uint64_t lostAtEnd = 0; // dropped after the last chunk
        uint64_t lostDatagramsAtEnd = 0;
        bool bMore = false;   // more waits: deliver again soon
        bool bResume = false; // a paused source may read again
    };

    explicit CDeliveryBacklog(std::function<void()> schedule, size_t capacity = kCapacity);
    CDeliveryBacklog(const CDeliveryBacklog&) = delete;
    CDeliveryBacklog& operator=(const CDeliveryBacklog&) = delete;

    // Stores all the bytes (a source has read them already); false when the
    // backlog is full now and the source should stop reading.
    bool AppendStream(const char* bytes, int count, uint32_t tick, bool joinTicks);
    // Stores the datagram when it fits, else counts it lost.
    void AppendDatagram(const char* bytes, int count, uint32_t tick, bool joinTicks);
    // Datagrams the system dropped before they reached us.
    void CountLostDatagrams(uint64_t count);
    bool HasRoom() const;

    // Takes whole chunks, oldest first, until at least `maxBytes` are taken
    // or none is left. With `comeBack`, a take that found bytes leaves the
    // delivery marked pending: the caller promises another Take (at its next
    // display frame), so writers meanwhile wake nobody. A take that finds
    // nothing always ends the pending mark.
    CTaken Take(size_t maxBytes, bool comeBack = false);

private:
    void Store(const char* bytes, int count, uint32_t tick, bool joinTicks);
    bool MarkPending();

    std::function<void()> m_schedule;
    const size_t m_capacity;
    mutable std::mutex m_lock; // guards everything below
    std::deque<CChunk> m_chunks;
    size_t m_used = 0;
    uint64_t m_lost = 0;          // bytes dropped since the last chunk was stored
    uint64_t m_lostDatagrams = 0; // datagrams the system dropped since then
    bool m_bPending = false;
    bool m_bSourcePaused = false;
};
