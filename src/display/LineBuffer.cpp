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

// Room for one display line (80 characters and the 81st that the writer
// breaks after), so most lines are allocated once.
constexpr uint32_t kLineRoom = 81;

} // namespace

void CDisplayLine::Grow(size_t needed)
{
    const size_t capacity = std::max<size_t>({needed, size_t{kLineRoom}, size_t{m_nCapacity} * 2});
    auto cells = std::make_unique_for_overwrite<char[]>(capacity * 2);
    if (m_nLength > 0) { // a new line has no cells to copy yet
        std::memcpy(cells.get(), m_cells.get(), m_nLength);
        std::memcpy(cells.get() + capacity, m_cells.get() + m_nCapacity, m_nLength);
    }
    m_cells = std::move(cells);
    m_nCapacity = static_cast<uint32_t>(capacity);
}

void CDisplayLine::AddMoreColor(CColorChange change)
{
    if (!m_more)
        m_more = std::make_unique<std::vector<CColorChange>>();
    m_more->push_back(change);
}

void CDisplayLine::PopColor()
{
    if (m_more && !m_more->empty())
        m_more->pop_back();
    else
        m_bHasColor = false;
}

void CDisplayLine::SetColorAt(size_t index, uint16_t colors)
{
    if (index == 0)
        m_nFirstColors = colors;
    else
        (*m_more)[index - 1].m_nColors = colors;
}

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
        CDisplayLine& line = At(i);
        for (size_t c = 0; c < line.ColorCount(); ++c)
            line.SetColorAt(c, keep(line.ColorAt(c).m_nColors));
    }
    m_colorSets = std::move(kept);
}

CDisplayLine& CLineBuffer::LastLineFor(size_t count)
{
    CDisplayLine& line = Last();
    const size_t colors = line.ColorCount();
    if (colors == 0 || line.ColorAt(colors - 1).m_nColors != m_nCurrentColors)
        line.AddColor({static_cast<uint32_t>(line.Size()), m_nCurrentColors});
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
            LastLineFor(brk - pos).Append(text.substr(pos, brk - pos), cell);
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
            const size_t start = line.Size();
            line.Append(text.substr(pos, brk - pos),
                        reinterpret_cast<const char*>(formats.data() + pos));
            // A line continued after a break starts a run of its own.
            line.MarkRunStart(start);
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
    Last().Clear();
    ++m_nChars;
}

void CLineBuffer::RemoveFirstLine()
{
    if (m_nLines < 2)
        return;
    m_nChars -= static_cast<int64_t>(At(0).Size()) + 1;
    m_nHead = (m_nHead + 1) & (m_ring.size() - 1);
    --m_nLines;
    ++m_firstSerial;
}

void CLineBuffer::DeleteLastChar()
{
    CDisplayLine& line = Last();
    if (line.Size() > 0) {
        line.PopBack();
        if (line.ColorAt(line.ColorCount() - 1).m_nFrom >= line.Size())
            line.PopColor();
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
    if (line.Size() == 0)
        return;
    m_nChars -= static_cast<int64_t>(line.Size());
    line.Clear();
}

void CLineBuffer::Clear()
{
    m_firstSerial += m_nLines;
    m_nLines = 1;
    Last().Clear();
    m_nChars = 0;
}

std::vector<CLineSpan> CLineBuffer::Spans(int index) const
{
    const CDisplayLine& line = Line(index);
    std::vector<CLineSpan> spans;
    CColorWalk colors(line);
    const std::string_view formats = line.Formats();
    for (size_t i = 0; i < formats.size(); ++i) {
        bool changed = false;
        const uint16_t set = colors.At(i, &changed);
        // (A run never changes colour inside.)
        if (spans.empty() || changed || CDisplayLine::StartsRun(formats[i]))
            spans.push_back({static_cast<uint32_t>(i), 0, CDisplayLine::FormatOf(formats[i]),
                             CellColor(set, formats[i])});
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
        text += At(i).Text();
    }
    return text;
}
