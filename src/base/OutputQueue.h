#pragma once
#include <cstddef>
#include <vector>

// Output waiting for its connection to take it: a bounded byte queue. Bytes
// are accepted whole or not at all, so a caller never has to guess how much
// of a write went out. Not thread-safe: its owner serialises the calls.
class COutputQueue
{
public:
    explicit COutputQueue(size_t capacity) : m_capacity(capacity) {}

    size_t Capacity() const { return m_capacity; }
    size_t Size() const { return m_bytes.size() - m_head; }
    bool IsEmpty() const { return Size() == 0; }
    size_t Room() const { return m_capacity - Size(); }
    bool Fits(size_t count) const { return count <= Room(); }

    // The caller checked Fits first.
    void Append(const char* bytes, size_t count);
    // The oldest bytes, Size() of them.
    const char* Data() const { return m_bytes.data() + m_head; }
    // `count` bytes went out.
    void Consume(size_t count);
    void Clear();

private:
    size_t m_capacity;
    std::vector<char> m_bytes;
    size_t m_head = 0; // bytes before it went out already
};
