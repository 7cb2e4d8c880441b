#pragma once
#include "display/LineBuffer.h"
#include "display/ui/ColorRef.h"

#include <QCoreApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <string>
#include <vector>

// One line as colour-tagged text: "{RRGGBB}text{RRGGBB}text", neighbouring
// pieces of one colour merged, so a widget's document and a line buffer can
// be compared whatever the fragment boundaries.
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

inline std::vector<std::string> DocumentLines(const QTextDocument* doc)
{
    std::vector<std::string> lines;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        std::string line;
        std::string lastTag;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            AddPiece(line, lastTag, ColorTag(fragment.charFormat().foreground().color()),
                     fragment.text().toStdString());
        }
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

// The document's text, blocks joined by '\n'.
inline std::string DocumentText(const QTextDocument* doc)
{
    return doc->toPlainText().toStdString();
}

// Runs the queued work of a delivery: the session's "new bytes" call, then
// the display's drawing, which the first queues.
inline void DrainEvents()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}
