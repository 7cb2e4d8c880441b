#include "display/StreamSink.h"

#include <cstring>

namespace {

// Completed lines are gathered and handed to the stream in one write per
// delivery; past this much they go at once, whatever the delivery's size.
constexpr size_t kReadyLimit = 64 * 1024;

const char* FindBreak(const char* from, const char* end)
{
    const auto* cr = static_cast<const char*>(std::memchr(from, '\r', end - from));
    const char* bound = cr ? cr : end;
    const auto* lf = static_cast<const char*>(std::memchr(from, '\n', bound - from));
    return lf ? lf : cr;
}

} // namespace

void CStreamSink::AppendText(RunFormat, std::string_view text)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        if (*p == '\n' && m_bAfterCr) {
            m_bAfterCr = false; // the second half of a "\r\n" break
            ++p;
            continue;
        }
        const char* brk = FindBreak(p, end);
        const char* stop = brk ? brk : end;
        const auto length = static_cast<size_t>(stop - p);
        m_nChars += static_cast<int64_t>(length);
        if (!brk) {
            m_bAfterCr = false;
            m_line.append(p, length);
            return;
        }
        ++m_nChars;
        m_bAfterCr = *brk == '\r';
        EndLine(std::string_view(p, length));
        p = brk + 1;
    }
}

void CStreamSink::EndLine(std::string_view rest)
{
    // The line's held part, then the rest straight from the text.
    m_ready.append(m_line, m_printed);
    m_ready.append(rest);
    m_ready += '\n';
    m_line.clear();
    m_printed = 0;
    if (m_ready.size() >= kReadyLimit)
        WriteOut();
}

void CStreamSink::WriteOut()
{
    std::fwrite(m_ready.data(), 1, m_ready.size(), m_out);
    m_ready.clear();
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
        m_ready.append(m_line, m_printed);
        m_printed = m_line.size();
    }
    Flush();
}

void CStreamSink::Flush()
{
    WriteOut();
    std::fflush(m_out);
}

void CStreamSink::Finish()
{
    FlushPartial();
}
