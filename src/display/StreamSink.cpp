#include "display/StreamSink.h"

void CStreamSink::AppendText(RunFormat, std::string_view text)
{
    for (const char c : text) {
        if (c == '\n' && m_bAfterCr) {
            m_bAfterCr = false; // the second half of a "\r\n" break
            continue;
        }
        m_bAfterCr = c == '\r';
        ++m_nChars;
        if (c == '\r' || c == '\n')
            EndLine();
        else
            m_line += c;
    }
}

void CStreamSink::EndLine()
{
    m_line += '\n';
    // Flushed once per delivery (Flush), not per line: a flood of short
    // lines would otherwise cost a system call each.
    std::fwrite(m_line.data() + m_printed, 1, m_line.size() - m_printed, m_out);
    m_line.clear();
    m_printed = 0;
}

void CStreamSink::DeleteLastChar()
{
    // What is printed stays printed; only the held part of the line can go.
    if (m_line.size() > m_printed) {
        m_line.pop_back();
        --m_nChars;
    }
}

void CStreamSink::EraseLastLine()
{
    m_nChars -= static_cast<int64_t>(m_line.size() - m_printed);
    m_line.resize(m_printed);
}

void CStreamSink::Clear()
{
    FlushPartial();
}

void CStreamSink::FlushPartial()
{
    if (m_line.size() > m_printed) {
        std::fwrite(m_line.data() + m_printed, 1, m_line.size() - m_printed, m_out);
        std::fflush(m_out);
        m_printed = m_line.size();
    }
}

void CStreamSink::Flush()
{
    std::fflush(m_out);
}

void CStreamSink::Finish()
{
    FlushPartial();
    Flush();
}
