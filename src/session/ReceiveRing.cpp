#include "session/ReceiveRing.h"

#include <algorithm>
#include <cstring>

CReceiveRing::CReceiveRing(std::function<void()> schedule)
    : m_schedule(std::move(schedule)), m_ring(std::make_unique<uint8_t[]>(kSize))
{
    std::memset(m_ring.get(), 0, kSize);
}

void CReceiveRing::Append(const char* bytes, int count)
{
    if (count <= 0)
        return;
    bool schedule = false;
    {
        std::lock_guard lock(m_lock);
        m_total += static_cast<uint64_t>(count);
        m_ringCount = std::min(kSize, m_ringCount + std::min(count, kSize));
        if (count > kSize) {
            // Only the last ring's length survives; the write position still
            // moves on by the whole count.
            m_ringPos = static_cast<int>((m_ringPos + (count - kSize)) % kSize);
            bytes += count - kSize;
            count = kSize;
        }
        const int first = std::min(count, kSize - m_ringPos);
        std::memcpy(m_ring.get() + m_ringPos, bytes, static_cast<size_t>(first));
        std::memcpy(m_ring.get(), bytes + first, static_cast<size_t>(count - first));
        m_ringPos = (m_ringPos + count) % kSize;
        schedule = !m_bPending;
        m_bPending = true;
    }
    if (schedule && m_schedule)
        m_schedule();
}

CReceiveRing::CDelivery CReceiveRing::TakeNew()
{
    CDelivery delivery;
    std::lock_guard lock(m_lock);
    m_bPending = false;
    const uint64_t oldest = m_total - static_cast<uint64_t>(m_ringCount);
    const uint64_t from = std::max(m_delivered, oldest);
    delivery.lost = from - m_delivered;
    const int count = static_cast<int>(m_total - from);
    delivery.bytes = CopyLast(count);
    m_delivered = m_total;
    return delivery;
}

// The last `count` bytes stored, oldest first: the ring's two spans copied
// whole. Called with the lock held.
QByteArray CReceiveRing::CopyLast(int count) const
{
    QByteArray bytes(count, Qt::Uninitialized);
    int index = m_ringPos - count;
    if (index < 0)
        index += kSize;
    const int first = std::min(count, kSize - index);
    std::memcpy(bytes.data(), m_ring.get() + index, static_cast<size_t>(first));
    std::memcpy(bytes.data() + first, m_ring.get(), static_cast<size_t>(count - first));
    return bytes;
}

int CReceiveRing::CopyFromRing(char* dest, int start, int count) const
{
    std::lock_guard lock(m_lock);
    int index = start;
    for (int i = 0; i < count; ++i, ++index) {
        if (index >= kSize || index < 0)
            index = 0;
        dest[i] = static_cast<char>(m_ring[index]);
    }
    return count;
}

QByteArray CReceiveRing::Contents() const
{
    std::lock_guard lock(m_lock);
    return CopyLast(m_ringCount);
}

int CReceiveRing::Pos() const
{
    std::lock_guard lock(m_lock);
    return m_ringPos;
}

int CReceiveRing::Count() const
{
    std::lock_guard lock(m_lock);
    return m_ringCount;
}
