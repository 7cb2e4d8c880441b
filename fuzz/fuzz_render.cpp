// The display renderer: chunks of received bytes, gaps and clears, in any
// mode and time-stamp setting, rendered into the display's line buffer,
// whose bookkeeping is checked after every step.
//
// Input: 10 header bytes, then operations.
//   header: mode, stamp format (values with the top bit set are taken as a
//           signed byte, so out-of-range settings are tried too, the rest
//           fold onto the valid ones), minimum interval (int32 LE), local
//           time offset in ms (uint32 LE)
//   op 0xFF: clear; op 0xFE: gap of the next byte's count of lost bytes;
//   any other op: a chunk whose tick advances by op * 16 ms (op bit 6 set:
//           by op << 24, to cross the tick wrap) and whose length is the next
//           byte, bytes following; a chunk of mode change when op bit 5 set.
#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"

#include <QDateTime>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

int32_t Setting(uint8_t byte, int32_t validCount)
{
    if (byte & 0x80)
        return static_cast<int8_t>(byte);
    return byte % validCount;
}

uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void CheckBuffer(const CLineBuffer& display)
{
    if (display.LineCount() < 1)
        std::abort();
    int64_t chars = display.LineCount() - 1; // the breaks
    for (int i = 0; i < display.LineCount(); ++i) {
        const CDisplayLine& line = display.Line(i);
        chars += static_cast<int64_t>(line.Size());
        // A format byte a character, a run starting the line, the colour
        // changes in order and inside the line, and the runs covering it.
        if (line.Formats().size() != line.Text().size())
            std::abort();
        if (line.Size() > 0 && (!CDisplayLine::StartsRun(line.FormatAt(0)) ||
                                line.ColorCount() == 0 || line.ColorAt(0).m_nFrom != 0))
            std::abort();
        for (size_t c = 0; c < line.ColorCount(); ++c) {
            if (line.ColorAt(c).m_nFrom >= line.Size() ||
                (c > 0 && line.ColorAt(c).m_nFrom <= line.ColorAt(c - 1).m_nFrom))
                std::abort();
        }
        uint32_t next = 0;
        for (const CLineSpan& span : display.Spans(i)) {
            if (span.m_nLength == 0 || span.m_nStart != next)
                std::abort();
            next = span.m_nStart + span.m_nLength;
        }
        if (next != line.Size())
            std::abort();
    }
    if (chars != display.CharCount())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t kHeader = 10;
    if (size < kHeader)
        return 0;
    CDisplaySettings settings;
    settings.m_nMode = Setting(data[0], 3);
    settings.m_nStampFormat = Setting(data[1], 7);
    settings.m_nMinInterval = static_cast<int32_t>(ReadU32(data + 2));
    // A fixed zone keeps the run the same wherever it runs.
    settings.m_localTime =
        QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC).addMSecs(ReadU32(data + 6));
    CDisplayRenderer renderer(0);
    CLineBuffer display;
    uint32_t tick = 0;
    size_t at = kHeader;
    while (at < size) {
        const uint8_t op = data[at++];
        if (op == 0xFF) {
            renderer.Clear(display);
        } else if (op == 0xFE) {
            const uint64_t lost = at < size ? data[at++] : 0;
            renderer.AppendGap(lost, display);
        } else {
            tick += (op & 0x40) ? static_cast<uint32_t>(op) << 24 : static_cast<uint32_t>(op) * 16;
            if (op & 0x20)
                settings.m_nMode = (settings.m_nMode + 1) % 3;
            size_t length = at < size ? data[at++] : 0;
            if (length > size - at)
                length = size - at;
            renderer.AppendData(reinterpret_cast<const char*>(data + at), length, tick, settings,
                                display);
            at += length;
        }
        CheckBuffer(display);
        settings.m_localTime = settings.m_localTime.addMSecs(tick % 100000);
    }
    return 0;
}
