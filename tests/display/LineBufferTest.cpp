#include "display/LineBuffer.h"
#include "display/RunsText.h"

#include <gtest/gtest.h>

namespace {

TEST(LineBufferModel, BreaksCountAsOneCharacterAndLastEmptyLineCounts)
{
    CLineBuffer buffer;
    EXPECT_EQ(buffer.LineCount(), 1);
    EXPECT_EQ(buffer.CharCount(), 0);
    buffer.AppendText(RunFormat::Text, "ab\r\ncd\re");
    EXPECT_EQ(buffer.LineCount(), 3);
    EXPECT_EQ(buffer.CharCount(), 7);
    EXPECT_EQ(buffer.PlainText(), "ab\ncd\ne");
    buffer.AppendText(RunFormat::Special, "\r\n");
    EXPECT_EQ(buffer.LineCount(), 4);
    EXPECT_EQ(buffer.LastLineLength(), 0);
    EXPECT_EQ(buffer.CharCount(), 8);
}

TEST(LineBufferModel, RunsKeepFormatAndColourOfTheirTime)
{
    CLineBuffer buffer;
    buffer.SetColors(1, 2, 3);
    buffer.AppendText(RunFormat::Stamp, "<1ms>");
    buffer.AppendText(RunFormat::Text, "a\r\nb");
    buffer.SetColors(4, 5, 6);
    buffer.AppendText(RunFormat::Text, "c");
    EXPECT_EQ(RunsText(buffer), "<p><1ms></p><t>a</t>\n<t>b</t><t>c</t>");
    EXPECT_EQ(buffer.Line(0).m_spans[0].m_color, 3u);
    EXPECT_EQ(buffer.Line(0).m_spans[1].m_color, 1u);
    EXPECT_EQ(buffer.Line(1).m_spans[1].m_color, 4u);
}

TEST(LineBufferModel, DeleteLastCharShrinksRunsThenJoinsLines)
{
    CLineBuffer buffer;
    buffer.AppendText(RunFormat::Text, "ab");
    buffer.AppendText(RunFormat::Special, "c\r");
    buffer.DeleteLastChar();
    EXPECT_EQ(buffer.LineCount(), 1);
    buffer.DeleteLastChar();
    EXPECT_EQ(RunsText(buffer), "<t>ab</t>");
    EXPECT_EQ(buffer.CharCount(), 2);
    buffer.DeleteLastChar();
    buffer.DeleteLastChar();
    buffer.DeleteLastChar();
    EXPECT_EQ(buffer.CharCount(), 0);
    EXPECT_EQ(buffer.LineCount(), 1);
}

TEST(LineBufferModel, EraseLastLineKeepsTheBreakBeforeIt)
{
    CLineBuffer buffer;
    buffer.AppendText(RunFormat::Text, "one\rtwo");
    buffer.EraseLastLine();
    EXPECT_EQ(buffer.LineCount(), 2);
    EXPECT_EQ(buffer.PlainText(), "one\n");
    EXPECT_EQ(buffer.CharCount(), 4);
}

TEST(LineBufferModel, RemoveFirstLineLeavesTheLastLine)
{
    CLineBuffer buffer;
    buffer.AppendText(RunFormat::Text, "one\rtwo");
    buffer.RemoveFirstLine();
    EXPECT_EQ(buffer.PlainText(), "two");
    EXPECT_EQ(buffer.CharCount(), 3);
    buffer.RemoveFirstLine();
    EXPECT_EQ(buffer.PlainText(), "two");
}

// The widget copies lines with serial >= DirtyFrom and drops the ones below
// FirstSerial; these are the promises it relies on.
TEST(LineBufferTracking, DirtyFromCoversEveryChangedLine)
{
    CLineBuffer buffer;
    EXPECT_TRUE(buffer.IsDirty());
    buffer.AppendText(RunFormat::Text, "a\rb\rc");
    buffer.MarkSynced();
    EXPECT_FALSE(buffer.IsDirty());
    EXPECT_EQ(buffer.FirstSerial(), 0u);
    EXPECT_EQ(buffer.EndSerial(), 3u);

    buffer.AppendText(RunFormat::Text, "d");
    EXPECT_EQ(buffer.DirtyFrom(), 2u);
    buffer.MarkSynced();

    buffer.RemoveFirstLine();
    EXPECT_EQ(buffer.FirstSerial(), 1u);
    EXPECT_FALSE(buffer.IsDirty());

    buffer.AppendText(RunFormat::Text, "\r");
    buffer.MarkSynced();
    buffer.DeleteLastChar(); // joins serial 3 into serial 2
    EXPECT_EQ(buffer.DirtyFrom(), 2u);
    EXPECT_EQ(buffer.EndSerial(), 3u);
    buffer.MarkSynced();

    buffer.EraseLastLine();
    EXPECT_EQ(buffer.DirtyFrom(), 2u);
}

TEST(LineBufferTracking, ClearMovesPastEveryShownSerial)
{
    CLineBuffer buffer;
    buffer.AppendText(RunFormat::Text, "a\rb");
    buffer.MarkSynced();
    buffer.Clear();
    EXPECT_EQ(buffer.FirstSerial(), 2u);
    EXPECT_EQ(buffer.DirtyFrom(), 2u);
    EXPECT_EQ(buffer.LineCount(), 1);
    EXPECT_EQ(buffer.CharCount(), 0);
}

TEST(LineBufferTracking, TrimmedDirtyLinesAreNotReported)
{
    CLineBuffer buffer;
    buffer.MarkSynced();
    buffer.AppendText(RunFormat::Text, "a\rb\rc\rd");
    EXPECT_EQ(buffer.DirtyFrom(), 0u);
    buffer.RemoveFirstLine();
    buffer.RemoveFirstLine();
    EXPECT_EQ(buffer.DirtyFrom(), 2u);
}

} // namespace
