#pragma once
#include "display/TextSink.h"

#include <deque>
#include <string>

// A display's text as lines of characters only: what the companion's render
// prints when the runs' formats are not asked for. It holds about as many
// bytes as it shows, where a coloured line buffer holds a span for every run.
class CPlainTextSink final : public CTextSink
{
public:
    CPlainTextSink() : m_lines(1) {}

    void AppendText(RunFormat format, std::string_view text) override;
    int LineCount() const override { return static_cast<int>(m_lines.size()); }
    void RemoveFirstLine() override;
    int64_t CharCount() const override { return m_nChars; }
    void DeleteLastChar() override;
    int LastLineLength() const override { return static_cast<int>(m_lines.back().size()); }
    void EraseLastLine() override;
    void Clear() override;

    const std::deque<std::string>& Lines() const { return m_lines; }

private:
    std::deque<std::string> m_lines;
    int64_t m_nChars = 0;
};
