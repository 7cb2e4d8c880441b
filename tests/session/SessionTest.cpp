// The session at work: the ring and its notifications, titles, time stamps,
// capture, hold, echo and port selection.
#include "SessionTestSupport.h"
#include "base/TrelliumIds.h"
#include "display/DisplayModel.h"
#include "display/LineBuffer.h"
#include "session/CaptureFile.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray Pattern(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    return bytes;
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

class Session : public ::testing::Test
{
protected:
    void SetUp() override
    {
        doc.EditInfo()->m_nConnectionType = ConnTcpServer;
        doc.EditInfo()->m_nPortId = PortIdTcpServer;
        doc.SetView(&view);
    }
    void TearDown() override { doc.SetView(nullptr); }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    CRecordingView view;
    CTrelliumDoc doc{context};
};

TEST_F(Session, RingAfter5000BytesHoldsTheLast4096)
{
    const QByteArray data = Pattern(5000);
    for (int at = 0; at < data.size(); at += 1000)
        doc.ReceiveData(data.constData() + at, 1000);
    EXPECT_EQ(doc.RingCount(), 4096);
    EXPECT_EQ(doc.RingPos(), 904);
    EXPECT_EQ(doc.RingContents(), data.right(4096));
    char copy[8];
    EXPECT_EQ(doc.CopyFromRing(copy, 4094, 4), 4); // wraps at the end
    EXPECT_EQ(QByteArray(copy, 4), data.mid(4094, 4));
}

TEST_F(Session, NotificationsCoalesceIntoOneDelivery)
{
    doc.ReceiveData("abc", 3);
    doc.ReceiveData("def", 3);
    EXPECT_EQ(view.deliveries, 0); // posted, not sent
    DrainEvents();
    EXPECT_EQ(view.deliveries, 1);
    EXPECT_EQ(view.received, QByteArray("abcdef"));
    EXPECT_EQ(view.lost, 0u);
}

// A view that draws less often for a while takes its bytes as seldom, while
// a session beside it keeps the standard frame.
TEST(SessionFrames, AViewAskingForLongerFramesIsDeliveredToAsSeldom)
{
    CTestClock clock;
    CSessionContext context{clock};
    context.SetDeliveryFrameMs(1);
    CRecordingView drawingSeldom;
    drawingSeldom.frameMs = 600'000;
    CRecordingView standard;
    CTrelliumDoc first{context};
    CTrelliumDoc second{context};
    first.SetView(&drawingSeldom);
    second.SetView(&standard);
    // The first bytes after a quiet spell go at once, to both.
    first.ReceiveData("a", 1);
    second.ReceiveData("a", 1);
    ASSERT_TRUE(
        SpinUntil([&] { return drawingSeldom.deliveries == 1 && standard.deliveries == 1; }));
    first.ReceiveData("b", 1);
    second.ReceiveData("b", 1);
    ASSERT_TRUE(SpinUntil([&] { return standard.received == "ab"; }));
    EXPECT_EQ(drawingSeldom.received, "a");
    first.SetView(nullptr);
    second.SetView(nullptr);
}

// A full backlog is taken at once, whatever frame the view asked for: its
// source is held back meanwhile.
TEST(SessionFrames, AFullBacklogIsDeliveredWithoutWaitingForTheFrame)
{
    CTestClock clock;
    CSessionContext context{clock};
    context.SetDeliveryFrameMs(1);
    CRecordingView view;
    view.frameMs = 600'000;
    CTrelliumDoc doc{context};
    doc.SetView(&view);
    doc.ReceiveData("a", 1);
    ASSERT_TRUE(SpinUntil([&] { return view.deliveries == 1; }));
    const QByteArray block = Pattern(64 * 1024);
    qsizetype sent = 1;
    while (doc.ReceiveData(block.constData(), static_cast<int>(block.size())))
        sent += block.size();
    sent += block.size();
    EXPECT_FALSE(doc.CanReceive());
    ASSERT_TRUE(SpinUntil([&] { return view.received.size() == sent; }));
    EXPECT_TRUE(doc.CanReceive());
    doc.SetView(nullptr);
}

// However often the source fills the backlog again, a flood is shown a slice
// a turn of the event loop (two of these blocks), so that the window keeps
// answering: a fill that comes while a slice is being shown (the reader runs
// on its own thread) must not start a second chain of deliveries.
TEST(SessionFrames, AFloodIsDeliveredASliceATurnHoweverOftenTheBacklogFills)
{
    CTestClock clock;
    CSessionContext context{clock};
    context.SetDeliveryFrameMs(1);
    CTrelliumDoc doc{context};
    const QByteArray block = Pattern(64 * 1024);
    qsizetype sent = 0;
    const auto fill = [&] {
        while (sent < 16 * 1024 * 1024 && doc.CanReceive()) {
            sent += block.size();
            if (!doc.ReceiveData(block.constData(), static_cast<int>(block.size())))
                break;
        }
    };
    struct CRefillingView final : CSessionView
    {
        std::function<void()> refill;
        qsizetype received = 0;
        void OnUpdate(int) override {}
        void OnNewBytes(const QByteArray& bytes, uint64_t, uint32_t) override
        {
            received += bytes.size();
            refill();
        }
        void OnDatagramsLost(uint64_t) override {}
        void OnCommand(int) override {}
        void ClearDisplay() override {}
        int FrameMs(int) const override { return 600'000; }
    } view;
    view.refill = fill;
    doc.SetView(&view);
    fill();
    qsizetype mostInATurn = 0;
    for (int turn = 0; turn < 1000 && view.received < sent; ++turn) {
        const qsizetype before = view.received;
        QCoreApplication::sendPostedEvents();
        mostInATurn = std::max(mostInATurn, view.received - before);
    }
    EXPECT_EQ(view.received, sent);
    EXPECT_LE(mostInATurn, 2 * block.size());
    doc.SetView(nullptr);
}

// The ring keeps only what a rebuild shows again; a view far behind still
// gets every byte from the backlog.
TEST_F(Session, AViewFarBehindIsShownEveryByte)
{
    const QByteArray data = Pattern(1000000);
    for (int at = 0; at < data.size(); at += 10000)
        EXPECT_TRUE(doc.ReceiveData(data.constData() + at, 10000));
    DrainEvents();
    ASSERT_TRUE(SpinUntil([&] { return view.received.size() == data.size(); }));
    EXPECT_EQ(view.lost, 0u);
    EXPECT_EQ(view.received, data);
    EXPECT_EQ(doc.RingContents(), data.right(4096));
}

// A source that keeps handing bytes over while the view takes none is told
// to stop once the backlog is full, and is let go on once the view caught up.
TEST_F(Session, AFullBacklogStopsAStreamSourceUntilTheViewCaughtUp)
{
    const QByteArray block = Pattern(64 * 1024);
    qsizetype handed = 0;
    while (doc.ReceiveData(block.constData(), static_cast<int>(block.size())))
        handed += block.size();
    handed += block.size();
    EXPECT_FALSE(doc.CanReceive());
    EXPECT_GE(handed, qsizetype{CDeliveryBacklog::kCapacity});
    ASSERT_TRUE(SpinUntil([&] { return view.received.size() == handed; }));
    EXPECT_TRUE(doc.CanReceive());
    EXPECT_EQ(view.lost, 0u);
}

// A reader thread fills the ring while the user-interface thread echoes into
// it and takes deliveries: every byte is delivered, and what is delivered
// keeps the ring's order (run under ThreadSanitizer).
TEST_F(Session, ReaderThreadAndEchoShareTheRing)
{
    doc.EditInfo()->m_nOptions = kOptionEcho;
    constexpr int kBlocks = 3000;
    std::thread reader([&] {
        char block[37];
        for (int i = 0; i < kBlocks; ++i) {
            for (int j = 0; j < 37; ++j)
                block[j] = static_cast<char>('a' + (i + j) % 26);
            doc.ReceiveData(block, 37);
        }
    });
    int echoes = 0;
    while (echoes < 2000) {
        doc.SendData("#", 1);
        ++echoes;
        if (echoes % 10 == 0)
            QCoreApplication::processEvents();
    }
    reader.join();
    DrainEvents();
    ASSERT_TRUE(SpinUntil([&] { return view.received.size() == kBlocks * 37 + 2000; }));
    EXPECT_EQ(view.lost, 0u);
    EXPECT_EQ(doc.RingContents(), view.received.right(doc.RingCount()));
}

TEST_F(Session, HoldCapturesButNeitherStoresNorAnnounces)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cap.txt"));
    doc.EditInfo()->m_timing = {500, 1};
    doc.ReceiveData("", 0); // the time of the previous block
    ASSERT_EQ(doc.StartCapture(path), 1);
    doc.ToggleHold();
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("[Hold] ")));
    clock.Advance(800);
    doc.ReceiveData("held", 4);
    DrainEvents();
    EXPECT_EQ(view.deliveries, 0);
    EXPECT_EQ(doc.RingCount(), 0);
    doc.ToggleHold();
    doc.ReceiveData("live", 4);
    DrainEvents();
    EXPECT_EQ(view.received, QByteArray("live"));
    doc.EndCapture();
    const QByteArray text = ReadFile(path);
    // The end line stands on its own line after data that did not end one.
    EXPECT_TRUE(text.contains("\r\n<800ms>\r\nheldlive\r\n** ")) << text.constData();
}

TEST_F(Session, CaptureLinesAppendAndCloseWithOrWithoutEndLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cap.txt"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("old contents\n");
    }
    ASSERT_EQ(doc.StartCapture(path), 1);
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("[Capture On] ")));
    doc.ReceiveData("\x01\x02\r\n", 4);
    // A second capture of the same file is refused while the first holds it.
    CTrelliumDoc other(context);
    EXPECT_EQ(other.StartCapture(path), 0);
    doc.EndCapture();
    const QRegularExpression lines(QStringLiteral(
        "^old contents\n\\*\\* Trellium Capture \\d{4}-\\d\\d-\\d\\d "
        "\\d\\d:\\d\\d:\\d\\d\r\n\x01\x02\r\n"
        "\\*\\* Trellium Capture \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d Ended\r\n$"));
    EXPECT_TRUE(lines.match(QString::fromLatin1(ReadFile(path))).hasMatch())
        << ReadFile(path).constData();

    ASSERT_EQ(doc.StartCapture(path), 1);
    doc.ReceiveData("x", 1);
    doc.OnCloseDocument();
    EXPECT_TRUE(ReadFile(path).endsWith("x"));
    EXPECT_FALSE(doc.IsCapturing());

    EXPECT_EQ(doc.StartCapture(dir.filePath(QStringLiteral("no/such/dir/c.txt"))), 0);
}

// A FIFO or a device named as the capture file would hold the open until a
// reader came, or send the data elsewhere: capture is refused at once, and a
// reader that is there gets nothing.
TEST_F(Session, CaptureRefusesAFifoOrADeviceWithoutWaiting)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(doc.StartCapture(fifo), 0);
    EXPECT_FALSE(doc.IsCapturing());

    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(doc.StartCapture(fifo), 0);
    doc.ReceiveData("x", 1);
    char byte = 0;
    EXPECT_EQ(::read(reader, &byte, 1), 0); // no writer ever came
    ::close(reader);

    EXPECT_EQ(doc.StartCapture(QStringLiteral("/dev/null")), 0);
    EXPECT_FALSE(doc.IsCapturing());
    EXPECT_FALSE(doc.GetTitle().contains(QStringLiteral("[Capture On]")));

    CCaptureFile file;
    EXPECT_EQ(ErrorText(file.Open(fifo)),
              QStringLiteral("cannot open %1: it is not a regular file").arg(fifo));
    EXPECT_FALSE(file.IsOpen());
}

// A capture file that stops taking bytes (here: a file-size limit, as a full
// disk would) ends the capture and says so once; nothing is lost silently.
TEST_F(Session, CaptureWriteErrorEndsTheCaptureAndIsReportedOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cap.txt"));
    ASSERT_EQ(doc.StartCapture(path), 1);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 200;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QByteArray block(500, 'z');
    doc.ReceiveData(block.constData(), 500);
    doc.ReceiveData(block.constData(), 500);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(doc.IsCapturing());
    EXPECT_FALSE(doc.GetTitle().contains(QStringLiteral("[Capture On]")));
    ASSERT_EQ(alerts.Messages().size(), 1);
    EXPECT_TRUE(alerts.Messages()[0].contains(path)) << alerts.Messages()[0].toStdString();
    EXPECT_TRUE(alerts.Messages()[0].contains(QStringLiteral("File too large")));
    DrainEvents();
    EXPECT_EQ(view.received.size(), 1000); // the display goes on
    // A second start by auto begin while capturing keeps the running one.
    ASSERT_EQ(doc.StartCapture(path), 1);
    ASSERT_EQ(doc.StartCapture(dir.filePath(QStringLiteral("other.txt"))), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("other.txt"))));
    doc.EndCapture();
}

TEST_F(Session, CaptureStampsFollowTheMinimumInterval)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cap.txt"));
    doc.EditInfo()->m_timing = {500, 4};
    doc.ReceiveData("a", 1); // sets the reference time
    ASSERT_EQ(doc.StartCapture(path), 1);
    clock.Advance(59999);
    doc.ReceiveData("b", 1);
    clock.Advance(60000);
    doc.ReceiveData("c", 1);
    clock.Advance(500); // exactly the minimum: no stamp
    doc.ReceiveData("d", 1);
    clock.Advance(300); // still faster than the minimum
    doc.ReceiveData("e", 1);
    doc.EndCapture();
    const QByteArray text = ReadFile(path);
    const qsizetype body = text.indexOf("\r\n") + 2;
    EXPECT_EQ(text.mid(body, text.lastIndexOf("** ") - body),
              QByteArray("<59s>\r\nb<1m 0s>\r\ncde\r\n"))
        << text.constData();
}

TEST_F(Session, EchoOfAUdpServerSessionShowsWhatIsTyped)
{
    doc.EditInfo()->m_nConnectionType = ConnUdpServer;
    doc.EditInfo()->m_nOptions = kOptionEcho;
    EXPECT_EQ(doc.SendChar('Q'), 1);
    doc.ToggleHold();
    EXPECT_EQ(doc.SendChar('R'), 1); // echo reaches the ring while on hold
    DrainEvents();
    EXPECT_EQ(view.received, QByteArray("QR"));
}

TEST_F(Session, SerialSendWithoutAPortBeepsAndEchoesNothing)
{
    doc.EditInfo()->m_nConnectionType = ConnSerial;
    doc.EditInfo()->m_nOptions = kOptionEcho;
    EXPECT_EQ(doc.SendData("ab", 2), 0);
    EXPECT_EQ(alerts.beeps.load(), 1);
    DrainEvents();
    EXPECT_TRUE(view.received.isEmpty());
}

struct TitleCase
{
    const char* path;
    int portId;
    int port;
    const char* address;
    const char* expected;
};

class Titles : public ::testing::TestWithParam<TitleCase>
{
};

TEST_P(Titles, FollowTheSessionSettings)
{
    const TitleCase c = GetParam();
    CSessionContext context;
    CTrelliumDoc doc(context);
    doc.SetPathName(QString::fromLatin1(c.path));
    doc.EditInfo()->m_strAddress = c.address;
    doc.EditInfo()->m_nNetworkPort = c.port;
    doc.SelectPort(c.portId);
    EXPECT_EQ(doc.GetTitle(), QString::fromLatin1(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Titles,
    ::testing::Values(TitleCase{"", 0, 80, "127.0.0.1", "  COM1 - 9600,N,8,1 Offline"},
                      TitleCase{"/home/u/lab.trw", PortIdTcpClient, 23, "127.0.0.1",
                                "lab  127.0.0.1 Telnet Offline"},
                      TitleCase{"/x/Rig.TRW", PortIdTcpServer, 81, "0.0.0.0",
                                "Rig TCP Svr: 0.0.0.0 Port 81 Offline"},
                      TitleCase{"", PortIdUdpServer, -1, "h", " UDP Svr: h Custom Offline"},
                      TitleCase{"/a/b.trw.bak", PortIdUdpClient, 80, "h",
                                "b.trw.bak  h HTTP Offline"},
                      TitleCase{"/m.trw", PortIdMerge, 80, "h", "Merge "},
                      TitleCase{"", -1, 80, "h", "  COM0 - 9600,N,8,1 Offline"}));

TEST(SessionTitle, StopBitsCaptureHoldAndEcho)
{
    CSessionContext context;
    CTrelliumDoc doc(context);
    doc.EditInfo()->m_nStopBits = 15;
    doc.EditInfo()->m_cParity = 'E';
    doc.EditInfo()->m_nOptions = kOptionEcho;
    doc.SelectPort(4);
    EXPECT_EQ(doc.GetTitle(), QStringLiteral("  COM5 - 9600,E,8,1.5 Offline [Echo]"));
    doc.ToggleHold();
    EXPECT_EQ(doc.GetTitle(), QStringLiteral("  COM5 - 9600,E,8,1.5 [Hold] Offline [Echo]"));
}

TEST(SelectPort, MergeTurnsStampsOnAndStepsTheColoursBack)
{
    CSessionContext context;
    CTrelliumDoc a(context);
    CTrelliumDoc b(context);
    EXPECT_EQ(b.SelectPort(PortIdMerge), PortIdMerge);
    EXPECT_EQ(b.Info().m_nConnectionType, ConnMerge);
    EXPECT_EQ(b.Info().m_timing.m_nFormat, 2);
    CTrelliumDoc c(context);
    EXPECT_EQ(c.Info().m_colors[ColorText], 0xFFFF00u);
    c.EditInfo()->m_timing.m_nFormat = 5;
    c.SelectPort(PortIdMerge);
    EXPECT_EQ(c.Info().m_timing.m_nFormat, 5);
    EXPECT_EQ(c.SelectPort(7), 7);
    EXPECT_EQ(c.Info().m_nConnectionType, ConnSerial);
}

TEST(SessionLifecycle, SessionsListInCreationOrderAndMergeUnregisters)
{
    CSessionContext context;
    CLineBuffer text;
    CDisplayModel target(text);
    {
        CTrelliumDoc first(context);
        CTrelliumDoc second(context);
        second.SelectPort(PortIdMerge);
        context.Merge().Register(&target);
        const auto sessions = context.Sessions();
        ASSERT_EQ(sessions.size(), 2u);
        EXPECT_EQ(sessions[0], &first);
        EXPECT_EQ(sessions[1], &second);
    }
    EXPECT_TRUE(context.Sessions().empty());
    EXPECT_EQ(context.Merge().Get(), nullptr);
}

TEST(SessionLifecycle, SavedSerialPortThatIsGoneFallsBackToTheFirstPresent)
{
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    qputenv("TRELLIUM_PORTS", QByteArray("COM1=/nonexistent/a,COM2=/nonexistent/b,COM3=") + name);
    // Held exclusively by another holder: probing never opens a port (that
    // would raise DTR and reset many boards), so it still chooses it.
    ASSERT_EQ(::ioctl(slave, TIOCEXCL), 0);
    CSessionContext context;
    CTrelliumDoc doc(context);
    EXPECT_EQ(doc.ProbeSerialPort(7), 2); // COM8 is gone: COM3 is the first present
    EXPECT_EQ(doc.ProbeSerialPort(2), 2); // the stored port is tried first
    QByteArray none;
    for (int com = 1; com <= 12; ++com)
        none += "COM" + QByteArray::number(com) + "=/nonexistent/p,";
    qputenv("TRELLIUM_PORTS", none);
    context.Ports().Enumerate();
    EXPECT_EQ(doc.ProbeSerialPort(7), PortIdNone); // none of COM1 to COM12 is present
    qunsetenv("TRELLIUM_PORTS");
    ::close(slave);
    ::close(master);
}

TEST(SessionLifecycle, NewSerialSessionWithoutPortsStaysOffline)
{
    CRecordingAlerts alerts;
    qputenv("TRELLIUM_PORTS", "COM1=/nonexistent/tty");
    CSessionContext context;
    CTrelliumDoc doc(context);
    doc.SelectPort(0);
    CRecordingView view;
    doc.SetView(&view);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_FALSE(doc.IsOnline());
    doc.ToggleOnline();
    EXPECT_FALSE(doc.IsOnline());
    EXPECT_EQ(std::count(view.hints.begin(), view.hints.end(), Ids::HintOnlineSettled), 2);
    EXPECT_FALSE(alerts.Messages().isEmpty());
    doc.SetView(nullptr);
    qunsetenv("TRELLIUM_PORTS");
}

} // namespace
