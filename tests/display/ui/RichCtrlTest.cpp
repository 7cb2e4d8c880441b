#include "display/ui/RichCtrl.h"
#include "TestClock.h"
#include "display/ui/DisplayTestSupport.h"
#include "display/ui/PacedScrollBar.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <random>

namespace {

constexpr uint32_t kGreen = 0x0000FF00; // 0x00BBGGRR
constexpr uint32_t kYellow = 0x0000FFFF;
constexpr uint32_t kGrey = 0x007F7F7F;
constexpr uint32_t kRed = 0x000000FF;
constexpr uint32_t kBlue = 0x00FF0000;
constexpr uint32_t kWhite = 0x00FFFFFF;

class RichCtrlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_clock.Set(1000);
        SetColors(m_doc, kGreen, kYellow, kGrey);
        m_display = std::make_unique<CRichCtrl>();
        m_display->SetSession(&m_doc);
        m_display->UpdateColors();
        m_display->resize(700, 400);
    }

    static void SetColors(CTrelliumDoc& doc, uint32_t text, uint32_t special, uint32_t stamp)
    {
        doc.EditInfo()->m_colors[ColorBackground] = kWhite;
        doc.EditInfo()->m_colors[ColorText] = text;
        doc.EditInfo()->m_colors[ColorSpecial] = special;
        doc.EditInfo()->m_colors[ColorStamp] = stamp;
    }

    // Drawing waits for the queue to drain and, during a burst, for the
    // display's interval; tests draw at once.
    void Draw()
    {
        QApplication::processEvents();
        m_display->FlushDisplay();
    }

    std::vector<std::string> Shown()
    {
        Draw();
        return DrawnLines(*m_display);
    }

    CTestClock m_clock;
    CSessionContext m_context{m_clock};
    CTrelliumDoc m_doc{m_context};
    std::unique_ptr<CRichCtrl> m_display;
};

TEST_F(RichCtrlTest, RunsTakeTheirFormatsColour)
{
    m_doc.EditInfo()->m_timing.m_nFormat = 1;
    m_clock.Set(1501);
    m_display->AppendData(QByteArray("A\r\nB\x80", 5));
    EXPECT_EQ(Shown(), (std::vector<std::string>{
                           "{7f7f7f}<501ms>{00ff00}A{ffff00}[CR][LF]{00ff00}B{ffff00}{80}"}));
}

TEST_F(RichCtrlTest, NewColoursApplyOnlyToTextAppendedAfterUpdate)
{
    m_display->AppendData("a\x01");
    SetColors(m_doc, kRed, kBlue, kGrey);
    m_display->AppendData("b");
    m_display->UpdateColors();
    m_display->AppendData("c\x02");
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{"{00ff00}a{ffff00}[SOH]{00ff00}b{ff0000}c{0000ff}[STX]"}));
}

TEST_F(RichCtrlTest, BackgroundIsBlackWhateverTheSessionHolds)
{
    EXPECT_EQ(m_display->palette().color(QPalette::Base), QColor(Qt::black));
    m_display->show();
    const QImage image = m_display->grab().toImage();
    EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(Qt::black));
}

TEST_F(RichCtrlTest, TrimsToHundredLinesBeforeTheAppendAndScrollsOverWhatIsLeft)
{
    m_doc.EditInfo()->m_nDisplayMode = 1;
    m_display->show();
    QByteArray lines;
    for (int i = 0; i < 150; ++i)
        lines += QByteArray::number(i) + "\r";
    m_display->AppendData(lines);
    Draw();
    EXPECT_EQ(m_display->Lines().LineCount(), 151);
    m_display->AppendData("y");
    Draw();
    ASSERT_EQ(m_display->Lines().LineCount(), 100);
    EXPECT_EQ(m_display->Lines().Line(0).Text(), "51");
    EXPECT_EQ(m_display->Lines().Line(99).Text(), "y");
    const int rows =
        (m_display->viewport()->height() - CRichCtrl::kMargin) / m_display->LineHeight();
    EXPECT_EQ(m_display->verticalScrollBar()->maximum(), 100 - rows);
    EXPECT_EQ(m_display->verticalScrollBar()->value(), 100 - rows);
    EXPECT_EQ(m_display->TopLine(), 100 - rows);
}

TEST_F(RichCtrlTest, ShowsTheEndOnceABurstHasSettledThenSelectionCollapses)
{
    m_display->show();
    m_display->AppendData(QByteArray(81 * 30, 'x'));
    m_display->AppendData(QByteArray(81 * 30, 'x'));
    EXPECT_TRUE(m_display->IsSyncPending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_display->IsSyncPending(); }));
    EXPECT_GT(m_display->verticalScrollBar()->value(), 0);

    m_display->SelectAll();
    ASSERT_TRUE(m_display->HasSelection());
    // Scrolled back and down to the end again: the end is followed.
    m_display->verticalScrollBar()->setValue(0);
    m_display->verticalScrollBar()->setValue(m_display->verticalScrollBar()->maximum());
    m_display->AppendData(QByteArray(81 * 5, 'z'));
    Draw();
    EXPECT_FALSE(m_display->HasSelection());
    EXPECT_EQ(m_display->Caret(), m_display->End());
    EXPECT_EQ(m_display->verticalScrollBar()->value(), m_display->verticalScrollBar()->maximum());
    EXPECT_TRUE(m_display->viewport()->rect().contains(m_display->CaretRect()));
}

// Scrolled back, the user keeps reading the same lines while data arrives
// and the oldest lines are trimmed; once they are gone, the oldest left is
// shown. Back at the end, the end is followed again.
TEST_F(RichCtrlTest, ScrolledBackTheViewStaysOnTheLinesBeingRead)
{
    m_doc.EditInfo()->m_nDisplayMode = 1;
    m_display->show();
    const auto lines = [](int from, int count) {
        QByteArray text;
        for (int i = from; i < from + count; ++i)
            text += "line " + QByteArray::number(i) + "\r";
        return text;
    };
    const auto topText = [this] {
        return std::string(m_display->Lines().Line(m_display->TopLine()).Text());
    };
    QScrollBar* vertical = m_display->verticalScrollBar();
    m_display->AppendData(lines(0, 100));
    Draw();
    ASSERT_EQ(vertical->value(), vertical->maximum());

    vertical->setValue(30);
    ASSERT_EQ(topText(), "line 30");
    m_display->AppendData(lines(100, 10));
    Draw();
    EXPECT_EQ(topText(), "line 30");
    // This append trims the ten lines above 100 first.
    m_display->AppendData(lines(110, 10));
    Draw();
    EXPECT_EQ(topText(), "line 30");
    ASSERT_EQ(m_display->Lines().Line(0).Text(), "line 11");
    EXPECT_EQ(vertical->value(), 19);
    // The selection still collapses to the end, out of view.
    EXPECT_EQ(m_display->Caret(), m_display->End());

    // The lines being read are trimmed away: the oldest left is on top.
    m_display->AppendData(lines(120, 40));
    m_display->AppendData(lines(160, 1));
    Draw();
    EXPECT_EQ(vertical->value(), 0);
    EXPECT_EQ(topText(), m_display->Lines().Line(0).Text());

    vertical->setValue(vertical->maximum());
    m_display->AppendData(lines(161, 5));
    Draw();
    EXPECT_EQ(vertical->value(), vertical->maximum());
    EXPECT_TRUE(m_display->viewport()->rect().contains(m_display->CaretRect()));
    EXPECT_EQ(m_display->Lines().Line(m_display->Lines().LineCount() - 2).Text(), "line 165");
}

// What is painted: each character in its own cell of the grid, in its own
// colour (the glyphs are smoothed, so a cell is told by its colour's hue).
TEST_F(RichCtrlTest, EachCharacterIsPaintedInItsCellInItsColour)
{
    SetColors(m_doc, kRed, kBlue, kGrey);
    m_display->UpdateColors();
    m_display->resize(500, 120);
    m_display->show();
    m_display->AppendData("M\x01");
    Draw();
    const QImage image = m_display->viewport()->grab().toImage();
    const int w = m_display->CellWidth();
    const int h = m_display->LineHeight();
    struct CCount
    {
        int red = 0;
        int blue = 0;
    };
    const auto count = [&](int firstColumn, int columns) {
        CCount seen;
        for (int y = CRichCtrl::kMargin; y < CRichCtrl::kMargin + h; ++y) {
            for (int x = CRichCtrl::kMargin + firstColumn * w;
                 x < CRichCtrl::kMargin + (firstColumn + columns) * w; ++x) {
                const QColor pixel = image.pixelColor(x, y);
                seen.red += pixel.red() > 0 && pixel.blue() == 0;
                seen.blue += pixel.blue() > 0 && pixel.red() == 0;
            }
        }
        return seen;
    };
    const CCount text = count(0, 1);    // "M"
    const CCount special = count(1, 5); // "[SOH]"
    const CCount after = count(6, 10);
    EXPECT_GT(text.red, 0);
    EXPECT_EQ(text.blue, 0);
    EXPECT_GT(special.blue, 0);
    EXPECT_EQ(special.red, 0);
    EXPECT_EQ(after.red + after.blue, 0);
}

TEST_F(RichCtrlTest, MouseDragSelectsAndCtrlCCopiesWhatWasSelected)
{
    m_display->resize(900, 200);
    m_display->show();
    QByteArray digits;
    for (int i = 0; i < 100; ++i)
        digits += static_cast<char>('0' + i % 10);
    m_display->AppendData(digits); // broken after 81 characters
    Draw();
    const int w = m_display->CellWidth();
    const int h = m_display->LineHeight();
    const auto cell = [&](int row, int column) {
        return QPoint(CRichCtrl::kMargin + column * w + 1, CRichCtrl::kMargin + row * h + h / 2);
    };
    // From before column 78 of the first line to before column 3 of the second.
    QTest::mousePress(m_display->viewport(), Qt::LeftButton, {}, cell(0, 78));
    QTest::mouseMove(m_display->viewport(), cell(1, 3));
    QTest::mouseRelease(m_display->viewport(), Qt::LeftButton, {}, cell(1, 3));
    EXPECT_EQ(m_display->SelectedText(), QStringLiteral("890\n123"));
    // Shift with the cursor keys extends it; Ctrl+C copies it.
    QTest::keyClick(m_display.get(), Qt::Key_Right, Qt::ShiftModifier);
    QApplication::clipboard()->clear();
    QTest::keyClick(m_display.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("890\n1234"));
}

TEST_F(RichCtrlTest, MergeAppendUsesSourceColoursWithOwnModeAndStamps)
{
    CTrelliumDoc source(m_context);
    SetColors(source, kRed, kBlue, kWhite);
    source.EditInfo()->m_nDisplayMode = 1;
    CRichCtrl sourceDisplay;
    sourceDisplay.SetSession(&source);
    sourceDisplay.UpdateColors();

    m_doc.EditInfo()->m_nDisplayMode = 0;
    m_doc.EditInfo()->m_timing.m_nFormat = 3;
    m_clock.Set(3500);
    m_display->AppendData("own\r");
    m_display->AppendData("in\r", sourceDisplay);
    m_display->AppendGap(7, &sourceDisplay);
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{"{7f7f7f}<2s>{00ff00}own{ffff00}[CR]{ff0000}in{0000ff}[CR]"
                                        "[... 7 bytes lost ...]"}));
    EXPECT_EQ(sourceDisplay.Lines().PlainText(), "");
}

// Any mix of appends, clears and draws leaves the widget showing exactly what
// the display holds, colours included, however many lines were trimmed
// before they could be drawn and whatever Text mode erased above.
class RichCtrlSync : public RichCtrlTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(RichCtrlSync, WidgetMatchesLinesAfterAnySequence)
{
    std::mt19937 random(static_cast<unsigned>(GetParam()));
    m_doc.EditInfo()->m_timing.m_nFormat = 1;
    m_doc.EditInfo()->m_timing.m_nMinInterval = 2;
    for (int step = 0; step < 300; ++step) {
        m_doc.EditInfo()->m_nDisplayMode = static_cast<int>(random() % 3);
        if (random() % 17 == 0) {
            SetColors(m_doc, random() & 0xFFFFFF, random() & 0xFFFFFF, random() & 0xFFFFFF);
            m_display->UpdateColors();
        }
        QByteArray bytes(static_cast<int>(random() % (random() % 4 == 0 ? 3000 : 60)), '\0');
        for (char& c : bytes)
            c = random() % 3 == 0 ? "\x1b[J\b\r\n"[random() % 6]
                                  : static_cast<char>(32 + random() % 95);
        m_clock.Advance(random() % 4);
        const int action = static_cast<int>(random() % 20);
        if (action == 0)
            m_display->Clear();
        else if (action == 1)
            m_display->AppendGap(random() % 100000);
        m_display->AppendData(bytes);
        if (random() % 3 == 0)
            QApplication::processEvents();
        else if (random() % 5 == 0)
            m_display->FlushDisplay();
        // A selection or a caret left on lines that later appends trim or a
        // clear removes, painted before the display has caught up.
        if (random() % 7 == 0)
            m_display->SelectAll();
        else if (random() % 7 == 0)
            m_display->SetCaret({m_display->Lines().FirstSerial() + random() % 150,
                                 static_cast<int>(random() % 100)},
                                random() % 2);
        if (random() % 9 == 0)
            m_display->grab();
    }
    Draw();
    EXPECT_EQ(DrawnLines(*m_display), BufferLines(m_display->Lines()));
    EXPECT_EQ(m_display->Caret(), m_display->End());
    EXPECT_FALSE(m_display->HasSelection());
}

INSTANTIATE_TEST_SUITE_P(Seeds, RichCtrlSync, ::testing::Values(1, 2, 3, 4));

TEST_F(RichCtrlTest, ScreenshotShowsAllThreeColours)
{
    m_doc.EditInfo()->m_timing.m_nFormat = 4;
    m_doc.EditInfo()->m_timing.m_nMinInterval = 500;
    m_clock.Set(1000 + 75000);
    m_display->AppendData("Hello, world\r\n\x01\x02 temperature=21.5\x03\xff");
    m_clock.Advance(2200);
    m_display->AppendData(QByteArray("OK\r\n"));
    m_doc.EditInfo()->m_nDisplayMode = 2;
    m_clock.Advance(900);
    m_display->AppendData(QByteArray("Hex\x00\x7f", 5));
    m_display->resize(760, 220);
    m_display->show();
    Draw();
    const QImage image = m_display->grab().toImage();
    const QString path = qEnvironmentVariable("TRELLIUM_DISPLAY_SHOT");
    if (!path.isEmpty())
        image.save(path);
    bool seen[3] = {};
    const QColor colors[3] = {ColorFromRef(kGreen), ColorFromRef(kYellow), ColorFromRef(kGrey)};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            for (int i = 0; i < 3; ++i)
                seen[i] = seen[i] || image.pixelColor(x, y) == colors[i];
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

// A flood moves the scroll bar's range every frame; drawing it each time
// costs more than the lines. The bar draws a few times a second meanwhile,
// and its values are exact throughout.
// Counts the paints a widget receives.
class CPaintCounter : public QObject
{
public:
    explicit CPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

TEST_F(RichCtrlTest, AFloodDrawsTheScrollBarsAFewTimesASecondWithExactValues)
{
    m_display->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_display.get()));
    QScrollBar* bar = m_display->verticalScrollBar();
    const auto paced = qobject_cast<CPacedScrollBar*>(bar);
    ASSERT_NE(paced, nullptr);
    const CPaintCounter counter(bar);
    int count = 0;
    for (int frame = 0; frame < 20; ++frame) {
        for (int i = 0; i < 7; ++i)
            m_display->AppendData(QByteArray("line ") + QByteArray::number(count++) + "\r\n");
        Draw();
        EXPECT_EQ(bar->maximum(), std::max(0, m_display->Lines().LineCount() - bar->pageStep()));
        EXPECT_EQ(bar->value(), bar->maximum()); // the end is shown
    }
    EXPECT_LT(counter.paints, 5); // twenty frames in well under a second
    // Once the flood stops the bar draws what changed meanwhile.
    const int duringFlood = counter.paints;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paced->IsHeld(); }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > duringFlood; }, 2000));
}

// A full display trims a line for each it appends, so its scroll bars keep
// their range and value: a stream into it draws them not at all.
TEST_F(RichCtrlTest, AStreamIntoAFullDisplayLeavesItsScrollBarsUndrawn)
{
    m_display->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_display.get()));
    const auto vertical = qobject_cast<CPacedScrollBar*>(m_display->verticalScrollBar());
    const auto horizontal = qobject_cast<CPacedScrollBar*>(m_display->horizontalScrollBar());
    ASSERT_TRUE(vertical && horizontal);
    int count = 0;
    const auto frame = [&] {
        for (int i = 0; i < 7; ++i)
            m_display->AppendData(QByteArray("line ") + QByteArray::number(count++ % 10) + "\r\n");
        Draw();
    };
    m_display->AppendData(QByteArray(20000, 'x')); // past the lines kept
    for (int i = 0; i < 3; ++i)
        frame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !vertical->IsHeld(); }, 2000));
    QApplication::processEvents();
    const CPaintCounter verticalPaints(vertical);
    const CPaintCounter horizontalPaints(horizontal);
    const int maximum = vertical->maximum();
    for (int round = 0; round < 2; ++round) {
        frame();
        ASSERT_TRUE(vertical->IsHeld());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !vertical->IsHeld(); }, 2000));
    }
    frame(); // released: nothing to draw all the same
    QApplication::processEvents();
    EXPECT_EQ(vertical->maximum(), maximum);
    EXPECT_EQ(vertical->value(), maximum);
    EXPECT_EQ(verticalPaints.paints, 0);
    EXPECT_EQ(horizontalPaints.paints, 0);
}

// Data that adds a line or two per frame draws only those lines and moves
// the rest as pixels: what the screen holds must be what a full drawing of
// the display gives, frame after frame, while lines are trimmed away, while
// the last line grows, and after a full screen's worth arrives at once.
TEST_F(RichCtrlTest, DrawingOnlyTheNewLinesShowsWhatAFullDrawingShows)
{
    m_display->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_display.get()));
    QScreen* screen = QGuiApplication::primaryScreen();
    const auto onScreen = [&] {
        QApplication::processEvents();
        const QPixmap all = screen->grabWindow(m_display->winId());
        const QRect area(m_display->viewport()->mapTo(m_display.get(), QPoint(0, 0)),
                         m_display->viewport()->size());
        return all.copy(area).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const auto drawnAfresh = [&] {
        return m_display->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    int n = 0;
    const std::vector<QByteArray> steps = {"a", "b\r\n", "c\r\nd", "e\r\n\r\n", "f"};
    for (int frame = 0; frame < 320; ++frame) {
        // Some 30 characters a frame: past the 100 lines kept by frame 240.
        QByteArray bytes = steps[static_cast<size_t>(frame) % steps.size()] + QByteArray(25, 'x');
        if (frame == 120) // more than a screenful in one frame
            for (int i = 0; i < 40; ++i)
                bytes += "burst " + QByteArray::number(i) + "\r\n";
        if (frame == 280) // read back a little while lines keep coming
            m_display->verticalScrollBar()->setValue(m_display->verticalScrollBar()->value() - 5);
        m_display->AppendData(bytes + QByteArray::number(n++));
        Draw();
        if (frame >= 250 && frame % 2 == 0) {
            // Data that arrives between a frame and its paint (the trim
            // moves every line's place in the model meanwhile) is drawn by
            // the next frame all the same.
            m_display->AppendData(QByteArray(150, 'y') + "\r\n");
            QApplication::processEvents();
            Draw();
        }
        const QImage shown = onScreen();
        const QImage fresh = drawnAfresh();
        ASSERT_TRUE(shown == fresh) << "frame " << frame;
    }
}

} // namespace
