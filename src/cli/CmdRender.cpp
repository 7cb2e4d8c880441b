// trellium-cli render: the display's renderer and writer, fed from standard
// input, printing the display's lines.
//
// Input, one chunk a line: "TICK HEX..." where TICK is the display's
// millisecond tick (0..4294967295; the display is created at tick 0) and HEX
// the chunk's bytes as hex digit pairs, in any number of blank-separated
// groups. A line holding only a tick is an empty chunk (it can still get a
// stamp); blank lines are skipped. At the first malformed line the display
// rendered so far is printed, the error goes to standard error and the exit
// status is 2.
//
// Output: every display line as one output line, the last one included; a
// line holding no runs (an empty display, the line after a trailing break)
// prints as an empty line. With --runs every run is wrapped in <t>, <s> or
// <p> tags as written; the run text itself is not escaped.
#include "cli/Commands.h"

#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"
#include "display/PlainTextSink.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

namespace {

struct CRenderOptions
{
    CDisplaySettings m_settings;
    bool m_bRuns = false;
    int m_nLines = CDisplayRenderer::kDefaultLines;
};

std::optional<int32_t> ParseInt32(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

// Returns an error message, empty on success.
QString ParseOptions(const QStringList& args, CRenderOptions& options)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--runs")) {
            options.m_bRuns = true;
            continue;
        }
        const bool takesValue =
            arg == QLatin1String("--mode") || arg == QLatin1String("--stamps") ||
            arg == QLatin1String("--min-interval") || arg == QLatin1String("--lines");
        if (!takesValue)
            return QStringLiteral("render: unknown argument '%1'").arg(arg);
        if (i + 1 >= args.size())
            return QStringLiteral("render: %1 needs a value").arg(arg);
        const QString value = args[++i];
        if (arg == QLatin1String("--mode")) {
            const QString mode = value.toLower();
            if (mode == QLatin1String("mont"))
                options.m_settings.m_nMode = 0;
            else if (mode == QLatin1String("text"))
                options.m_settings.m_nMode = 1;
            else if (mode == QLatin1String("hex"))
                options.m_settings.m_nMode = 2;
            else
                return QStringLiteral("render: unknown mode '%1' (mont, text or hex)").arg(value);
        } else if (arg == QLatin1String("--lines")) {
            const std::optional<int32_t> lines = ParseInt32(value);
            if (!lines || *lines < CDisplayRenderer::kDefaultLines ||
                *lines > CDisplayRenderer::kMostLines)
                return QStringLiteral("render: --lines must be %1 to %2, not '%3'")
                    .arg(CDisplayRenderer::kDefaultLines)
                    .arg(CDisplayRenderer::kMostLines)
                    .arg(value);
            options.m_nLines = *lines;
        } else if (arg == QLatin1String("--stamps")) {
            const std::optional<int32_t> format = ParseInt32(value);
            if (!format || *format < 0 || *format > 6)
                return QStringLiteral("render: time-stamp format must be 0 to 6, not '%1'")
                    .arg(value);
            options.m_settings.m_nStampFormat = *format;
        } else {
            const std::optional<int32_t> interval = ParseInt32(value);
            if (!interval)
                return QStringLiteral("render: minimum interval must be a 32-bit integer, not '%1'")
                    .arg(value);
            options.m_settings.m_nMinInterval = *interval;
        }
    }
    return {};
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Parses "TICK HEX..." into tick and bytes. Returns an error message, empty
// on success.
QString ParseChunk(const QByteArray& line, uint32_t& tick, std::string& bytes)
{
    int pos = 0;
    const int size = static_cast<int>(line.size());
    while (pos < size && IsBlank(line[pos]))
        ++pos;
    uint64_t value = 0;
    const int tickStart = pos;
    while (pos < size && line[pos] >= '0' && line[pos] <= '9') {
        value = value * 10 + static_cast<uint64_t>(line[pos] - '0');
        if (value > 0xFFFFFFFFu)
            return QStringLiteral("tick is larger than 4294967295");
        ++pos;
    }
    if (pos == tickStart || (pos < size && !IsBlank(line[pos])))
        return QStringLiteral("expected a decimal tick at the start of the line");
    tick = static_cast<uint32_t>(value);

    bytes.clear();
    while (pos < size) {
        if (IsBlank(line[pos])) {
            ++pos;
            continue;
        }
        const int high = HexValue(line[pos]);
        const int low = pos + 1 < size ? HexValue(line[pos + 1]) : -1;
        if (high < 0)
            return QStringLiteral("'%1' is not a hex digit")
                .arg(QLatin1Char(static_cast<char>(line[pos])));
        if (low < 0)
            return QStringLiteral("hex digits must come in pairs");
        bytes += static_cast<char>(high * 16 + low);
        pos += 2;
    }
    return {};
}

void PrintLines(const CPlainTextSink& display)
{
    for (const std::string& line : display.Lines()) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
}

void PrintDisplay(const CLineBuffer& display, bool runs)
{
    static const char* const kOpen[] = {"<t>", "<s>", "<p>"};
    static const char* const kClose[] = {"</t>", "</s>", "</p>"};
    std::string out;
    for (int i = 0; i < display.LineCount(); ++i) {
        const CDisplayLine& line = display.Line(i);
        out.clear();
        if (!runs) {
            out = line.Text();
        } else {
            for (const CLineSpan& span : display.Spans(i)) {
                const size_t format = static_cast<size_t>(span.m_format);
                out += kOpen[format];
                out += line.SpanText(span);
                out += kClose[format];
            }
        }
        out += '\n';
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    std::fflush(stdout);
}

} // namespace

int RunRender(const QStringList& args)
{
    CRenderOptions options;
    const QString error = ParseOptions(args, options);
    if (!error.isEmpty()) {
        PrintError(error);
        return 2;
    }

    CDisplayRenderer renderer(0);
    renderer.SetMaxLines(options.m_nLines);
    // Without --runs only the characters are needed: a plain sink holds
    // about what it shows, where the coloured line buffer keeps a span per run.
    CLineBuffer runsDisplay;
    CPlainTextSink plainDisplay;
    CTextSink& display = options.m_bRuns ? static_cast<CTextSink&>(runsDisplay)
                                         : static_cast<CTextSink&>(plainDisplay);
    const auto print = [&] {
        if (options.m_bRuns)
            PrintDisplay(runsDisplay, true);
        else
            PrintLines(plainDisplay);
    };
    std::string text;
    std::string bytes;
    int lineNumber = 0;
    while (std::getline(std::cin, text)) {
        ++lineNumber;
        const QByteArray line =
            QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()));
        if (line.trimmed().isEmpty())
            continue;
        uint32_t tick = 0;
        const QString chunkError = ParseChunk(line, tick, bytes);
        if (!chunkError.isEmpty()) {
            print();
            PrintError(QStringLiteral("render: line %1: %2").arg(lineNumber).arg(chunkError));
            return 2;
        }
        renderer.AppendData(bytes.data(), bytes.size(), tick, options.m_settings, display);
    }
    print();
    return 0;
}
