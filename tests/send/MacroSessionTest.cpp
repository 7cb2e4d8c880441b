// Macros inside a session: key presses, repeats on real timers, auto
// responses in the receive path, refused sends, and the reader thread racing
// the user-interface thread.
#include "SessionTestSupport.h"
#include "send/DataString.h"
#include "send/KeyPanes.h"
#include "session/TrelliumDoc.h"
#include "session/TrelliumIds.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace {

// A UDP server session sends nothing on the wire, but with echo on every
// send shows up in its ring: the tests read the sends from there.
class MacroSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        doc.SelectPort(PortIdUdpServer);
        doc.m_info.m_nOptions = kOptionEcho;
        doc.PublishSettings();
        doc.UpdateTitle();
        doc.SetView(&view);
    }
    void TearDown() override
    {
        doc.m_funcKeys.StopAllRepeats();
        doc.SetView(nullptr);
    }
    void Add(int key, const char* label, const char* data, int repeat = 0, int interval = 0,
             const char* pattern = nullptr, int shift = 0)
    {
        ASSERT_TRUE(doc.m_funcKeys.AddKey(key, shift, 0, 0, label, "", data, repeat, interval,
                                          pattern ? 1 : 0,
                                          pattern ? QByteArray(pattern) : QByteArray()));
        doc.m_funcKeys.RebuildAutoResponses();
    }

    CRecordingAlerts alerts;
    CRecordingView view;
    CTrelliumDoc doc;
};

TEST_F(MacroSession, PressSendsTheDecodedBytesOnce)
{
    Add(4, "Go", "GO^M", 0, 0, nullptr, 1);
    doc.PressFunctionKey(4, false, false, false); // no plain F5 macro
    doc.PressFunctionKey(4, true, false, false);
    DrainEvents();
    EXPECT_EQ(view.received, QByteArray("GO\r"));
    EXPECT_EQ(doc.GetTitle(), QStringLiteral(" UDP Svr: 127.0.0.1 HTTP Offline [Echo]"));
}

TEST_F(MacroSession, RepeatOfThreeAtFiveHundredMilliseconds)
{
    Add(0, "Label", "x", 3, 500);
    std::vector<qint64> sendTimes;
    QStringList titles;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&doc, &CTrelliumDoc::TitleChanged,
                     [&](const QString& t) { titles.append(t); });
    doc.PressFunctionKey(0, false, false, false);
    ASSERT_TRUE(SpinUntil([&] {
        while (sendTimes.size() < static_cast<size_t>(view.received.size()))
            sendTimes.push_back(clock.elapsed());
        return view.received.size() >= 3 && !doc.IsRepeatTimerActive(Ids::TimerRepeatFirst);
    }));
    SpinUntil([] { return false; }, 700); // no fourth send comes
    EXPECT_EQ(view.received, QByteArray("xxx"));
    ASSERT_EQ(sendTimes.size(), 3u);
    EXPECT_GE(sendTimes[1] - sendTimes[0], 450);
    EXPECT_GE(sendTimes[2] - sendTimes[1], 450);
    EXPECT_TRUE(
        titles.contains(QStringLiteral(" UDP Svr: 127.0.0.1 HTTP (Label 1/3) Offline [Echo]")));
    EXPECT_TRUE(
        titles.contains(QStringLiteral(" UDP Svr: 127.0.0.1 HTTP (Label 2/3) Offline [Echo]")));
    EXPECT_FALSE(doc.GetTitle().contains(QStringLiteral("(Label")));
    EXPECT_FALSE(CKeyPaneTable::Instance().IsRepeating(0));

    // After the run completed, the next press starts a new one at once.
    doc.PressFunctionKey(0, false, false, false);
    DrainEvents();
    EXPECT_EQ(view.received, QByteArray("xxxx"));
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("(Label 1/3) ")));
}

TEST_F(MacroSession, EndlessRepeatStopsOnTheNextPress)
{
    Add(2, "Loop", "L", -1, 20);
    doc.PressFunctionKey(2, false, false, false);
    EXPECT_TRUE(CKeyPaneTable::Instance().IsRepeating(2));
    ASSERT_TRUE(SpinUntil([&] { return view.received.size() >= 5; }));
    doc.PressFunctionKey(2, false, false, false);
    EXPECT_FALSE(doc.IsRepeatTimerActive(Ids::TimerRepeatFirst));
    EXPECT_FALSE(CKeyPaneTable::Instance().IsRepeating(2));
    const qsizetype sent = view.received.size();
    SpinUntil([] { return false; }, 100);
    DrainEvents();
    EXPECT_EQ(view.received.size(), sent);
    EXPECT_FALSE(doc.GetTitle().contains(QStringLiteral("(Loop")));
}

TEST_F(MacroSession, AutoResponseFiresOnEveryCrLfInTheReceivePath)
{
    Add(1, "Ack", "<ACK>", 0, 0, "^M^J");
    doc.ReceiveData("one\r\ntwo\r\n\r\n", 12);
    DrainEvents();
    // Each response follows the byte that completed the pattern.
    EXPECT_EQ(view.received, QByteArray("one\r\n<ACK>two\r\n<ACK>\r\n<ACK>"));
}

TEST_F(MacroSession, RefusedStringEndsThatSendOnlyAndNamesTheKey)
{
    Add(3, "Bad", "AB%", 2, 10, nullptr, 1);
    Add(0, "Good", "ok");
    doc.PressFunctionKey(3, true, false, false);
    doc.PressFunctionKey(0, false, false, false);
    DrainEvents();
    EXPECT_EQ(view.received, QByteArray("ok"));
    ASSERT_EQ(alerts.Messages().size(), 1);
    EXPECT_TRUE(alerts.Messages()[0].contains(QStringLiteral("Shift+F4")))
        << alerts.Messages()[0].toStdString();
    EXPECT_FALSE(doc.IsRepeatTimerActive(Ids::TimerRepeatFirst));
}

// A file that cannot be sent is named in a message; the key sends nothing.
TEST_F(MacroSession, FileThatCannotBeSentIsReported)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("gone.bin"));
    Add(1, "File", ("*" + QFile::encodeName(missing)).constData(), 3, 100);
    doc.PressFunctionKey(1, false, false, false);
    DrainEvents();
    EXPECT_TRUE(view.received.isEmpty());
    EXPECT_EQ(
        alerts.Messages(),
        QStringList{QStringLiteral("Cannot send file %1: No such file or directory").arg(missing)});
    EXPECT_FALSE(doc.IsRepeatTimerActive(Ids::TimerRepeatFirst));
}

TEST_F(MacroSession, ChecksumStateCarriesFromOneSessionToAnother)
{
    Add(0, "Sum", "~|CHK-SUM|~AB");
    CTrelliumDoc other;
    other.SelectPort(PortIdUdpServer);
    other.m_info.m_nOptions = kOptionEcho;
    other.PublishSettings();
    CRecordingView otherView;
    other.SetView(&otherView);
    ASSERT_TRUE(
        other.m_funcKeys.AddKey(0, 0, 0, 0, "Out", "", "~|CHK-START|~C~|CHK-OUT|~", 0, 0, 0, {}));
    doc.PressFunctionKey(0, false, false, false);
    other.PressFunctionKey(0, false, false, false);
    DrainEvents();
    EXPECT_EQ(otherView.received.toHex(' '), QByteArray("43 c6")); // 41+42+43
    other.SetView(nullptr);
}

// The reader thread fires auto responses while the user-interface thread
// presses keys and edits the macro set; run under ThreadSanitizer.
TEST_F(MacroSession, ReaderThreadAndUserInterfaceShareTheMacroSet)
{
    Add(0, "Resp", "~|CHK-CRC-16/MODBUS|~R~|CHK-OUT|~", 0, 0, "^J");
    Add(1, "Rep", "~|CHK-LRC|~P~|CHK-OUT|~", -1, 1);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread reader([&] {
        const QByteArray line("data\n");
        while (!stop.load()) {
            doc.ReceiveData(line.constData(), static_cast<int>(line.size()));
            ++blocks;
        }
    });
    CFuncKeys replacement;
    ASSERT_TRUE(replacement.AddKey(0, 0, 0, 0, "Resp", "", "R2", 0, 0, 1, "a"));
    for (int i = 0; i < 200 || blocks.load() < 2000; ++i) {
        doc.PressFunctionKey(1, false, false, false);
        QCoreApplication::processEvents();
        if (i % 20 == 10) {
            auto lock = doc.m_funcKeys.Lock();
            doc.m_funcKeys.RemoveKey(0, 0, 0, 0);
            doc.m_funcKeys.AddKey(0, 0, 0, 0, "Resp", "", "~|CHK-SUM|~S~|CHK-OUT|~", 0, 0, 1, "^J");
            doc.m_funcKeys.RebuildAutoResponses();
        }
        if (i == 150)
            doc.m_funcKeys.Assign(replacement);
        doc.UpdateTitle();
    }
    stop = true;
    reader.join();
    DrainEvents();
    EXPECT_GT(view.received.size(), 0);
}

} // namespace
