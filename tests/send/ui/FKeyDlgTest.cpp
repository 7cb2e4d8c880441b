// The function-key setup dialog: page rules (load, save, delete, modifier
// pages), Repeat and Interval, Stop, OK and Cancel, the chart's characters
// and the data-string hints.
#include "send/ui/FKeyDlg.h"
#include "SessionTestSupport.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <gtest/gtest.h>

namespace {

class CNullOwner final : public CFuncKeysOwner, public CRepeatTimerHost
{
public:
    void StopRepeat(int) override {}
    void SendMacro(const MacroKey&) override {}
    void StartRepeatTimer(int, int, const CMacroId&) override {}
};

class FKeyDialog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        keys.SetOwner(&owner);
        ASSERT_TRUE(keys.AddKey(0, 0, 0, 0, "Ping", "Sends a ping", "PING", 0, 0, 0, {}));
        ASSERT_TRUE(keys.AddKey(0, 1, 0, 0, "ShiftPing", "", "SP", 1, 0, 0, {}));
        ASSERT_TRUE(keys.AddKey(2, 0, 0, 0, "Loop", "", "L", -1, 250, 1, "^M"));
    }
    CNullOwner owner;
    CFuncKeys keys;
};

TEST_F(FKeyDialog, PagesLoadAndSaveByKeyAndModifiers)
{
    CFKeyDlg dialog(&keys, 0);
    EXPECT_EQ(dialog.Tabs()->tabText(0), QStringLiteral("F1 Ping"));
    EXPECT_EQ(dialog.Tabs()->tabText(2), QStringLiteral("F3 Loop"));
    EXPECT_EQ(dialog.LabelEdit()->text(), QStringLiteral("Ping"));
    EXPECT_TRUE(dialog.RepeatEdit()->text().isEmpty());
    EXPECT_FALSE(dialog.IntervalEdit()->isEnabled());

    dialog.ShiftBox()->setChecked(true); // the Shift page of the same key
    EXPECT_EQ(dialog.LabelEdit()->text(), QStringLiteral("ShiftPing"));
    EXPECT_TRUE(dialog.RepeatEdit()->text().isEmpty());              // 1 shows empty
    EXPECT_EQ(dialog.Tabs()->tabText(0), QStringLiteral("F1 Ping")); // titles stay plain
    dialog.ShiftBox()->setChecked(false);

    dialog.Tabs()->setCurrentIndex(2);
    EXPECT_EQ(dialog.RepeatEdit()->text(), QStringLiteral("*"));
    EXPECT_EQ(dialog.IntervalEdit()->text(), QStringLiteral("250"));
    EXPECT_TRUE(dialog.AutoResponseBox()->isChecked());
    EXPECT_TRUE(dialog.PatternEdit()->isEnabled());

    // A new macro on F5, a changed one on F3, and F1 cleared: deleted.
    dialog.Tabs()->setCurrentIndex(4);
    dialog.LabelEdit()->setText(QStringLiteral("New"));
    dialog.DataEdit()->setText(QStringLiteral("N^M"));
    dialog.RepeatEdit()->setText(QStringLiteral("3"));
    dialog.IntervalEdit()->setText(QStringLiteral("100ms"));
    dialog.Tabs()->setCurrentIndex(0);
    dialog.LabelEdit()->clear();
    dialog.DescriptionEdit()->clear();
    dialog.DataEdit()->clear();
    dialog.Tabs()->setCurrentIndex(1);
    // Nothing reaches the session before OK.
    EXPECT_TRUE(keys.FindKey(0, 0, 0, 0).has_value());
    EXPECT_FALSE(keys.FindKey(4, 0, 0, 0).has_value());
    dialog.accept();
    EXPECT_FALSE(keys.FindKey(0, 0, 0, 0).has_value());
    const auto created = keys.FindKey(4, 0, 0, 0);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->m_strData, QByteArray("N^M"));
    EXPECT_EQ(created->m_nRepeat, 3);
    EXPECT_EQ(created->m_nInterval, 100);
    // The list keeps its order: a changed macro is not moved to the end.
    EXPECT_EQ(keys.Snapshot().front().m_strLabel, QByteArray("ShiftPing"));
}

TEST_F(FKeyDialog, CancelDiscardsAndALabelOnlyMacroStays)
{
    {
        CFKeyDlg dialog(&keys, 1);
        dialog.LabelEdit()->setText(QStringLiteral("Only a label"));
        dialog.reject();
    }
    EXPECT_FALSE(keys.FindKey(1, 0, 0, 0).has_value());
    CFKeyDlg dialog(&keys, 1);
    dialog.LabelEdit()->setText(QStringLiteral("Only a label"));
    dialog.accept();
    ASSERT_TRUE(keys.FindKey(1, 0, 0, 0).has_value());
    EXPECT_TRUE(keys.FindKey(1, 0, 0, 0)->m_strData.isEmpty());
}

TEST_F(FKeyDialog, StopEndsTheRunningRepeatAtOnce)
{
    keys.RepeatBookkeeping(CMacroId::Of(2, 0, 0, 0), &owner); // F3 repeats
    ASSERT_GE(keys.RunningSlotOf(CMacroId::Of(2, 0, 0, 0)), 0);
    CFKeyDlg dialog(&keys, 2);
    EXPECT_TRUE(dialog.StopButton()->isEnabled());
    dialog.StopButton()->click();
    EXPECT_EQ(keys.RunningSlotOf(CMacroId::Of(2, 0, 0, 0)), -1);
    EXPECT_FALSE(dialog.StopButton()->isEnabled());
}

TEST_F(FKeyDialog, ChartCharactersAndDataHints)
{
    CFKeyDlg dialog(&keys, 0);
    dialog.show();
    dialog.DataEdit()->clear();
    dialog.CharClicked('A');
    dialog.CharClicked(13);
    dialog.CharClicked('%');
    EXPECT_EQ(dialog.DataEdit()->text(), QStringLiteral("A%0D%"));
    EXPECT_EQ(dialog.Prompt(), QStringLiteral("Click character to add to F1 key Ping data"));
    EXPECT_TRUE(dialog.DataHint()->text().contains(QStringLiteral("lone percent")));
    dialog.DataEdit()->setText(QStringLiteral("~|CHK-CRC-16/NOPE|~x"));
    EXPECT_TRUE(dialog.DataHint()->text().contains(QStringLiteral("CRC-16/NOPE")));
    dialog.DataEdit()->setText(QStringLiteral("~|CHK-CRC-16/MODBUS|~123456789~|CHK-OUT|~"));
    EXPECT_TRUE(dialog.DataHint()->text().isEmpty());
    EXPECT_EQ(dialog.DataPreview()->text(),
              QStringLiteral("Sends: 31 32 33 34 35 36 37 38 39 37 4B"));
    // A long string's preview stays on its line, shortened, with the count
    // of bytes; the whole of it is in the tool tip.
    dialog.DataEdit()->setText(QString(100, QLatin1Char('U')));
    const QString shown = dialog.DataPreview()->text();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(" (100 bytes)"))) << shown.toStdString();
    EXPECT_LE(QFontMetrics(dialog.DataPreview()->font()).horizontalAdvance(shown),
              dialog.DataPreview()->width());
    EXPECT_EQ(dialog.DataPreview()->toolTip().count(QStringLiteral("55")), 100);
}

// The dialog opens at the main window's left edge with its bottom 20 pixels
// above the main window's, leaving the session in sight.
TEST_F(FKeyDialog, OpensAtTheMainWindowsLowerLeft)
{
    QWidget main;
    // At the test screen's left: the dialog is wider than the test screen.
    main.setGeometry(2, 30, 760, 560);
    main.show();
    CFKeyDlg dialog(&keys, 0, &main);
    dialog.show();
    EXPECT_EQ(dialog.frameGeometry().left(), main.frameGeometry().left());
    EXPECT_EQ(dialog.frameGeometry().bottom(), main.frameGeometry().bottom() - 20);
    dialog.reject();
}

} // namespace
