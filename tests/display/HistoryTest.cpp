// The history a display keeps: the trim to the lines the program keeps, what
// a kept line costs in memory, and the session's setting reaching its display.
#include "display/DisplayModel.h"
#include "display/DisplayModes.h"
#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <string>

namespace {

// Bytes the allocator has handed out, large blocks that it maps on their
// own (such as a big ring of lines) included.
size_t HeapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void Append(CDisplayRenderer& renderer, CTextSink& sink, const std::string& bytes, int mode)
{
    renderer.AppendData(bytes.data(), bytes.size(), 0, Mode(mode), sink);
}

// "0\r1\r2\r..." : `count` numbered lines in Text mode.
std::string NumberedLines(int count)
{
    std::string lines;
    for (int i = 0; i < count; ++i)
        lines += std::to_string(i) + "\r";
    return lines;
}

TEST(History, KeepsTheChosenLinesAndTrimsAsAtAHundred)
{
    CDisplayRenderer renderer(0);
    renderer.SetMaxLines(1000);
    CLineBuffer buffer;
    Append(renderer, buffer, NumberedLines(1500), kText);
    ASSERT_EQ(buffer.LineCount(), 1501);
    // The trim comes before the append, down to exactly the lines kept.
    Append(renderer, buffer, "y\rz\r", kText);
    EXPECT_EQ(buffer.LineCount(), 1002);
    EXPECT_EQ(buffer.Line(0).Text(), "501");
    EXPECT_EQ(buffer.Line(999).Text(), "y");

    // A smaller setting trims at the next append.
    renderer.SetMaxLines(100);
    Append(renderer, buffer, "", kText);
    EXPECT_EQ(buffer.LineCount(), 100);
    EXPECT_EQ(buffer.Line(0).Text(), "1403");
}

TEST(History, TheSettingStaysWithinAHundredAndAMillion)
{
    CDisplayRenderer renderer(0);
    EXPECT_EQ(renderer.MaxLines(), 100);
    renderer.SetMaxLines(5);
    EXPECT_EQ(renderer.MaxLines(), 100);
    renderer.SetMaxLines(2000000);
    EXPECT_EQ(renderer.MaxLines(), 1000000);

    CSessionContext context;
    EXPECT_EQ(context.HistoryLines(), 100);
    context.SetHistoryLines(-1);
    EXPECT_EQ(context.HistoryLines(), 100);
    context.SetHistoryLines(1 << 30);
    EXPECT_EQ(context.HistoryLines(), 1000000);
}

// A session's display keeps what the program's setting says, read at each
// append; the setting is the program's, not the session file's.
TEST(History, ASessionsDisplayTakesTheProgramsSetting)
{
    CSessionContext context;
    context.SetHistoryLines(300);
    CTrelliumDoc doc(context);
    doc.EditInfo()->m_nDisplayMode = kText;
    CLineBuffer buffer;
    CDisplayModel display(buffer);
    display.SetSession(&doc);
    display.AppendData(QByteArray::fromStdString(NumberedLines(500)));
    display.AppendData("end");
    EXPECT_EQ(buffer.LineCount(), 300);
    EXPECT_EQ(buffer.Line(0).Text(), "201");

    context.SetHistoryLines(100);
    display.AppendData("!");
    EXPECT_EQ(buffer.LineCount(), 100);
}

// What a kept line of a full display width costs, measured by the allocator
// across many lines in each mode: the dialog's estimate must hold.
class HistoryMemory : public ::testing::TestWithParam<int>
{
};

TEST_P(HistoryMemory, AFullLineCostsAtMostItsEstimate)
{
    constexpr int kLines = 100000;
    const int mode = GetParam();
    CDisplayRenderer renderer(0);
    renderer.SetMaxLines(CDisplayRenderer::kMostLines);
    // Text mode: 80 characters and a carriage return; Mont and Hex break
    // their lines at 81 characters by themselves.
    std::string chunk;
    if (mode == kHex) {
        chunk.assign(81 * 64 / 5, 'x');
    } else {
        for (int i = 0; i < 64; ++i)
            chunk += mode == kText ? std::string(80, 'x') + '\r' : std::string(81, 'x');
    }
    const size_t before = HeapBytes();
    {
        CLineBuffer buffer;
        while (buffer.LineCount() < kLines)
            Append(renderer, buffer, chunk, mode);
        const size_t used = HeapBytes() - before;
        const double perLine = static_cast<double>(used) / buffer.LineCount();
        EXPECT_LE(perLine, static_cast<double>(CLineBuffer::kBytesPerFullLine))
            << "mode " << mode << ": " << perLine << " bytes a line";
        EXPECT_GE(buffer.Line(kLines / 2).Size(), 80u);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, HistoryMemory, ::testing::Values(kMont, kText, kHex));

} // namespace
