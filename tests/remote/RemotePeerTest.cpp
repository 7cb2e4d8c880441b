// A remote serial port session against a scripted peer on a loopback
// socket: the commands the session sends for its line, line control and
// break; modem lines coming back; a port that keeps other settings; and the
// ways a peer can fail the agreement (refusal, garbage, silence, closing,
// nobody listening, a malformed address), each ending offline with a word.
#include "PortTestSupport.h"
#include "SessionTestSupport.h"
#include "net/ComPortControl.h"
#include "net/TelnetCodec.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace Telnet;
namespace Cpc = ComPortControl;

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(static_cast<char>(v));
    return out;
}

QByteArray Control(QByteArray payload)
{
    return Subnegotiation(Cpc::kOption, payload);
}

// One peer connection at a time; records what the session sent.
class CPeer
{
public:
    CPeer() { m_server.listen(QHostAddress::LocalHost, 0); }
    uint16_t Port() const { return m_server.serverPort(); }
    // Waits for the session's connection.
    bool Accept()
    {
        if (!SpinUntil([&] { return m_server.hasPendingConnections(); }))
            return false;
        m_socket.reset(m_server.nextPendingConnection());
        return true;
    }
    void Send(const QByteArray& bytes)
    {
        m_socket->write(bytes);
        m_socket->flush();
    }
    // Everything the session sent so far.
    QByteArray& Heard()
    {
        if (m_socket)
            m_heard += m_socket->readAll();
        return m_heard;
    }
    bool HeardContains(const QByteArray& bytes)
    {
        return SpinUntil([&] { return Heard().contains(bytes); });
    }
    void Drop() { m_socket.reset(); }
    void Stop() { m_server.close(); }

private:
    QTcpServer m_server;
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_heard;
};

class RemotePeer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Map("rfc2217://127.0.0.1:" + QByteArray::number(peer.Port()));
        context.SetRemoteTimes(10000, 20);
        doc.SetView(&view);
    }
    void Map(const QByteArray& address)
    {
        qputenv("TRELLIUM_PORTS", "COM9=" + address);
        context.Ports().SetSource(std::make_unique<CNoDevices>());
        context.Ports().Enumerate();
        doc.SelectPort(8);
    }
    void TearDown() override
    {
        doc.OnCloseDocument();
        DrainEvents();
        doc.SetView(nullptr);
        qunsetenv("TRELLIUM_PORTS");
    }
    // Online and agreed: the peer asks for serial port control first, as
    // servers do.
    void Agree()
    {
        doc.ToggleOnline();
        ASSERT_TRUE(peer.Accept());
        peer.Send(Negotiation(kDo, Cpc::kOption) + Negotiation(kWill, kOptBinary));
        ASSERT_TRUE(SpinUntil([&] { return doc.IsConnectionUsable(); }));
    }
    // Goes online against the peer and waits until the session is offline
    // again; returns the one message it showed.
    QString FailsWith()
    {
        if (!SpinUntil([&] { return !doc.IsOnline(); }, 10000))
            return QStringLiteral("<still online>");
        DrainEvents();
        const QStringList messages = alerts.Messages();
        return messages.size() == 1 ? messages.front()
                                    : QStringLiteral("<%1 messages>").arg(messages.size());
    }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    CRecordingView view;
    CTrelliumDoc doc{context};
    CPeer peer;
};

TEST_F(RemotePeer, TheLineAndItsControlGoOutAsCommands)
{
    {
        auto info = doc.EditInfo();
        info->m_nBaudRate = 115200;
        info->m_cParity = 'O';
        info->m_nDataBits = 7;
        info->m_nStopBits = 20;
        info->m_nFlowControl = 1;
    }
    Agree();
    // Our own requests, and the line in full once agreed.
    EXPECT_TRUE(peer.HeardContains(Negotiation(kWill, Cpc::kOption)));
    EXPECT_TRUE(peer.HeardContains(Negotiation(kDo, kOptBinary)));
    EXPECT_TRUE(peer.HeardContains(Control(Cpc::BaudRate(115200)) +
                                   Control(Cpc::Command(Cpc::SetDataSize, 7)) +
                                   Control(Cpc::Command(Cpc::SetParity, Cpc::ParityOdd)) +
                                   Control(Cpc::Command(Cpc::SetStopSize, Cpc::StopTwo)) +
                                   Control(Cpc::Command(Cpc::SetControl, Cpc::FlowXonXoff))));
    EXPECT_TRUE(peer.HeardContains(Control(Cpc::Command(Cpc::SetControl, Cpc::DtrOn)) +
                                   Control(Cpc::Command(Cpc::SetControl, Cpc::RtsOn))));
    // The server's answer to our WILL needs no answer back: no loop.
    EXPECT_EQ(peer.Heard().count(Negotiation(kWill, Cpc::kOption)), 1);

    peer.Heard().clear();
    doc.SetLineSignals(false, true);
    EXPECT_TRUE(peer.HeardContains(Control(Cpc::Command(Cpc::SetControl, Cpc::DtrOff))));
    bool ended = false;
    ASSERT_TRUE(doc.SendBreak(10, [&] { ended = true; }));
    EXPECT_TRUE(peer.HeardContains(Control(Cpc::Command(Cpc::SetControl, Cpc::BreakOn))));
    EXPECT_TRUE(SpinUntil([&] { return ended; }));
    EXPECT_TRUE(peer.HeardContains(Control(Cpc::Command(Cpc::SetControl, Cpc::BreakOff))));

    // A data byte 0xFF goes doubled; the peer's doubled 0xFF arrives single.
    peer.Heard().clear();
    EXPECT_EQ(doc.SendData("\xFF"
                           "a",
                           2),
              1);
    EXPECT_TRUE(peer.HeardContains(Bytes({0xFF, 0xFF, 'a'})));
    peer.Send(Bytes({'x', 0xFF, 0xFF, 'y'}));
    EXPECT_TRUE(SpinUntil([&] { return view.received == Bytes({'x', 0xFF, 'y'}); }));

    // A changed line goes out again; an unchanged one does not.
    peer.Heard().clear();
    doc.EditInfo()->m_nBaudRate = 9600;
    doc.ApplySettings();
    EXPECT_TRUE(peer.HeardContains(Control(Cpc::BaudRate(9600))));
    peer.Heard().clear();
    doc.ApplySettings();
    DrainEvents();
    EXPECT_FALSE(peer.Heard().contains(Control(Cpc::BaudRate(9600))));
}

TEST_F(RemotePeer, ModemLinesReachTheIndicatorsAndAKeptSettingIsToldOnce)
{
    doc.EditInfo()->m_nBaudRate = 115200;
    Agree();
    peer.Send(Control(Bytes({Cpc::NotifyModemState + Cpc::kServerOffset, 0xB3})));
    EXPECT_TRUE(SpinUntil([&] { return doc.GetModemStatus() == 0xB0; }));

    const QByteArray kept =
        Control(Bytes({Cpc::SetBaudRate + Cpc::kServerOffset, 0, 0, 0x25, 0x80}));
    peer.Send(kept);
    peer.Send(kept);
    ASSERT_TRUE(SpinUntil([&] { return !alerts.Messages().isEmpty(); }));
    DrainEvents();
    ASSERT_EQ(alerts.Messages().size(), 1);
    EXPECT_TRUE(alerts.Messages().front().contains(QStringLiteral("runs at 9600 baud")))
        << alerts.Messages().front().toStdString();
    EXPECT_TRUE(doc.IsConnectionUsable());
}

TEST_F(RemotePeer, APeerThatFailsTheAgreementLeavesTheSessionOfflineWithAWord)
{
    doc.ToggleOnline();
    ASSERT_TRUE(peer.Accept());
    peer.Send(Negotiation(kDont, Cpc::kOption));
    EXPECT_TRUE(FailsWith().contains(QStringLiteral("refuses serial port control")));
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("control refused")))
        << doc.GetTitle().toStdString();
}

TEST_F(RemotePeer, GarbageInsteadOfTelnetEndsTheAttempt)
{
    doc.ToggleOnline();
    ASSERT_TRUE(peer.Accept());
    peer.Send(Bytes({kIac, kSb, Cpc::kOption}) + QByteArray(4096, 'g'));
    EXPECT_TRUE(FailsWith().contains(QStringLiteral("does not speak serial port control")));
    EXPECT_FALSE(doc.IsAwaitingPort());
}

TEST_F(RemotePeer, APeerThatNeverAnswersTimesOut)
{
    context.SetRemoteTimes(200, 20);
    doc.ToggleOnline();
    ASSERT_TRUE(peer.Accept());
    EXPECT_TRUE(FailsWith().contains(QStringLiteral("did not agree")));
}

TEST_F(RemotePeer, APeerThatClosesOrIsNotThereIsSaid)
{
    doc.ToggleOnline();
    ASSERT_TRUE(peer.Accept());
    peer.Drop();
    EXPECT_TRUE(FailsWith().contains(QStringLiteral("closed the connection")));

    alerts.messages.clear();
    peer.Stop();
    doc.ToggleOnline();
    EXPECT_TRUE(FailsWith().contains(QStringLiteral("Connection refused")));
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("Connection refused")))
        << doc.GetTitle().toStdString();
}

TEST_F(RemotePeer, AMalformedAddressIsRefusedByName)
{
    for (const QByteArray& bad :
         {QByteArray("rfc2217://lab4"), QByteArray("rfc2217://:2001"),
          QByteArray("rfc2217://lab4:99999"), QByteArray("rfc2217://user@lab4:2001")}) {
        alerts.messages.clear();
        Map(bad);
        doc.ToggleOnline();
        EXPECT_FALSE(doc.IsOnline());
        ASSERT_EQ(alerts.Messages().size(), 1) << bad.toStdString();
        EXPECT_TRUE(alerts.Messages().front().contains(QString::fromLatin1(bad)))
            << alerts.Messages().front().toStdString();
    }
}

TEST_F(RemotePeer, ALostPeerIsConnectedAgainWhenItAnswersAgain)
{
    Agree();
    peer.Drop();
    ASSERT_TRUE(SpinUntil([&] { return doc.IsAwaitingPort(); }));
    // The next attempt reaches the same listener, which agrees this time.
    ASSERT_TRUE(peer.Accept());
    peer.Send(Negotiation(kDo, Cpc::kOption));
    ASSERT_TRUE(SpinUntil([&] { return doc.IsConnectionUsable() && !doc.IsAwaitingPort(); }));
    EXPECT_FALSE(doc.GetTitle().contains(QStringLiteral("waiting")));
    EXPECT_EQ(alerts.Messages().size(), 1);
}

} // namespace
