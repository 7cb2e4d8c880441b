// Wrapped system calls: "nothing now" is not an error, and an interrupted
// call is made again rather than reported.
#include "platform/Io.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

struct Pipe
{
    Pipe()
    {
        int fds[2];
        if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
            read.Reset(fds[0]);
            write.Reset(fds[1]);
        }
    }
    UniqueFd read;
    UniqueFd write;
};

TEST(NonBlockingIo, EmptyPipeWouldBlockThenGivesBytesThenEnds)
{
    Pipe pipe;
    ASSERT_TRUE(pipe.read.IsValid());
    char buffer[16];

    Platform::IoResult r = Platform::ReadNonBlocking(pipe.read.Get(), buffer, sizeof buffer);
    EXPECT_TRUE(r.wouldBlock);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.count, 0u);
    EXPECT_FALSE(r.AtEnd());

    const Platform::IoResult w = Platform::WriteNonBlocking(pipe.write.Get(), "abc", 3);
    EXPECT_EQ(w.count, 3u);
    r = Platform::ReadNonBlocking(pipe.read.Get(), buffer, sizeof buffer);
    EXPECT_EQ(r.count, 3u);
    EXPECT_FALSE(r.wouldBlock);
    EXPECT_EQ(std::string(buffer, 3), "abc");

    pipe.write.Reset();
    r = Platform::ReadNonBlocking(pipe.read.Get(), buffer, sizeof buffer);
    EXPECT_TRUE(r.AtEnd());
}

TEST(NonBlockingIo, FullPipeWouldBlockOnWrite)
{
    Pipe pipe;
    ASSERT_TRUE(pipe.write.IsValid());
    const std::string chunk(4096, 'x');
    Platform::IoResult w;
    size_t total = 0;
    // A pipe holds a bounded amount; the loop ends when it is full.
    for (int i = 0; i < 100000; ++i) {
        w = Platform::WriteNonBlocking(pipe.write.Get(), chunk.data(), chunk.size());
        if (w.wouldBlock || w.error != 0)
            break;
        total += w.count;
    }
    EXPECT_TRUE(w.wouldBlock);
    EXPECT_EQ(w.error, 0);
    EXPECT_GT(total, 0u);
}

TEST(NonBlockingIo, FailureCarriesTheErrno)
{
    char buffer[4];
    const Platform::IoResult r = Platform::ReadNonBlocking(-1, buffer, sizeof buffer);
    EXPECT_EQ(r.error, EBADF);
    EXPECT_FALSE(r.wouldBlock);
}

std::atomic<int> g_signals{0};
void CountSignal(int)
{
    ++g_signals;
}

// Whether thread `tid` sleeps in the kernel (state S in its stat line).
bool IsSleeping(pid_t tid)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) == "S";
}

// A signal whose handler does not ask for restarting interrupts a blocked
// read; the wrapper reads again and so returns the data written afterwards.
TEST(RetryOnEintr, BlockedReadInterruptedBySignalGoesOn)
{
    struct sigaction action = {};
    struct sigaction previous = {};
    action.sa_handler = CountSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: the kernel returns EINTR
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0); // blocking
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    std::atomic<pid_t> readerTid{0};
    std::atomic<bool> reading{false};
    std::atomic<bool> done{false};
    ssize_t got = -2;
    int readErrno = 0;
    char byte = 0;
    std::thread reader([&] {
        readerTid = static_cast<pid_t>(::syscall(SYS_gettid));
        reading = true;
        got = Platform::RetryOnEintr([&] { return ::read(readEnd.Get(), &byte, 1); });
        readErrno = errno;
        done = true;
    });
    while (!reading || !IsSleeping(readerTid))
        std::this_thread::yield();
    const int before = g_signals;
    ASSERT_EQ(::pthread_kill(reader.native_handle(), SIGUSR1), 0);
    while (g_signals == before)
        std::this_thread::yield();
    // The reader is back in read() (sleeping again), or gave up, before the
    // byte comes.
    while (!done && !IsSleeping(readerTid))
        std::this_thread::yield();
    EXPECT_EQ(::write(writeEnd.Get(), "z", 1), 1);
    reader.join();
    ::sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_EQ(got, 1) << "errno " << readErrno;
    EXPECT_EQ(byte, 'z');
}

} // namespace
