#include "display/LineBuffer.h"

#include <algorithm>

CLineBuffer::CLineBuffer()
{
    m_lines.emplace_back();
}

void CLineBuffer::SetColors(const CDisplayColors& colors)
{
    m_colors = {colors.m_text, colors.m_special, colors.m_stamp};
}

void CLineBuffer::Touch(size_t index)
{
    m_dirtyFrom = std::min(m_dirtyFrom, m_firstSerial + index);
}

void CLineBuffer::AppendText(RunFormat format, std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t brk = pos;
        while (brk < text.size() && text[brk] != '\r' && text[brk] != '\n')
            ++brk;
        if (brk == text.size()) {
            AppendToLastLine(format, text.substr(pos));
            return;
        }
        AppendToLastLine(format, text.substr(pos, brk - pos));
        NewLine();
        // "\r\n" is one break; a lone "\r" or "\n" is one too.
        pos = brk + 1;
        if (text[brk] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
}

void CLineBuffer::AppendRuns(std::span<const CTextRun> runs, std::string_view text)
{
    const uint32_t colors[] = {m_colors[0], m_colors[1], m_colors[2]};
    size_t at = 0;
    size_t i = 0;
    while (i < runs.size()) {
        if (runs[i].bBreak) {
            AppendText(runs[i].format, text.substr(at, runs[i].length));
            at += runs[i].length;
            ++i;
            continue;
        }
        // Runs up to the next break join the last line: their spans one by
        // one, their text in one append.
        CDisplayLine& line = m_lines.back();
        std::vector<CLineSpan>& spans = line.m_spans;
        const size_t start = line.m_text.size();
        size_t length = 0;
        for (; i < runs.size() && !runs[i].bBreak; ++i) {
            const CTextRun run = runs[i];
            if (run.length == 0)
                continue;
            spans.push_back({static_cast<uint32_t>(start + length), run.length, run.format,
                             colors[static_cast<size_t>(run.format)]});
            length += run.length;
        }
        if (length == 0)
            continue;
        line.m_text.append(text.substr(at, length));
        at += length;
        m_nChars += static_cast<int64_t>(length);
        Touch(m_lines.size() - 1);
    }
}

void CLineBuffer::AppendToLastLine(RunFormat format, std::string_view text)
{
    if (text.empty())
        return;
    CDisplayLine& line = m_lines.back();
    CLineSpan span;
    span.m_nStart = static_cast<uint32_t>(line.m_text.size());
    span.m_nLength = static_cast<uint32_t>(text.size());
    span.m_format = format;
    span.m_color = ColorOf(format);
    line.m_text.append(text);
    line.m_spans.push_back(span);
    m_nChars += static_cast<int64_t>(text.size());
    Touch(m_lines.size() - 1);
}

void CLineBuffer::Recycle(CDisplayLine&& line)
{
    constexpr size_t kMaxSpare = 512;
    if (m_spare.size() >= kMaxSpare)
        return;
    line.m_text.clear();
    line.m_spans.clear();
    m_spare.push_back(std::move(line));
}

void CLineBuffer::NewLine()
{
    if (m_spare.empty()) {
        m_lines.emplace_back();
    } else {
        m_lines.push_back(std::move(m_spare.back()));
        m_spare.pop_back();
    }
    ++m_nChars;
    Touch(m_lines.size() - 1);
}

void CLineBuffer::RemoveFirstLine()
{
    if (m_lines.size() < 2)
        return;
    m_nChars -= static_cast<int64_t>(m_lines.front().m_text.size()) + 1;
    Recycle(std::move(m_lines.front()));
    m_lines.pop_front();
    ++m_firstSerial;
    m_dirtyFrom = std::max(m_dirtyFrom, m_firstSerial);
}

void CLineBuffer::DeleteLastChar()
{
    CDisplayLine& line = m_lines.back();
    if (!line.m_text.empty()) {
        line.m_text.pop_back();
        CLineSpan& span = line.m_spans.back();
        if (--span.m_nLength == 0)
            line.m_spans.pop_back();
        --m_nChars;
        Touch(m_lines.size() - 1);
    } else if (m_lines.size() > 1) {
        // The last character is the break before an empty last line.
        m_lines.pop_back();
        --m_nChars;
        Touch(m_lines.size() - 1);
    }
}

void CLineBuffer::EraseLastLine()
{
    CDisplayLine& line = m_lines.back();
    if (line.m_text.empty())
        return;
    m_nChars -= static_cast<int64_t>(line.m_text.size());
    line.m_text.clear();
    line.m_spans.clear();
    Touch(m_lines.size() - 1);
}

void CLineBuffer::Clear()
{
    m_firstSerial += m_lines.size();
    while (m_lines.size() > 1) {
        Recycle(std::move(m_lines.back()));
        m_lines.pop_back();
    }
    m_lines.front().m_text.clear();
    m_lines.front().m_spans.clear();
    m_nChars = 0;
    m_dirtyFrom = m_firstSerial;
}

std::string CLineBuffer::PlainText() const
{
    std::string text;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += m_lines[i].m_text;
    }
    return text;
}
