// Runs handed to a sink in batches (the Hex display's way) leave exactly the
// text and runs that writing them one at a time leaves.
#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"
#include "display/RunsText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TEST(RunBatch, ALineBufferTakesABatchAsItTakesEachRun)
{
    std::mt19937 random(99);
    CLineBuffer batched;
    CLineBuffer single;
    for (int round = 0; round < 200; ++round) {
        std::vector<CTextRun> runs;
        std::string text;
        for (int r = static_cast<int>(random() % 40); r > 0; --r) {
            CTextRun run;
            run.format = static_cast<RunFormat>(random() % 3);
            std::string part(random() % 6, 'a');
            for (char& c : part)
                c = "xy\r\n"[random() % 4];
            run.bBreak = part.find_first_of("\r\n") != std::string::npos;
            run.length = static_cast<uint32_t>(part.size());
            runs.push_back(run);
            single.AppendText(run.format, part);
            text += part;
        }
        batched.AppendRuns(runs, text);
        ASSERT_EQ(RunsText(batched), RunsText(single)) << "round " << round;
        ASSERT_EQ(batched.CharCount(), single.CharCount());
        ASSERT_EQ(batched.DirtyFrom(), single.DirtyFrom());
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

} // namespace
