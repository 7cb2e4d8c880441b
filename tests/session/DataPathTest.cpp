// The data path against real peers, the same for every kind of connection:
// for a serial port (a pseudo-terminal), a TCP client, a TCP server and a UDP
// server, the same bytes get the same time stamp in the capture file, are
// captured on hold but not shown, and fire the same auto response; a file
// sent to a peer that pauses arrives whole and in order while received data
// keeps being shown, a peer that fails ends the send with one message, and
// a file goes out on an auto response only with a person's leave.
#include "../net/NetTestSupport.h"
#include "PortTestSupport.h"
#include "PtyPair.h"
#include "SessionTestSupport.h"
#include "net/TCPIPSvr.h"
#include "net/UDPSvr.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>

namespace {

// The far end of a session's connection, whatever its kind.
class CPeer
{
public:
    virtual ~CPeer() = default;
    // Called once the session is online (a server's port is known then).
    virtual bool Connect(CTrelliumDoc& doc) = 0;
    virtual void Send(const QByteArray& bytes) = 0;
    // What the session sent, or nothing for a kind that sends nothing.
    virtual bool CanReceive() const { return true; }
    virtual QByteArray Receive(qsizetype count) = 0;
};

class CPtyPeer final : public CPeer
{
public:
    CPtyPeer() { qputenv("TRELLIUM_PORTS", "COM7=" + m_pty.SlavePath().toLocal8Bit()); }
    ~CPtyPeer() override { qunsetenv("TRELLIUM_PORTS"); }
    bool Connect(CTrelliumDoc&) override { return true; }
    void Send(const QByteArray& bytes) override { EXPECT_TRUE(m_pty.WriteToMaster(bytes)); }
    // Reads while the event loop turns: a file send is fed from there.
    QByteArray Receive(qsizetype count) override
    {
        QByteArray got;
        SpinUntil(
            [&] {
                char buffer[65536];
                pollfd fd{m_pty.Master(), POLLIN, 0};
                while (::poll(&fd, 1, 0) > 0) {
                    const ssize_t n = ::read(m_pty.Master(), buffer, sizeof buffer);
                    if (n <= 0)
                        break;
                    got.append(buffer, n);
                }
                return got.size() >= count;
            },
            20000);
        return got;
    }

private:
    CPtyPair m_pty;
};

class CTcpServerPeer final : public CPeer
{
public:
    explicit CTcpServerPeer(uint16_t& port) { m_listener = ListenOnLoopback(port); }
    bool Connect(CTrelliumDoc& doc) override
    {
        m_fd = AcceptOne(m_listener.Get());
        return m_fd.IsValid() && SpinUntil([&] { return doc.IsConnectionUsable(); });
    }
    void Send(const QByteArray& bytes) override { SendAll(m_fd.Get(), bytes); }
    QByteArray Receive(qsizetype count) override { return ReceiveBytes(m_fd.Get(), count); }

private:
    UniqueFd m_listener;
    UniqueFd m_fd;
};

class CTcpClientPeer final : public CPeer
{
public:
    bool Connect(CTrelliumDoc& doc) override
    {
        m_fd = ConnectTo(doc.TcpServer()->ListeningPort());
        return SpinUntil([&] { return doc.IsConnectionUsable(); });
    }
    void Send(const QByteArray& bytes) override { SendAll(m_fd.Get(), bytes); }
    QByteArray Receive(qsizetype count) override { return ReceiveBytes(m_fd.Get(), count); }

private:
    UniqueFd m_fd;
};

class CUdpSenderPeer final : public CPeer
{
public:
    bool Connect(CTrelliumDoc& doc) override
    {
        uint16_t own = 0;
        m_fd = UdpSocketOnLoopback(own);
        m_port = doc.UdpServer()->ListeningPort();
        return m_port != 0;
    }
    void Send(const QByteArray& bytes) override
    {
        Platform::SendDatagram(m_fd.Get(), bytes.constData(), static_cast<size_t>(bytes.size()),
                               {kLoopback, m_port});
    }
    bool CanReceive() const override { return false; }
    QByteArray Receive(qsizetype) override { return {}; }

private:
    UniqueFd m_fd;
    uint16_t m_port = 0;
};

struct CKindCase
{
    const char* name;
    int portId;
};

class ReceivePath : public ::testing::TestWithParam<CKindCase>
{
protected:
    void SetUp() override
    {
        context.Ports().SetSource(std::make_unique<CNoDevices>());
        const int portId = GetParam().portId;
        uint16_t port = 0;
        if (portId == PortIdTcpClient)
            peer = std::make_unique<CTcpServerPeer>(port);
        else if (portId == PortIdTcpServer)
            peer = std::make_unique<CTcpClientPeer>();
        else if (portId == PortIdUdpServer)
            peer = std::make_unique<CUdpSenderPeer>();
        else
            peer = std::make_unique<CPtyPeer>();
        context.Ports().Enumerate();
        doc.SetView(&view);
        doc.SelectPort(portId);
        {
            auto info = doc.EditInfo();
            info->m_strAddress = "127.0.0.1";
            info->m_nNetworkPort = port;
            info->m_timing.m_nFormat = 1; // "<%dms>"
            info->m_timing.m_nMinInterval = 100;
            info->m_nOptions = kOptionEcho;
        }
        ASSERT_TRUE(doc.m_funcKeys.AddKey(0, 0, 0, 0, "Pong", "", "PONG", 0, 0, 1, "PING"));
        doc.m_funcKeys.RebuildAutoResponses();
    }
    void TearDown() override
    {
        doc.OnCloseDocument();
        DrainEvents();
        doc.SetView(nullptr);
    }
    // Waits until the view shows `text` at its end.
    bool Shows(const QByteArray& text)
    {
        return SpinUntil([&] { return view.received.endsWith(text); });
    }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    CRecordingView view;
    CTrelliumDoc doc{context};
    std::unique_ptr<CPeer> peer;
    QTemporaryDir dir;
};

TEST_P(ReceivePath, StampsCaptureHoldAndAutoResponseAreTheSameForEveryKind)
{
    doc.ToggleOnline();
    ASSERT_TRUE(doc.IsOnline()) << alerts.Messages().join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(peer->Connect(doc));
    const QString capture = dir.filePath(QStringLiteral("capture.txt"));
    ASSERT_EQ(doc.StartCapture(capture), 1);
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("[Capture On]")));

    // A pause longer than the minimum earns a stamp in the capture file; the
    // pattern fires its response, which the peer gets and the echo shows
    // right after the bytes that completed it.
    clock.Advance(700);
    peer->Send("xxPINGyy");
    ASSERT_TRUE(Shows("yy")) << view.received.toStdString();
    EXPECT_EQ(view.received, QByteArray("xxPINGPONGyy"));
    if (peer->CanReceive()) {
        EXPECT_EQ(peer->Receive(4), QByteArray("PONG"));
    }

    // On hold: captured, neither shown nor answered.
    doc.ToggleHold();
    peer->Send("held PING");
    ASSERT_TRUE(SpinUntil([&] {
        QFile file(capture);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("held PING");
    }));
    doc.ToggleHold();
    peer->Send("live");
    ASSERT_TRUE(Shows("live"));
    EXPECT_EQ(view.received, QByteArray("xxPINGPONGyylive"));

    doc.EndCapture();
    QFile file(capture);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray captured = file.readAll();
    EXPECT_TRUE(captured.contains("<700ms>\r\nxxPINGyy")) << captured.toStdString();
    EXPECT_TRUE(captured.contains("held PING")) << captured.toStdString();
    EXPECT_TRUE(captured.contains("live")) << captured.toStdString();
    EXPECT_TRUE(alerts.Messages().isEmpty())
        << alerts.Messages().join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReceivePath,
                         ::testing::Values(CKindCase{"Serial", 6},
                                           CKindCase{"TcpClient", PortIdTcpClient},
                                           CKindCase{"TcpServer", PortIdTcpServer},
                                           CKindCase{"UdpServer", PortIdUdpServer}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- file sends -------------------------------------------------------------

QByteArray FileContent(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 509) & 0xFF);
    return bytes;
}

class FileSend : public ReceivePath
{
protected:
    void SetUp() override
    {
        ReceivePath::SetUp();
        doc.EditInfo()->m_nOptions = 0;
        doc.EditInfo()->m_timing.m_nFormat = 0;
    }
    QString WriteFile(const QByteArray& content)
    {
        const QString path = dir.filePath(QStringLiteral("send.bin"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    void AddFileKey(int key, const QString& path, const char* pattern = nullptr)
    {
        ASSERT_TRUE(doc.m_funcKeys.AddKey(key, 0, 0, 0, "File", "", "*" + path.toLocal8Bit(), 0, 0,
                                          pattern ? 1 : 0,
                                          pattern ? QByteArray(pattern) : QByteArray()));
        doc.m_funcKeys.RebuildAutoResponses();
    }
};

// The peer reads nothing until the connection's queue has backed up, then
// reads it all: every byte arrives in order, and what the peer sends
// meanwhile is shown.
TEST_P(FileSend, AFileToAPeerThatPausesArrivesWholeWhileDataIsShown)
{
    if (!peer->CanReceive())
        GTEST_SKIP() << "this kind sends nothing";
    // Larger than the loopback's own buffers, so that TCP backs up too.
    const QByteArray content = FileContent(15 * 1024 * 1024 + 123);
    AddFileKey(1, WriteFile(content));
    doc.ToggleOnline();
    ASSERT_TRUE(peer->Connect(doc));
    qint64 reportedDone = -1;
    QObject::connect(&doc, &CTrelliumDoc::FileSendProgress,
                     [&](const QString&, qint64 done, qint64) { reportedDone = done; });
    doc.PressFunctionKey(1, false, false, false);
    ASSERT_TRUE(doc.IsSendingFile());
    ASSERT_TRUE(SpinUntil([&] { return doc.GetTransport()->OutputPending() > 0; }));
    peer->Send("meanwhile");
    ASSERT_TRUE(Shows("meanwhile"));
    const QByteArray got = peer->Receive(content.size());
    EXPECT_EQ(got.size(), content.size());
    EXPECT_TRUE(got == content) << "the file arrived changed";
    ASSERT_TRUE(SpinUntil([&] { return !doc.IsSendingFile(); }));
    EXPECT_EQ(reportedDone, content.size());
    EXPECT_TRUE(alerts.Messages().isEmpty())
        << alerts.Messages().join(QLatin1Char('\n')).toStdString();
}

// Pressing the key of a file send under way stops it, as it stops a repeat.
TEST_P(FileSend, PressingTheKeyAgainStopsTheSend)
{
    if (!peer->CanReceive())
        GTEST_SKIP() << "this kind sends nothing";
    AddFileKey(1, WriteFile(FileContent(12 * 1024 * 1024)));
    doc.ToggleOnline();
    ASSERT_TRUE(peer->Connect(doc));
    doc.PressFunctionKey(1, false, false, false);
    ASSERT_TRUE(SpinUntil([&] { return doc.GetTransport()->OutputPending() > 0; }));
    doc.PressFunctionKey(1, false, false, false);
    EXPECT_FALSE(doc.IsSendingFile());
    DrainEvents();
    EXPECT_TRUE(alerts.Messages().isEmpty());
}

// An auto response may send a file only after a person allowed it for the
// session; nothing stored in the session gives that leave.
TEST_P(FileSend, AnAutoResponseSendsAFileOnlyWithLeave)
{
    if (!peer->CanReceive())
        GTEST_SKIP() << "this kind sends nothing";
    const QByteArray content = FileContent(2000);
    const QString path = WriteFile(content);
    AddFileKey(2, path, "GIVE");
    doc.ToggleOnline();
    ASSERT_TRUE(peer->Connect(doc));
    peer->Send("GIVE");
    ASSERT_TRUE(SpinUntil([&] { return !alerts.Messages().isEmpty(); }));
    DrainEvents();
    // Asked (the test's handler answers no), then refused.
    EXPECT_TRUE(alerts.Messages()[0].contains(path)) << alerts.Messages()[0].toStdString();
    EXPECT_FALSE(doc.IsSendingFile());

    doc.AllowAutoResponseFiles(true);
    peer->Send("GIVE");
    EXPECT_EQ(peer->Receive(content.size()), content);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileSend,
                         ::testing::Values(CKindCase{"Serial", 6},
                                           CKindCase{"TcpClient", PortIdTcpClient},
                                           CKindCase{"TcpServer", PortIdTcpServer}),
                         [](const auto& info) { return std::string(info.param.name); });

// A peer that resets the connection in the middle ends the send with one
// message that says how far it came.
TEST(FileSendFailure, APeerThatFailsMidSendEndsItWithOneMessage)
{
    CRecordingAlerts alerts;
    CSessionContext context;
    CRecordingView view;
    CTrelliumDoc doc(context);
    doc.SetView(&view);
    uint16_t port = 0;
    UniqueFd listener = ListenOnLoopback(port);
    doc.SelectPort(PortIdTcpClient);
    doc.EditInfo()->m_strAddress = "127.0.0.1";
    doc.EditInfo()->m_nNetworkPort = port;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(FileContent(16 * 1024 * 1024));
    }
    ASSERT_TRUE(
        doc.m_funcKeys.AddKey(0, 0, 0, 0, "Big", "", "*" + path.toLocal8Bit(), 0, 0, 0, {}));
    doc.ToggleOnline();
    UniqueFd peer = AcceptOne(listener.Get());
    ASSERT_TRUE(SpinUntil([&] { return doc.IsConnectionUsable(); }));
    doc.PressFunctionKey(0, false, false, false);
    EXPECT_GE(ReceiveBytes(peer.Get(), 100000).size(), 100000);
    const linger abort{1, 0};
    ::setsockopt(peer.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    peer.Reset();
    ASSERT_TRUE(SpinUntil([&] { return !doc.IsSendingFile(); }));
    DrainEvents();
    ASSERT_EQ(alerts.Messages().size(), 1)
        << alerts.Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(
        alerts.Messages()[0].startsWith(QStringLiteral("Sending %1 stopped after ").arg(path)))
        << alerts.Messages()[0].toStdString();
    doc.OnCloseDocument();
    doc.SetView(nullptr);
}

} // namespace

namespace {

// A repeat whose earlier sends still fill the port's queue waits for them
// to go out instead of piling up behind them (and being refused): the
// device, once it reads, gets whole sends only, and nobody is told of a
// refusal.
TEST(RepeatIntoASlowPort, WaitsForItsEarlierSends)
{
    CPtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    qputenv("TRELLIUM_PORTS", "COM7=" + pty.SlavePath().toLocal8Bit());
    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    context.Ports().SetSource(std::make_unique<CNoDevices>());
    context.Ports().Enumerate();
    CTrelliumDoc doc(context);
    doc.SelectPort(6);
    const QByteArray send(30000, 'R');
    ASSERT_TRUE(doc.m_funcKeys.AddKey(0, 0, 0, 0, "Big", "", send, -1, 10, 0, {}));
    doc.ToggleOnline();
    ASSERT_TRUE(doc.IsOnline());
    doc.PressFunctionKey(0, false, false, false);
    // Many repeat intervals pass while the device reads nothing.
    for (int i = 0; i < 200; ++i) {
        clock.Advance(10);
        QCoreApplication::processEvents();
    }
    EXPECT_LT(doc.GetTransport()->OutputPending(), 2 * static_cast<size_t>(send.size()));
    // The device reads: what arrives is whole sends, in a steady stream.
    QByteArray got;
    SpinUntil([&] {
        char buffer[65536];
        pollfd fd{pty.Master(), POLLIN, 0};
        while (::poll(&fd, 1, 0) > 0) {
            const ssize_t n = ::read(pty.Master(), buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, n);
        }
        clock.Advance(10);
        return got.size() >= 3 * send.size();
    });
    EXPECT_GE(got.size(), 3 * send.size());
    EXPECT_EQ(got.count('R'), got.size());
    DrainEvents();
    EXPECT_TRUE(alerts.Messages().isEmpty())
        << alerts.Messages().join(QLatin1Char('\n')).toStdString();
    doc.m_funcKeys.StopAllRepeats();
    doc.OnCloseDocument();
    qunsetenv("TRELLIUM_PORTS");
}

} // namespace
