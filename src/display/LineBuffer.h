#pragma once
#include "display/TextSink.h"

#include <cstdint>
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

// Where a line's characters start being in another set of colours.
struct CColorChange
{
    uint32_t m_nFrom = 0;   // offset in the line's text
    uint16_t m_nColors = 0; // the buffer's number for the set (CLineBuffer::Colors)
};

// One display line: its characters (break excluded), a format byte for each
// (the RunFormat, with kCellRunStart on the first character of every written
// run, so runs can be told apart even where neighbours share a format), and
// the colour sets they were written in, as changes along the line.
struct CDisplayLine
{
    std::string m_text;
    std::string m_formats;              // as long as m_text
    std::vector<CColorChange> m_colors; // the first at 0 unless the line is empty

    static RunFormat FormatOf(char cell)
    {
        return static_cast<RunFormat>(static_cast<uint8_t>(cell) & ~kCellRunStart);
    }
    static bool StartsRun(char cell) { return static_cast<uint8_t>(cell) & kCellRunStart; }

    std::string_view SpanText(const CLineSpan& span) const
    {
        return std::string_view(m_text).substr(span.m_nStart, span.m_nLength);
    }
};

// Walks a line's colour changes in step with its characters: At(column)
// gives the colour set of each column asked, in increasing order.
class CColorWalk
{
public:
    explicit CColorWalk(const CDisplayLine& line)
        : m_next(line.m_colors.begin()), m_end(line.m_colors.end())
    {
    }
    // `changed` tells whether a set starts at this column.
    uint16_t At(size_t column, bool* changed = nullptr)
    {
        bool starts = false;
        for (; m_next != m_end && m_next->m_nFrom <= column; ++m_next) {
            m_set = m_next->m_nColors;
            starts = true;
        }
        if (changed)
            *changed = starts;
        return m_set;
    }

private:
    std::vector<CColorChange>::const_iterator m_next;
    std::vector<CColorChange>::const_iterator m_end;
    uint16_t m_set = 0;
};

// A display's text held in memory as lines of formatted characters: the sink
// the renderer writes into at full speed, and what the terminal widget draws.
// A character costs its byte and a format byte, whatever the run lengths, so
// Hex mode (two runs a byte) costs little more than plain text.
//
// Every line has a serial number: line i has FirstSerial() + i. Removing the
// first line advances FirstSerial; Clear moves it past every serial handed
// out so far, so a place in the text (the widget's caret) names its line for
// as long as the line is there.
class CLineBuffer : public CTextSink
{
public:
    CLineBuffer();

    // Colours given to runs written from now on, by format.
    void SetColors(const CDisplayColors& colors) override;
    uint32_t ColorOf(RunFormat format) const { return ColorIn(Colors(m_nCurrentColors), format); }

    void AppendText(RunFormat format, std::string_view text) override;
    void AppendCells(std::string_view text, std::span<const uint8_t> formats) override;
    int LineCount() const override { return static_cast<int>(m_nLines); }
    void RemoveFirstLine() override;
    int64_t CharCount() const override { return m_nChars; }
    void DeleteLastChar() override;
    int LastLineLength() const override { return static_cast<int>(Last().m_text.size()); }
    void EraseLastLine() override;
    void Clear() override;

    const CDisplayLine& Line(int index) const { return At(static_cast<size_t>(index)); }
    const CDisplayColors& Colors(uint16_t set) const { return m_colorSets[set]; }
    // The colour a character with format byte `cell` is drawn in, written in
    // colour set `set`.
    uint32_t CellColor(uint16_t set, char cell) const
    {
        return ColorIn(Colors(set), CDisplayLine::FormatOf(cell));
    }
    static uint32_t ColorIn(const CDisplayColors& colors, RunFormat format)
    {
        return format == RunFormat::Text      ? colors.m_text
               : format == RunFormat::Special ? colors.m_special
                                              : colors.m_stamp;
    }
    // The written runs of line `index`, in order, each in its colour.
    std::vector<CLineSpan> Spans(int index) const;
    // The lines joined by '\n'.
    std::string PlainText() const;

    uint64_t FirstSerial() const { return m_firstSerial; }
    uint64_t EndSerial() const { return m_firstSerial + m_nLines; }

    // Colour sets the buffer keeps before it drops those no line uses any more.
    static constexpr size_t kMaxColorSets = 1024;

private:
    // The last line, ready for `count` more characters in the colours in use.
    CDisplayLine& LastLineFor(size_t count);
    void NewLine();
    void DropUnusedColorSets();

    CDisplayLine& At(size_t index) { return m_ring[(m_nHead + index) & (m_ring.size() - 1)]; }
    const CDisplayLine& At(size_t index) const
    {
        return m_ring[(m_nHead + index) & (m_ring.size() - 1)];
    }
    CDisplayLine& Last() { return At(m_nLines - 1); }
    const CDisplayLine& Last() const { return At(m_nLines - 1); }

    // The lines, m_nLines of them from m_nHead on, in a ring whose size is a
    // power of two. Removed lines stay in it with their allocations: a flood
    // removes and adds lines at the same rate.
    std::vector<CDisplayLine> m_ring;
    size_t m_nHead = 0;
    size_t m_nLines = 1;
    int64_t m_nChars = 0;
    uint64_t m_firstSerial = 0;
    std::vector<CDisplayColors> m_colorSets;
    uint16_t m_nCurrentColors = 0; // the set runs are written in now
};
