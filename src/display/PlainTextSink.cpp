#include "display/PlainTextSink.h"

void CPlainTextSink::AppendText(RunFormat, std::string_view text)
{
    // The same line model as the display's: "\r\n", a lone "\r" and a lone
    // "\n" are one break each, and a break counts as one character.
    size_t pos = 0;
    while (pos < text.size()) {
        size_t brk = pos;
        while (brk < text.size() && text[brk] != '\r' && text[brk] != '\n')
            ++brk;
        m_lines.back().append(text.substr(pos, brk - pos));
        m_nChars += static_cast<int64_t>(brk - pos);
        if (brk == text.size())
            return;
        m_lines.emplace_back();
        ++m_nChars;
        pos = brk + 1;
        if (text[brk] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
}

void CPlainTextSink::RemoveFirstLine()
{
    if (m_lines.size() < 2)
        return;
    m_nChars -= static_cast<int64_t>(m_lines.front().size()) + 1;
    m_lines.pop_front();
}

void CPlainTextSink::DeleteLastChar()
{
    if (!m_lines.back().empty()) {
        m_lines.back().pop_back();
        --m_nChars;
    } else if (m_lines.size() > 1) {
        m_lines.pop_back(); // the break before an empty last line
        --m_nChars;
    }
}

void CPlainTextSink::EraseLastLine()
{
    m_nChars -= static_cast<int64_t>(m_lines.back().size());
    m_lines.back().clear();
}

void CPlainTextSink::Clear()
{
    m_lines.assign(1, std::string());
    m_nChars = 0;
}
