#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The three character formats of a terminal display.
enum class RunFormat : uint8_t
{
    Text,    // ordinary characters
    Special, // control-character names, bytes above 126, Hex mode's character column
    Stamp,   // time stamps
};

// Flag in a character's format byte (CTextSink::AppendCells): the first
// character of a written run.
constexpr uint8_t kCellRunStart = 0x80;

// The colours a display writes its three formats in (0x00BBGGRR).
struct CDisplayColors
{
    uint32_t m_text = 0x00FF00;
    uint32_t m_special = 0x00FFFF;
    uint32_t m_stamp = 0x7F7F7F;
};

// Where a display renderer writes: a text of lines, each line a sequence of
// runs in one of the three formats, always written at the end.
//
// Line model: "\r\n" (the writer's break) is one line break and so is a lone
// "\r" (a carriage return from Text-mode data); a break counts as one
// character. An empty text has one empty line, and a text ending in a break
// has an empty last line, which counts.
class CTextSink
{
public:
    virtual ~CTextSink() = default;

    // Appends `text` at the end in `format`; breaks in it start new lines.
    virtual void AppendText(RunFormat format, std::string_view text) = 0;
    // Appends many runs at once, exactly as AppendText of each run in turn
    // would: `formats` holds a byte for every character of `text`, the run's
    // RunFormat, with kCellRunStart on each run's first character. Sinks that
    // can take the characters faster than run by run say so.
    virtual void AppendCells(std::string_view text, std::span<const uint8_t> formats)
    {
        size_t start = 0;
        for (size_t i = 1; i <= text.size(); ++i) {
            if (i == text.size() || (formats[i] & kCellRunStart)) {
                AppendText(static_cast<RunFormat>(formats[start] & ~kCellRunStart),
                           text.substr(start, i - start));
                start = i;
            }
        }
    }
    // Number of lines, at least 1.
    virtual int LineCount() const = 0;
    // Removes line 0 and the break after it. Does nothing on a single line.
    virtual void RemoveFirstLine() = 0;
    // Characters in the whole text, each line break counting as one.
    virtual int64_t CharCount() const = 0;
    // Removes the last character, which may be a line break (joining the last
    // two lines). Does nothing on an empty text.
    virtual void DeleteLastChar() = 0;
    // Characters in the last line, its break excluded.
    virtual int LastLineLength() const = 0;
    // Removes the characters of the last line; the break before it stays.
    virtual void EraseLastLine() = 0;
    virtual void Clear() = 0;
    // The colours of the runs written from now on; a sink that keeps no
    // colours ignores them.
    virtual void SetColors(const CDisplayColors&) {}
};
