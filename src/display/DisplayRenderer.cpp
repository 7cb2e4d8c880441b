#include "display/DisplayRenderer.h"

#include "display/TimeStamp.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr int kModeText = 1;
constexpr int kModeHex = 2;

constexpr char kEsc = 0x1B;
constexpr char kBs = 0x08;
constexpr char kCr = 0x0D;

// Mont mode's names: control-character mnemonics for 0..31, "{XX}" for 127..255.
class CNameTable
{
public:
    CNameTable()
    {
        static const char* const kControl[32] = {
            "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
            "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
            "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
        };
        for (int i = 0; i < 32; ++i)
            m_names[i] = std::string("[") + kControl[i] + "]";
        for (int i = 127; i < 256; ++i) {
            char text[8];
            std::snprintf(text, sizeof text, "{%02X}", i);
            m_names[i] = text;
        }
    }
    const std::string& operator[](uint8_t byte) const { return m_names[byte]; }

private:
    std::array<std::string, 256> m_names;
};

const CNameTable& Names()
{
    static const CNameTable table;
    return table;
}

// Hex mode's five characters of each byte: the byte as itself (32 to 127)
// or '_', a blank, two upper-case hex digits, a blank.
class CHexCells
{
public:
    CHexCells()
    {
        static const char kDigits[] = "0123456789ABCDEF";
        for (int byte = 0; byte < 256; ++byte) {
            char* cell = m_cells[byte].data();
            cell[0] = byte >= 32 && byte <= 127 ? static_cast<char>(byte) : '_';
            cell[1] = ' ';
            cell[2] = kDigits[byte >> 4];
            cell[3] = kDigits[byte & 0x0F];
            cell[4] = ' ';
        }
    }
    const char* operator[](uint8_t byte) const { return m_cells[byte].data(); }

private:
    // Padded to eight, so that a cell is copied with one store (the three
    // extra characters are overwritten by the next cell).
    std::array<std::array<char, 8>, 256> m_cells{};
};

// Mont mode's byte classes: 0 shown as itself, 1 control name, 2 value in braces.
int MontClass(uint8_t byte)
{
    if (byte < 32)
        return 1;
    return byte < 127 ? 0 : 2;
}

// End of the run of bytes from `i` that share `cls`. Text (class 0) is what
// floods bring, so its runs are measured eight bytes a step: a word whose
// bytes all lie in 32..126 has none below 32 and none above 126.
size_t MontRunEnd(const char* bytes, size_t i, size_t count, int cls)
{
    size_t end = i + 1;
    if (cls == 0) {
        constexpr uint64_t kOnes = 0x0101010101010101ULL;
        constexpr uint64_t kHigh = 0x8080808080808080ULL;
        while (end + 8 <= count) {
            uint64_t word;
            std::memcpy(&word, bytes + end, sizeof word);
            const uint64_t below = (word - kOnes * 32) & ~word & kHigh;
            const uint64_t above = ((word + kOnes) | word) & kHigh;
            if (below | above)
                break;
            end += 8;
        }
    }
    while (end < count && MontClass(static_cast<uint8_t>(bytes[end])) == cls)
        ++end;
    return end;
}

} // namespace

CDisplayRenderer::CDisplayRenderer(uint32_t constructionTick) : m_lastDisplayTick(constructionTick)
{
}

void CDisplayRenderer::AppendData(const char* bytes, size_t count, uint32_t nowTick,
                                  const CDisplaySettings& settings, CTextSink& sink)
{
    m_bTextMode = settings.m_nMode == kModeText;
    Trim(sink);
    WriteStamp(nowTick, settings, sink);
    if (count == 0)
        return;
    switch (settings.m_nMode) {
    case kModeText:
        RenderText(bytes, count, sink);
        break;
    case kModeHex:
        RenderHex(bytes, count, sink);
        break;
    default:
        RenderMont(bytes, count, sink);
        break;
    }
}

std::string CDisplayRenderer::GapText(uint64_t lost, GapUnit unit)
{
    const char* one = unit == GapUnit::Datagrams ? " datagram" : " byte";
    const char* many = unit == GapUnit::Datagrams ? " datagrams" : " bytes";
    return "[... " + std::to_string(lost) + (lost == 1 ? one : many) + " lost ...]";
}

void CDisplayRenderer::AppendGap(uint64_t lost, CTextSink& sink, GapUnit unit)
{
    Trim(sink);
    const std::string text = GapText(lost, unit);
    Write(RunFormat::Special, text.data(), text.size(), sink);
    m_nEscape = 0;
}

void CDisplayRenderer::Clear(CTextSink& sink)
{
    sink.Clear();
    m_nColumn = 0;
}

void CDisplayRenderer::SetMaxLines(int lines)
{
    m_nMaxLines = std::clamp(lines, kDefaultLines, kMostLines);
}

void CDisplayRenderer::Trim(CTextSink& sink)
{
    while (sink.LineCount() > m_nMaxLines)
        sink.RemoveFirstLine();
}

void CDisplayRenderer::WriteStamp(uint32_t nowTick, const CDisplaySettings& settings,
                                  CTextSink& sink)
{
    if (settings.m_nStampFormat == 0)
        return;
    const uint32_t elapsed = nowTick - m_lastDisplayTick;
    if (TimeStamp::IsDue(elapsed, settings.m_nMinInterval)) {
        const bool clock = settings.m_nStampFormat == 5 || settings.m_nStampFormat == 6;
        const QDateTime now = clock && !settings.m_localTime.isValid()
                                  ? QDateTime::currentDateTime()
                                  : settings.m_localTime;
        const QByteArray stamp = TimeStamp::Format(settings.m_nStampFormat, elapsed, now);
        Write(RunFormat::Stamp, stamp.constData(), static_cast<size_t>(stamp.size()), sink);
    }
    m_lastDisplayTick = nowTick;
}

void CDisplayRenderer::RenderMont(const char* bytes, size_t count, CTextSink& sink)
{
    // The runs of a chunk go to the sink in one batch: random data makes a
    // run of every byte or two, and a call per run cost more than the rest.
    const CNameTable& names = Names();
    m_bBatching = true;
    size_t i = 0;
    while (i < count) {
        const int cls = MontClass(static_cast<uint8_t>(bytes[i]));
        const size_t end = MontRunEnd(bytes, i, count, cls);
        if (cls == 0) {
            Write(RunFormat::Text, bytes + i, end - i, sink);
        } else {
            m_names.clear();
            for (size_t k = i; k < end; ++k)
                m_names += names[static_cast<uint8_t>(bytes[k])];
            Write(RunFormat::Special, m_names.data(), m_names.size(), sink);
        }
        i = end;
    }
    m_bBatching = false;
    sink.AppendCells(m_batchText, m_batchFormats);
    m_batchText.clear();
    m_batchFormats.clear();
}

void CDisplayRenderer::Emit(RunFormat format, std::string_view text, CTextSink& sink)
{
    if (!m_bBatching) {
        sink.AppendText(format, text);
        return;
    }
    if (text.empty())
        return;
    const auto cell = static_cast<uint8_t>(format);
    m_batchText.append(text);
    m_batchFormats.push_back(cell | kCellRunStart);
    m_batchFormats.resize(m_batchText.size(), cell);
}

void CDisplayRenderer::FlushPending(CTextSink& sink)
{
    if (m_pending.empty())
        return;
    Write(RunFormat::Text, m_pending.data(), m_pending.size(), sink);
    m_pending.clear();
}

void CDisplayRenderer::RenderText(const char* bytes, size_t count, CTextSink& sink)
{
    // What each byte does outside an escape sequence: shown (printable, or a
    // carriage return), ESC, backspace, or dropped (line feed included).
    enum : uint8_t
    {
        kShown,
        kEscape,
        kBackspace,
        kDropped
    };
    static const auto kinds = [] {
        std::array<uint8_t, 256> table{};
        for (int b = 0; b < 256; ++b)
            table[static_cast<size_t>(b)] = (b >= 32 && b <= 126) || b == kCr ? kShown
                                            : b == kEsc                       ? kEscape
                                            : b == kBs                        ? kBackspace
                                                                              : kDropped;
        return table;
    }();
    m_pending.clear();
    for (size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (m_nEscape == 1) {
            m_nEscape = c == '[' ? 2 : 0;
            continue;
        }
        if (m_nEscape == 2) {
            if (c == 'J') {
                FlushPending(sink);
                sink.EraseLastLine();
            }
            m_nEscape = 0;
            continue;
        }
        switch (kinds[static_cast<uint8_t>(c)]) {
        case kShown: {
            // The whole run of shown bytes at once.
            size_t end = i + 1;
            while (end < count && kinds[static_cast<uint8_t>(bytes[end])] == kShown)
                ++end;
            m_pending.append(bytes + i, end - i);
            i = end - 1;
            break;
        }
        case kEscape:
            FlushPending(sink);
            m_nEscape = 1;
            break;
        case kBackspace:
            FlushPending(sink);
            if (sink.CharCount() >= 2 && m_nColumn >= 1) {
                --m_nColumn;
                sink.DeleteLastChar();
            }
            break;
        default:
            break;
        }
    }
    FlushPending(sink);
}

void CDisplayRenderer::RenderHex(const char* bytes, size_t count, CTextSink& sink)
{
    // Each byte is two runs, its character ("A " or "_ ") in the special
    // format and its value ("41 ") as text, broken into lines exactly as
    // Write would break them one by one, but built in place with a format
    // byte per character and handed to the sink in batches: a call per run
    // made Hex the slowest mode by far.
    static const CHexCells cells;
    constexpr auto kShown = static_cast<uint8_t>(RunFormat::Special);
    constexpr auto kValue = static_cast<uint8_t>(RunFormat::Text);
    static constexpr uint8_t kCellFormats[8] = {kShown | kCellRunStart, kShown,
                                                kValue | kCellRunStart, kValue, kValue};
    static constexpr size_t kPartLength[2] = {2, 3};
    constexpr size_t kBatch = 4096; // input bytes per batch: bounds the batch's memory
    for (size_t from = 0; from < count; from += kBatch) {
        const size_t end = std::min(count, from + kBatch);
        const size_t n = end - from;
        // Five characters a byte, and a break of two after every 81.
        const size_t room = n * 5 + 2 * (n * 5 / (kLineWidth + 1) + 2);
        // (Eight spare: each cell is copied eight characters wide.)
        m_out.resize(room + 8);
        m_formats.resize(room + 8);
        char* out = m_out.data();
        uint8_t* format = m_formats.data();
        size_t i = from;
        while (i < end) {
            // The bytes whose five characters fit the line as they are.
            const size_t fit = std::min(static_cast<size_t>(kLineWidth - m_nColumn) / 5, end - i);
            for (size_t k = 0; k < fit; ++k) {
                std::memcpy(out, cells[static_cast<uint8_t>(bytes[i + k])], 8);
                std::memcpy(format, kCellFormats, 8);
                out += 5;
                format += 5;
            }
            i += fit;
            m_nColumn += static_cast<int>(fit * 5);
            if (i == end)
                break;
            // The byte at the line's end: the character that raises the
            // column above the width ends the line, inside its run.
            const char* cell = cells[static_cast<uint8_t>(bytes[i++])];
            const uint8_t* cellFormat = kCellFormats;
            for (const size_t length : kPartLength) {
                const uint8_t partFormat = cellFormat[1];
                std::memcpy(format, cellFormat, length);
                if (static_cast<size_t>(kLineWidth - m_nColumn) >= length) {
                    std::memcpy(out, cell, length);
                    out += length;
                    format += length;
                    m_nColumn += static_cast<int>(length);
                } else {
                    const size_t before = static_cast<size_t>(kLineWidth + 1 - m_nColumn);
                    std::memcpy(out, cell, before);
                    out += before;
                    *out++ = '\r';
                    *out++ = '\n';
                    std::memcpy(out, cell + before, length - before);
                    out += length - before;
                    // The break and the characters after it continue the
                    // run: past its first character every format byte is
                    // the same, so the bytes copied above stay right.
                    format[length] = partFormat;
                    format[length + 1] = partFormat;
                    format += length + 2;
                    m_nColumn = static_cast<int>(length - before);
                }
                cell += length;
                cellFormat += length;
            }
        }
        const size_t written = static_cast<size_t>(out - m_out.data());
        sink.AppendCells(std::string_view(m_out.data(), written),
                         std::span<const uint8_t>(m_formats.data(), written));
    }
}

void CDisplayRenderer::Write(RunFormat format, const char* text, size_t length, CTextSink& sink)
{
    // Most runs fit the line as they are: no copy.
    if (length > 0 && static_cast<size_t>(kLineWidth - m_nColumn) >= length &&
        (!m_bTextMode || !std::memchr(text, kCr, length))) {
        m_nColumn += static_cast<int>(length);
        Emit(format, std::string_view(text, length), sink);
        return;
    }
    m_out.clear();
    while (length > 0) {
        size_t plain = length;
        const char* cr = nullptr;
        if (m_bTextMode) {
            cr = static_cast<const char*>(std::memchr(text, kCr, length));
            if (cr)
                plain = static_cast<size_t>(cr - text);
        }
        while (plain > 0) {
            // Characters left before the one that raises the column above the
            // line width, that one included.
            const size_t room = static_cast<size_t>(std::max(kLineWidth + 1 - m_nColumn, 1));
            const size_t take = std::min(room, plain);
            m_out.append(text, take);
            text += take;
            length -= take;
            plain -= take;
            m_nColumn += static_cast<int>(take);
            if (m_nColumn > kLineWidth) {
                m_out += "\r\n";
                m_nColumn = 0;
            }
        }
        if (cr) {
            m_out += kCr;
            m_nColumn = 0;
            ++text;
            --length;
        }
    }
    if (!m_out.empty())
        Emit(format, m_out, sink);
}
