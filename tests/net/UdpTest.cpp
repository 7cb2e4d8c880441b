// UDP sessions on the loopback: a server takes datagrams from any sender
// whole, up to the protocol's largest, says when the system dropped some and
// when it cannot have its port; a client sends one datagram per transmit to
// a dotted address only and tells a datagram too large to send.
#include "NetTestSupport.h"
#include "net/UDPSvr.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

namespace {

QByteArray ReceiveDatagram(int fd)
{
    QByteArray got;
    SpinUntil([&] {
        char buffer[70000];
        const Platform::CDatagram d = Platform::ReceiveDatagram(fd, buffer, sizeof buffer);
        if (d.wouldBlock)
            return false;
        got = QByteArray(buffer, static_cast<qsizetype>(d.count));
        return true;
    });
    return got;
}

void SendDatagram(int fd, uint16_t port, const QByteArray& bytes)
{
    Platform::SendDatagram(fd, bytes.constData(), static_cast<size_t>(bytes.size()),
                           {kLoopback, port});
}

class UdpSession : public ::testing::Test
{
protected:
    void SetUp() override { doc.SetView(&view); }
    void TearDown() override
    {
        doc.OnCloseDocument();
        doc.SetView(nullptr);
    }

    void GoOnlineAsClientOf(uint16_t port)
    {
        doc.SelectPort(PortIdUdpClient);
        doc.EditInfo()->m_strAddress = "127.0.0.1";
        doc.EditInfo()->m_nNetworkPort = port;
        doc.ToggleOnline();
    }

    CRecordingAlerts alerts;
    CSessionContext context;
    CRecordingView view;
    CTrelliumDoc doc{context};
};

TEST_F(UdpSession, ServerTakesWholeDatagramsFromAnySender)
{
    doc.SelectPort(PortIdUdpServer);
    doc.EditInfo()->m_nNetworkPort = 0;
    doc.ToggleOnline();
    ASSERT_TRUE(doc.IsOnline());
    ASSERT_NE(doc.UdpServer(), nullptr);
    const uint16_t port = doc.UdpServer()->ListeningPort();
    uint16_t portA = 0;
    uint16_t portB = 0;
    UniqueFd a = UdpSocketOnLoopback(portA);
    UniqueFd b = UdpSocketOnLoopback(portB);
    SendDatagram(a.Get(), port, "first;");
    ASSERT_TRUE(SpinUntil([&] { return view.received.size() == 6; }));
    // Past the old 1023-byte limit, up to the largest UDP payload.
    SendDatagram(b.Get(), port, QByteArray(1024, 'L'));
    SendDatagram(b.Get(), port, QByteArray(65507, 'k'));
    SendDatagram(a.Get(), port, "last");
    ASSERT_TRUE(SpinUntil([&] { return view.received.endsWith("last"); }));
    EXPECT_EQ(view.received, "first;" + QByteArray(1024, 'L') + QByteArray(65507, 'k') + "last");
    EXPECT_EQ(view.lost + view.lostDatagrams, 0u);
    // A server sends nothing and does not beep.
    EXPECT_EQ(doc.SendData("x", 1), 1);
    EXPECT_EQ(alerts.beeps.load(), 0);
}

TEST_F(UdpSession, ClientSendsOneDatagramPerTransmit)
{
    uint16_t port = 0;
    UniqueFd peer = UdpSocketOnLoopback(port);
    GoOnlineAsClientOf(port);
    ASSERT_TRUE(doc.IsOnline());
    ASSERT_TRUE(doc.m_funcKeys.AddKey(0, 0, 0, 0, "Ten", "", "0123456789", 0, 0, 0, {}));
    doc.PressFunctionKey(0, false, false, false);
    EXPECT_EQ(ReceiveDatagram(peer.Get()), QByteArray("0123456789"));
    doc.SendChar('Z');
    EXPECT_EQ(ReceiveDatagram(peer.Get()), QByteArray("Z"));
    const QByteArray large(65507, 'q'); // the largest datagram IPv4 carries
    doc.SendData(large.constData(), static_cast<int>(large.size()));
    EXPECT_EQ(ReceiveDatagram(peer.Get()).size(), large.size());
}

TEST_F(UdpSession, ClientWithAHostNameOrALongAddressSendsNothing)
{
    uint16_t port = 0;
    UniqueFd peer = UdpSocketOnLoopback(port);
    doc.SelectPort(PortIdUdpClient);
    doc.EditInfo()->m_nNetworkPort = port;
    for (const QByteArray& address :
         {QByteArray("localhost"), QByteArray("127.0.0.1") + QByteArray(20, ' ')}) {
        doc.EditInfo()->m_strAddress = address;
        doc.ToggleOnline();
        ASSERT_TRUE(doc.IsOnline());
        EXPECT_EQ(doc.SendData("nothing", 7), 1);
        doc.ToggleOnline();
    }
    // Sent to the right address, the next datagram is the first one to arrive.
    doc.EditInfo()->m_strAddress = "127.0.0.1";
    doc.ToggleOnline();
    doc.SendData("real", 4);
    EXPECT_EQ(ReceiveDatagram(peer.Get()), QByteArray("real"));
}

} // namespace

namespace {

// A flood the socket cannot hold: what the system dropped is counted and
// shown, and what arrived plus what was dropped is everything sent.
TEST_F(UdpSession, DatagramsTheSystemDroppedAreCounted)
{
    doc.SelectPort(PortIdUdpServer);
    doc.EditInfo()->m_nNetworkPort = 0;
    doc.ToggleOnline();
    ASSERT_NE(doc.UdpServer(), nullptr);
    const uint16_t port = doc.UdpServer()->ListeningPort();
    uint16_t from = 0;
    UniqueFd sender = UdpSocketOnLoopback(from);
    // Sent without turning the event loop, so the server's buffer overflows.
    constexpr int kDatagrams = 20000;
    const QByteArray datagram(1000, 'u');
    int sent = 0;
    for (int i = 0; i < kDatagrams; ++i)
        sent += Platform::SendDatagram(sender.Get(), datagram.constData(), 1000, {kLoopback, port})
                            .count == 1000
                    ? 1
                    : 0;
    SendDatagram(sender.Get(), port, "end");
    ASSERT_TRUE(SpinUntil([&] { return view.received.endsWith("end"); }));
    EXPECT_GT(view.lostDatagrams, 0u);
    EXPECT_EQ(view.received.size() / 1000 + view.lostDatagrams, static_cast<uint64_t>(sent));
}

TEST_F(UdpSession, AServerThatCannotHaveItsPortStaysOfflineAndSaysWhy)
{
    uint16_t busy = 0;
    UniqueFd holder = UdpSocketOnLoopback(busy);
    doc.SelectPort(PortIdUdpServer);
    doc.EditInfo()->m_nNetworkPort = busy;
    doc.ToggleOnline();
    EXPECT_FALSE(doc.IsOnline());
    ASSERT_EQ(alerts.Messages().size(), 1);
    EXPECT_EQ(alerts.Messages()[0],
              QStringLiteral("Cannot receive on UDP port %1: Address already in use").arg(busy));
}

TEST_F(UdpSession, ADatagramTooLargeToSendIsRefusedAndToldOnce)
{
    uint16_t port = 0;
    UniqueFd peer = UdpSocketOnLoopback(port);
    GoOnlineAsClientOf(port);
    ASSERT_TRUE(doc.IsConnectionUsable());
    const QByteArray huge(70000, 'h');
    EXPECT_EQ(doc.SendData(huge.constData(), static_cast<int>(huge.size())), 0);
    EXPECT_EQ(doc.SendData(huge.constData(), static_cast<int>(huge.size())), 0);
    DrainEvents();
    ASSERT_EQ(alerts.Messages().size(), 1);
    EXPECT_TRUE(alerts.Messages()[0].endsWith(QStringLiteral("Message too long")))
        << alerts.Messages()[0].toStdString();
    EXPECT_EQ(doc.SendData("ok", 2), 1);
    EXPECT_EQ(ReceiveDatagram(peer.Get()), QByteArray("ok"));
}

} // namespace
