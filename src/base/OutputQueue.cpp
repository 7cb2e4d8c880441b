#include "base/OutputQueue.h"

#include <algorithm>

void COutputQueue::Append(const char* bytes, size_t count)
{
    // Sent bytes are dropped from the front only when they make up half the
    // storage, so a drain costs no more than the bytes it moves.
    if (m_head > 0 && m_head >= m_bytes.size() / 2) {
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_head));
        m_head = 0;
    }
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
}

void COutputQueue::Consume(size_t count)
{
    m_head += std::min(count, Size());
    if (m_head == m_bytes.size())
        Clear();
}

void COutputQueue::Clear()
{
    m_bytes.clear();
    // A queue that held a flood gives its storage back once it is empty.
    if (m_bytes.capacity() > 64 * 1024)
        m_bytes.shrink_to_fit();
    m_head = 0;
}
