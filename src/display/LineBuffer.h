#pragma once
#include "display/TextSink.h"

#include <cstdint>
#include <cstring>
#include <memory>
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
//
// A display may keep a million lines, so a line is small: the characters and
// their formats share one allocation sized for a whole display line, and the
// first colour change (every line has one) lives in the line itself.
class CDisplayLine
{
public:
    CDisplayLine() = default;
    CDisplayLine(CDisplayLine&&) noexcept = default;
    CDisplayLine& operator=(CDisplayLine&&) noexcept = default;

    static RunFormat FormatOf(char cell)
    {
        return static_cast<RunFormat>(static_cast<uint8_t>(cell) & ~kCellRunStart);
    }
    static bool StartsRun(char cell) { return static_cast<uint8_t>(cell) & kCellRunStart; }

    size_t Size() const { return m_nLength; }
    std::string_view Text() const { return {m_cells.get(), m_nLength}; }
    std::string_view Formats() const { return {m_cells.get() + m_nCapacity, m_nLength}; }
    char FormatAt(size_t column) const { return m_cells[m_nCapacity + column]; }

    size_t ColorCount() const { return (m_bHasColor ? 1 : 0) + (m_more ? m_more->size() : 0); }
    CColorChange ColorAt(size_t index) const
    {
        return index == 0 ? CColorChange{m_nFirstFrom, m_nFirstColors} : (*m_more)[index - 1];
    }
    void SetColorAt(size_t index, uint16_t colors);

    std::string_view SpanText(const CLineSpan& span) const
    {
        return Text().substr(span.m_nStart, span.m_nLength);
    }

    // The line buffer's edits. Those made for every line are inline: a Hex
    // chunk of 4 KiB writes some 250 short lines, and a call or two more for
    // each made appending a tenth slower.
    void AddColor(CColorChange change)
    {
        if (m_bHasColor) {
            AddMoreColor(change);
            return;
        }
        m_nFirstFrom = change.m_nFrom;
        m_nFirstColors = change.m_nColors;
        m_bHasColor = true;
    }
    void PopColor();
    // `formats` holds one format byte for each character of `text`.
    void Append(std::string_view text, const char* formats)
    {
        if (text.empty())
            return;
        char* at = Room(text.size());
        std::memcpy(at, text.data(), text.size());
        std::memcpy(at + m_nCapacity, formats, text.size());
    }
    // `text` in one format, its first character marked as starting a run.
    void Append(std::string_view text, char format)
    {
        if (text.empty())
            return;
        char* at = Room(text.size());
        std::memcpy(at, text.data(), text.size());
        at[m_nCapacity] = static_cast<char>(format | kCellRunStart);
        std::memset(at + m_nCapacity + 1, format, text.size() - 1);
    }
    void MarkRunStart(size_t column)
    {
        m_cells[m_nCapacity + column] |= static_cast<char>(kCellRunStart);
    }
    void PopBack() { --m_nLength; }
    // Empties the line and keeps its allocation for the next.
    void Clear()
    {
        m_nLength = 0;
        m_bHasColor = false;
        m_more.reset();
    }

private:
    // Room for `count` more characters at the end: where they go.
    char* Room(size_t count)
    {
        const size_t needed = m_nLength + count;
        if (needed > m_nCapacity)
            Grow(needed);
        char* at = m_cells.get() + m_nLength;
        m_nLength = static_cast<uint32_t>(needed);
        return at;
    }
    void Grow(size_t needed);
    void AddMoreColor(CColorChange change);

    std::unique_ptr<char[]> m_cells; // characters at 0, formats at m_nCapacity
    uint32_t m_nLength = 0;
    uint32_t m_nCapacity = 0;
    uint32_t m_nFirstFrom = 0;
    uint16_t m_nFirstColors = 0;
    bool m_bHasColor = false;
    std::unique_ptr<std::vector<CColorChange>> m_more; // the changes after the first
};

// Walks a line's colour changes in step with its characters: At(column)
// gives the colour set of each column asked, in increasing order.
class CColorWalk
{
public:
    explicit CColorWalk(const CDisplayLine& line) : m_line(line), m_nCount(line.ColorCount()) {}
    // `changed` tells whether a set starts at this column.
    uint16_t At(size_t column, bool* changed = nullptr)
    {
        bool starts = false;
        for (; m_nNext < m_nCount && m_line.ColorAt(m_nNext).m_nFrom <= column; ++m_nNext) {
            m_set = m_line.ColorAt(m_nNext).m_nColors;
            starts = true;
        }
        if (changed)
            *changed = starts;
        return m_set;
    }

private:
    const CDisplayLine& m_line;
    size_t m_nCount;
    size_t m_nNext = 0;
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
    int LastLineLength() const override { return static_cast<int>(Last().Size()); }
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
    // The most one kept line of a full display width costs in memory: its
    // 176-byte allocation and its slot in the ring, which holds up to twice
    // the lines kept (bench/display.cpp measures it).
    static constexpr int64_t kBytesPerFullLine = 240;
    // At most what a display keeping `lines` full lines takes.
    static int64_t MemoryFor(int lines) { return int64_t{lines} * kBytesPerFullLine; }

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
