// The two questions users of serial tools ask most: why may I not open this
// port, and who holds it. Answered with the device's group and the command
// that fixes it, and with the program that has the port open.
#include "platform/DeviceAdvice.h"
#include "PtyPair.h"
#include "serial/Comm.h"

#include <QFile>
#include <cerrno>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(PermissionText, SaysWhatToDoForEachCase)
{
    DeviceAdvice::CGroupFacts facts;
    facts.deviceGroup = QStringLiteral("dialout");
    facts.groupCanUse = true;
    facts.user = QStringLiteral("alice");
    EXPECT_EQ(DeviceAdvice::PermissionText(facts),
              QStringLiteral("The device belongs to the group dialout, which alice is not in. "
                             "Join it with \"sudo usermod -aG dialout alice\", then log out and "
                             "in again."));
    facts.inEntry = true; // added, but this login began before
    EXPECT_TRUE(DeviceAdvice::PermissionText(facts).contains(
        QStringLiteral("after this login began: log out and in again")));
    facts.groupCanUse = false; // mode 600: the group does not help
    EXPECT_TRUE(DeviceAdvice::PermissionText(facts).startsWith(
        QStringLiteral("Only the device's owner may use it")));
}

// Run as root, the test opens the device as the unprivileged user "nobody"
// after giving it to the group dialout with mode 660, as the system does
// for serial adapters.
TEST(DeviceAdvice, APermissionFailureNamesTheGroupAndTheCommand)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become an unprivileged user";
    const group* dialout = ::getgrnam("dialout");
    if (!dialout)
        GTEST_SKIP() << "no group dialout here";
    CPtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const QByteArray path = QFile::encodeName(pty.SlavePath());
    ASSERT_EQ(::chown(path.constData(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(path.constData(), 0660), 0);
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        QByteArray report;
        const CErrorOr<std::unique_ptr<CComm>> comm = CComm::Open(pty.SlavePath());
        if (comm.IsError())
            report = (ErrorText(comm.Error()) + QLatin1Char('\n') +
                      DeviceAdvice::ForOpenFailure(pty.SlavePath(), comm.Error().ErrorNumber()) +
                      QLatin1Char('\n') +
                      (DeviceAdvice::IsForbidden(pty.SlavePath()) ? QLatin1String("forbidden")
                                                                  : QLatin1String("allowed")))
                         .toUtf8();
        [[maybe_unused]] const ssize_t written =
            ::write(channel[1], report.constData(), static_cast<size_t>(report.size()));
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray report;
    char buffer[1024];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const QList<QByteArray> lines = report.split('\n');
    ASSERT_EQ(lines.size(), 3) << report.toStdString();
    EXPECT_EQ(lines[0], "cannot open " + path + ": Permission denied");
    EXPECT_TRUE(lines[1].contains("sudo usermod -aG dialout nobody")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "forbidden");
}

TEST(DeviceAdvice, ABusyPortNamesTheProgramThatHoldsIt)
{
    CPtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    CErrorOr<std::unique_ptr<CComm>> first = CComm::Open(pty.SlavePath());
    ASSERT_FALSE(first.IsError());
    const CErrorOr<std::unique_ptr<CComm>> second = CComm::Open(pty.SlavePath());
    ASSERT_TRUE(second.IsError());
    ASSERT_EQ(second.Error().ErrorNumber(), EBUSY);
    const QString advice = DeviceAdvice::ForOpenFailure(pty.SlavePath(), EBUSY);
    EXPECT_TRUE(advice.startsWith(QStringLiteral("It is held by ")));
    EXPECT_TRUE(advice.contains(QStringLiteral("(process %1)").arg(::getpid())))
        << advice.toStdString();
}

} // namespace
