// The companion prints what the display would keep: the stream's lines are
// the plain sink's lines, whatever the chunks' sizes and wherever a "\r\n"
// or an erase falls.
#include "display/StreamSink.h"
#include "display/DisplayRenderer.h"
#include "display/PlainTextSink.h"
#include "display/TerminalBytes.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <random>

namespace {

// What a stream has been handed so far.
class CMemoryStream
{
public:
    CMemoryStream() : m_file(open_memstream(&m_data, &m_size)) {}
    ~CMemoryStream()
    {
        std::fclose(m_file);
        std::free(m_data);
    }
    std::FILE* File() { return m_file; }
    std::string Text()
    {
        std::fflush(m_file);
        return std::string(m_data, m_size);
    }

private:
    char* m_data = nullptr;
    size_t m_size = 0;
    std::FILE* m_file;
};

std::string Joined(const CPlainTextSink& plain)
{
    std::string joined;
    for (size_t i = 0; i < plain.Lines().size(); ++i)
        joined += (i ? "\n" : "") + plain.Lines()[i];
    return joined;
}

TEST(StreamSink, PrintsTheLinesThePlainSinkHolds)
{
    std::mt19937 random(7);
    for (int mode = 0; mode < 3; ++mode) {
        for (const bool longRuns : {false, true}) {
            CDisplayRenderer a(0);
            CDisplayRenderer b(0);
            a.SetMaxLines(CDisplayRenderer::kMostLines);
            b.SetMaxLines(CDisplayRenderer::kMostLines);
            CMemoryStream stream;
            CStreamSink sink(stream.File());
            CPlainTextSink plain;
            CDisplaySettings settings;
            settings.m_nMode = mode;
            settings.m_nStampFormat = 1;
            uint32_t tick = 0;
            for (int chunk = 0; chunk < 300; ++chunk) {
                const std::string bytes = TerminalBytes(random, random() % 400, longRuns);
                tick += static_cast<uint32_t>(random() % 1000);
                a.AppendData(bytes.data(), bytes.size(), tick, settings, sink);
                b.AppendData(bytes.data(), bytes.size(), tick, settings, plain);
                // Text mode may still edit the line being written; nothing
                // else can, and the companion prints it at once there.
                if (mode == 1)
                    sink.Flush();
                else
                    sink.FlushPartial();
                ASSERT_EQ(sink.CharCount(), plain.CharCount()) << "mode " << mode;
            }
            sink.Finish();
            const std::string printed = stream.Text();
            ASSERT_FALSE(printed.empty());
            EXPECT_EQ(printed, Joined(plain)) << "mode " << mode << " long runs " << longRuns;
        }
    }
}

TEST(StreamSink, ABreakSplitOverTwoTextsIsOneBreak)
{
    CMemoryStream stream;
    CStreamSink sink(stream.File());
    sink.AppendText(RunFormat::Text, "one\r");
    sink.AppendText(RunFormat::Text, "\ntwo\r\n\r\nthree\n\rfour");
    sink.Finish();
    EXPECT_EQ(stream.Text(), "one\ntwo\n\nthree\n\nfour");
    EXPECT_EQ(sink.CharCount(), 3 + 1 + 3 + 1 + 1 + 5 + 1 + 1 + 4);
}

TEST(StreamSink, WhatWasPrintedStaysAndOnlyTheHeldPartIsErased)
{
    CMemoryStream stream;
    CStreamSink sink(stream.File());
    sink.AppendText(RunFormat::Text, "shown\nhe");
    sink.FlushPartial();
    sink.AppendText(RunFormat::Text, "ld");
    sink.DeleteLastChar();
    sink.DeleteLastChar();
    sink.DeleteLastChar(); // reaches what was printed: nothing more goes
    sink.AppendText(RunFormat::Text, "y");
    sink.EraseLastLine();
    sink.AppendText(RunFormat::Text, "lp\n");
    sink.Finish();
    EXPECT_EQ(stream.Text(), "shown\nhelp\n");
}

} // namespace
