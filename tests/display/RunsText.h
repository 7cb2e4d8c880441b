#pragma once
#include "display/LineBuffer.h"

#include <string>

// The display's lines joined by '\n', every run wrapped as <t>..</t>,
// <s>..</s> or <p>..</p> (the companion's --runs form).
inline std::string RunsText(const CLineBuffer& buffer)
{
    static const char* const kOpen[] = {"<t>", "<s>", "<p>"};
    static const char* const kClose[] = {"</t>", "</s>", "</p>"};
    std::string text;
    for (int i = 0; i < buffer.LineCount(); ++i) {
        if (i > 0)
            text += '\n';
        const CDisplayLine& line = buffer.Line(i);
        for (const CLineSpan& span : buffer.Spans(i)) {
            const auto format = static_cast<size_t>(span.m_format);
            text += kOpen[format];
            text += line.SpanText(span);
            text += kClose[format];
        }
    }
    return text;
}
