#pragma once
#include "display/TextSink.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// One written run, or what is left of it, within a line.
struct CLineSpan
{
    uint32_t m_nStart = 0;  // offset in the line's text
    uint32_t m_nLength = 0; // never 0
    RunFormat m_format = RunFormat::Text;
    uint32_t m_color = 0; // 0x00BBGGRR, the colour of m_format when it was written
};

// One display line: its characters (break excluded) and the runs covering them.
struct CDisplayLine
{
    std::string m_text;
    std::vector<CLineSpan> m_spans;

    std::string_view SpanText(const CLineSpan& span) const
    {
        return std::string_view(m_text).substr(span.m_nStart, span.m_nLength);
    }
};

// A display's text held in memory as lines of coloured runs: the sink the
// renderer writes into at full speed. A widget mirrors it by copying only
// what changed since its last sync (FirstSerial / DirtyFrom / MarkSynced),
// so text that the trim removes before the widget looks never gets drawn.
//
// Every line has a serial number: line i has FirstSerial() + i. Removing the
// first line advances FirstSerial; Clear moves it past every serial handed
// out so far. Lines with serial >= DirtyFrom() may have changed since the
// last MarkSynced; earlier lines have not (unless they were removed).
class CLineBuffer : public CTextSink
{
public:
    CLineBuffer();

    // Colours given to runs written from now on, by format.
    void SetColors(const CDisplayColors& colors) override;
    uint32_t ColorOf(RunFormat format) const { return m_colors[static_cast<size_t>(format)]; }

    void AppendText(RunFormat format, std::string_view text) override;
    // Runs without a break go onto the last line with one append of their
    // text (the Hex display writes two runs a byte).
    void AppendRuns(std::span<const CTextRun> runs, std::string_view text) override;
    int LineCount() const override { return static_cast<int>(m_lines.size()); }
    void RemoveFirstLine() override;
    int64_t CharCount() const override { return m_nChars; }
    void DeleteLastChar() override;
    int LastLineLength() const override { return static_cast<int>(m_lines.back().m_text.size()); }
    void EraseLastLine() override;
    void Clear() override;

    const CDisplayLine& Line(int index) const { return m_lines[static_cast<size_t>(index)]; }
    // The lines joined by '\n'.
    std::string PlainText() const;

    uint64_t FirstSerial() const { return m_firstSerial; }
    uint64_t EndSerial() const { return m_firstSerial + m_lines.size(); }
    uint64_t DirtyFrom() const { return m_dirtyFrom; }
    bool IsDirty() const { return m_dirtyFrom < EndSerial(); }
    void MarkSynced() { m_dirtyFrom = EndSerial(); }

private:
    void AppendToLastLine(RunFormat format, std::string_view text);
    void NewLine();
    void Touch(size_t index);
    void Recycle(CDisplayLine&& line);

    std::deque<CDisplayLine> m_lines;
    // Removed lines kept for their allocations: a flood removes and adds
    // lines at the same rate.
    std::vector<CDisplayLine> m_spare;
    int64_t m_nChars = 0;
    uint64_t m_firstSerial = 0;
    uint64_t m_dirtyFrom = 0;
    std::array<uint32_t, 3> m_colors{};
};
