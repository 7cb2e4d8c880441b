#pragma once
#include <cstddef>
#include <cstdint>

// Whether what a view is shown arrives as a stream: more than
// kStreamBytesPerFrame each display frame, judged by the bytes' own arrival
// ticks. A view that prints rather than draws (the companion's) then takes
// its bytes kStreamFrameMs apart: nobody reads a stream line by line, and a
// reply after a quiet spell still goes at once.
class CStreamPace
{
public:
    static constexpr int kStreamFrameMs = 100;
    static constexpr uint64_t kStreamBytesPerFrame = 4096; // some 136 kB/s

    void Note(size_t bytes, uint32_t arrivalTick);
    bool IsStreaming() const { return m_bStreaming; }
    int FrameMs(int standard) const;

private:
    bool m_bStarted = false;
    uint32_t m_start = 0; // tick the window being measured began
    uint64_t m_bytes = 0; // arrived since
    bool m_bStreaming = false;
};
