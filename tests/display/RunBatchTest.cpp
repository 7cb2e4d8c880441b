// Runs handed to a sink in batches (the Hex display's way) leave exactly the
// text and runs that writing them one at a time leaves.
#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"
#include "display/PlainTextSink.h"
#include "display/RunsText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// A batch of random runs (breaks included), with the format byte of each
// character, and the same runs written one at a time into `single`.
struct CRandomBatch
{
    std::string text;
    std::vector<uint8_t> formats;
};

CRandomBatch RandomRuns(std::mt19937& random, CTextSink& single)
{
    CRandomBatch batch;
    for (int r = static_cast<int>(random() % 40); r > 0; --r) {
        const auto format = static_cast<RunFormat>(random() % 3);
        std::string part(random() % 6, 'a');
        for (char& c : part)
            c = "xy\r\n"[random() % 4];
        single.AppendText(format, part);
        for (size_t i = 0; i < part.size(); ++i)
            batch.formats.push_back(static_cast<uint8_t>(format) | (i == 0 ? kCellRunStart : 0));
        batch.text += part;
    }
    return batch;
}

TEST(RunBatch, ALineBufferTakesABatchAsItTakesEachRun)
{
    std::mt19937 random(99);
    CLineBuffer batched;
    CLineBuffer single;
    for (int round = 0; round < 200; ++round) {
        const CRandomBatch batch = RandomRuns(random, single);
        batched.AppendCells(batch.text, batch.formats);
        ASSERT_EQ(RunsText(batched), RunsText(single)) << "round " << round;
        ASSERT_EQ(batched.CharCount(), single.CharCount());
    }
}

// A sink that only knows runs one at a time gets a batch as those runs.
TEST(RunBatch, APlainSinkTakesABatchRunByRun)
{
    std::mt19937 random(5);
    CPlainTextSink batched;
    CPlainTextSink single;
    for (int round = 0; round < 200; ++round) {
        const CRandomBatch batch = RandomRuns(random, single);
        batched.AppendCells(batch.text, batch.formats);
        ASSERT_EQ(batched.Lines(), single.Lines()) << "round " << round;
        ASSERT_EQ(batched.CharCount(), single.CharCount());
    }
}

// A display whose colours change again and again (a merge display fed by
// many sessions, colours edited for hours) keeps a bounded set of styles,
// and every line still shows the colour it was written in.
TEST(RunBatch, StylesNoLineUsesAreDroppedWithoutRecolouringAnyLine)
{
    CLineBuffer buffer;
    const auto colorOfLine = [](uint32_t n) { return 0x010203u * (n + 1) & 0xFFFFFFu; };
    for (uint32_t n = 0; n < 3 * CLineBuffer::kMaxColorSets; ++n) {
        CDisplayColors colors;
        colors.m_text = colorOfLine(n);
        colors.m_special = colorOfLine(n) ^ 0xFF;
        buffer.SetColors(colors);
        buffer.AppendText(RunFormat::Text, "t");
        buffer.AppendText(RunFormat::Special, "s\r\n");
        if (buffer.LineCount() > 100)
            buffer.RemoveFirstLine();
    }
    const auto first = static_cast<uint32_t>(3 * CLineBuffer::kMaxColorSets) -
                       static_cast<uint32_t>(buffer.LineCount() - 1);
    for (int i = 0; i + 1 < buffer.LineCount(); ++i) {
        const std::vector<CLineSpan> spans = buffer.Spans(i);
        ASSERT_EQ(spans.size(), 2u);
        EXPECT_EQ(spans[0].m_color, colorOfLine(first + static_cast<uint32_t>(i))) << i;
        EXPECT_EQ(spans[1].m_color, colorOfLine(first + static_cast<uint32_t>(i)) ^ 0xFF) << i;
        EXPECT_EQ(spans[1].m_format, RunFormat::Special);
    }
}

// The last `lines` lines of RunsText.
std::string Tail(const CLineBuffer& buffer, int lines)
{
    const std::string text = RunsText(buffer);
    size_t at = text.size();
    for (int n = 0; n < lines && at != std::string::npos && at > 0; ++n)
        at = text.rfind('\n', at - 1);
    return at == std::string::npos ? text : text.substr(at + 1);
}

// A Hex chunk far longer than the renderer's batch ends as the same bytes
// fed one at a time end: the same last lines, runs and column.
TEST(RunBatch, HexChunksAcrossBatchBoundariesEndAsByteByByte)
{
    std::mt19937 random(7);
    CDisplaySettings hex;
    hex.m_nMode = 2;
    for (const size_t size : {4095u, 4096u, 4097u, 9000u}) {
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        CDisplayRenderer whole(0);
        CDisplayRenderer each(0);
        CLineBuffer wholeText;
        CLineBuffer eachText;
        whole.AppendData(bytes.data(), bytes.size(), 0, hex, wholeText);
        for (const char& c : bytes)
            each.AppendData(&c, 1, 0, hex, eachText);
        ASSERT_EQ(Tail(wholeText, 90), Tail(eachText, 90)) << size;
        ASSERT_EQ(whole.Column(), each.Column());
    }
}

// A line buffer that takes a batch run by run, as a sink without a batch
// path of its own does.
class CRunByRunBuffer final : public CLineBuffer
{
public:
    void AppendCells(std::string_view text, std::span<const uint8_t> formats) override
    {
        CTextSink::AppendCells(text, formats);
    }
};

// Mont and Hex hand their runs over in batches; the display ends exactly as
// when every run is written on its own, breaks inside names and stamps
// included.
TEST(RunBatch, BatchedModesEndAsRunByRun)
{
    std::mt19937 random(3);
    for (const int mode : {0, 2}) {
        CDisplaySettings settings;
        settings.m_nMode = mode;
        settings.m_nStampFormat = 1;
        CDisplayRenderer batchedRenderer(0);
        CDisplayRenderer singleRenderer(0);
        CLineBuffer batched;
        CRunByRunBuffer single;
        uint32_t tick = 0;
        for (int chunk = 0; chunk < 200; ++chunk) {
            std::string bytes(random() % 700, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random());
            tick += random() % 3;
            batchedRenderer.AppendData(bytes.data(), bytes.size(), tick, settings, batched);
            singleRenderer.AppendData(bytes.data(), bytes.size(), tick, settings, single);
            ASSERT_EQ(RunsText(batched), RunsText(single)) << "mode " << mode << " chunk " << chunk;
        }
        EXPECT_EQ(batchedRenderer.Column(), singleRenderer.Column());
    }
}

} // namespace
