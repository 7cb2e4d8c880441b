// The receive ring on its own: wrapping, coalesced delivery requests and the
// count of bytes a slow view lost.
#include "session/ReceiveRing.h"

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

TEST(ReceiveRing, AskForOneDeliveryUntilItIsTaken)
{
    int requests = 0;
    CReceiveRing ring([&] { ++requests; });
    ring.Append("ab", 2);
    ring.Append("cd", 2);
    ring.Append("", 0);
    EXPECT_EQ(requests, 1);
    CReceiveRing::CDelivery first = ring.TakeNew();
    EXPECT_EQ(first.bytes, QByteArray("abcd"));
    EXPECT_EQ(first.lost, 0u);
    EXPECT_TRUE(ring.TakeNew().bytes.isEmpty()); // nothing new
    ring.Append("e", 1);
    EXPECT_EQ(requests, 2);
    EXPECT_EQ(ring.TakeNew().bytes, QByteArray("e"));
}

TEST(ReceiveRing, WrapsAndKeepsTheLastRing)
{
    CReceiveRing ring(nullptr);
    const QByteArray data = Pattern(5000);
    for (int at = 0; at < data.size(); at += 1000)
        ring.Append(data.constData() + at, 1000);
    EXPECT_EQ(ring.Count(), 4096);
    EXPECT_EQ(ring.Pos(), 904);
    EXPECT_EQ(ring.Contents(), data.right(4096));
    char copy[6];
    EXPECT_EQ(ring.CopyFromRing(copy, 4093, 6), 6); // wraps at the end
    EXPECT_EQ(QByteArray(copy, 6), data.mid(4093, 6)); // ring index i holds byte i of the last lap
}

TEST(ReceiveRing, ASlowViewGetsTheLossCountNeverOverwrittenBytes)
{
    CReceiveRing ring(nullptr);
    const QByteArray data = Pattern(10000, 3);
    ring.Append(data.constData(), 3000);
    EXPECT_EQ(ring.TakeNew().bytes, data.left(3000));
    ring.Append(data.constData() + 3000, 2000); // 2000 new: nothing lost
    ring.Append(data.constData() + 5000, 5000); // a block longer than the ring
    const CReceiveRing::CDelivery late = ring.TakeNew();
    EXPECT_EQ(late.lost, 7000u - 4096u);
    EXPECT_EQ(late.bytes, data.right(4096));
    EXPECT_EQ(ring.Pos(), 10000 % 4096);
}

// Two writers and a taker: every byte is delivered once or counted lost, and
// each writer's bytes keep their order (run under ThreadSanitizer).
TEST(ReceiveRing, ConcurrentWritersAndTaker)
{
    std::atomic<int> requests{0};
    CReceiveRing ring([&] { ++requests; });
    constexpr int kBlocks = 4000;
    const auto writer = [&ring](char tag) {
        for (int i = 0; i < kBlocks; ++i) {
            const char block[3] = {tag, static_cast<char>('0' + i % 10), tag};
            ring.Append(block, 3);
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    QByteArray taken;
    uint64_t lost = 0;
    for (int i = 0; i < 2000; ++i) {
        CReceiveRing::CDelivery d = ring.TakeNew();
        taken += d.bytes;
        lost += d.lost;
    }
    a.join();
    b.join();
    const CReceiveRing::CDelivery rest = ring.TakeNew();
    taken += rest.bytes;
    lost += rest.lost;
    EXPECT_EQ(static_cast<uint64_t>(taken.size()) + lost, 2u * kBlocks * 3);
    EXPECT_GE(requests.load(), 1);
}

} // namespace
