// The macro set on its own: identities, pane texts and tool tips, progress
// text, the auto-response matcher and the running slots.
#include "send/FuncKeys.h"
#include "SessionTestSupport.h"
#include "base/Archive.h"
#include "send/KeyPanes.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace {

class CRecordingOwner final : public CFuncKeysOwner, public CRepeatTimerHost
{
public:
    void StopRepeat(int slot) override { stopped.push_back(slot); }
    void SendMacro(const MacroKey& macro) override { sent.push_back(macro.m_strLabel); }
    void StartRepeatTimer(int timerId, int intervalMs, const CMacroId&) override
    {
        timers.push_back({timerId, intervalMs});
    }
    std::vector<int> stopped;
    std::vector<QByteArray> sent;
    std::vector<std::pair<int, int>> timers;
};

class FuncKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        keys.SetOwner(&owner);
        keys.SetKeyPanes(&panes);
    }
    void Add(int key, int shift, int ctrl, const char* label, const char* data, int repeat = 0,
             int interval = 0, const char* pattern = nullptr)
    {
        ASSERT_TRUE(keys.AddKey(key, shift, ctrl, 0, label, "", data, repeat, interval,
                                pattern ? 1 : 0, pattern ? QByteArray(pattern) : QByteArray()));
    }
    void Feed(const QByteArray& bytes)
    {
        for (char c : bytes)
            keys.MatchAutoResponse(static_cast<uint8_t>(c));
    }

    CRecordingOwner owner;
    CKeyPaneTable panes;
    CFuncKeys keys;
};

TEST_F(FuncKeys, IdentitiesAreUnique)
{
    Add(0, 0, 0, "a", "x");
    EXPECT_FALSE(keys.AddKey(0, 0, 0, 0, "b", "", "y", 0, 0, 0, {}));
    Add(0, 1, 0, "s", "y");
    Add(0, 0, 1, "c", "z");
    EXPECT_EQ(keys.CountKeys(0, 0, 0), 1);
    EXPECT_EQ(keys.CountKeys(1, 0, 0), 1);
    EXPECT_EQ(keys.FindKey(0, 0, 1, 0)->m_strLabel, QByteArray("c"));
    EXPECT_EQ(keys.FindKey(256, 0, 1, 0)->m_strLabel, QByteArray("c")); // the key is a byte
    EXPECT_TRUE(keys.SetKeyFields(0, 1, 0, 0, "S", "d", "D", 2, 9));
    EXPECT_FALSE(keys.SetKeyFields(5, 1, 0, 0, "S", "d", "D", 2, 9));
    EXPECT_EQ(keys.FindKey(0, 1, 0, 0)->m_nInterval, 9);
    EXPECT_TRUE(keys.RemoveKey(0, 0, 0, 0));
    EXPECT_FALSE(keys.RemoveKey(0, 0, 0, 0));
    EXPECT_EQ(keys.Snapshot().size(), 2u);
}

TEST_F(FuncKeys, PaneTextsToolTipsAndEnabledStates)
{
    ASSERT_TRUE(keys.AddKey(0, 0, 0, 0, "Ping", "Sends a ping", "PING", 3, 500, 0, {}));
    ASSERT_TRUE(keys.AddKey(1, 0, 0, 0, "Long", "", "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", -1, 250,
                            0, {}));
    ASSERT_TRUE(keys.AddKey(2, 0, 0, 0, "Mid", "", "0123456789ABCDEFGHIJKLMNO", 0, 0, 0, {}));
    ASSERT_TRUE(keys.AddKey(3, 0, 0, 0, "Label only", "", "", 0, 0, 0, {}));
    keys.UpdateKeyPanes(panes, 0, 0);
    EXPECT_EQ(panes.GetPane(1).label, QStringLiteral("F1 Ping"));
    EXPECT_EQ(panes.GetPane(1).toolTip,
              QStringLiteral("Sends a ping\r\nData: [PING]\r\nRepeat: 3 times, Interval: 500 ms"));
    EXPECT_EQ(panes.GetPane(2).label, QStringLiteral("2 Long"));
    EXPECT_EQ(
        panes.GetPane(2).toolTip,
        QStringLiteral(
            "Data: [0123456789ABCDEFGHIJ...UVWXYZ]\r\nRepeat: indefinitely, Interval: 250 ms"));
    EXPECT_EQ(panes.GetPane(3).toolTip, QStringLiteral("Data: [0123456789ABCDEFGHIJ...]"));
    EXPECT_EQ(panes.GetPane(4).label, QStringLiteral("4 Label only"));
    EXPECT_FALSE(panes.GetPane(4).hasData);
    EXPECT_TRUE(panes.GetPane(1).hasData);
    EXPECT_EQ(panes.GetPane(12).label, QStringLiteral("12 "));
    EXPECT_FALSE(panes.GetPane(12).hasData);

    // Shift with no Shift macros leaves the panes as they were.
    keys.UpdateKeyPanes(panes, 1, 0);
    EXPECT_EQ(panes.GetPane(1).label, QStringLiteral("F1 Ping"));
    Add(4, 1, 0, "Sh", "s");
    keys.UpdateKeyPanes(panes, 1, 0);
    EXPECT_EQ(panes.GetPane(1).label, QStringLiteral("F1 "));
    EXPECT_EQ(panes.GetPane(5).label, QStringLiteral("5 Sh"));
}

TEST_F(FuncKeys, ProgressTextListsRunningMacros)
{
    Add(0, 0, 0, "Label", "x", 3);
    Add(1, 0, 0, "Loop", "y", -1);
    keys.RepeatBookkeeping(CMacroId::Of(0, 0, 0, 0), &owner);
    EXPECT_EQ(keys.ProgressText(), QByteArray("(Label 1/3) "));
    for (int i = 0; i < 5; ++i)
        keys.RepeatBookkeeping(CMacroId::Of(1, 0, 0, 0), &owner);
    EXPECT_EQ(keys.ProgressText(), QByteArray("(Label 1/3) (Loop 5) "));
    EXPECT_TRUE(panes.IsRepeating(1));
}

TEST_F(FuncKeys, RepeatRunsUseSlotsAndEndAfterTheLastSend)
{
    Add(0, 0, 0, "A", "x", 3, 500);
    Add(1, 0, 0, "B", "y", 2, 100);
    const CMacroId a = CMacroId::Of(0, 0, 0, 0);
    const CMacroId b = CMacroId::Of(1, 0, 0, 0);
    keys.RepeatBookkeeping(a, &owner);
    keys.RepeatBookkeeping(b, &owner);
    EXPECT_EQ(keys.RunningSlotOf(a), 0);
    EXPECT_EQ(keys.RunningSlotOf(b), 1);
    EXPECT_EQ(owner.timers, (std::vector<std::pair<int, int>>{{1400, 500}, {1401, 100}}));
    keys.RepeatBookkeeping(b, &owner); // B's second and last send
    EXPECT_EQ(keys.RunningSlotOf(b), -1);
    EXPECT_EQ(keys.FindKey(1, 0, 0, 0)->m_nDone, 0);
    EXPECT_FALSE(panes.IsRepeating(1));
    EXPECT_EQ(owner.stopped, std::vector<int>{1});
    // A freed slot is reused before the list grows.
    Add(2, 0, 0, "C", "z", -1, 10);
    keys.RepeatBookkeeping(CMacroId::Of(2, 0, 0, 0), &owner);
    EXPECT_EQ(owner.timers.back(), (std::pair<int, int>{1401, 10}));
    // A repeat of 1 sends once.
    Add(3, 0, 0, "One", "o", 1, 10);
    keys.RepeatBookkeeping(CMacroId::Of(3, 0, 0, 0), &owner);
    EXPECT_EQ(keys.RunningSlotOf(CMacroId::Of(3, 0, 0, 0)), -1);
}

TEST_F(FuncKeys, RemovingOrReplacingMacrosStopsTheirRuns)
{
    Add(0, 0, 0, "A", "x", -1, 500, "Q");
    keys.RebuildAutoResponses();
    const CMacroId a = CMacroId::Of(0, 0, 0, 0);
    keys.RepeatBookkeeping(a, &owner);
    ASSERT_EQ(keys.RunningSlotOf(a), 0);
    EXPECT_TRUE(keys.RemoveKey(0, 0, 0, 0));
    EXPECT_FALSE(keys.MacroInSlot(0)); // no dangling slot
    Feed("QQ");
    EXPECT_TRUE(owner.sent.empty()); // no dangling matcher entry
    EXPECT_FALSE(keys.HasAutoResponses());

    Add(1, 0, 0, "B", "y", -1, 500);
    keys.RepeatBookkeeping(CMacroId::Of(1, 0, 0, 0), &owner);
    CFuncKeys other;
    ASSERT_TRUE(other.AddKey(5, 0, 0, 0, "N", "", "n", 0, 0, 0, {}));
    keys.Assign(other);
    EXPECT_FALSE(keys.MacroInSlot(0));
    EXPECT_FALSE(panes.IsRepeating(1));
    ASSERT_EQ(keys.Snapshot().size(), 1u);
    EXPECT_EQ(keys.Snapshot()[0].m_strLabel, QByteArray("N"));
}

TEST_F(FuncKeys, StopKeyRepeatEndsOneRun)
{
    Add(0, 0, 0, "A", "x", -1, 500);
    const CMacroId a = CMacroId::Of(0, 0, 0, 0);
    keys.RepeatBookkeeping(a, &owner);
    keys.RepeatBookkeeping(a, &owner);
    keys.StopKeyRepeat(0, 0, 0, 0);
    EXPECT_EQ(keys.FindKey(0, 0, 0, 0)->m_nDone, 0);
    EXPECT_EQ(keys.RunningSlotOf(a), -1);
    EXPECT_FALSE(panes.IsRepeating(0));
}

TEST_F(FuncKeys, MatcherRestartsWithoutRetestingTheMismatchedByte)
{
    Add(0, 0, 0, "AB", "x", 0, 0, "AB");
    Add(1, 0, 0, "CRLF", "y", 0, 0, "^M^J");
    Add(2, 1, 0, "Off", "z", 0, 0, nullptr);
    Add(3, 0, 0, "TooLong", "w", 0, 0, "0123456789abcdefghij"); // 20 bytes: inactive
    Add(4, 0, 0, "Bad", "v", 0, 0, "AB%");                      // refused: inactive
    keys.RebuildAutoResponses();
    EXPECT_TRUE(keys.HasAutoResponses());
    Feed("AAB");
    EXPECT_TRUE(owner.sent.empty());
    Feed("ABAB");
    EXPECT_EQ(owner.sent, (std::vector<QByteArray>{"AB", "AB"}));
    owner.sent.clear();
    Feed("x\r\ny\r\n\r\r\n0123456789abcdefghij");
    EXPECT_EQ(owner.sent, (std::vector<QByteArray>{"CRLF", "CRLF"})); // CR CR LF is no match
}

TEST_F(FuncKeys, MatcherOrderFollowsModifiersThenKeys)
{
    Add(5, 1, 0, "shift", "a", 0, 0, "Z");
    Add(7, 0, 1, "ctrl", "b", 0, 0, "Z");
    Add(9, 0, 0, "plain", "c", 0, 0, "Z");
    keys.RebuildAutoResponses();
    Feed("Z");
    EXPECT_EQ(owner.sent, (std::vector<QByteArray>{"plain", "ctrl", "shift"}));
}

TEST_F(FuncKeys, SerializeWritesVersionTwoAndRebuildsTheMatcher)
{
    Add(0, 0, 0, "L", "data", 2, 300, "^M");
    Add(11, 1, 1, "M", "", -1, 0);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CArchive out(&buffer, CArchive::Mode::Store);
    keys.Serialize(out);
    const QByteArray bytes = buffer.data();
    EXPECT_EQ(bytes.left(4).toHex(' '), QByteArray("02 00 02 00"));

    CFuncKeys back;
    back.SetOwner(&owner);
    QBuffer in(const_cast<QByteArray*>(&bytes));
    in.open(QIODevice::ReadOnly);
    CArchive ar(&in, CArchive::Mode::Load);
    back.Serialize(ar);
    ASSERT_EQ(back.Snapshot().size(), 2u);
    EXPECT_EQ(back.Snapshot()[1].m_nRepeat, -1);
    for (char c : QByteArray("\r"))
        back.MatchAutoResponse(static_cast<uint8_t>(c));
    EXPECT_EQ(owner.sent, std::vector<QByteArray>{"L"});
}

} // namespace
