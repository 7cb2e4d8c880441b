// The receive ring (what a rebuild shows again) and the delivery backlog (what
// the view has not shown yet): wrapping, coalesced delivery requests, a
// source told to stop when the backlog is full and to go on when it has room,
// datagrams dropped and counted, and the arrival ticks that time stamps use.
#include "session/ReceiveRing.h"
#include "session/DeliveryBacklog.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

QByteArray Pattern(int count, int seed = 0)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<char>(i * 7 + seed);
    return bytes;
}

QByteArray Joined(const CDeliveryBacklog::CTaken& taken)
{
    QByteArray all;
    for (const auto& chunk : taken.chunks)
        all += chunk.bytes;
    return all;
}

TEST(ReceiveRing, WrapsAndKeepsTheLastRing)
{
    CReceiveRing ring;
    const QByteArray data = Pattern(5000);
    for (int at = 0; at < data.size(); at += 1000)
        ring.Append(data.constData() + at, 1000);
    EXPECT_EQ(ring.Count(), 4096);
    EXPECT_EQ(ring.Pos(), 904);
    EXPECT_EQ(ring.Contents(), data.right(4096));
    char copy[6];
    EXPECT_EQ(ring.CopyFromRing(copy, 4093, 6), 6);    // wraps at the end
    EXPECT_EQ(QByteArray(copy, 6), data.mid(4093, 6)); // ring index i holds byte i of the last lap
    ring.Append(data.constData(), 5000);               // a block longer than the ring
    EXPECT_EQ(ring.Contents(), data.right(4096));
}

TEST(DeliveryBacklog, AsksForOneDeliveryUntilItIsTaken)
{
    int requests = 0;
    CDeliveryBacklog backlog([&] { ++requests; });
    backlog.AppendStream("ab", 2, 10, true);
    backlog.AppendStream("cd", 2, 11, true);
    backlog.AppendStream("", 0, 12, true);
    EXPECT_EQ(requests, 1);
    const CDeliveryBacklog::CTaken first = backlog.Take(1 << 20);
    ASSERT_EQ(first.chunks.size(), 1u); // joined: time stamps are off
    EXPECT_EQ(first.chunks[0].bytes, QByteArray("abcd"));
    EXPECT_EQ(first.chunks[0].tick, 10u);
    EXPECT_FALSE(first.bMore);
    EXPECT_TRUE(backlog.Take(1 << 20).chunks.empty());
    backlog.AppendStream("e", 1, 13, true);
    EXPECT_EQ(requests, 2);
}

// A view that comes back once a frame by itself is not woken for each chunk
// that arrives meanwhile; a frame that finds nothing ends that, and the next
// bytes wake it again.
TEST(DeliveryBacklog, AViewThatComesBackByItselfIsNotWokenMeanwhile)
{
    int requests = 0;
    CDeliveryBacklog backlog([&] { ++requests; });
    backlog.AppendStream("a", 1, 1, true);
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(backlog.Take(1 << 20, true).chunks.size(), 1u);
    backlog.AppendStream("b", 1, 2, true);
    backlog.AppendStream("c", 1, 3, true);
    EXPECT_EQ(requests, 1); // the frame is coming
    EXPECT_EQ(backlog.Take(1 << 20, true).chunks.size(), 1u);
    EXPECT_TRUE(backlog.Take(1 << 20, true).chunks.empty()); // a quiet frame
    backlog.AppendStream("d", 1, 4, true);
    EXPECT_EQ(requests, 2);
}

// The append that fills the backlog wakes the view even while it is due to
// come back by itself: the source waits for room, not for the next frame.
TEST(DeliveryBacklog, FillingUpWakesAViewThatWouldComeBackLater)
{
    int requests = 0;
    CDeliveryBacklog backlog([&] { ++requests; }, 4096);
    backlog.AppendStream("a", 1, 1, true);
    EXPECT_EQ(backlog.Take(1 << 20, true).chunks.size(), 1u);
    const QByteArray block = Pattern(1024, 3);
    EXPECT_TRUE(backlog.AppendStream(block.constData(), 1024, 2, true));
    EXPECT_EQ(requests, 1); // the frame is coming
    bool room = true;
    while (room)
        room = backlog.AppendStream(block.constData(), 1024, 2, true);
    EXPECT_EQ(requests, 2);
}

// With time stamps on, only bytes of the same tick share a chunk, so a view
// that shows them later still marks the pause where it happened.
TEST(DeliveryBacklog, KeepsArrivalTicksApartWhileStampsAreOn)
{
    CDeliveryBacklog backlog(nullptr);
    backlog.AppendStream("a", 1, 100, false);
    backlog.AppendStream("b", 1, 100, false);
    backlog.AppendStream("c", 1, 900, false);
    const CDeliveryBacklog::CTaken taken = backlog.Take(1 << 20);
    ASSERT_EQ(taken.chunks.size(), 2u);
    EXPECT_EQ(taken.chunks[0].bytes, QByteArray("ab"));
    EXPECT_EQ(taken.chunks[0].tick, 100u);
    EXPECT_EQ(taken.chunks[1].bytes, QByteArray("c"));
    EXPECT_EQ(taken.chunks[1].tick, 900u);
}

// A stream source is told to stop once the backlog is full, and nothing it
// handed over is dropped; it may read again once half is free.
TEST(DeliveryBacklog, AFullBacklogStopsAStreamAndLosesNothing)
{
    constexpr size_t kCapacity = 64 * 1024;
    CDeliveryBacklog backlog(nullptr, kCapacity);
    const QByteArray data = Pattern(100 * 1024, 5);
    int at = 0;
    bool room = true;
    while (room && at < data.size()) {
        // Ticks apart with stamps on: one chunk per append.
        room = backlog.AppendStream(data.constData() + at, 1000, static_cast<uint32_t>(at), false);
        at += 1000;
    }
    EXPECT_FALSE(room);
    EXPECT_FALSE(backlog.HasRoom());
    EXPECT_LT(at, data.size());

    QByteArray shown;
    CDeliveryBacklog::CTaken taken = backlog.Take(16 * 1024);
    shown += Joined(taken);
    EXPECT_TRUE(taken.bMore);
    EXPECT_FALSE(taken.bResume); // not yet half free
    bool resumed = false;
    while (taken.bMore) {
        taken = backlog.Take(16 * 1024);
        shown += Joined(taken);
        resumed = resumed || taken.bResume;
    }
    EXPECT_TRUE(resumed);
    EXPECT_EQ(shown, data.left(at));
}

// Datagrams that find the backlog full are dropped whole and counted, and
// the count comes with the next datagram that fits; datagrams the system
// dropped are counted apart.
TEST(DeliveryBacklog, DatagramsThatDoNotFitAreCounted)
{
    constexpr size_t kCapacity = 4096;
    CDeliveryBacklog backlog(nullptr, kCapacity);
    const QByteArray datagram(1000, 'd');
    for (int i = 0; i < 10; ++i)
        backlog.AppendDatagram(datagram.constData(), 1000, static_cast<uint32_t>(i), false);
    backlog.CountLostDatagrams(7);
    CDeliveryBacklog::CTaken taken = backlog.Take(1 << 20);
    const size_t kept = taken.chunks.size();
    EXPECT_GE(kept, 3u);
    EXPECT_LT(kept, 10u);
    EXPECT_EQ(taken.lostAtEnd, (10 - kept) * 1000);
    EXPECT_EQ(taken.lostDatagramsAtEnd, 7u);
    backlog.AppendDatagram("z", 1, 50, false);
    taken = backlog.Take(1 << 20);
    ASSERT_EQ(taken.chunks.size(), 1u);
    EXPECT_EQ(taken.chunks[0].lostBefore, 0u);
}

// Two writers and a taker: every byte is delivered exactly once and each
// writer's bytes keep their order (run under ThreadSanitizer too).
TEST(DeliveryBacklog, ConcurrentWritersAndTakerKeepEveryByteInOrder)
{
    std::atomic<int> requests{0};
    CDeliveryBacklog backlog([&] { ++requests; });
    constexpr int kBlocks = 4000;
    const auto writer = [&backlog](char tag) {
        for (int i = 0; i < kBlocks; ++i) {
            const char block[3] = {tag, static_cast<char>('0' + i % 10), tag};
            backlog.AppendStream(block, 3, static_cast<uint32_t>(i), false);
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    QByteArray taken;
    for (int i = 0; i < 2000; ++i)
        taken += Joined(backlog.Take(4096));
    a.join();
    b.join();
    for (CDeliveryBacklog::CTaken rest = backlog.Take(1 << 20); !rest.chunks.empty();
         rest = backlog.Take(1 << 20))
        taken += Joined(rest);
    ASSERT_EQ(taken.size(), 2 * kBlocks * 3);
    // Blocks are never split, and each writer's blocks come in its order.
    int next[2] = {0, 0};
    for (int at = 0; at < taken.size(); at += 3) {
        ASSERT_EQ(taken[at], taken[at + 2]) << at;
        const int writerIndex = taken[at] == 'a' ? 0 : 1;
        EXPECT_EQ(taken[at + 1], static_cast<char>('0' + next[writerIndex] % 10)) << at;
        ++next[writerIndex];
    }
    EXPECT_EQ(next[0], kBlocks);
    EXPECT_EQ(next[1], kBlocks);
    EXPECT_GE(requests.load(), 1);
}

} // namespace
