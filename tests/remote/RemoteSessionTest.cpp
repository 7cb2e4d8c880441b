// A serial session on a port served by a real serial port server over the
// network: the line settings the session sets are the ones the pty reports,
// data crosses both ways byte for byte (0xFF included), and a server that
// goes away and comes back brings the session online again by itself.
#include "PortTestSupport.h"
#include "Ser2net.h"
#include "SessionTestSupport.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QFile>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <thread>

namespace {

class RemoteSession : public ::testing::Test
{
protected:
    static constexpr int kPortId = 8; // COM9

    void SetUp() override
    {
        server = std::make_unique<CSer2net>();
        ASSERT_TRUE(server->Error().isEmpty()) << server->Error().toStdString();
        qputenv("TRELLIUM_PORTS", "COM9=" + server->Address());
        context.Ports().SetSource(std::make_unique<CNoDevices>());
        context.Ports().Enumerate();
        context.SetRemoteTimes(10000, 50);
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
        ASSERT_TRUE(SpinUntil([&] { return doc.IsConnectionUsable(); }, 10000))
            << alerts.Messages().join(QLatin1Char('\n')).toStdString();
    }
    termios PtySettings()
    {
        termios t{};
        ::tcgetattr(server->Pty().Slave(), &t);
        return t;
    }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    CRecordingView view;
    CTrelliumDoc doc{context};
    std::unique_ptr<CSer2net> server;
};

TEST_F(RemoteSession, TheLineSetInTheSessionIsTheLineOfTheRemotePort)
{
    GoOnline();
    EXPECT_TRUE(doc.IsOnline());
    EXPECT_TRUE(SpinUntil([&] {
        const termios t = PtySettings();
        return cfgetospeed(&t) == B9600;
    }));
    {
        auto info = doc.EditInfo();
        info->m_nBaudRate = 115200;
        info->m_cParity = 'E';
        info->m_nFlowControl = 3; // RTS/CTS
    }
    doc.ApplySettings();
    ASSERT_TRUE(SpinUntil([&] {
        const termios t = PtySettings();
        return cfgetospeed(&t) == B115200 && (t.c_cflag & CRTSCTS);
    })) << "the pty kept its old line";
    {
        auto info = doc.EditInfo();
        info->m_nBaudRate = 57600;
        info->m_nFlowControl = 0;
    }
    doc.ApplySettings();
    ASSERT_TRUE(SpinUntil([&] {
        const termios t = PtySettings();
        return cfgetospeed(&t) == B57600 && !(t.c_cflag & CRTSCTS);
    }));
    // The server answered every setting with what it set: nothing to tell.
    DrainEvents();
    EXPECT_TRUE(alerts.Messages().isEmpty())
        << alerts.Messages().join(QLatin1Char('\n')).toStdString();

    // Line control and a break go through without a word against a server
    // that takes them.
    doc.SetLineSignals(false, false);
    bool broke = false;
    EXPECT_TRUE(doc.SendBreak(20, [&] { broke = true; }));
    EXPECT_TRUE(SpinUntil([&] { return broke; }));
    doc.SetLineSignals(true, true);
    DrainEvents();
    EXPECT_TRUE(alerts.Messages().isEmpty())
        << alerts.Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(doc.IsConnectionUsable());
}

TEST_F(RemoteSession, AMegabyteCrossesEachWayUnchanged)
{
    constexpr int kSize = 1000 * 1000;
    GoOnline();
    const QByteArray toSession = EveryByteValue(kSize);
    const QByteArray toDevice = EveryByteValue(kSize + 7).mid(7);

    // The device side: one thread writes, one reads, as a device would.
    const int master = server->Pty().Master();
    std::thread writer([&] {
        qsizetype at = 0;
        while (at < toSession.size()) {
            const ssize_t n =
                ::write(master, toSession.constData() + at,
                        static_cast<size_t>(std::min<qsizetype>(4096, toSession.size() - at)));
            if (n > 0)
                at += n;
            else if (n < 0 && errno != EINTR && errno != EAGAIN)
                return;
        }
    });
    QByteArray atDevice;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buffer[65536];
        while (!stop && atDevice.size() < toDevice.size()) {
            pollfd fd{master, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                atDevice.append(buffer, n);
        }
    });

    qsizetype sent = 0;
    const bool allSent = SpinUntil(
        [&] {
            while (sent < toDevice.size()) {
                const int piece =
                    static_cast<int>(std::min<qsizetype>(16384, toDevice.size() - sent));
                if (doc.SendData(toDevice.constData() + sent, piece) != 1)
                    break; // the queue is full: it drains as the server reads
                sent += piece;
            }
            return sent == toDevice.size();
        },
        60000);
    const bool allShown =
        SpinUntil([&] { return view.received.size() >= toSession.size(); }, 60000);
    writer.join();
    const bool allArrived = SpinUntil([&] { return atDevice.size() >= toDevice.size(); }, 60000);
    stop = true;
    reader.join();

    ASSERT_TRUE(allSent);
    ASSERT_TRUE(allShown) << view.received.size() << " of " << toSession.size();
    ASSERT_TRUE(allArrived) << atDevice.size() << " of " << toDevice.size();
    EXPECT_TRUE(view.received == toSession) << "received bytes differ";
    EXPECT_TRUE(atDevice == toDevice) << "sent bytes differ";
    EXPECT_EQ(view.lost, 0u);
}

TEST_F(RemoteSession, AServerThatGoesAndComesBackIsReconnectedBySelf)
{
    GoOnline();
    server.reset(); // the machine serving the port went away
    ASSERT_TRUE(SpinUntil([&] { return doc.IsAwaitingPort(); }, 10000));
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("waiting for the port")))
        << doc.GetTitle().toStdString();
    ASSERT_EQ(alerts.Messages().size(), 1);
    EXPECT_TRUE(alerts.Messages().front().contains(QStringLiteral("no longer available")));

    // Attempts while it is away fail quietly; a new server on the same
    // address brings the session back.
    for (int i = 0; i < 3; ++i)
        DrainEvents();
    server = std::make_unique<CSer2net>();
    ASSERT_TRUE(server->Error().isEmpty());
    qputenv("TRELLIUM_PORTS", "COM9=" + server->Address());
    ASSERT_TRUE(SpinUntil([&] { return doc.IsConnectionUsable() && !doc.IsAwaitingPort(); }, 20000))
        << doc.GetTitle().toStdString();
    EXPECT_EQ(alerts.Messages().size(), 1)
        << alerts.Messages().join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(server->Pty().WriteToMaster("back\r\n"));
    EXPECT_TRUE(SpinUntil([&] { return view.received.endsWith("back\r\n"); }));
}

} // namespace
