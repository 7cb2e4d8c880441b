// A serial session on a pseudo-terminal named through TRELLIUM_PORTS: going
// online and offline, both directions of data, settings while online, a
// port held elsewhere, the device vanishing, and a flood that loses nothing.
#include "PortTestSupport.h"
#include "PtyPair.h"
#include "SessionTestSupport.h"
#include "base/TrelliumIds.h"
#include "serial/Comm.h"
#include "serial/PortWatcher.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Has(const std::vector<int>& ids, int id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

class SerialSession : public ::testing::Test
{
protected:
    static constexpr int kPortId = 6; // COM7

    void SetUp() override
    {
        ASSERT_TRUE(pty.IsOpen());
        qputenv("TRELLIUM_PORTS", "COM7=" + pty.SlavePath().toLocal8Bit());
        context.Ports().SetSource(std::make_unique<CNoDevices>());
        context.Ports().Enumerate();
        doc.SetView(&view);
        doc.SelectPort(kPortId);
    }
    void TearDown() override
    {
        doc.OnCloseDocument();
        DrainEvents();
        doc.SetView(nullptr);
        qunsetenv("TRELLIUM_PORTS");
    }
    void GoOnline()
    {
        doc.ToggleOnline();
        ASSERT_TRUE(doc.IsOnline()) << alerts.Messages().join(QLatin1Char('\n')).toStdString();
    }
    bool InUse()
    {
        for (const CPortItem& item : context.Ports().Items()) {
            if (item.m_nPortId == kPortId)
                return item.m_bInUse;
        }
        return false;
    }
    termios SlaveSettings() const
    {
        termios t{};
        ::tcgetattr(pty.Slave(), &t);
        return t;
    }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    CRecordingView view;
    CTrelliumDoc doc{context};
    CPtyPair pty;
};

TEST_F(SerialSession, OnlineItReceivesSendsAndMarksThePortInUse)
{
    GoOnline();
    EXPECT_EQ(doc.GetTitle(), QStringLiteral("  COM7 - 9600,N,8,1 "));
    EXPECT_TRUE(InUse());
    ASSERT_TRUE(pty.WriteToMaster("hello\r\n"));
    ASSERT_TRUE(SpinUntil([&] { return view.received == "hello\r\n"; }));

    EXPECT_EQ(doc.SendData("ping", 4), 1);
    EXPECT_EQ(pty.ReadFromMaster(4), QByteArray("ping"));
    EXPECT_EQ(doc.SendChar('!'), 1);
    EXPECT_EQ(pty.ReadFromMaster(1), QByteArray("!"));

    // The reader reports the modem lines once; a pseudo-terminal has none.
    ASSERT_TRUE(SpinUntil([&] { return Has(view.commands, Ids::CmdModemStatus); }));
    EXPECT_EQ(doc.GetModemStatus(), 0u);
    EXPECT_TRUE(Has(view.commands, Ids::CmdRefillPorts));

    // Going offline keeps the mark; closing the document clears it.
    doc.ToggleOnline();
    EXPECT_FALSE(doc.IsOnline());
    EXPECT_TRUE(InUse());
    doc.OnCloseDocument();
    EXPECT_FALSE(InUse());
    EXPECT_TRUE(alerts.Messages().isEmpty());
}

TEST_F(SerialSession, SettingsFollowWhileOnlineAndARefusalIsToldOnce)
{
    GoOnline();
    {
        auto info = doc.EditInfo();
        info->m_nBaudRate = 115200;
        info->m_cParity = 'O';
        info->m_nStopBits = 20;
        info->m_nFlowControl = 3; // RTS/CTS
    }
    doc.ApplySettings();
    termios t = SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    doc.EditInfo()->m_nFlowControl = 1; // XON
    doc.ApplySettings();
    t = SlaveSettings();
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(alerts.Messages().isEmpty())
        << alerts.Messages().join(QLatin1Char('\n')).toStdString();

    doc.EditInfo()->m_nBaudRate = 0;
    doc.ApplySettings();
    doc.ApplySettings();
    ASSERT_EQ(alerts.Messages().size(), 1);
    EXPECT_EQ(alerts.Messages()[0],
              QStringLiteral("cannot set 0,O,8,2 on %1: Invalid argument").arg(pty.SlavePath()));
    EXPECT_TRUE(doc.IsOnline()); // still running at the rate it had
    const termios after = SlaveSettings();
    EXPECT_EQ(cfgetospeed(&after), B115200);
}

TEST_F(SerialSession, APortHeldElsewhereStaysOfflineWithTheSystemsWords)
{
    CErrorOr<std::unique_ptr<CComm>> holder = CComm::Open(pty.SlavePath());
    ASSERT_FALSE(holder.IsError());
    doc.ToggleOnline();
    EXPECT_FALSE(doc.IsOnline());
    ASSERT_EQ(alerts.Messages().size(), 1);
    // The system's words, then who holds the port (this test's process).
    EXPECT_TRUE(alerts.Messages()[0].startsWith(
        QStringLiteral("cannot open %1: Device or resource busy\n\nIt is held by ")
            .arg(pty.SlavePath())))
        << alerts.Messages()[0].toStdString();
    EXPECT_TRUE(alerts.Messages()[0].contains(QStringLiteral("(process %1)").arg(::getpid())));
    EXPECT_TRUE(doc.GetTitle().endsWith(QStringLiteral("Offline (Device or resource busy)")))
        << doc.GetTitle().toStdString();
    EXPECT_EQ(doc.GetTransport(), nullptr);
    EXPECT_FALSE(InUse());

    // A second session does not find the first one's port free either.
    holder.Value().reset();
    GoOnline();
    CTrelliumDoc other(context);
    EXPECT_NE(other.ProbeSerialPort(kPortId), kPortId);
}

// The other end of the line goes away: the session goes offline by itself,
// says so in plain words, and shows no modem lines.
TEST_F(SerialSession, ADeviceThatVanishesTakesTheSessionOffline)
{
    GoOnline();
    ASSERT_TRUE(SpinUntil([&] { return Has(view.commands, Ids::CmdModemStatus); }));
    view.hints.clear();
    pty.CloseMaster();
    ASSERT_TRUE(SpinUntil([&] { return !doc.IsOnline(); }));
    EXPECT_EQ(doc.GetTransport(), nullptr);
    ASSERT_EQ(alerts.Messages().size(), 1);
    EXPECT_EQ(alerts.Messages()[0],
              QStringLiteral("The serial port COM7 (%1) is no longer available: No such "
                             "device\nThe session goes online again when the port comes back.")
                  .arg(pty.SlavePath()));
    EXPECT_TRUE(doc.GetTitle().endsWith(QLatin1String("Offline (waiting for the port)")))
        << doc.GetTitle().toStdString();
    for (int hint : {Ids::HintOnlineSettled, Ids::HintConnectionType, Ids::HintConnectionStatus})
        EXPECT_TRUE(Has(view.hints, hint)) << hint;
    EXPECT_EQ(doc.GetModemStatus(), 0u);
    DrainEvents();
    EXPECT_EQ(alerts.Messages().size(), 1); // told once
}

// An adapter pulled out and plugged back in: the device comes back (here a
// new pseudo-terminal under the same COM number) and the hot-plug rebuild
// takes the session online again by itself; one taken offline by hand stays
// offline.
TEST_F(SerialSession, APortThatComesBackTakesTheSessionOnlineAgain)
{
    CPortWatcher watcher(clock, context.Ports(), [this] { context.PortsRebuilt(); });
    GoOnline();
    pty.CloseMaster();
    ASSERT_TRUE(SpinUntil([&] { return !doc.IsOnline(); }));
    ASSERT_TRUE(doc.IsAwaitingPort());

    CPtyPair again;
    ASSERT_TRUE(again.IsOpen());
    qputenv("TRELLIUM_PORTS", "COM7=" + again.SlavePath().toLocal8Bit());
    watcher.PortsChanged();
    clock.Advance(CPortWatcher::kDebounceMs);
    DrainEvents();
    ASSERT_TRUE(doc.IsOnline()) << alerts.Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(doc.IsAwaitingPort());
    ASSERT_TRUE(again.WriteToMaster("back"));
    ASSERT_TRUE(SpinUntil([&] { return view.received.endsWith("back"); }));

    doc.ToggleOnline(); // by hand
    watcher.PortsChanged();
    clock.Advance(CPortWatcher::kDebounceMs);
    DrainEvents();
    EXPECT_FALSE(doc.IsOnline());
}

// A flood through the pseudo-terminal with capture on: the capture file and
// the view both get every byte in order (the reader holds the device back
// while the view catches up).
TEST_F(SerialSession, AFloodWithCaptureOnLosesNoByte)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("flood.txt"));
    GoOnline();
    ASSERT_EQ(doc.StartCapture(path), 1);
    const qint64 header = QFileInfo(path).size();
    const QByteArray data = EveryByteValue(4 << 20);
    std::thread writer([&] { EXPECT_TRUE(pty.WriteToMaster(data)); });
    const bool complete =
        SpinUntil([&] { return QFileInfo(path).size() >= header + data.size(); }, 60000);
    writer.join();
    ASSERT_TRUE(complete);
    // The reader writes a block to the capture file before it puts it in the
    // backlog: wait for the last delivery too.
    EXPECT_TRUE(SpinUntil([&] { return view.received.size() >= data.size(); }));
    doc.EndCapture();
    const QByteArray file = ReadFile(path);
    EXPECT_TRUE(file.mid(header, data.size()) == data) << "the capture differs from what was sent";
    EXPECT_TRUE(file.mid(header + data.size()).endsWith(" Ended\r\n"));
    EXPECT_EQ(view.lost, 0u);
    EXPECT_TRUE(view.received == data) << "the view missed or changed bytes";
    EXPECT_TRUE(doc.RingContents() == data.right(CTrelliumDoc::kRingSize));
}

// An auto response goes out from the reader thread while the user-interface
// thread sends too; every write reaches the device whole.
TEST_F(SerialSession, AutoResponsesFromTheReaderAndSendsFromTheWindowShareThePort)
{
    ASSERT_TRUE(doc.m_funcKeys.AddKey(0, 0, 0, 0, "Ack", "", "<ACK>", 0, 0, 1, "^M^J"));
    doc.m_funcKeys.RebuildAutoResponses();
    GoOnline();
    constexpr int kLines = 200;
    std::thread device([&] {
        for (int i = 0; i < kLines; ++i)
            pty.WriteToMaster("line\r\n");
    });
    for (int i = 0; i < kLines; ++i)
        EXPECT_EQ(doc.SendData("[ui]", 4), 1);
    device.join();
    const QByteArray wire = pty.ReadFromMaster(kLines * 5 + kLines * 4);
    EXPECT_EQ(wire.count("<ACK>"), kLines);
    EXPECT_EQ(wire.count("[ui]"), kLines);
    EXPECT_EQ(wire.size(), kLines * 9);
}

// Closing the document while the device floods the port: the reader stops
// and the port is free for another program once the close returns.
TEST_F(SerialSession, ClosingStopsTheReaderInTheMiddleOfAFlood)
{
    GoOnline();
    std::atomic<bool> stop{false};
    ::fcntl(pty.Master(), F_SETFL, ::fcntl(pty.Master(), F_GETFL) | O_NONBLOCK);
    std::thread device([&] {
        const QByteArray block = EveryByteValue(4096);
        while (!stop.load()) {
            if (::write(pty.Master(), block.constData(), static_cast<size_t>(block.size())) < 0) {
                pollfd fd{pty.Master(), POLLOUT, 0};
                ::poll(&fd, 1, 10);
            }
        }
    });
    ASSERT_TRUE(SpinUntil([&] { return view.received.size() + view.lost > 100000; }, 20000));
    doc.OnCloseDocument();
    EXPECT_FALSE(doc.IsOnline());
    CErrorOr<std::unique_ptr<CComm>> next = CComm::Open(pty.SlavePath());
    EXPECT_FALSE(next.IsError()) << ErrorText(next.Error()).toStdString();
    stop = true;
    device.join();
}

} // namespace
