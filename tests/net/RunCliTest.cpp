// trellium-cli run against real peers on the loopback: a TCP server session
// with clients, a TCP client session with a server, UDP both ways; strings
// and keys sent once the connection is usable, auto responses, echo, and a
// clean end on a signal.
#include "CliRunner.h"
#include "NetTestSupport.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <sys/stat.h>

namespace {

class CliRun : public CliTest
{
protected:
    // A session file of the given kind with echo on and two macros: F1 sends
    // "KEY1", and "ping CR LF" received is answered with "pong".
    QString WriteSession(int portId, uint16_t port, const QByteArray& address = "127.0.0.1")
    {
        CSessionContext context;
        CTrelliumDoc doc(context);
        doc.SelectPort(portId);
        doc.EditInfo()->m_nNetworkPort = port;
        doc.EditInfo()->m_strAddress = address;
        doc.EditInfo()->m_nOptions = kOptionEcho;
        doc.m_funcKeys.AddKey(0, 0, 0, 0, "Key", "", "KEY1", 0, 0, 0, {});
        doc.m_funcKeys.AddKey(1, 0, 0, 0, "Pong", "", "pong", 0, 0, 1, "ping^M^J");
        const QString path = m_dir.filePath(QStringLiteral("s%1.trw").arg(++m_files));
        EXPECT_TRUE(doc.OnSaveDocument(path));
        return path;
    }

    void Start(const QStringList& args)
    {
        m_process.start(m_cli, QStringList{QStringLiteral("run")} + args);
        ASSERT_TRUE(m_process.waitForStarted());
    }
    // Ends the run with a signal; returns its exit status (0 for a clean end).
    int Stop(int signal = SIGTERM)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        EXPECT_TRUE(m_process.waitForFinished(10000));
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QByteArray Out() { return m_out += m_process.readAllStandardOutput(); }
    QByteArray Err() { return m_err += m_process.readAllStandardError(); }

    QTemporaryDir m_dir;
    int m_files = 0;
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

TEST_F(CliRun, TcpServerServesAClientWithSendAutoResponseAndEcho)
{
    Start({WriteSession(PortIdTcpServer, 0), QStringLiteral("--seconds"), QStringLiteral("30"),
           QStringLiteral("--send"), QStringLiteral("hello~|CHK-SUM|~AB~|CHK-OUT|~"),
           QStringLiteral("--press"), QStringLiteral("F1")});
    // The server's log goes to standard error; its first line names the port.
    QRegularExpressionMatch started;
    ASSERT_TRUE(SpinUntil([&] {
        started = QRegularExpression(QStringLiteral("Server started .* port (\\d+)\\n"))
                      .match(QString::fromLocal8Bit(Err()));
        return started.hasMatch();
    }));
    UniqueFd client = ConnectTo(static_cast<uint16_t>(started.captured(1).toUInt()));
    // Once the first client is in, the string and the key go out in order.
    EXPECT_EQ(ReceiveBytes(client.Get(), 12), QByteArray("helloAB\x83KEY1"));
    SendAll(client.Get(), "ping\r\n");
    EXPECT_EQ(ReceiveBytes(client.Get(), 4), QByteArray("pong"));
    ASSERT_TRUE(SpinUntil([&] { return Out().contains("pong"); }));
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(Out(), QByteArray("helloAB{83}KEY1ping[CR][LF]pong"));
    EXPECT_TRUE(Err().contains("Accepted connection"));
}

TEST_F(CliRun, TcpClientConnectsPressesAndStopsOnInterrupt)
{
    uint16_t port = 0;
    UniqueFd listener = ListenOnLoopback(port);
    Start({WriteSession(PortIdTcpClient, port), QStringLiteral("--press"), QStringLiteral("F1")});
    UniqueFd peer = AcceptOne(listener.Get());
    EXPECT_EQ(ReceiveBytes(peer.Get(), 4), QByteArray("KEY1"));
    SendAll(peer.Get(), "from the peer\r\n");
    ASSERT_TRUE(SpinUntil([&] { return Out().contains("from the peer"); }));
    EXPECT_EQ(Stop(SIGINT), 0);
    EXPECT_EQ(Out(), QByteArray("KEY1from the peer[CR][LF]"));
}

TEST_F(CliRun, UdpBothWaysAndSecondsEndTheRun)
{
    uint16_t target = 0;
    UniqueFd receiver = UdpSocketOnLoopback(target);
    Start({WriteSession(PortIdUdpClient, target), QStringLiteral("--send"),
           QStringLiteral("datagram"), QStringLiteral("--seconds"), QStringLiteral("1")});
    QByteArray got;
    ASSERT_TRUE(SpinUntil([&] {
        char buffer[100];
        const Platform::CDatagram d = Platform::ReceiveDatagram(receiver.Get(), buffer, 100);
        got = QByteArray(buffer, static_cast<qsizetype>(d.count));
        return d.count > 0;
    }));
    EXPECT_EQ(got, QByteArray("datagram"));
    ASSERT_TRUE(m_process.waitForFinished(10000)); // --seconds 1 ends it
    EXPECT_EQ(m_process.exitCode(), 0);

    // A UDP server prints what arrives.
    uint16_t port = 0;
    {
        UniqueFd probe = UdpSocketOnLoopback(port); // a free port, freed again
    }
    QProcess server;
    server.start(m_cli, {QStringLiteral("run"), WriteSession(PortIdUdpServer, port),
                         QStringLiteral("--seconds"), QStringLiteral("30")});
    ASSERT_TRUE(server.waitForStarted());
    uint16_t senderPort = 0;
    UniqueFd sender = UdpSocketOnLoopback(senderPort);
    QByteArray printed;
    ASSERT_TRUE(SpinUntil([&] {
        Platform::SendDatagram(sender.Get(), "hi", 2, {kLoopback, port});
        printed += server.readAllStandardOutput();
        return printed.contains("hi");
    }));
    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitCode(), 0);
}

TEST_F(CliRun, BadArgumentsAndMissingFiles)
{
    const CliResult noFile = RunCli({QStringLiteral("run")});
    EXPECT_EQ(noFile.exitCode, 2);
    const CliResult badKey = RunCli({QStringLiteral("run"), QStringLiteral("x.trw"),
                                     QStringLiteral("--press"), QStringLiteral("F13")});
    EXPECT_EQ(badKey.exitCode, 2);
    EXPECT_TRUE(badKey.err.contains("not a function key"));
    const CliResult wide = RunCli({QStringLiteral("run"), QStringLiteral("x.trw"),
                                   QStringLiteral("--send"), QString::fromUtf8("\xe2\x82\xac")});
    EXPECT_EQ(wide.exitCode, 2);
    EXPECT_TRUE(wide.err.contains("U+20AC")) << wide.err.constData();
    const CliResult missing =
        RunCli({QStringLiteral("run"), m_dir.filePath(QStringLiteral("missing.trw"))});
    EXPECT_EQ(missing.exitCode, 1);
}

// A FIFO without a writer would hold the open for ever and /dev/zero reads as
// an endless all-zero session; as a capture target a FIFO would wait for a
// reader and a device would take the data elsewhere. Each is refused at once,
// as a file that cannot be opened.
TEST_F(CliRun, FifoAndDeviceAreRefusedAsSessionAndCaptureFiles)
{
    const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
        const CliResult run = RunCli({QStringLiteral("run"), path});
        EXPECT_EQ(run.exitCode, 1) << path.toStdString();
        EXPECT_EQ(
            run.err,
            QStringLiteral("Cannot open %1: it is not a regular file\n").arg(path).toLocal8Bit());
    }

    uint16_t target = 0;
    UniqueFd receiver = UdpSocketOnLoopback(target);
    const QString session = WriteSession(PortIdUdpClient, target);
    for (const QString& capture : {fifo, QStringLiteral("/dev/null")}) {
        const CliResult run = RunCli({QStringLiteral("run"), session, QStringLiteral("--capture"),
                                      capture, QStringLiteral("--seconds"), QStringLiteral("30")});
        EXPECT_EQ(run.exitCode, 1) << capture.toStdString();
        EXPECT_TRUE(run.err.contains(
            QStringLiteral("cannot open %1 to capture data: it is not a regular file")
                .arg(capture)
                .toLocal8Bit()))
            << run.err.constData();
    }
}

// --seconds counts in 64-bit milliseconds. 536870912 s is 0 ms in 32 bits and
// would end the run at once; the largest accepted value must not end it
// either. Each run is still serving a client after it started, and ends
// cleanly on a signal. A value whose milliseconds do not fit is refused.
TEST_F(CliRun, LongSecondsKeepTheRunGoingAndAbsurdOnesAreRefused)
{
    for (const QString& seconds :
         {QStringLiteral("536870912"), QStringLiteral("9223372036854775")}) {
        m_out.clear();
        m_err.clear();
        Start({WriteSession(PortIdTcpServer, 0), QStringLiteral("--seconds"), seconds,
               QStringLiteral("--send"), QStringLiteral("still here")});
        QRegularExpressionMatch started;
        ASSERT_TRUE(SpinUntil([&] {
            started = QRegularExpression(QStringLiteral("Server started .* port (\\d+)\\n"))
                          .match(QString::fromLocal8Bit(Err()));
            return started.hasMatch() || m_process.state() == QProcess::NotRunning;
        }));
        ASSERT_TRUE(started.hasMatch()) << seconds.toStdString() << ": " << Err().constData();
        UniqueFd client = ConnectTo(static_cast<uint16_t>(started.captured(1).toUInt()));
        EXPECT_EQ(ReceiveBytes(client.Get(), 10), QByteArray("still here"));
        ASSERT_EQ(m_process.state(), QProcess::Running) << seconds.toStdString();
        EXPECT_EQ(Stop(), 0);
    }

    for (const QString& seconds : {QStringLiteral("9223372036854776"),
                                   QStringLiteral("99999999999999999999"), QStringLiteral("-1")}) {
        const CliResult run = RunCli(
            {QStringLiteral("run"), QStringLiteral("x.trw"), QStringLiteral("--seconds"), seconds});
        EXPECT_EQ(run.exitCode, 2) << seconds.toStdString();
        EXPECT_TRUE(run.err.contains("--seconds")) << run.err.constData();
    }
}

} // namespace
