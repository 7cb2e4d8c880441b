// Finding in a display's lines: text with and without case, byte values in a
// Hex display across its line breaks, next and previous with wrapping, and
// matches kept up to date as lines arrive, grow and are trimmed.
#include "display/LineFinder.h"
#include "display/DisplayModes.h"
#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class LineFinder : public ::testing::Test
{
protected:
    void Show(const std::string& bytes, int mode = kText)
    {
        m_renderer.AppendData(bytes.data(), bytes.size(), 0, Mode(mode), m_lines);
        m_finder.Update(m_lines);
    }
    std::string Found(size_t index) const
    {
        const CFindMatch& match = m_finder.Matches()[index];
        EXPECT_EQ(match.begin.serial, match.end.serial);
        const CDisplayLine& line =
            m_lines.Line(static_cast<int>(match.begin.serial - m_lines.FirstSerial()));
        return std::string(
            line.Text().substr(match.begin.column, match.end.column - match.begin.column));
    }

    CDisplayRenderer m_renderer{0};
    CLineBuffer m_lines;
    CLineFinder m_finder;
};

TEST_F(LineFinder, TextWithOrWithoutCaseNextAndPreviousWrap)
{
    Show("Error 1\rno error\rERROR error\r");
    EXPECT_EQ(m_finder.SetQuery("error", true, false), "");
    m_finder.Update(m_lines);
    ASSERT_EQ(m_finder.Matches().size(), 2u);
    EXPECT_EQ(m_finder.Matches()[0].begin, (CLinePlace{1, 3}));
    EXPECT_EQ(m_finder.Matches()[1].begin, (CLinePlace{2, 6}));

    m_finder.SetQuery("error", false, false);
    m_finder.Update(m_lines);
    ASSERT_EQ(m_finder.Matches().size(), 4u);
    EXPECT_EQ(Found(0), "Error");
    EXPECT_EQ(Found(2), "ERROR");
    // Next after a match's start is the following one; past the last it wraps.
    EXPECT_EQ(m_finder.Next({0, 0}), 1u);
    EXPECT_EQ(m_finder.Next({2, 6}), 0u);
    EXPECT_EQ(m_finder.Previous({2, 6}), 2u);
    EXPECT_EQ(m_finder.Previous({0, 0}), 3u);

    m_finder.SetQuery("absent", false, false);
    m_finder.Update(m_lines);
    EXPECT_TRUE(m_finder.Matches().empty());
    EXPECT_FALSE(m_finder.Next({0, 0}).has_value());
    EXPECT_FALSE(m_finder.Previous({0, 0}).has_value());
}

TEST_F(LineFinder, KeepsUpAsLinesArriveGrowAndAreTrimmed)
{
    m_finder.SetQuery("ok", true, false);
    Show("o");
    EXPECT_EQ(m_finder.Matches().size(), 0u);
    // The last line grew into a match: found once, however often searched.
    Show("k ok");
    Show("");
    EXPECT_EQ(m_finder.Matches().size(), 2u);
    std::string many;
    for (int i = 0; i < 150; ++i)
        many += "line ok\r";
    Show(many);
    EXPECT_EQ(m_finder.Matches().size(), 152u);
    // The next append trims to 100 lines: the matches in lines gone go too.
    Show("");
    EXPECT_EQ(m_finder.Matches().size(), 99u);
    EXPECT_GE(m_finder.Matches().front().begin.serial, m_lines.FirstSerial());
    m_renderer.Clear(m_lines);
    m_finder.Update(m_lines);
    EXPECT_TRUE(m_finder.Matches().empty());
}

// A Hex line shows sixteen bytes and the first character of the next, so
// the breaks drift: line 1 begins inside byte 16's text, line 3 between the
// two digits of byte 48's value.
TEST_F(LineFinder, ByteValuesAcrossHexLineBreaks)
{
    std::string bytes(64, 'A');
    bytes[15] = '\x0D';
    bytes[16] = '\x0A';
    bytes[47] = '\x0D';
    bytes[48] = '\xAB';
    Show(bytes, kHex);
    ASSERT_EQ(m_lines.Line(2).Text().back(), 'A');
    ASSERT_EQ(m_lines.Line(3).Text().substr(0, 2), "B ");

    EXPECT_EQ(m_finder.SetQuery("0D 0A", true, true), "");
    m_finder.Update(m_lines);
    ASSERT_EQ(m_finder.Matches().size(), 1u);
    EXPECT_EQ(m_finder.Matches()[0].begin, (CLinePlace{0, 77}));
    EXPECT_EQ(m_finder.Matches()[0].end, (CLinePlace{1, 3}));

    EXPECT_EQ(m_finder.SetQuery("0dab", true, true), "");
    m_finder.Update(m_lines);
    ASSERT_EQ(m_finder.Matches().size(), 1u);
    EXPECT_EQ(m_finder.Matches()[0].begin, (CLinePlace{2, 75}));
    EXPECT_EQ(m_finder.Matches()[0].end, (CLinePlace{3, 1}));

    // The characters' column and the letters of the text never count.
    m_finder.SetQuery("41 41 41", true, true);
    m_finder.Update(m_lines);
    EXPECT_EQ(m_finder.Matches().size(), 60u / 3);

    // Arriving later, split across chunks and lines, still found.
    m_finder.SetQuery("0D AB", true, true);
    std::string more(31, 'A');
    more.back() = '\x0D';
    Show(more, kHex);
    Show("\xAB", kHex);
    EXPECT_EQ(m_finder.Matches().size(), 2u);
}

// A time stamp between two chunks sits between two bytes' texts in a Hex
// display, and may itself be broken over two lines: byte values are found
// across it, the match running from the first value to the last.
TEST_F(LineFinder, ByteValuesAcrossTimeStampsInHex)
{
    CDisplaySettings stamped = Mode(kHex);
    stamped.m_nStampFormat = 1; // "<1234ms>"
    stamped.m_nMinInterval = 0;
    uint32_t tick = 0;
    const auto show = [&](const std::string& bytes) {
        tick += 1234;
        m_renderer.AppendData(bytes.data(), bytes.size(), tick, stamped, m_lines);
        m_finder.Update(m_lines);
    };
    EXPECT_EQ(m_finder.SetQuery("0D 0A", true, true), "");
    show("AB\r");
    show("\nCD");
    ASSERT_EQ(m_lines.Line(0).Text(), "<1234ms>A 41 B 42 _ 0D <1234ms>_ 0A C 43 D 44 ");
    ASSERT_EQ(m_finder.Matches().size(), 1u);
    EXPECT_EQ(m_finder.Matches()[0].begin, (CLinePlace{0, 20}));
    EXPECT_EQ(m_finder.Matches()[0].end, (CLinePlace{0, 35}));

    // The next stamp is broken over the line's end, right after the 0D.
    show("xxxx\r");
    show("\n");
    ASSERT_EQ(m_lines.Line(1).Text().substr(0, 11), "234ms>_ 0A ");
    ASSERT_EQ(m_finder.Matches().size(), 2u);
    EXPECT_EQ(m_finder.Matches()[1].begin, (CLinePlace{0, 76}));
    EXPECT_EQ(m_finder.Matches()[1].end, (CLinePlace{1, 10}));

    // Searched afresh over every line, the same.
    m_finder.SetQuery("0d0a", true, true);
    m_finder.Update(m_lines);
    ASSERT_EQ(m_finder.Matches().size(), 2u);
    EXPECT_EQ(m_finder.Matches()[1].begin, (CLinePlace{0, 76}));
}

// Bytes arriving one at a time: each new line is searched again with the
// lines before it, yet no match begins inside one already found.
TEST_F(LineFinder, ByteValuesArrivingByteByByteDoNotOverlap)
{
    m_finder.SetQuery("41 41", true, true);
    for (int i = 0; i < 128; ++i)
        Show("A", kHex);
    ASSERT_EQ(m_finder.Matches().size(), 64u);
    for (size_t i = 1; i < m_finder.Matches().size(); ++i)
        EXPECT_LE(m_finder.Matches()[i - 1].end, m_finder.Matches()[i].begin) << i;
}

TEST_F(LineFinder, UnreadableByteValuesFindNothing)
{
    Show("0D 0A", kText);
    EXPECT_EQ(m_finder.SetQuery("0D 0", true, true), "byte values need two digits each");
    EXPECT_EQ(m_finder.SetQuery("0G", true, true), "'G' is not a hexadecimal digit");
    m_finder.Update(m_lines);
    EXPECT_FALSE(m_finder.HasQuery());
    EXPECT_TRUE(m_finder.Matches().empty());
}

} // namespace
