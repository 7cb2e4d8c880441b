#include "display/DisplayRenderer.h"
#include "display/DisplayModes.h"
#include "display/LineBuffer.h"
#include "display/RunsText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

void Append(CDisplayRenderer& renderer, CLineBuffer& buffer, const std::string& bytes,
            const CDisplaySettings& settings, uint32_t tick = 0)
{
    renderer.AppendData(bytes.data(), bytes.size(), tick, settings, buffer);
}

std::vector<int> LineLengths(const CLineBuffer& buffer)
{
    std::vector<int> lengths;
    for (int i = 0; i < buffer.LineCount(); ++i)
        lengths.push_back(static_cast<int>(buffer.Line(i).Size()));
    return lengths;
}

// --- one chunk in each mode -----------------------------------------------

struct ChunkCase
{
    const char* name;
    int mode;
    std::string bytes;
    std::string runs; // RunsText of the display afterwards
};

class RenderChunk : public ::testing::TestWithParam<ChunkCase>
{
};

TEST_P(RenderChunk, ShowsRuns)
{
    const ChunkCase& c = GetParam();
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, c.bytes, Mode(c.mode));
    EXPECT_EQ(RunsText(buffer), c.runs);
}

const std::string kCrLf = "A\r\nB";

INSTANTIATE_TEST_SUITE_P(
    Modes, RenderChunk,
    ::testing::Values(
        ChunkCase{"MontCrLfOneSpecialRunOneLine", kMont, kCrLf, "<t>A</t><s>[CR][LF]</s><t>B</t>"},
        ChunkCase{"MontNamesOfBothEnds", kMont, std::string("\x00\x1f", 2), "<s>[NUL][US]</s>"},
        ChunkCase{"MontHighBytesInBraces", kMont, "\x7f\x80\xff", "<s>{7F}{80}{FF}</s>"},
        ChunkCase{"MontControlThenHighAreTwoRuns", kMont, "\x01\x80", "<s>[SOH]</s><s>{80}</s>"},
        ChunkCase{"MontEscIsNamed", kMont, "\x1b[J", "<s>[ESC]</s><t>[J</t>"},
        ChunkCase{"TextCrBreaksLfDropped", kText, kCrLf, "<t>A</t>\n<t>B</t>"},
        ChunkCase{"TextOtherControlsDropped", kText, "a\x01\x07\x7f\x80z", "<t>az</t>"},
        ChunkCase{"TextBackspaceDeletesLast", kText, "abc\b", "<t>ab</t>"},
        ChunkCase{"TextBackspaceNeedsTwoChars", kText, "a\b", "<t>a</t>"},
        ChunkCase{"TextBackspaceSplitsRuns", kText, "abc\bd", "<t>ab</t><t>d</t>"},
        ChunkCase{"TextEscBracketJErasesLastLine", kText, "xyz\rabc\x1b[J", "<t>xyz</t>\n"},
        ChunkCase{"TextEscBracketTwoJShowsJ", kText, "ab\x1b[2J", "<t>ab</t><t>J</t>"},
        ChunkCase{"TextEscOtherDropsOneByte", kText, "a\x1bxyz", "<t>a</t><t>yz</t>"},
        // Column 3 survives the erase, so the backspace takes the break itself.
        ChunkCase{"TextBackspaceAfterEraseJoinsLines", kText, "x\rabc\x1b[J\b", "<t>x</t>"},
        ChunkCase{"HexAlternatesRuns", kHex, kCrLf,
                  "<s>A </s><t>41 </t><s>_ </s><t>0D </t><s>_ </s><t>0A </t><s>B </s><t>42 </t>"},
        ChunkCase{"HexDelShownAsItself", kHex, "\x7f\xff ",
                  "<s>\x7f </s><t>7F </t><s>_ </s><t>FF </t><s>  </s><t>20 </t>"},
        ChunkCase{"UnknownModeRendersAsMont", 7, "\x01", "<s>[SOH]</s>"}),
    [](const auto& info) { return std::string(info.param.name); });

// Long runs of text are measured a word at a time: every byte value, at
// every place in a word, still ends a run when it is not text.
TEST(RenderMont, EveryByteValueAnywhereInALongRunIsShownByItsClass)
{
    for (int byte = 0; byte < 256; ++byte) {
        for (size_t at = 0; at < 17; ++at) {
            std::string bytes(24, 'a');
            bytes[at] = static_cast<char>(byte);
            CDisplayRenderer renderer(0);
            CLineBuffer buffer;
            Append(renderer, buffer, bytes, Mode(kMont));
            const bool text = byte >= 32 && byte <= 126;
            ASSERT_EQ(buffer.Spans(0).size(), text ? 1u : (at == 0 ? 2u : 3u))
                << "byte " << byte << " at " << at;
            if (!text) {
                EXPECT_EQ(buffer.Spans(0)[at == 0 ? 0 : 1].m_format, RunFormat::Special);
            }
        }
    }
}

// --- the line-breaking writer ----------------------------------------------

TEST(DisplayWriter, MontBreaksAfterTheCharacterRaisingColumnTo81)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, std::string(200, 'x'), Mode(kMont));
    EXPECT_EQ(LineLengths(buffer), (std::vector<int>{81, 81, 38}));
    EXPECT_EQ(renderer.Column(), 38);
}

TEST(DisplayWriter, ColumnRunsAcrossChunksAndRuns)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, std::string(50, 'x'), Mode(kMont));
    Append(renderer, buffer, std::string(20, 'y') + "\x01\x02\x03", Mode(kMont));
    // 50 + 20 + "[SOH][STX][ETX]" (15) = 85: the break falls inside the names.
    EXPECT_EQ(LineLengths(buffer), (std::vector<int>{81, 4}));
    EXPECT_EQ(buffer.Line(1).Text(), "ETX]");
    ASSERT_EQ(buffer.Spans(0).size(), 3u);
    EXPECT_EQ(buffer.Spans(0)[2].m_format, RunFormat::Special);
}

TEST(DisplayWriter, HexLineHoldsSixteenBytesAndOneCharacter)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, std::string(34, 'A'), Mode(kHex));
    // 34 bytes x 5 = 170 columns: 81 + 81 + 8, the breaks drifting through the bytes.
    EXPECT_EQ(LineLengths(buffer), (std::vector<int>{81, 81, 8}));
    EXPECT_EQ(buffer.Line(0).Text().substr(75), "A 41 A");
    EXPECT_EQ(buffer.Line(1).Text().substr(0, 9), " 41 A 41 ");
}

TEST(DisplayWriter, TextCarriageReturnRestartsColumn)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, "abc\rdef", Mode(kText));
    EXPECT_EQ(buffer.PlainText(), "abc\ndef");
    EXPECT_EQ(renderer.Column(), 3);
}

TEST(DisplayWriter, TextCarriageReturnAfterFullLineLeavesEmptyLine)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, std::string(81, 'a') + "\rb", Mode(kText));
    EXPECT_EQ(LineLengths(buffer), (std::vector<int>{81, 0, 1}));
    // A carriage return at column 80 needs no writer break.
    Append(renderer, buffer, std::string(79, 'c') + "\r", Mode(kText));
    EXPECT_EQ(LineLengths(buffer), (std::vector<int>{81, 0, 80, 0}));
}

TEST(DisplayWriter, ClearRestartsColumn)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, std::string(60, 'x'), Mode(kMont));
    renderer.Clear(buffer);
    EXPECT_EQ(buffer.PlainText(), "");
    Append(renderer, buffer, std::string(90, 'y'), Mode(kMont));
    EXPECT_EQ(LineLengths(buffer), (std::vector<int>{81, 9}));
}

TEST(DisplayWriter, BackspaceStepsColumnBack)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, std::string(80, 'a') + "\b\bbc", Mode(kText));
    // 80 - 2 + 2 = 80: still on the first line.
    EXPECT_EQ(LineLengths(buffer), (std::vector<int>{80}));
    Append(renderer, buffer, "d", Mode(kText));
    EXPECT_EQ(LineLengths(buffer), (std::vector<int>{81, 0}));
}

// --- escape state -----------------------------------------------------------

TEST(DisplayEscape, SequenceSplitAcrossChunksStillErases)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, "xyz\rabc\x1b", Mode(kText));
    Append(renderer, buffer, "[", Mode(kText));
    EXPECT_EQ(renderer.EscapeState(), 2);
    Append(renderer, buffer, "J", Mode(kText));
    EXPECT_EQ(buffer.PlainText(), "xyz\n");
    EXPECT_EQ(renderer.EscapeState(), 0);
}

TEST(DisplayEscape, HalfSequenceInOneDisplayDoesNotSwallowAnothersBytes)
{
    CDisplayRenderer first(0);
    CDisplayRenderer second(0);
    CLineBuffer firstBuffer;
    CLineBuffer secondBuffer;
    Append(first, firstBuffer, "a\x1b", Mode(kText));
    Append(second, secondBuffer, "[Jok", Mode(kText));
    EXPECT_EQ(secondBuffer.PlainText(), "[Jok");
    Append(first, firstBuffer, "[J", Mode(kText));
    EXPECT_EQ(firstBuffer.PlainText(), "");
}

// --- gap marker -------------------------------------------------------------

TEST(DisplayGap, MarkerInSpecialFormatCountsColumns)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, std::string(70, 'x'), Mode(kMont));
    renderer.AppendGap(12345, buffer);
    Append(renderer, buffer, "yz", Mode(kMont));
    const std::string marker = "[... 12345 bytes lost ...]";
    EXPECT_EQ(buffer.PlainText(),
              std::string(70, 'x') + marker.substr(0, 11) + "\n" + marker.substr(11) + "yz");
    EXPECT_EQ(RunsText(buffer), "<t>" + std::string(70, 'x') + "</t><s>" + marker.substr(0, 11) +
                                    "</s>\n<s>" + marker.substr(11) + "</s><t>yz</t>");
    EXPECT_EQ(CDisplayRenderer::GapText(1), "[... 1 byte lost ...]");
}

TEST(DisplayGap, BytesAfterGapDoNotContinueEscapeSequence)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, "ab\x1b[", Mode(kText));
    renderer.AppendGap(5000, buffer);
    Append(renderer, buffer, "J", Mode(kText));
    EXPECT_EQ(buffer.PlainText(), "ab[... 5000 bytes lost ...]J");
}

// --- trim -------------------------------------------------------------------

struct TrimCase
{
    int linesBefore;
    int linesAfter;
    int firstLineNumber; // the number written on line 0 afterwards
};

class DisplayTrim : public ::testing::TestWithParam<TrimCase>
{
};

TEST_P(DisplayTrim, TrimsToExactlyHundredBeforeTheAppend)
{
    const TrimCase& c = GetParam();
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    std::string lines;
    for (int i = 0; i < c.linesBefore - 1; ++i)
        lines += std::to_string(i) + "\r";
    Append(renderer, buffer, lines, Mode(kText));
    ASSERT_EQ(buffer.LineCount(), c.linesBefore);
    // Two lines more: the trim comes first, so the display ends above 100.
    Append(renderer, buffer, "y\rz\r", Mode(kText));
    EXPECT_EQ(buffer.LineCount(), c.linesAfter);
    EXPECT_EQ(buffer.Line(0).Text(), std::to_string(c.firstLineNumber));
    EXPECT_EQ(buffer.Line(buffer.LineCount() - 3).Text(), "y");
}

INSTANTIATE_TEST_SUITE_P(LineCounts, DisplayTrim,
                         ::testing::Values(TrimCase{99, 101, 0}, TrimCase{100, 102, 0},
                                           TrimCase{101, 102, 1}, TrimCase{250, 102, 150}));

TEST(DisplayTrimGap, GapTrimsToo)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    Append(renderer, buffer, std::string(81 * 120, 'x'), Mode(kMont));
    ASSERT_EQ(buffer.LineCount(), 121);
    renderer.AppendGap(1, buffer);
    EXPECT_EQ(buffer.LineCount(), 100);
}

// --- time stamps ------------------------------------------------------------

struct StampCase
{
    const char* name;
    int format;
    int32_t minInterval;
    uint32_t lastTick;
    uint32_t nowTick;
    std::string runs; // after appending "hi"
};

class DisplayStamp : public ::testing::TestWithParam<StampCase>
{
};

TEST_P(DisplayStamp, StampsChunkAfterLongerPause)
{
    const StampCase& c = GetParam();
    CDisplayRenderer renderer(c.lastTick);
    CLineBuffer buffer;
    CDisplaySettings settings;
    settings.m_nStampFormat = c.format;
    settings.m_nMinInterval = c.minInterval;
    settings.m_localTime = QDateTime(QDate(2024, 2, 29), QTime(7, 8, 9));
    Append(renderer, buffer, "hi", settings, c.nowTick);
    EXPECT_EQ(RunsText(buffer), c.runs);
    EXPECT_EQ(renderer.LastDisplayTick(), c.nowTick);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DisplayStamp,
    ::testing::Values(
        StampCase{"At500NoStamp", 1, 500, 1000, 1500, "<t>hi</t>"},
        StampCase{"At501Stamp", 1, 500, 1000, 1501, "<p><501ms></p><t>hi</t>"},
        StampCase{"Tenths1000", 2, 500, 0, 1000, "<p><1.0s></p><t>hi</t>"},
        StampCase{"Seconds1234", 3, 500, 0, 1234, "<p><1s></p><t>hi</t>"},
        StampCase{"Minutes59999", 4, 500, 0, 59999, "<p><59s></p><t>hi</t>"},
        StampCase{"Minutes60000", 4, 500, 0, 60000, "<p><1m 0s></p><t>hi</t>"},
        StampCase{"Minutes125000", 4, 500, 0, 125000, "<p><2m 5s></p><t>hi</t>"},
        StampCase{"ClockDateTime", 5, 500, 0, 600, "<p><2024-02-29 07:08:09></p><t>hi</t>"},
        StampCase{"ClockTime", 6, 500, 0, 600, "<p><07:08:09></p><t>hi</t>"},
        StampCase{"ZeroIntervalOneMs", 1, 0, 7, 8, "<p><1ms></p><t>hi</t>"},
        StampCase{"ZeroIntervalSameMs", 1, 0, 7, 7, "<t>hi</t>"},
        StampCase{"NegativeIntervalNever", 1, -1, 0, 4000000000u, "<t>hi</t>"},
        StampCase{"AcrossTickWrap", 1, 500, 0xFFFFFF00u, 0x100u, "<p><512ms></p><t>hi</t>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DisplayStampState, OffLeavesLastTimeSoFirstStampMeasuresFromConstruction)
{
    CDisplayRenderer renderer(1000);
    CLineBuffer buffer;
    CDisplaySettings settings;
    Append(renderer, buffer, "a", settings, 5000);
    EXPECT_EQ(renderer.LastDisplayTick(), 1000u);
    settings.m_nStampFormat = 1;
    Append(renderer, buffer, "b", settings, 6000);
    Append(renderer, buffer, "c", settings, 6400);
    EXPECT_EQ(RunsText(buffer), "<t>a</t><p><5000ms></p><t>b</t><t>c</t>");
}

TEST(DisplayStampState, StampCountsInColumnsAndEmptyChunkStillStamps)
{
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    CDisplaySettings settings;
    settings.m_nStampFormat = 1;
    renderer.AppendData(nullptr, 0, 501, settings, buffer);
    EXPECT_EQ(buffer.PlainText(), "<501ms>");
    Append(renderer, buffer, std::string(80, 'x'), settings, 600);
    EXPECT_EQ(LineLengths(buffer), (std::vector<int>{81, 6}));
}

// --- arbitrary input ----------------------------------------------------------

class DisplayArbitraryBytes : public ::testing::TestWithParam<int>
{
};

// Random bytes in random chunk sizes keep the text's bookkeeping consistent:
// the character count matches the lines, the runs tile every line, and in
// Mont and Hex modes every line but the last is exactly 81 characters long.
TEST_P(DisplayArbitraryBytes, KeepsLinesConsistent)
{
    const int mode = GetParam();
    std::mt19937 random(1234u + static_cast<unsigned>(mode));
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    CDisplaySettings settings = Mode(mode);
    settings.m_nStampFormat = 1;
    settings.m_nMinInterval = 3;
    uint32_t tick = 0;
    for (int chunk = 0; chunk < 400; ++chunk) {
        std::string bytes(random() % 300, '\0');
        for (char& c : bytes) {
            // Favour the bytes with rules of their own.
            static const char kSpecial[] = {'\x1b', '[', 'J', '\b', '\r', '\n', 'a'};
            c = random() % 3 == 0 ? kSpecial[random() % sizeof kSpecial]
                                  : static_cast<char>(random() % 256);
        }
        tick += random() % 8;
        Append(renderer, buffer, bytes, settings, tick);

        int64_t chars = buffer.LineCount() - 1;
        for (int i = 0; i < buffer.LineCount(); ++i) {
            const CDisplayLine& line = buffer.Line(i);
            chars += static_cast<int64_t>(line.Size());
            ASSERT_EQ(line.Formats().size(), line.Size());
            if (line.Size() > 0) {
                ASSERT_TRUE(CDisplayLine::StartsRun(line.FormatAt(0)));
                ASSERT_GT(line.ColorCount(), 0u);
                ASSERT_EQ(line.ColorAt(0).m_nFrom, 0u);
                ASSERT_LT(line.ColorAt(line.ColorCount() - 1).m_nFrom, line.Size());
            }
            // Text mode can join a line to the one above (see the backspace case).
            if (mode != kText) {
                const int expected = i + 1 < buffer.LineCount() ? 81 : renderer.Column();
                ASSERT_EQ(static_cast<int>(line.Size()), expected);
            }
        }
        ASSERT_EQ(buffer.CharCount(), chars);
        // Trimmed before every chunk; a chunk adds at most one line per byte.
        ASSERT_LE(buffer.LineCount(), 100 + 300 + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, DisplayArbitraryBytes, ::testing::Values(kMont, kText, kHex));

} // namespace
