// The serial port object on pseudo-terminal pairs: exclusive open, the line
// settings as the device keeps them, the reader thread and its end, a reader
// that stops while its owner is full, writes queued whole or refused whole.
#include "serial/Comm.h"
#include "PtyPair.h"
#include "RecordingCommOwner.h"
#include "platform/CustomBaud.h"

#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <termios.h>
#include <thread>
#include <vector>

namespace {

QByteArray Pattern(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return bytes;
}

std::unique_ptr<CComm> OpenOrFail(const QString& path)
{
    CErrorOr<std::unique_ptr<CComm>> comm = CComm::Open(path);
    EXPECT_FALSE(comm.IsError()) << ErrorText(comm.Error()).toStdString();
    return comm.IsError() ? nullptr : std::move(comm.Value());
}

class Comm : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(pty.IsOpen()); }
    termios SlaveSettings() const
    {
        termios t{};
        ::tcgetattr(pty.Slave(), &t);
        return t;
    }

    CPtyPair pty;
};

TEST_F(Comm, ReceivesRawBytesAndSends)
{
    CRecordingOwner owner; // outlives the port and its reader
    auto comm = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(comm);
    ASSERT_FALSE(comm->StartThread(owner).IsError());
    const QByteArray incoming = Pattern(5000);
    ASSERT_TRUE(pty.WriteToMaster(incoming));
    ASSERT_TRUE(owner.WaitFor([&](auto& o) { return o.m_data.size() >= incoming.size(); }));
    EXPECT_EQ(owner.Data(), incoming); // raw: no byte translated, echoed or dropped
    EXPECT_LE(owner.m_largestRead, CComm::kReadChunk);

    const QByteArray outgoing = Pattern(3000).toHex();
    EXPECT_TRUE(comm->Write(outgoing.constData(), static_cast<int>(outgoing.size())).IsSent());
    EXPECT_EQ(pty.ReadFromMaster(outgoing.size()), outgoing);
}

// While the owner has no room the reader leaves the device alone, so the
// pseudo-terminal holds its writer back; a kick after room returns lets it
// read on, and every byte arrives in order.
TEST_F(Comm, AFullOwnerStopsTheReaderWithoutLosingBytes)
{
    CRecordingOwner owner; // outlives the port and its reader
    auto comm = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(comm);
    owner.m_bFull = true;
    ASSERT_FALSE(comm->StartThread(owner).IsError());
    const QByteArray incoming = Pattern(400000);
    // The writer fills the pseudo-terminal until it will take no more: the
    // reader is not reading.
    const int flags = ::fcntl(pty.Master(), F_GETFL);
    ASSERT_EQ(::fcntl(pty.Master(), F_SETFL, flags | O_NONBLOCK), 0);
    qsizetype written = 0;
    for (;;) {
        const ssize_t n = ::write(pty.Master(), incoming.constData() + written,
                                  static_cast<size_t>(incoming.size() - written));
        if (n <= 0)
            break;
        written += n;
    }
    ASSERT_EQ(errno, EAGAIN);
    ASSERT_LT(written, incoming.size());
    EXPECT_TRUE(owner.Data().isEmpty());
    ASSERT_EQ(::fcntl(pty.Master(), F_SETFL, flags), 0);

    owner.m_bFull = false;
    comm->Kick();
    std::thread writer([&] { EXPECT_TRUE(pty.WriteToMaster(incoming.mid(written))); });
    const bool all = owner.WaitFor([&](auto& o) { return o.m_data.size() >= incoming.size(); });
    writer.join();
    ASSERT_TRUE(all);
    EXPECT_EQ(owner.Data(), incoming);
}

TEST_F(Comm, APortHeldElsewhereIsBusyAndNamesTheDevice)
{
    auto first = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(first);
    const CErrorOr<std::unique_ptr<CComm>> second = CComm::Open(pty.SlavePath());
    ASSERT_TRUE(second.IsError());
    EXPECT_EQ(second.Error().ErrorNumber(), EBUSY);
    EXPECT_EQ(ErrorText(second.Error()),
              QStringLiteral("cannot open %1: Device or resource busy").arg(pty.SlavePath()));
    const CErrorOr<std::unique_ptr<CComm>> missing =
        CComm::Open(QStringLiteral("/nonexistent/tty"));
    ASSERT_TRUE(missing.IsError());
    EXPECT_EQ(ErrorText(missing.Error()),
              QStringLiteral("cannot open /nonexistent/tty: No such file or directory"));
}

TEST_F(Comm, ClosingRestoresTheSettingsAndFreesThePort)
{
    CRecordingOwner owner; // outlives the ports and their readers
    const termios before = SlaveSettings();
    ASSERT_TRUE(before.c_lflag & ICANON);
    {
        auto comm = OpenOrFail(pty.SlavePath());
        ASSERT_TRUE(comm);
        const termios raw = SlaveSettings();
        EXPECT_FALSE(raw.c_lflag & (ICANON | ECHO | ISIG));
        EXPECT_FALSE(raw.c_iflag & (IXON | IXOFF | ICRNL));
        EXPECT_FALSE(raw.c_oflag & OPOST);
        EXPECT_TRUE(raw.c_iflag & INPCK);
        EXPECT_FALSE(raw.c_cflag & CRTSCTS);
        ASSERT_FALSE(comm->SetBaudRate(115200).IsError());
        ASSERT_FALSE(comm->StartThread(owner).IsError());
        comm->Close();
        EXPECT_FALSE(comm->IsOpen());
        const CWriteResult closed = comm->Write("x", 1);
        EXPECT_EQ(closed.kind, CWriteResult::Kind::Failed);
        EXPECT_EQ(closed.error, EBADF);
    }
    const termios after = SlaveSettings();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));

    // The same port opens again once closed.
    auto again = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(again);
    ASSERT_FALSE(again->StartThread(owner).IsError());
    ASSERT_TRUE(pty.WriteToMaster("again"));
    ASSERT_TRUE(owner.WaitFor([](auto& o) { return o.m_data == "again"; }));
}

struct LineCase
{
    int32_t baud;
    char parity;
    int dataBits;
    int stopCode;
    speed_t speed;
    bool twoStop;
};

class CommLine : public Comm, public ::testing::WithParamInterface<LineCase>
{
};

// A pseudo-terminal keeps rate, stop bits, odd-versus-even and parity
// checking; it forces 8 data bits without parity, which the port accepts.
TEST_P(CommLine, SettingsReachTheDevice)
{
    const LineCase c = GetParam();
    auto comm = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(comm);
    EXPECT_FALSE(comm->SetBaudRate(c.baud).IsError());
    const CPlatformError line = comm->SetLineControl(c.parity, c.dataBits, c.stopCode);
    EXPECT_FALSE(line.IsError()) << ErrorText(line).toStdString();
    const termios t = SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.parity == 'O');
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_EQ(comm->Line().stopBits, c.twoStop ? 2 : 1);
    EXPECT_EQ(comm->Line().parity, c.parity == 'E' || c.parity == 'O' ? c.parity : 'N');
}

INSTANTIATE_TEST_SUITE_P(Lines, CommLine,
                         ::testing::Values(LineCase{9600, 'N', 8, 10, B9600, false},
                                           LineCase{115200, 'E', 7, 20, B115200, true},
                                           LineCase{115200, 'O', 8, 10, B115200, false},
                                           LineCase{9600, 'O', 7, 15, B9600, false}, // 1.5: one
                                           LineCase{19200, 'M', 8, 20, B19200, true}));

TEST_F(Comm, ACustomRateReachesTheDeviceWhereTheDriverTakesIt)
{
    auto comm = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(comm);
    const CPlatformError error = comm->SetBaudRate(250000);
    if (error.IsError())
        GTEST_SKIP() << "this kernel's pseudo-terminals refuse arbitrary rates: "
                     << ErrorText(error).toStdString();
    const CErrorOr<int32_t> rate = CustomBaud::GetRate(pty.Slave());
    ASSERT_FALSE(rate.IsError());
    EXPECT_EQ(rate.Value(), 250000);
    // Back to a standard rate through the standard table.
    ASSERT_FALSE(comm->SetBaudRate(9600).IsError());
    const termios t = SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), B9600);
}

struct MismatchCase
{
    CTtyLine wanted;
    CTtyLine actual;
    bool pseudoTerminal;
    const char* expected;
};

class CommMismatch : public ::testing::TestWithParam<MismatchCase>
{
};

TEST_P(CommMismatch, ReadBackIsComparedWithWhatWasAsked)
{
    const MismatchCase c = GetParam();
    EXPECT_EQ(LineMismatch(c.wanted, c.actual, c.pseudoTerminal), QString::fromLatin1(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommMismatch,
    ::testing::Values(
        MismatchCase{{9600, 8, 'N', 1}, {9600, 8, 'N', 1}, false, ""},
        MismatchCase{{250000, 8, 'N', 1}, {9600, 8, 'N', 1}, false, "the driver runs at 9600 baud"},
        MismatchCase{{250000, 8, 'N', 1}, {249600, 8, 'N', 1}, false, ""}, // within 2 %
        MismatchCase{
            {115200, 8, 'N', 1}, {111000, 8, 'N', 1}, false, "the driver runs at 111000 baud"},
        MismatchCase{{9600, 7, 'E', 2},
                     {9600, 8, 'N', 1},
                     false,
                     "the driver keeps 8 data bits, keeps parity N, keeps 1 stop bits"},
        MismatchCase{{9600, 7, 'E', 2}, {9600, 8, 'N', 2}, true, ""},
        MismatchCase{{9600, 7, 'E', 2}, {9600, 8, 'N', 1}, true, "the driver keeps 1 stop bits"}));

TEST_F(Comm, APseudoTerminalHasNoModemLinesAndThatIsNoError)
{
    CRecordingOwner owner; // outlives the port and its reader
    auto comm = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(comm);
    const CErrorOr<uint32_t> status = comm->ReadModemStatus();
    ASSERT_FALSE(status.IsError()) << ErrorText(status.Error()).toStdString();
    EXPECT_EQ(status.Value(), 0u);
    ASSERT_FALSE(comm->StartThread(owner).IsError());
    ASSERT_TRUE(owner.WaitFor([](auto& o) { return !o.m_statuses.empty(); }));
    ASSERT_TRUE(pty.WriteToMaster("x"));
    ASSERT_TRUE(owner.WaitFor([](auto& o) { return o.m_data == "x"; }));
    comm->Close();
    EXPECT_EQ(owner.m_statuses, std::vector<uint32_t>{0}); // reported once, at the start
}

TEST_F(Comm, AReaderStartsOnce)
{
    CRecordingOwner owner; // outlives the port and its reader
    auto comm = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(comm);
    ASSERT_FALSE(comm->StartThread(owner).IsError());
    EXPECT_EQ(comm->StartThread(owner).ErrorNumber(), EEXIST);
    ASSERT_TRUE(pty.WriteToMaster("still"));
    ASSERT_TRUE(owner.WaitFor([](auto& o) { return o.m_data == "still"; }));
}

// The other end goes away: the reader says so once and ends, and closing
// afterwards does not wait for anything.
TEST_F(Comm, AHangUpIsReportedOnceAndEndsTheReader)
{
    CRecordingOwner owner; // outlives the port and its reader
    auto comm = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(comm);
    ASSERT_FALSE(comm->StartThread(owner).IsError());
    ASSERT_TRUE(pty.WriteToMaster("last words"));
    ASSERT_TRUE(owner.WaitFor([](auto& o) { return o.m_data.size() == 10; }));
    pty.CloseMaster();
    ASSERT_TRUE(owner.WaitFor([](auto& o) { return o.m_lost > 0; }));
    comm->Close();
    EXPECT_EQ(owner.m_lost, 1);
    EXPECT_TRUE(owner.m_lostText.contains(pty.SlavePath()));
    EXPECT_EQ(owner.Data(), QByteArray("last words"));
}

// The device takes nothing for now (nobody reads the master): writes return
// at once, queued whole or refused whole; once the device drains, exactly
// the queued writes arrive, and the owner hears that there is room.
TEST_F(Comm, WritesAreQueuedWholeOrRefusedWholeAndNeverWait)
{
    CRecordingOwner owner; // outlives the port and its reader
    auto comm = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(comm);
    ASSERT_FALSE(comm->StartThread(owner).IsError());
    const QByteArray block(50001, 'z');
    int queued = 0;
    CWriteResult refused;
    for (int i = 0; i < 20; ++i) {
        const CWriteResult result = comm->Write(block.constData(), static_cast<int>(block.size()));
        if (result.IsSent())
            ++queued;
        else
            refused = result;
    }
    EXPECT_EQ(refused.kind, CWriteResult::Kind::Full);
    EXPECT_GE(queued, static_cast<int>(CComm::kOutputCapacity / block.size()));
    EXPECT_LT(queued, 20);
    const QByteArray got = pty.ReadFromMaster(qsizetype{queued} * block.size() + 1, 3000);
    EXPECT_EQ(got.size(), qsizetype{queued} * block.size());
    EXPECT_EQ(got.count('z'), got.size());
    ASSERT_TRUE(owner.WaitFor([](auto& o) { return o.m_rooms > 0; }));
    EXPECT_EQ(comm->OutputPending(), 0u);
}

// Two threads write whole blocks at once; each block reaches the wire in one
// piece even when the device takes them a little at a time.
TEST_F(Comm, WritesFromTwoThreadsDoNotInterleave)
{
    CRecordingOwner owner; // outlives the port and its reader
    auto comm = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(comm);
    ASSERT_FALSE(comm->StartThread(owner).IsError());
    constexpr int kBlock = 3000;
    constexpr int kBlocks = 40;
    auto writer = [&](char c) {
        const QByteArray block(kBlock, c);
        for (int i = 0; i < kBlocks; ++i)
            EXPECT_TRUE(comm->Write(block.constData(), kBlock).IsSent());
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    const QByteArray got = pty.ReadFromMaster(2 * kBlock * kBlocks);
    a.join();
    b.join();
    ASSERT_EQ(got.size(), 2 * kBlock * kBlocks);
    for (int at = 0; at < got.size(); at += kBlock)
        EXPECT_EQ(got.mid(at, kBlock), QByteArray(kBlock, got[at])) << "block at " << at;
}

} // namespace
