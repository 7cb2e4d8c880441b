#pragma once
#include "display/LineBuffer.h"
#include "display/ui/ColorRef.h"
#include "display/ui/RichCtrl.h"

#include <QCoreApplication>
#include <string>
#include <vector>

// One line as colour-tagged text: "{RRGGBB}text{RRGGBB}text", neighbouring
// pieces of one colour merged, so what a widget draws and a line buffer's
// runs can be compared whatever the run boundaries.
inline std::string ColorTag(const QColor& color)
{
    return "{" + color.name().mid(1).toStdString() + "}";
}

inline void AddPiece(std::string& line, std::string& lastTag, const std::string& tag,
                     const std::string& text)
{
    if (text.empty())
        return;
    if (tag != lastTag)
        line += tag;
    lastTag = tag;
    line += text;
}

// The lines as the display draws them, each character in the colour the
// widget gives it.
inline std::vector<std::string> DrawnLines(const CRichCtrl& display)
{
    std::vector<std::string> lines;
    const CLineBuffer& buffer = display.Lines();
    for (int i = 0; i < buffer.LineCount(); ++i) {
        const std::string text(buffer.Line(i).Text());
        std::string line;
        std::string lastTag;
        for (size_t c = 0; c < text.size(); ++c)
            AddPiece(line, lastTag, ColorTag(display.CharColor(i, static_cast<int>(c))),
                     text.substr(c, 1));
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> BufferLines(const CLineBuffer& buffer)
{
    std::vector<std::string> lines;
    for (int i = 0; i < buffer.LineCount(); ++i) {
        const CDisplayLine& line = buffer.Line(i);
        std::string text;
        std::string lastTag;
        for (const CLineSpan& span : buffer.Spans(i))
            AddPiece(text, lastTag, ColorTag(ColorFromRef(span.m_color)),
                     std::string(line.SpanText(span)));
        lines.push_back(text);
    }
    return lines;
}

// The display's text, lines joined by '\n'.
inline std::string DisplayText(const CRichCtrl& display)
{
    return display.Text().toStdString();
}

// Runs the queued work of a delivery: the session's "new bytes" call, then
// the display's drawing, which the first queues.
inline void DrainEvents()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}
