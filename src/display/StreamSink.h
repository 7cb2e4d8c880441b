#pragma once
#include "display/TextSink.h"

#include <cstdio>
#include <string>

// A display that prints instead of keeping its text: each display line goes
// to a stream as it is completed, its break written as "\n", and nothing is
// ever trimmed. The line being written is held back while it may still be
// edited (Text mode erases characters and lines); FlushPartial prints what
// it holds so far when no edit can come (Mont and Hex modes), and Finish
// prints the rest at the end.
class CStreamSink final : public CTextSink
{
public:
    explicit CStreamSink(std::FILE* out) : m_out(out) {}

    void AppendText(RunFormat format, std::string_view text) override;
    // A stream prints no formats: the runs are taken as one text.
    void AppendCells(std::string_view text, std::span<const uint8_t>) override
    {
        AppendText(RunFormat::Text, text);
    }
    // The display never trims a stream: it always seems to hold one line.
    int LineCount() const override { return 1; }
    void RemoveFirstLine() override {}
    int64_t CharCount() const override { return m_nChars; }
    void DeleteLastChar() override;
    int LastLineLength() const override { return static_cast<int>(m_line.size()); }
    void EraseLastLine() override;
    void Clear() override;

    void FlushPartial();
    // Hands what was printed to the stream's reader.
    void Flush();
    void Finish();

private:
    void EndLine(std::string_view rest);
    void WriteOut();

    std::FILE* m_out;
    std::string m_ready; // completed lines not yet handed to the stream
    std::string m_line;
    size_t m_printed = 0; // characters of m_line already handed on (m_ready or the stream)
    int64_t m_nChars = 0;
    bool m_bAfterCr = false;
};
