// The find bar on a display: a session keeping 100,000 lines scrolls back to
// a line that arrived 90,000 lines ago and Find shows it; matches are marked
// in the lines shown, counted, kept up as data arrives; byte values in Hex.
#include "display/ui/FindBar.h"
#include "display/ui/RichCtrl.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

class FindBarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_context.SetHistoryLines(100000);
        m_display.SetSession(&m_doc);
        m_display.UpdateColors();
        m_display.resize(700, 400);
        m_display.show();
        m_bar.SetDisplay(&m_display);
    }
    void Show(int mode, const QByteArray& bytes)
    {
        m_doc.EditInfo()->m_nDisplayMode = mode;
        m_display.AppendData(bytes);
        QApplication::processEvents();
        m_display.FlushDisplay();
    }
    // The colour at the middle of cell (row of the lines shown, column).
    QColor CellColor(const QImage& image, int row, int column) const
    {
        const int x = CRichCtrl::kMargin + column * m_display.CellWidth() +
                      m_display.CellWidth() / 2 - m_display.horizontalScrollBar()->value();
        const int y = CRichCtrl::kMargin + row * m_display.LineHeight() + 1;
        return image.pixelColor(x, y);
    }

    CSessionContext m_context;
    CTrelliumDoc m_doc{m_context};
    CRichCtrl m_display;
    CFindBar m_bar;
};

TEST_F(FindBarTest, FindsALineNinetyThousandLinesBackAndMarksTheMatches)
{
    QByteArray lines;
    char line[16];
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(line, sizeof line, "line %06d\r", i);
        lines += line;
    }
    Show(1, lines);
    Show(1, "now\r");
    // Kept, and the display scrolls back to the oldest.
    ASSERT_EQ(m_display.Lines().LineCount(), 100002 - 1);
    m_display.verticalScrollBar()->setValue(0);
    EXPECT_EQ(m_display.TopLine(), 0);
    EXPECT_EQ(m_display.Lines().Line(0).Text(), "line 000001");

    m_bar.Open();
    QTest::keyClicks(m_bar.TextEdit(), QStringLiteral("LINE 01000"));
    // Without case: ten lines, 010000 to 010009; the first is shown.
    EXPECT_EQ(m_bar.CountLabel()->text(), QStringLiteral("1 of 10"));
    EXPECT_EQ(m_display.SelectedText(), QStringLiteral("line 01000"));
    const int found = static_cast<int>(m_display.Caret().serial - m_display.Lines().FirstSerial());
    EXPECT_EQ(m_display.Lines().Line(found).Text(), "line 010000");
    EXPECT_GE(found, m_display.TopLine());
    EXPECT_LT(found, m_display.TopLine() + m_display.viewport()->height() / m_display.LineHeight());

    // The next match is marked, not selected; text outside is not.
    const QImage image = m_display.viewport()->grab().toImage();
    const int row = found - m_display.TopLine() + 1;
    EXPECT_EQ(CellColor(image, row, 4), QColor(0x80, 0x60, 0x00));
    EXPECT_EQ(CellColor(image, row, 12), QColor(Qt::black));

    QTest::keyClick(m_bar.TextEdit(), Qt::Key_Return);
    EXPECT_EQ(m_bar.CountLabel()->text(), QStringLiteral("2 of 10"));
    m_bar.FindPrevious();
    m_bar.FindPrevious();
    EXPECT_EQ(m_bar.CountLabel()->text(), QStringLiteral("10 of 10")); // wrapped

    m_bar.CaseBox()->setChecked(true);
    EXPECT_EQ(m_bar.CountLabel()->text(), QStringLiteral("No matches"));
    m_bar.CaseBox()->setChecked(false);

    // Data arriving is searched as it comes.
    Show(1, "again line 010000\r");
    EXPECT_EQ(m_bar.Finder().Matches().size(), 11u);
}

// Next and Previous scroll to the match, wherever the view was; data that
// arrives after leaves it in view instead of scrolling to the end.
TEST_F(FindBarTest, MatchesStayInViewWhileDataArrives)
{
    const auto lines = [](int from, int count) {
        QByteArray text;
        char line[16];
        for (int i = from; i < from + count; ++i) {
            std::snprintf(line, sizeof line, "line %04d\r", i);
            text += line;
        }
        return text;
    };
    const auto inView = [this](CTextPos pos) {
        const int row = static_cast<int>(pos.serial - m_display.Lines().FirstSerial());
        return row >= m_display.TopLine() &&
               row < m_display.TopLine() + m_display.viewport()->height() / m_display.LineHeight();
    };
    Show(1, lines(0, 1000));
    m_display.verticalScrollBar()->setValue(0);
    m_bar.Open();
    QTest::keyClicks(m_bar.TextEdit(), QStringLiteral("line 05"));
    ASSERT_EQ(m_bar.CountLabel()->text(), QStringLiteral("1 of 100"));
    const CTextPos first = m_display.Caret();
    EXPECT_TRUE(inView(first));

    Show(1, lines(1000, 500));
    EXPECT_TRUE(inView(first));
    m_bar.FindNext();
    EXPECT_EQ(m_bar.CountLabel()->text(), QStringLiteral("2 of 100"));
    const CTextPos second = m_display.Caret();
    EXPECT_EQ(second.serial, first.serial + 1);
    Show(1, lines(1500, 500));
    EXPECT_TRUE(inView(second));
    // Scrolled away, Previous steps back from the match shown and wraps.
    m_display.verticalScrollBar()->setValue(0);
    m_bar.FindPrevious();
    m_bar.FindPrevious();
    EXPECT_EQ(m_bar.CountLabel()->text(), QStringLiteral("100 of 100"));
    EXPECT_TRUE(inView(m_display.Caret()));
}

TEST_F(FindBarTest, ByteValuesInHexAndWhatCannotBeRead)
{
    QByteArray bytes(40, 'A');
    bytes[15] = '\x0D';
    bytes[16] = '\x0A';
    Show(2, bytes);
    m_bar.Open();
    m_bar.BytesBox()->setChecked(true);
    QTest::keyClicks(m_bar.TextEdit(), QStringLiteral("0d 0"));
    EXPECT_EQ(m_bar.CountLabel()->text(), QStringLiteral("byte values need two digits each"));
    QTest::keyClicks(m_bar.TextEdit(), QStringLiteral("a"));
    EXPECT_EQ(m_bar.CountLabel()->text(), QStringLiteral("1 of 1"));
    // Split over two display lines.
    EXPECT_EQ(m_display.Anchor().serial + 1, m_display.Caret().serial);
    EXPECT_EQ(m_display.SelectedText(), QStringLiteral("0D _\n 0A"));

    // Closing takes the marks away and leaves the keyboard with the display.
    m_bar.Close();
    EXPECT_FALSE(m_bar.isVisible());
}

} // namespace
