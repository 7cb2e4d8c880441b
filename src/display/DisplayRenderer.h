#pragma once
#include "display/TextSink.h"

#include <QDateTime>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What one append reads from the display's session.
struct CDisplaySettings
{
    int32_t m_nMode = 0;          // 0 Mont, 1 Text, 2 Hex; other values render as Mont
    int32_t m_nStampFormat = 0;   // 0 off, 1..6 (see TimeStamp)
    int32_t m_nMinInterval = 500; // ms, compared as unsigned: negative means never
    QDateTime m_localTime;        // formats 5 and 6; invalid = read the clock when needed
};

// Turns chunks of received bytes into coloured runs for one terminal display:
// the trim to the lines kept (100 unless the program keeps more history), the time stamp, the three
// display modes and the line-breaking writer. Holds the display's own state (column, Text-mode
// escape state, last display time) and nothing of the text itself, which
// lives in the sink. One renderer per display; not thread-safe.
class CDisplayRenderer
{
public:
    // The lines a display keeps: 100 unless the program keeps more history.
    static constexpr int kDefaultLines = 100;
    static constexpr int kMostLines = 1000000;
    static constexpr int kLineWidth = 80;

    // `constructionTick` is the display's construction time: the first stamp
    // measures from it.
    explicit CDisplayRenderer(uint32_t constructionTick);

    // The lines kept from the next append on, clamped to kDefaultLines ..
    // kMostLines. Lines above it go at that append, as the trim always does.
    void SetMaxLines(int lines);
    int MaxLines() const { return m_nMaxLines; }

    // Appends one chunk: trims the sink to MaxLines lines, writes the time
    // stamp when one is due, then the bytes in the settings' mode.
    void AppendData(const char* bytes, size_t count, uint32_t nowTick,
                    const CDisplaySettings& settings, CTextSink& sink);
    // Appends the marker for `lostBytes` bytes that never reached the display,
    // in the special format and through the writer, after the same trim. The
    // bytes after a gap do not continue an escape sequence begun before it.
    // Datagrams the system dropped are counted as datagrams: their length
    // was never known.
    enum class GapUnit
    {
        Bytes,
        Datagrams,
    };
    void AppendGap(uint64_t lost, CTextSink& sink, GapUnit unit = GapUnit::Bytes);
    // Empties the sink and restarts the column; the escape state and the last
    // display time carry on.
    void Clear(CTextSink& sink);

    int Column() const { return m_nColumn; }
    int EscapeState() const { return m_nEscape; }
    uint32_t LastDisplayTick() const { return m_lastDisplayTick; }

    // The marker text AppendGap writes.
    static std::string GapText(uint64_t lost, GapUnit unit = GapUnit::Bytes);

private:
    void Trim(CTextSink& sink);
    void WriteStamp(uint32_t nowTick, const CDisplaySettings& settings, CTextSink& sink);
    void RenderMont(const char* bytes, size_t count, CTextSink& sink);
    void RenderText(const char* bytes, size_t count, CTextSink& sink);
    void RenderHex(const char* bytes, size_t count, CTextSink& sink);
    void FlushPending(CTextSink& sink);
    // The line-breaking writer: a break follows the character that raises the
    // column above the line width; in Text mode a carriage return restarts it.
    void Write(RunFormat format, const char* text, size_t length, CTextSink& sink);
    // Where Write puts a finished run: the sink, or Mont mode's batch.
    void Emit(RunFormat format, std::string_view text, CTextSink& sink);

    int m_nMaxLines = kDefaultLines;
    int m_nColumn = 0;
    int m_nEscape = 0; // Text mode: 0 plain, 1 after ESC, 2 after ESC [
    uint32_t m_lastDisplayTick;
    bool m_bTextMode = false;       // mode of the append in progress
    std::string m_out;              // writer output, reused
    std::string m_pending;          // Text mode's pending run, reused
    std::string m_names;            // Mont mode's run of names, reused
    std::vector<uint8_t> m_formats; // Hex mode's format byte per character, reused
    bool m_bBatching = false;       // Write adds to the batch below (Mont mode)
    std::string m_batchText;
    std::vector<uint8_t> m_batchFormats;
};
