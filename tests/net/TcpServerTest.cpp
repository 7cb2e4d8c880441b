// A TCP server session on an ephemeral loopback port: clients come and go,
// their bytes reach the one receive stream, sends reach every client, and
// the log tells what happened.
#include "NetTestSupport.h"
#include "base/TrelliumIds.h"
#include "net/NetOwners.h"
#include "net/ServerLog.h"
#include "net/TCPIPSvr.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QRegularExpression>

namespace {

class CRecordingLogWindow final : public CServerLogSink
{
public:
    void AppendLog(const QString& line) override { text += line; }
    QString text;
};

class TcpServerSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        doc.SelectPort(PortIdTcpServer);
        doc.EditInfo()->m_nNetworkPort = 0; // the system picks a free port
        doc.SetView(&view);
        doc.SetServerLogWindow(&window);
    }
    void TearDown() override
    {
        doc.OnCloseDocument();
        doc.SetView(nullptr);
    }
    void GoOnline()
    {
        doc.ToggleOnline();
        ASSERT_TRUE(doc.IsOnline());
        ASSERT_NE(doc.TcpServer(), nullptr);
        port = doc.TcpServer()->ListeningPort();
        ASSERT_NE(port, 0);
    }
    int Connections() const { return doc.TcpServer() ? doc.TcpServer()->ConnectionCount() : -1; }

    CRecordingAlerts alerts;
    CSessionContext context;
    CRecordingView view;
    CRecordingLogWindow window;
    CTrelliumDoc doc{context};
    uint16_t port = 0;
};

TEST_F(TcpServerSession, TwoClientsShareTheStreamAndBothGetAMacro)
{
    GoOnline();
    EXPECT_FALSE(doc.IsConnectionUsable()); // no client yet
    UniqueFd a = ConnectTo(port);
    UniqueFd b = ConnectTo(port);
    ASSERT_TRUE(SpinUntil([&] { return Connections() == 2; }));
    EXPECT_TRUE(doc.IsConnectionUsable());
    EXPECT_GE(std::count(view.hints.begin(), view.hints.end(), Ids::HintConnectionStatus), 2);

    SendAll(a.Get(), "from a;");
    ASSERT_TRUE(SpinUntil([&] { return view.received.size() == 7; }));
    SendAll(b.Get(), "from b;");
    ASSERT_TRUE(SpinUntil([&] { return view.received.size() == 14; }));
    EXPECT_EQ(view.received, QByteArray("from a;from b;"));

    ASSERT_TRUE(
        doc.m_funcKeys.AddKey(0, 0, 0, 0, "Go", "", "GO~|CHK-SUM|~AB~|CHK-OUT|~", 0, 0, 0, {}));
    doc.PressFunctionKey(0, false, false, false);
    const QByteArray expected = QByteArray("GOAB\x83");
    EXPECT_EQ(ReceiveBytes(a.Get(), 5), expected);
    EXPECT_EQ(ReceiveBytes(b.Get(), 5), expected);
}

TEST_F(TcpServerSession, LogTellsOfStartAcceptCloseAndStop)
{
    GoOnline();
    UniqueFd client = ConnectTo(port);
    ASSERT_TRUE(SpinUntil([&] { return Connections() == 1; }));
    client.Reset();
    ASSERT_TRUE(SpinUntil([&] { return Connections() == 0; }));
    doc.ToggleOnline(); // offline: the server stops
    const QString log = window.text;
    const QStringList lines = log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << log.toStdString();
    EXPECT_TRUE(lines[0].contains(
        QRegularExpression(QStringLiteral(" Server started .* port %1$").arg(port))))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QRegularExpression(
        QStringLiteral(" Accepted connection \\d+ from: 127\\.0\\.0\\.1 port: \\d+$"))))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(QRegularExpression(
        QStringLiteral(" Closing connection \\d+ from 127\\.0\\.0\\.1 port \\d+$"))))
        << lines[2].toStdString();
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(" Server stopped")));
}

TEST_F(TcpServerSession, PortInUseStaysOfflineAndSaysWhyWhereTheUserLooks)
{
    uint16_t busy = 0;
    UniqueFd holder = ListenOnLoopback(busy);
    doc.EditInfo()->m_nNetworkPort = busy;
    // Listening on 127.0.0.1 blocks a bind to any address on the same port.
    doc.ToggleOnline();
    EXPECT_FALSE(doc.IsOnline());
    EXPECT_TRUE(doc.GetTitle().endsWith(QStringLiteral("Offline (Address already in use)")))
        << doc.GetTitle().toStdString();
    ASSERT_EQ(alerts.Messages().size(), 1);
    EXPECT_EQ(alerts.Messages()[0],
              QStringLiteral("Cannot listen on TCP port %1: Address already in use").arg(busy));
}

TEST_F(TcpServerSession, StoppingWithClientsClosesThemWithoutPerClientLines)
{
    GoOnline();
    UniqueFd a = ConnectTo(port);
    UniqueFd b = ConnectTo(port);
    ASSERT_TRUE(SpinUntil([&] { return Connections() == 2; }));
    window.text.clear();
    doc.ToggleOnline();
    EXPECT_TRUE(window.text.endsWith(QStringLiteral(" Server stopped\r\n")));
    EXPECT_EQ(window.text.count(QStringLiteral("\r\n")), 1);
    char byte = 0;
    EXPECT_TRUE(SpinUntil([&] { return ::recv(a.Get(), &byte, 1, 0) == 0; }));
}

// A client that does not read is disconnected once its queue would pass its
// share of the server's budget, said once with the bytes it missed; the
// client that reads gets every byte.
TEST_F(TcpServerSession, AClientThatDoesNotReadHoldsNobodyBack)
{
    GoOnline();
    UniqueFd stuck = ConnectTo(port);
    UniqueFd reader = ConnectTo(port);
    ASSERT_TRUE(SpinUntil([&] { return Connections() == 2; }));
    const QByteArray block(64 * 1024, 'y');
    qsizetype got = 0;
    qsizetype sentWhenDropped = -1;
    constexpr int kBlocks = 400;
    for (int i = 0; i < kBlocks; ++i) {
        EXPECT_EQ(doc.SendData(block.constData(), static_cast<int>(block.size())), 1);
        got += ReceiveBytes(reader.Get(), block.size()).size();
        if (sentWhenDropped < 0 && !alerts.Messages().isEmpty())
            sentWhenDropped = qsizetype{i + 1} * block.size();
    }
    DrainEvents();
    EXPECT_EQ(got, qsizetype{kBlocks} * block.size());
    EXPECT_EQ(Connections(), 1);
    EXPECT_EQ(window.text.count(QStringLiteral("is not reading: disconnected with")), 1)
        << window.text.toStdString();
    ASSERT_EQ(alerts.Messages().size(), 1); // told once, not once per send
    EXPECT_TRUE(
        alerts.Messages()[0].contains(QStringLiteral("was not reading and was disconnected")));
    // The count is the truth: what the client still reads once it wakes
    // and what it was told it missed make up all that was sent until then.
    const QRegularExpressionMatch count =
        QRegularExpression(QStringLiteral(": (\\d+) bytes were not sent"))
            .match(alerts.Messages()[0]);
    ASSERT_TRUE(count.hasMatch()) << alerts.Messages()[0].toStdString();
    qsizetype woke = 0;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(stuck.Get(), buffer, sizeof buffer, 0)) > 0;)
        woke += n;
    EXPECT_EQ(woke + count.captured(1).toLongLong(), sentWhenDropped);
}

TEST(ServerLog, KeepsTheNewestLinesWithinItsBound)
{
    CServerLog log;
    CRecordingLogWindow window;
    log.SetWindow(&window);
    const QString message(200, QLatin1Char('m'));
    for (int i = 0; i < 10000; ++i)
        log.Write(message + QString::number(i));
    EXPECT_LE(log.CharCount(), CServerLog::kMaxChars);
    EXPECT_TRUE(log.Text().endsWith(QStringLiteral("m9999\r\n")));
    EXPECT_FALSE(log.Text().contains(QStringLiteral("m0\r\n")));
    // A message longer than 255 characters is cut at 255.
    log.Write(QString(300, QLatin1Char('z')));
    const QString last = log.Text().section(QStringLiteral("\r\n"), -2, -2);
    EXPECT_TRUE(last.endsWith(QString(255, QLatin1Char('z'))));
    EXPECT_FALSE(last.endsWith(QString(256, QLatin1Char('z'))));
}

} // namespace
