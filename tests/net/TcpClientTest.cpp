// A TCP client session against a peer on the loopback: connecting, reading
// in pieces of at most 255 bytes, sending, failures, a peer that goes away
// and a peer that does not read.
#include "NetTestSupport.h"
#include "net/NetOwners.h"
#include "net/TermSocket.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"
#include "session/TrelliumIds.h"

#include <vector>

namespace {

class CRecordingClientOwner final : public CTermSocketOwner, public CSendProblemSink
{
public:
    void OnClientConnect(int error) override { results.push_back(error); }
    void ReceiveClientBytes(const char* bytes, int count) override
    {
        received.append(bytes, count);
        pieces.push_back(count);
    }
    void OnClientClosed() override { ++closes; }
    void ReportSendProblem(const QString& message) override { problems.append(message); }

    std::vector<int> results;
    std::vector<int> pieces;
    QByteArray received;
    int closes = 0;
    QStringList problems;
};

QByteArray Pattern(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<char>(i * 13 + 1);
    return bytes;
}

TEST(TermSocket, ReadsAtMost255BytesAPieceAndSends)
{
    uint16_t port = 0;
    UniqueFd listener = ListenOnLoopback(port);
    CRecordingClientOwner owner;
    CTermSocket socket(owner, owner, "127.0.0.1", port);
    ASSERT_TRUE(socket.Open().bOnline);
    UniqueFd peer = AcceptOne(listener.Get());
    ASSERT_TRUE(SpinUntil([&] { return !owner.results.empty(); }));
    EXPECT_EQ(owner.results, std::vector<int>{0});
    EXPECT_TRUE(socket.IsUsable());

    const QByteArray data = Pattern(1000);
    SendAll(peer.Get(), data);
    ASSERT_TRUE(SpinUntil([&] { return owner.received.size() == data.size(); }));
    EXPECT_EQ(owner.received, data);
    for (int piece : owner.pieces)
        EXPECT_LE(piece, 255);
    EXPECT_GE(owner.pieces.size(), 4u);

    EXPECT_EQ(socket.Write("hello", 5), CWriteResult::Sent);
    EXPECT_EQ(ReceiveBytes(peer.Get(), 5), QByteArray("hello"));

    // The peer goes away: reported once, and the socket stops reading.
    peer.Reset();
    ASSERT_TRUE(SpinUntil([&] { return owner.closes > 0; }));
    DrainEvents();
    EXPECT_EQ(owner.closes, 1);
    EXPECT_FALSE(socket.IsUsable());
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
    EXPECT_NE(owner.results[0], 0);

    CRecordingClientOwner other;
    CTermSocket unresolvable(other, other, "no such host!", 23);
    ASSERT_TRUE(unresolvable.Open().bOnline);
    ASSERT_TRUE(SpinUntil([&] { return !other.results.empty(); }));
    EXPECT_NE(other.results[0], 0);
}

TEST(TermSocket, APeerThatDoesNotReadNeverBlocksAndOverflowIsToldOnce)
{
    uint16_t port = 0;
    UniqueFd listener = ListenOnLoopback(port);
    CRecordingClientOwner owner;
    CTermSocket socket(owner, owner, "127.0.0.1", port);
    ASSERT_TRUE(socket.Open().bOnline);
    UniqueFd peer = AcceptOne(listener.Get()); // never reads
    ASSERT_TRUE(SpinUntil([&] { return socket.IsUsable(); }));
    const QByteArray block(64 * 1024, 'x');
    int sent = 0;
    int refused = 0;
    // The kernel's buffers plus the bounded queue take a few megabytes; every
    // call returns at once, and what does not fit is refused whole.
    for (int i = 0; i < 400; ++i) {
        if (socket.Write(block.constData(), static_cast<int>(block.size())) == CWriteResult::Sent)
            ++sent;
        else
            ++refused;
    }
    EXPECT_GT(sent, 0);
    EXPECT_GT(refused, 0);
    EXPECT_EQ(owner.problems.size(), 1);

    // Everything that was taken arrives, in order, once the peer reads.
    const QByteArray got = ReceiveBytes(peer.Get(), static_cast<qsizetype>(sent) * block.size());
    EXPECT_EQ(got.size(), static_cast<qsizetype>(sent) * block.size());
    EXPECT_EQ(got.count('x'), got.size());
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

TEST_F(TcpClientSession, RefusedConnectionShowsOfflineWithoutAMessage)
{
    listener.Reset();
    doc.ToggleOnline();
    ASSERT_TRUE(SpinUntil([&] { return !doc.IsOnline(); }));
    EXPECT_TRUE(doc.GetTitle().endsWith(QStringLiteral("Offline")));
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
}

} // namespace
