#include "cli/ExpectStream.h"

void CExpectStream::Append(const QByteArray& bytes)
{
    m_tail.append(bytes.right(kTailSize));
    if (m_tail.size() > kTailSize)
        m_tail.remove(0, m_tail.size() - kTailSize);
    m_pending.append(bytes);
    if (m_pending.size() > kMaxPending)
        m_pending.remove(0, m_pending.size() - kMaxPending);
}

bool CExpectStream::Take(const QByteArray& pattern)
{
    const qsizetype at = m_pending.indexOf(pattern);
    if (at < 0) {
        // Only the last bytes can still be the start of a match that the next
        // chunk completes.
        const qsizetype keep = pattern.size() - 1;
        if (m_pending.size() > keep)
            m_pending.remove(0, m_pending.size() - keep);
        return false;
    }
    m_pending.remove(0, at + pattern.size());
    return true;
}

QByteArray DataStringNotation(const QByteArray& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    QByteArray text;
    text.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20) {
            text.append('^').append(static_cast<char>(byte + 0x40));
        } else if (byte == '^') {
            text.append("^^");
        } else if (byte == '%') {
            text.append("%%");
        } else if (byte >= 0x7F) {
            text.append('%').append(kDigits[byte >> 4]).append(kDigits[byte & 0x0F]);
        } else {
            text.append(c);
        }
    }
    return text;
}
