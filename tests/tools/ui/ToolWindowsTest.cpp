// The tool windows: the ASCII chart's grid, hit-testing on cell edges and
// listeners that are never called once their owner is gone; the converter
// window following its input.
#include "tools/ui/ASCIIWnd.h"
#include "tools/ui/ConverterWnd.h"

#include "platform/Profile.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>
#include <memory>

namespace {

class CRecordingListener final : public QObject, public CASCIIWndListener
{
public:
    void CharClicked(int value) override { clicked.push_back(value); }
    QString Prompt() const override { return QStringLiteral("Click character to send"); }
    std::vector<int> clicked;
};

TEST(AsciiChart, CellsAndTitles)
{
    CASCIIWnd chart;
    EXPECT_EQ(chart.windowTitle(), QStringLiteral("ASCII Chart"));
    EXPECT_EQ(chart.findChild<QLabel*>(QStringLiteral("cell0"))->text(),
              QStringLiteral("  0 00 ^@ NUL"));
    EXPECT_EQ(chart.findChild<QLabel*>(QStringLiteral("cell38"))->text(),
              QStringLiteral(" 38 26 &"));
    EXPECT_EQ(chart.findChild<QLabel*>(QStringLiteral("cell127"))->text(),
              QStringLiteral("127 7F DEL"));
    EXPECT_EQ(chart.findChild<QLabel*>(QStringLiteral("cell200"))->text(),
              QStringLiteral(" 200 C8"));
}

// The tips are shown where the mouse rests, over cells that let the mouse
// through to the chart.
TEST(AsciiChart, ControlCharactersShowTheirTipsUnderTheMouse)
{
    CASCIIWnd chart;
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    const auto tipAt = [&](int value) {
        QToolTip::hideText();
        const QPoint at = chart.CellRect(value).center();
        QHelpEvent help(QEvent::ToolTip, at, chart.mapToGlobal(at));
        QApplication::sendEvent(chart.childAt(at) ? chart.childAt(at) : &chart, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(13), QStringLiteral("Ctrl-M  CR = Carriage Return / ENTER key"));
    EXPECT_EQ(tipAt(1), QStringLiteral("Ctrl-A  SOH = Start of Heading"));
    EXPECT_EQ(tipAt(127), QStringLiteral("Control Character: Delete"));
}

TEST(AsciiChart, BoundaryClicksGoToTheLowerValueAndOnlyToLiveListeners)
{
    CASCIIWnd chart;
    chart.show();
    const QRect zero = chart.CellRect(0);
    const QRect one = chart.CellRect(1);
    ASSERT_EQ(zero.top() + zero.height(), one.top()); // the shared line
    EXPECT_EQ(chart.ValueAt(QPoint(zero.left() + 2, one.top())), 0);
    EXPECT_EQ(chart.ValueAt(QPoint(zero.left() + 2, one.top() + 1)), 1);
    const QRect last = chart.CellRect(255);
    EXPECT_EQ(chart.ValueAt(last.center()), 255);
    EXPECT_EQ(chart.ValueAt(QPoint(last.right() + 50, last.center().y())), -1);

    QTest::mouseClick(&chart, Qt::LeftButton, {}, chart.CellRect(65).center()); // no listener
    auto listener = std::make_unique<CRecordingListener>();
    chart.SetListener(listener.get(), listener.get());
    EXPECT_EQ(chart.windowTitle(), QStringLiteral("ASCII Chart - Click character to send"));
    QTest::mouseClick(&chart, Qt::LeftButton, {}, chart.CellRect(65).center());
    QTest::mouseClick(&chart, Qt::LeftButton, {}, chart.CellRect(200).center());
    EXPECT_EQ(listener->clicked, (std::vector<int>{65, 200}));
    listener.reset(); // its owner goes away: the chart must not call it
    QTest::mouseClick(&chart, Qt::LeftButton, {}, chart.CellRect(66).center());
}

TEST(ConverterWindow, FollowsTheInput)
{
    CConverterWnd window;
    QTest::keyClicks(window.Input(), QStringLiteral("0xFFFFFFFF"));
    EXPECT_EQ(window.Header(1)->text(), QStringLiteral("Decimal"));
    EXPECT_EQ(window.RowLabel(1)->text(), QStringLiteral("   D C B A "));
    EXPECT_EQ(window.Field(0, 1)->text(), QStringLiteral("-1"));
    EXPECT_EQ(window.Field(0, 3)->text(), QStringLiteral("4294967295"));
    EXPECT_EQ(window.Note()->text(), QStringLiteral(" Unsigned integer representation"));
    window.Input()->setText(QStringLiteral("1.5"));
    EXPECT_EQ(window.Header(1)->text(), QStringLiteral("IEEE-754 Single"));
    EXPECT_EQ(window.Field(0, 0)->text(), QStringLiteral("Normal"));
    EXPECT_EQ(window.Field(0, 1)->text(), QStringLiteral("0x3FC00000"));
    EXPECT_TRUE(window.Field(0, 3)->text().isEmpty());
    EXPECT_TRUE(window.Note()->text().isEmpty());
}

// A tool window comes back where it was left, but never out of reach: a
// position saved with a larger screen (or a hand-edited profile) is moved
// back onto the screen, whole. Neither window offers to maximise.
TEST(ToolWindows, ComeBackWhereTheyWereLeftButAlwaysOnScreen)
{
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    {
        auto converter = std::make_unique<CConverterWnd>();
        converter->move(room.left() + 7, room.top() + 9);
    } // closing stores the position
    {
        CConverterWnd converter;
        EXPECT_EQ(converter.pos(), QPoint(room.left() + 7, room.top() + 9));
    }
    Platform::OpenProfile()->setValue(QStringLiteral("TRCNV/X"), room.right() + 4000);
    Platform::OpenProfile()->setValue(QStringLiteral("TRCNV/Y"), room.bottom() - 10);
    CConverterWnd converter;
    ASSERT_LE(converter.frameGeometry().width(), room.width()); // fits the test screen
    EXPECT_TRUE(room.contains(converter.frameGeometry()))
        << converter.frameGeometry().x() << "," << converter.frameGeometry().y();
    // Before the window manager frames it, its caption is counted too: the
    // bottom edge stays on the screen once it is framed.
    const int caption = converter.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    EXPECT_LE(converter.geometry().bottom() + caption, room.bottom());
    EXPECT_FALSE(converter.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(CASCIIWnd().windowFlags() & Qt::WindowMaximizeButtonHint);

    // Opened for the first time: over the middle of the window that opened it.
    Platform::OpenProfile()->remove(QStringLiteral("TRCNV"));
    QWidget owner;
    owner.setGeometry(room.left() + 40, room.top() + 30, room.width() - 80, room.height() - 60);
    CConverterWnd first(&owner);
    EXPECT_TRUE(room.contains(first.geometry()));
    EXPECT_LE((first.geometry().center() - owner.geometry().center()).manhattanLength(), 40);
}

} // namespace
