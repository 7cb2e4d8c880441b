#include "session/StreamPace.h"

#include "session/SessionContext.h"

#include <algorithm>

void CStreamPace::Note(size_t bytes, uint32_t arrivalTick)
{
    if (!m_bStarted) {
        m_bStarted = true;
        m_start = arrivalTick;
    }
    m_bytes += bytes;
    // Ticks wrap; a tick before the window began (ticks handed over out of
    // order) counts as no time.
    const auto span = static_cast<int32_t>(arrivalTick - m_start);
    if (span < kDisplayFrameMs)
        return;
    m_bStreaming = m_bytes * static_cast<uint64_t>(kDisplayFrameMs) >=
                   kStreamBytesPerFrame * static_cast<uint64_t>(span);
    m_start = arrivalTick;
    m_bytes = 0;
}

int CStreamPace::FrameMs(int standard) const
{
    return m_bStreaming ? std::max(standard, kStreamFrameMs) : standard;
}
