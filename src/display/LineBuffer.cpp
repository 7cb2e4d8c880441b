#include "display/LineBuffer.h"

#include <algorithm>
#include <cstring>

namespace {

// The first '\r' or '\n' at or after `from`, or the text's size.
size_t NextBreak(std::string_view text, size_t from)
{
    const char* begin = text.data() + from;
    const size_t left = text.size() - from;
    size_t brk = left;
    if (const void* lf = std::memchr(begin, '\n', left))
        brk = static_cast<size_t>(static_cast<const char*>(lf) - begin);
    if (const void* cr = std::memchr(begin, '\r', brk))
        brk = static_cast<size_t>(static_cast<const char*>(cr) - begin);
    return from + brk;
}

void Empty(CDisplayLine& line)
{
    line.m_text.clear();
    line.m_formats.clear();
    line.m_colors.clear();
}

} // namespace

CLineBuffer::CLineBuffer() : m_ring(128)
{
    SetColors(CDisplayColors{});
}

void CLineBuffer::SetColors(const CDisplayColors& colors)
{
    const auto same = [&](const CDisplayColors& set) {
        return set.m_text == colors.m_text && set.m_special == colors.m_special &&
               set.m_stamp == colors.m_stamp;
    };
    const auto found = std::find_if(m_colorSets.begin(), m_colorSets.end(), same);
    if (found != m_colorSets.end()) {
        m_nCurrentColors = static_cast<uint16_t>(found - m_colorSets.begin());
        return;
    }
    if (m_colorSets.size() >= kMaxColorSets)
        DropUnusedColorSets();
    m_colorSets.push_back(colors);
    m_nCurrentColors = static_cast<uint16_t>(m_colorSets.size() - 1);
}

// Keeps the colour sets that a line or the runs written now still use, and
// renumbers the lines' colour changes to match.
void CLineBuffer::DropUnusedColorSets()
{
    constexpr uint16_t kNone = UINT16_MAX;
    std::vector<uint16_t> renumber(m_colorSets.size(), kNone);
    std::vector<CDisplayColors> kept;
    const auto keep = [&](uint16_t set) {
        if (renumber[set] == kNone) {
            renumber[set] = static_cast<uint16_t>(kept.size());
            kept.push_back(m_colorSets[set]);
        }
        return renumber[set];
    };
    m_nCurrentColors = keep(m_nCurrentColors);
    for (size_t i = 0; i < m_nLines; ++i) {
        for (CColorChange& change : At(i).m_colors)
            change.m_nColors = keep(change.m_nColors);
    }
    m_colorSets = std::move(kept);
}

CDisplayLine& CLineBuffer::LastLineFor(size_t count)
{
    CDisplayLine& line = Last();
    if (line.m_colors.empty() || line.m_colors.back().m_nColors != m_nCurrentColors)
        line.m_colors.push_back({static_cast<uint32_t>(line.m_text.size()), m_nCurrentColors});
    m_nChars += static_cast<int64_t>(count);
    return line;
}

void CLineBuffer::AppendText(RunFormat format, std::string_view text)
{
    const auto cell = static_cast<char>(format);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t brk = NextBreak(text, pos);
        if (brk > pos) {
            CDisplayLine& line = LastLineFor(brk - pos);
            line.m_text.append(text.substr(pos, brk - pos));
            line.m_formats.push_back(static_cast<char>(cell | kCellRunStart));
            line.m_formats.append(brk - pos - 1, cell);
        }
        if (brk == text.size())
            return;
        NewLine();
        // "\r\n" is one break; a lone "\r" or "\n" is one too.
        pos = brk + 1;
        if (text[brk] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
}

void CLineBuffer::AppendCells(std::string_view text, std::span<const uint8_t> formats)
{
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t brk = NextBreak(text, pos);
        if (brk > pos) {
            CDisplayLine& line = LastLineFor(brk - pos);
            const size_t start = line.m_formats.size();
            line.m_text.append(text.substr(pos, brk - pos));
            line.m_formats.append(reinterpret_cast<const char*>(formats.data() + pos), brk - pos);
            // A line continued after a break starts a run of its own.
            line.m_formats[start] = static_cast<char>(line.m_formats[start] | kCellRunStart);
        }
        if (brk == text.size())
            return;
        NewLine();
        // "\r\n" is one break only within one run, as AppendText sees it.
        pos = brk + 1;
        if (text[brk] == '\r' && pos < text.size() && text[pos] == '\n' &&
            !(formats[pos] & kCellRunStart))
            ++pos;
    }
}

void CLineBuffer::NewLine()
{
    if (m_nLines == m_ring.size()) {
        std::vector<CDisplayLine> bigger(m_ring.size() * 2);
        for (size_t i = 0; i < m_nLines; ++i)
            bigger[i] = std::move(At(i));
        m_ring = std::move(bigger);
        m_nHead = 0;
    }
    ++m_nLines;
    Empty(Last());
    ++m_nChars;
}

void CLineBuffer::RemoveFirstLine()
{
    if (m_nLines < 2)
        return;
    m_nChars -= static_cast<int64_t>(At(0).m_text.size()) + 1;
    m_nHead = (m_nHead + 1) & (m_ring.size() - 1);
    --m_nLines;
    ++m_firstSerial;
}

void CLineBuffer::DeleteLastChar()
{
    CDisplayLine& line = Last();
    if (!line.m_text.empty()) {
        line.m_text.pop_back();
        line.m_formats.pop_back();
        if (line.m_colors.back().m_nFrom >= line.m_text.size())
            line.m_colors.pop_back();
        --m_nChars;
    } else if (m_nLines > 1) {
        // The last character is the break before an empty last line.
        --m_nLines;
        --m_nChars;
    }
}

void CLineBuffer::EraseLastLine()
{
    CDisplayLine& line = Last();
    if (line.m_text.empty())
        return;
    m_nChars -= static_cast<int64_t>(line.m_text.size());
    Empty(line);
}

void CLineBuffer::Clear()
{
    m_firstSerial += m_nLines;
    m_nLines = 1;
    Empty(Last());
    m_nChars = 0;
}

std::vector<CLineSpan> CLineBuffer::Spans(int index) const
{
    const CDisplayLine& line = Line(index);
    std::vector<CLineSpan> spans;
    CColorWalk colors(line);
    for (size_t i = 0; i < line.m_formats.size(); ++i) {
        bool changed = false;
        const uint16_t set = colors.At(i, &changed);
        // (A run never changes colour inside.)
        if (spans.empty() || changed || CDisplayLine::StartsRun(line.m_formats[i]))
            spans.push_back({static_cast<uint32_t>(i), 0, CDisplayLine::FormatOf(line.m_formats[i]),
                             CellColor(set, line.m_formats[i])});
        ++spans.back().m_nLength;
    }
    return spans;
}

std::string CLineBuffer::PlainText() const
{
    std::string text;
    for (size_t i = 0; i < m_nLines; ++i) {
        if (i > 0)
            text += '\n';
        text += At(i).m_text;
    }
    return text;
}
