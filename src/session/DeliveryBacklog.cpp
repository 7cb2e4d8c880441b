#include "session/DeliveryBacklog.h"

CDeliveryBacklog::CDeliveryBacklog(std::function<void()> schedule, size_t capacity)
    : m_schedule(std::move(schedule)), m_capacity(capacity)
{
}

void CDeliveryBacklog::Store(const char* bytes, int count, uint32_t tick, bool joinTicks)
{
    if (!m_chunks.empty() && m_lost == 0 && m_lostDatagrams == 0) {
        CChunk& last = m_chunks.back();
        if ((joinTicks || last.tick == tick) && last.bytes.size() + count <= kMaxChunk) {
            last.bytes.append(bytes, count);
            m_used += static_cast<size_t>(count);
            return;
        }
    }
    m_chunks.push_back({QByteArray(bytes, count), tick, m_lost, m_lostDatagrams});
    m_lost = 0;
    m_lostDatagrams = 0;
    m_used += static_cast<size_t>(count) + kChunkOverhead;
}

bool CDeliveryBacklog::MarkPending()
{
    const bool schedule = !m_bPending;
    m_bPending = true;
    return schedule;
}

bool CDeliveryBacklog::AppendStream(const char* bytes, int count, uint32_t tick, bool joinTicks)
{
    if (count <= 0)
        return true;
    bool schedule = false;
    bool room = true;
    {
        std::lock_guard lock(m_lock);
        Store(bytes, count, tick, joinTicks);
        schedule = MarkPending();
        room = m_used < m_capacity;
        if (!room && !m_bSourcePaused) {
            // The view must not wait for its next frame to free room: the
            // source is held back until it has.
            m_bSourcePaused = true;
            schedule = true;
        }
    }
    if (schedule && m_schedule)
        m_schedule();
    return room;
}

void CDeliveryBacklog::AppendDatagram(const char* bytes, int count, uint32_t tick, bool joinTicks)
{
    if (count <= 0)
        return;
    bool schedule = false;
    {
        std::lock_guard lock(m_lock);
        if (m_used + static_cast<size_t>(count) + kChunkOverhead > m_capacity)
            m_lost += static_cast<uint64_t>(count);
        else
            Store(bytes, count, tick, joinTicks);
        schedule = MarkPending();
    }
    if (schedule && m_schedule)
        m_schedule();
}

void CDeliveryBacklog::CountLostDatagrams(uint64_t count)
{
    if (count == 0)
        return;
    bool schedule = false;
    {
        std::lock_guard lock(m_lock);
        m_lostDatagrams += count;
        schedule = MarkPending();
    }
    if (schedule && m_schedule)
        m_schedule();
}

bool CDeliveryBacklog::HasRoom() const
{
    std::lock_guard lock(m_lock);
    return m_used < m_capacity;
}

CDeliveryBacklog::CTaken CDeliveryBacklog::Take(size_t maxBytes, bool comeBack)
{
    CTaken taken;
    std::lock_guard lock(m_lock);
    size_t bytes = 0;
    while (!m_chunks.empty() && bytes < maxBytes) {
        CChunk& chunk = m_chunks.front();
        bytes += static_cast<size_t>(chunk.bytes.size());
        m_used -= static_cast<size_t>(chunk.bytes.size()) + kChunkOverhead;
        taken.chunks.push_back(std::move(chunk));
        m_chunks.pop_front();
    }
    if (m_chunks.empty()) {
        taken.lostAtEnd = m_lost;
        taken.lostDatagramsAtEnd = m_lostDatagrams;
        m_lost = 0;
        m_lostDatagrams = 0;
    }
    taken.bMore = !m_chunks.empty();
    const bool found = !taken.chunks.empty() || taken.lostAtEnd > 0 || taken.lostDatagramsAtEnd > 0;
    m_bPending = taken.bMore || (comeBack && found);
    // Reading resumes once half the backlog is free, not after every chunk:
    // a source then reads in long runs instead of a read per delivery.
    if (m_bSourcePaused && m_used <= m_capacity / 2) {
        m_bSourcePaused = false;
        taken.bResume = true;
    }
    return taken;
}
