#include "display/ui/PacedScrollBar.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class PacedScrollBarTest : public ::testing::Test, public QObject
{
protected:
    void SetUp() override
    {
        m_bar.resize(16, 300);
        m_bar.setRange(0, 10000);
        m_bar.setPageStep(10);
        m_bar.setValue(10000);
        m_bar.installEventFilter(this);
        m_bar.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_bar));
        ASSERT_TRUE(QTest::qWaitFor([this] { return m_nPaints > 0; }, 2000));
        PaintsNow(); // the window may be exposed twice
        m_nPaints = 0;
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        m_nPaints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }

    // Paints are posted: whatever was asked for has been drawn after this.
    int PaintsNow()
    {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
        return m_nPaints;
    }

    CPacedScrollBar m_bar{Qt::Vertical};
    int m_nPaints = 0;
};

// A handle at its smallest length at the end of a long range stays where it
// is while the range shrinks with the lines a display keeps.
TEST_F(PacedScrollBarTest, DrawsOnlyWhenItsLookChanges)
{
    m_bar.setRange(0, 9990);
    EXPECT_EQ(m_bar.value(), 9990);
    EXPECT_EQ(PaintsNow(), 0);

    m_bar.setValue(0);
    EXPECT_EQ(PaintsNow(), 1);
    m_bar.setPageStep(5000); // a longer handle
    EXPECT_EQ(PaintsNow(), 2);
}

// A display settles the range, then the value: held meanwhile, the bar draws
// only if where it ends up looks different.
TEST_F(PacedScrollBarTest, AHeldBarDrawsOnReleaseOnlyWhenItLooksDifferent)
{
    for (int maximum : {10013, 10400}) {
        m_bar.Hold(true);
        m_bar.setRange(0, maximum);
        m_bar.setValue(maximum);
        m_bar.Hold(false);
    }
    EXPECT_EQ(PaintsNow(), 0);

    m_bar.Hold(true);
    m_bar.setValue(0);
    m_bar.setValue(5000);
    EXPECT_EQ(m_bar.value(), 5000); // the value is exact while held
    EXPECT_EQ(PaintsNow(), 0);
    m_bar.Hold(false);
    EXPECT_EQ(PaintsNow(), 1);
}

} // namespace
