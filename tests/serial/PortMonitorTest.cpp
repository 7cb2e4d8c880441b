// The hot-plug monitor against the system's real device events: a "change"
// event asked of the kernel for a tty device (writing to its uevent file, as
// the device manager's trigger does) reaches the monitor through the event
// loop, as one call for the batch. Where this machine cannot produce such an
// event (not root, a read-only /sys) or the kernel's events never reach this
// process (a separate network namespace, as in some containers), which the
// test checks on the kernel's own socket, it says so and skips.
//
// Writing to a uevent file makes the host's device manager rerun its rules
// for that device, so the test only does it when asked to: set
// TRELLIUM_TEST_UEVENT=1 on a machine where that is harmless.
#include "serial/PortMonitor.h"
#include "platform/UniqueFd.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Asks the kernel to announce a "change" of a tty device; false when it may not.
bool TriggerTtyChange()
{
    for (const char* path : {"/sys/class/tty/ptmx/uevent", "/sys/class/tty/tty/uevent",
                             "/sys/class/tty/console/uevent"}) {
        QFile uevent(QString::fromLatin1(path));
        if (uevent.open(QIODevice::WriteOnly) && uevent.write("change\n") > 0)
            return true;
    }
    return false;
}

// The kernel's own event socket, read directly: whether a tty event reached
// this process at all, whatever the monitor makes of it.
class CKernelEvents
{
public:
    CKernelEvents() : m_fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT))
    {
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = 1; // the kernel's broadcast
        if (m_fd.IsValid() &&
            ::bind(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            m_fd.Reset();
    }
    bool IsOpen() const { return m_fd.IsValid(); }
    bool SawTtyEvent(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            pollfd wait{m_fd.Get(), POLLIN, 0};
            if (::poll(&wait, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                return false;
            char message[8192];
            const ssize_t n = ::recv(m_fd.Get(), message, sizeof message - 1, 0);
            if (n <= 0)
                return false;
            // NUL-separated KEY=value fields after the header line.
            if (QByteArray(message, static_cast<int>(n))
                    .contains(QByteArray("SUBSYSTEM=tty\0", 14)))
                return true;
        }
        return false;
    }

private:
    UniqueFd m_fd;
};

TEST(PortMonitor, ReportsARealTtyDeviceEvent)
{
    if (qgetenv("TRELLIUM_TEST_UEVENT") != "1")
        GTEST_SKIP() << "asks the host's own tty devices for events; "
                        "set TRELLIUM_TEST_UEVENT=1 to run it";
    int calls = 0;
    const std::unique_ptr<CPortMonitor> monitor = CPortMonitor::Start([&calls] { ++calls; });
    if (!monitor)
        GTEST_SKIP() << "device events cannot be watched on this machine";
    CKernelEvents kernel;
    if (!kernel.IsOpen() || geteuid() != 0 || !TriggerTtyChange())
        GTEST_SKIP() << "this machine does not let the test ask for a device event";
    if (!kernel.SawTtyEvent(3000))
        GTEST_SKIP() << "the kernel's device events do not reach this process "
                        "(a separate network namespace)";
    // The kernel delivered it: the monitor must report it, once for the batch.
    EXPECT_TRUE(QTest::qWaitFor([&calls] { return calls > 0; }, 3000));
    EXPECT_EQ(calls, 1);
}

} // namespace
