// A TCP client session against a peer on the loopback: connecting, reading
// what arrives (and stopping while the session is full), sending whole or
// not at all, failures, a peer that goes away and a peer that does not read.
#include "NetTestSupport.h"
#include "base/Transport.h"
#include "base/TrelliumIds.h"
#include "net/NetOwners.h"
#include "net/SocketWriter.h"
#include "net/TermSocket.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <memory>
#include <vector>

namespace {

class CRecordingClientOwner final : public CTermSocketOwner, public CTransportOwner
{
public:
    void OnClientConnect(int error) override { results.push_back(error); }
    void OnClientClosed() override { ++closes; }
    bool OnReceive(const char* bytes, int count) override
    {
        received.append(bytes, count);
        pieces.push_back(count);
        return !full;
    }
    bool CanReceive() const override { return !full; }
    void OnDatagram(const char*, int) override {}
    void OnDatagramsDropped(uint64_t) override {}
    void OnOutputRoom() override { ++rooms; }

    std::vector<int> results;
    std::vector<int> pieces;
    QByteArray received;
    int closes = 0;
    int rooms = 0;
    bool full = false;
};

QByteArray Pattern(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<char>(i * 13 + 1);
    return bytes;
}

// A client socket connected to a peer on the loopback.
class ConnectedTermSocket : public ::testing::Test
{
protected:
    void SetUp() override
    {
        listener = ListenOnLoopback(port);
        socket = std::make_unique<CTermSocket>(owner, owner, "127.0.0.1", port);
        ASSERT_TRUE(socket->Open().bOnline);
        peer = AcceptOne(listener.Get());
        ASSERT_TRUE(SpinUntil([&] { return socket->IsUsable(); }));
    }

    uint16_t port = 0;
    UniqueFd listener;
    CRecordingClientOwner owner;
    std::unique_ptr<CTermSocket> socket;
    UniqueFd peer;
};

TEST_F(ConnectedTermSocket, ReadsWhatArrivesInLargeReadsAndSends)
{
    EXPECT_EQ(owner.results, std::vector<int>{0});

    const QByteArray data = Pattern(300000);
    SendAll(peer.Get(), data);
    ASSERT_TRUE(SpinUntil([&] { return owner.received.size() == data.size(); }));
    EXPECT_EQ(owner.received, data);
    // Far fewer hand-overs than the old 255-byte reads needed.
    EXPECT_LT(owner.pieces.size(), data.size() / 1024u);

    EXPECT_TRUE(socket->Write("hello", 5).IsSent());
    EXPECT_EQ(ReceiveBytes(peer.Get(), 5), QByteArray("hello"));

    // The peer goes away: reported once, and the socket stops reading.
    peer.Reset();
    ASSERT_TRUE(SpinUntil([&] { return owner.closes > 0; }));
    DrainEvents();
    EXPECT_EQ(owner.closes, 1);
    EXPECT_FALSE(socket->IsUsable());
}

// While the owner is full nothing is read, so TCP holds the peer back; once
// reading resumes every byte arrives, in order.
TEST_F(ConnectedTermSocket, AFullOwnerHoldsThePeerBackWithoutLosingBytes)
{

    owner.full = true;
    const QByteArray data = Pattern(16 * 1024 * 1024);
    qsizetype sent = 0;
    // The peer writes until the kernel's buffers are full: the socket read
    // once, saw the owner full and stopped.
    bool blocked = false;
    for (int turn = 0; turn < 2000 && !blocked; ++turn) {
        const Platform::IoResult r = Platform::Send(peer.Get(), data.constData() + sent,
                                                    static_cast<size_t>(data.size() - sent));
        sent += static_cast<qsizetype>(r.count);
        blocked = r.wouldBlock && turn > 20;
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(blocked);
    const qsizetype readWhileFull = owner.received.size();
    EXPECT_LE(readWhileFull, qsizetype{CTermSocket::kReadSize});
    EXPECT_LT(sent, data.size());

    owner.full = false;
    socket->ResumeReading();
    SendAll(peer.Get(), data.mid(sent));
    ASSERT_TRUE(SpinUntil([&] { return owner.received.size() == data.size(); }, 20000));
    EXPECT_EQ(owner.received, data);
}

TEST(TermSocket, RefusedAndUnresolvableAttempts)
{
    uint16_t port = 0;
    {
        UniqueFd closed = ListenOnLoopback(port);
    } // a port nobody listens on now
    CRecordingClientOwner owner;
    CTermSocket refused(owner, owner, "127.0.0.1", port);
    ASSERT_TRUE(refused.Open().bOnline); // under way until the result comes
    ASSERT_TRUE(SpinUntil([&] { return !owner.results.empty(); }));
    EXPECT_EQ(owner.results[0], ECONNREFUSED);

    CRecordingClientOwner other;
    CTermSocket unresolvable(other, other, "no such host!", 23);
    ASSERT_TRUE(unresolvable.Open().bOnline);
    ASSERT_TRUE(SpinUntil([&] { return !other.results.empty(); }));
    EXPECT_NE(other.results[0], 0);
}

// Every write returns at once; what does not fit is refused whole, so the
// peer receives exactly the writes that were taken and not a byte more.
TEST_F(ConnectedTermSocket, APeerThatDoesNotReadGetsWholeWritesOnly)
{
    // Blocks of an odd size, so a partly sent block would show.
    const QByteArray block(65000, 'x');
    int sent = 0;
    int full = 0;
    for (int i = 0; i < 400; ++i) {
        const CWriteResult result =
            socket->Write(block.constData(), static_cast<int>(block.size()));
        if (result.IsSent())
            ++sent;
        else if (result.kind == CWriteResult::Kind::Full)
            ++full;
    }
    EXPECT_GT(sent, 0);
    EXPECT_EQ(sent + full, 400);
    EXPECT_GT(socket->OutputPending(), 0u);

    // Once the queue drains to its low mark the owner hears of room.
    socket->WantOutputRoom();
    const qsizetype expected = static_cast<qsizetype>(sent) * block.size();
    const QByteArray got = ReceiveBytes(peer.Get(), expected);
    EXPECT_EQ(got.size(), expected);
    EXPECT_EQ(got.count('x'), got.size());
    ASSERT_TRUE(SpinUntil([&] { return owner.rooms > 0; }));
    DrainEvents();
    char extra[16];
    EXPECT_TRUE(Platform::Receive(peer.Get(), extra, sizeof extra).wouldBlock);
}

// A send on a connection the peer reset fails with the system's error, and
// is never reported as sent.
TEST_F(ConnectedTermSocket, ASendOnAResetConnectionFails)
{
    // Closing with unread data makes the kernel reset the connection.
    const linger abort{1, 0};
    ::setsockopt(peer.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    peer.Reset();
    CWriteResult result;
    ASSERT_TRUE(SpinUntil([&] {
        result = socket->Write("ping", 4);
        return !result.IsSent();
    }));
    EXPECT_EQ(result.kind, CWriteResult::Kind::Failed);
    EXPECT_TRUE(result.error == ECONNRESET || result.error == EPIPE) << result.error;
}

class TcpClientSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        listener = ListenOnLoopback(port);
        doc.SelectPort(PortIdTcpClient);
        doc.EditInfo()->m_nNetworkPort = port;
        doc.SetView(&view);
    }
    void TearDown() override
    {
        doc.OnCloseDocument();
        doc.SetView(nullptr);
    }

    CRecordingAlerts alerts;
    CSessionContext context;
    CRecordingView view;
    CTrelliumDoc doc{context};
    uint16_t port = 0;
    UniqueFd listener;
};

TEST_F(TcpClientSession, ConnectsReceivesSendsAndGoesOfflineWhenThePeerCloses)
{
    doc.ToggleOnline();
    EXPECT_TRUE(doc.IsOnline()); // the attempt is under way
    UniqueFd peer = AcceptOne(listener.Get());
    ASSERT_TRUE(SpinUntil([&] { return doc.IsConnectionUsable(); }));
    EXPECT_FALSE(doc.GetTitle().contains(QStringLiteral("Offline")));

    SendAll(peer.Get(), "from peer");
    ASSERT_TRUE(SpinUntil([&] { return view.received == "from peer"; }));
    EXPECT_EQ(doc.SendData("to peer", 7), 1);
    EXPECT_EQ(ReceiveBytes(peer.Get(), 7), QByteArray("to peer"));

    peer.Reset();
    ASSERT_TRUE(SpinUntil([&] { return !doc.IsOnline(); }));
    EXPECT_TRUE(doc.GetTitle().endsWith(QStringLiteral("Offline")));
    EXPECT_EQ(doc.GetTransport(), nullptr);
}

TEST_F(TcpClientSession, RefusedConnectionShowsItsReasonInTheTitle)
{
    listener.Reset();
    doc.ToggleOnline();
    ASSERT_TRUE(SpinUntil([&] { return !doc.IsOnline(); }));
    EXPECT_TRUE(doc.GetTitle().endsWith(QStringLiteral("Offline (Connection refused)")))
        << doc.GetTitle().toStdString();
    EXPECT_EQ(doc.OfflineReason(), QStringLiteral("Connection refused"));
    EXPECT_TRUE(alerts.Messages().isEmpty());
    EXPECT_GE(std::count(view.hints.begin(), view.hints.end(), Ids::HintOnlineSettled), 2);
    // The failed socket stays until the next attempt replaces (and closes) it.
    EXPECT_NE(doc.GetTransport(), nullptr);
    uint16_t again = 0;
    listener = ListenOnLoopback(again);
    doc.EditInfo()->m_nNetworkPort = again;
    doc.ToggleOnline();
    UniqueFd peer = AcceptOne(listener.Get());
    ASSERT_TRUE(SpinUntil([&] { return doc.IsConnectionUsable(); }));
    EXPECT_FALSE(doc.GetTitle().contains(QStringLiteral("refused")));
}

} // namespace

namespace {

// Asking for room again and again before the notice arrived brings one
// notice, not one per asking: a repeat that asks on every turn must not fill
// the event queue.
TEST(SocketWriter, RoomIsNoticedOnceHoweverOftenItIsAskedFor)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
    UniqueFd a(pair[0]);
    UniqueFd b(pair[1]);
    int notices = 0;
    CSocketWriter writer(a.Get(), 1 << 20, {}, [&] { ++notices; });
    for (int i = 0; i < 1000; ++i)
        writer.WantRoom();
    DrainEvents();
    EXPECT_EQ(notices, 1);
}

} // namespace
