// Macros inside a session: key presses, repeats on the test clock, auto
// responses in the receive path, refused sends, and the reader thread racing
// the user-interface thread.
#include "SessionTestSupport.h"
#include "base/TrelliumIds.h"
#include "send/DataString.h"
#include "send/KeyPanes.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QFile>
#include <QTemporaryDir>
#include <condition_variable>
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
        doc.EditInfo()->m_nOptions = kOptionEcho;
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
    QByteArray Sent()
    {
        DrainEvents();
        return view.received;
    }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    CRecordingView view;
    CTrelliumDoc doc{context};
};

TEST_F(MacroSession, PressSendsTheDecodedBytesOnce)
{
    Add(4, "Go", "GO^M", 0, 0, nullptr, 1);
    doc.PressFunctionKey(4, false, false, false); // no plain F5 macro
    doc.PressFunctionKey(4, true, false, false);
    EXPECT_EQ(Sent(), QByteArray("GO\r"));
    EXPECT_EQ(doc.GetTitle(), QStringLiteral(" UDP Svr: 127.0.0.1 HTTP Offline [Echo]"));
}

TEST_F(MacroSession, RepeatOfThreeAtFiveHundredMilliseconds)
{
    Add(0, "Label", "x", 3, 500);
    QStringList titles;
    QObject::connect(&doc, &CTrelliumDoc::TitleChanged,
                     [&](const QString& t) { titles.append(t); });
    doc.PressFunctionKey(0, false, false, false);
    EXPECT_EQ(Sent(), QByteArray("x"));
    EXPECT_TRUE(context.KeyPanes().IsRepeating(0));
    clock.Advance(499);
    EXPECT_EQ(Sent(), QByteArray("x")); // not before the interval
    clock.Advance(1);
    EXPECT_EQ(Sent(), QByteArray("xx"));
    clock.Advance(500);
    EXPECT_EQ(Sent(), QByteArray("xxx"));
    EXPECT_FALSE(doc.IsRepeatTimerActive(Ids::TimerRepeatFirst));
    clock.Advance(5000); // no fourth send comes
    EXPECT_EQ(Sent(), QByteArray("xxx"));
    EXPECT_TRUE(
        titles.contains(QStringLiteral(" UDP Svr: 127.0.0.1 HTTP (Label 1/3) Offline [Echo]")));
    EXPECT_TRUE(
        titles.contains(QStringLiteral(" UDP Svr: 127.0.0.1 HTTP (Label 2/3) Offline [Echo]")));
    EXPECT_FALSE(doc.GetTitle().contains(QStringLiteral("(Label")));
    EXPECT_FALSE(context.KeyPanes().IsRepeating(0));

    // After the run completed, the next press starts a new one at once.
    doc.PressFunctionKey(0, false, false, false);
    EXPECT_EQ(Sent(), QByteArray("xxxx"));
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("(Label 1/3) ")));
}

TEST_F(MacroSession, EndlessRepeatStopsOnTheNextPress)
{
    Add(2, "Loop", "L", -1, 20);
    doc.PressFunctionKey(2, false, false, false);
    EXPECT_TRUE(context.KeyPanes().IsRepeating(2));
    clock.Advance(80);
    EXPECT_EQ(Sent(), QByteArray("LLLLL"));
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("(Loop 5) ")));
    doc.PressFunctionKey(2, false, false, false);
    EXPECT_FALSE(doc.IsRepeatTimerActive(Ids::TimerRepeatFirst));
    EXPECT_FALSE(context.KeyPanes().IsRepeating(2));
    clock.Advance(1000);
    EXPECT_EQ(Sent(), QByteArray("LLLLL"));
    EXPECT_FALSE(doc.GetTitle().contains(QStringLiteral("(Loop")));
}

TEST_F(MacroSession, AutoResponseFiresOnEveryCrLfInTheReceivePath)
{
    Add(1, "Ack", "<ACK>", 0, 0, "^M^J");
    doc.ReceiveData("one\r\ntwo\r\n\r\n", 12);
    // Each response follows the byte that completed the pattern.
    EXPECT_EQ(Sent(), QByteArray("one\r\n<ACK>two\r\n<ACK>\r\n<ACK>"));
}

TEST_F(MacroSession, RefusedStringEndsThatSendOnlyAndNamesTheKey)
{
    Add(3, "Bad", "AB%", 2, 10, nullptr, 1);
    Add(0, "Good", "ok");
    doc.PressFunctionKey(3, true, false, false);
    doc.PressFunctionKey(0, false, false, false);
    EXPECT_EQ(Sent(), QByteArray("ok"));
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
    CTrelliumDoc other(context);
    other.SelectPort(PortIdUdpServer);
    other.EditInfo()->m_nOptions = kOptionEcho;
    CRecordingView otherView;
    other.SetView(&otherView);
    ASSERT_TRUE(
        other.m_funcKeys.AddKey(0, 0, 0, 0, "Out", "", "~|CHK-START|~C~|CHK-OUT|~", 0, 0, 0, {}));
    doc.PressFunctionKey(0, false, false, false);
    other.PressFunctionKey(0, false, false, false);
    DrainEvents();
    EXPECT_EQ(otherView.received.toHex(' '), QByteArray("43 c6")); // 41+42+43
    other.SetView(nullptr);

    // Another program's sessions have a state of their own.
    CSessionContext elsewhere;
    CTrelliumDoc stranger(elsewhere);
    stranger.SelectPort(PortIdUdpServer);
    stranger.EditInfo()->m_nOptions = kOptionEcho;
    CRecordingView strangerView;
    stranger.SetView(&strangerView);
    ASSERT_TRUE(stranger.m_funcKeys.AddKey(0, 0, 0, 0, "Out", "", "~|CHK-START|~C~|CHK-OUT|~", 0, 0,
                                           0, {}));
    stranger.PressFunctionKey(0, false, false, false);
    DrainEvents();
    EXPECT_EQ(strangerView.received.toHex(' '), QByteArray("43")); // no method selected there
    stranger.SetView(nullptr);
}

// A message that stays open on the user-interface thread until the reader
// thread has gone on receiving: with a lock held across the message, the
// reader would block and the wait would run out.
class CWaitForReaderAlerts final : public CAlertHandler
{
public:
    explicit CWaitForReaderAlerts(std::atomic<int>& progress) : m_progress(progress)
    {
        Alerts::SetHandler(this);
    }
    ~CWaitForReaderAlerts() override { Alerts::SetHandler(nullptr); }
    void Beep() override {}
    void Message(const QString&, const QString&, AlertIcon) override
    {
        const int start = m_progress.load();
        std::unique_lock lock(m_mutex);
        readerWentOn = m_changed.wait_for(lock, std::chrono::seconds(20),
                                          [&] { return m_progress.load() >= start + 1000; });
        ++shown;
    }
    void Notify() { m_changed.notify_all(); }

    bool readerWentOn = false;
    int shown = 0;

private:
    std::atomic<int>& m_progress;
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

TEST_F(MacroSession, ReaderKeepsReceivingWhileARefusedStringIsReported)
{
    Add(0, "Resp", "r", 0, 0, "never"); // the reader thread runs the matcher
    Add(3, "Bad", "AB%", 0, 0, nullptr, 1);
    std::atomic<int> received{0};
    std::atomic<bool> stop{false};
    CWaitForReaderAlerts waiting(received);
    std::thread reader([&] {
        while (!stop.load()) {
            doc.ReceiveData("data\n", 5);
            ++received;
            waiting.Notify();
        }
    });
    doc.PressFunctionKey(3, true, false, false);
    stop = true;
    reader.join();
    EXPECT_EQ(waiting.shown, 1);
    EXPECT_TRUE(waiting.readerWentOn);
}

// The reader thread fires auto responses while the user-interface thread
// presses keys, edits the macro set and replaces it: every line gets exactly
// one response and every press exactly one send (run under ThreadSanitizer).
TEST_F(MacroSession, ReaderThreadAndUserInterfaceShareTheMacroSet)
{
    Add(0, "Resp", "R", 0, 0, "^J");
    Add(1, "Press", "P");
    CFuncKeys replacement;
    ASSERT_TRUE(replacement.AddKey(0, 0, 0, 0, "Resp", "", "R", 0, 0, 1, "^J"));
    ASSERT_TRUE(replacement.AddKey(1, 0, 0, 0, "Press", "", "P", 0, 0, 0, {}));
    constexpr int kLines = 3000;
    std::atomic<bool> started{false};
    std::thread reader([&] {
        started = true;
        for (int i = 0; i < kLines; ++i)
            doc.ReceiveData("data\n", 5);
    });
    while (!started.load())
        std::this_thread::yield();
    int presses = 0;
    for (int i = 0; i < 300; ++i) {
        doc.PressFunctionKey(1, false, false, false);
        ++presses;
        doc.m_funcKeys.AddKey(5, 0, 0, 0, "Tmp", "", "t", 0, 0, 0, {});
        doc.m_funcKeys.RemoveKey(5, 0, 0, 0);
        if (i % 50 == 25)
            doc.m_funcKeys.Assign(replacement);
        doc.UpdateTitle();
        QCoreApplication::processEvents();
    }
    reader.join();
    DrainEvents();
    const uint64_t total = static_cast<uint64_t>(view.received.size()) + view.lost;
    EXPECT_EQ(total, uint64_t{kLines} * 5 + kLines + static_cast<uint64_t>(presses));
    EXPECT_EQ(doc.RingContents(), view.received.right(doc.RingCount()));
}

} // namespace
