#include "session/ReceiveRing.h"

#include <algorithm>
#include <cstring>

CReceiveRing::CReceiveRing() : m_ring(std::make_unique<uint8_t[]>(kSize))
{
    std::memset(m_ring.get(), 0, kSize);
}

void CReceiveRing::Append(const char* bytes, int count)
{
    if (count <= 0)
        return;
    {
        std::lock_guard lock(m_lock);
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
    }
}

QByteArray CReceiveRing::Contents() const
{
    std::lock_guard lock(m_lock);
    const int count = m_ringCount;
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
