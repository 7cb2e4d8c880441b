// Errors at the platform boundary: values naming what failed and why, with
// the system's own text, from real failing calls.
#include "platform/PlatformError.h"
#include "platform/FileIo.h"
#include "serial/PortNames.h"

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(PlatformErrorValue, SuccessHasNoTextAndAnErrorReadsContextThenCause)
{
    EXPECT_FALSE(CPlatformError().IsError());
    EXPECT_TRUE(ErrorText(CPlatformError()).isEmpty());
    EXPECT_FALSE(CPlatformError(0, QStringLiteral("cannot open /x")).IsError());

    const CPlatformError busy(EBUSY, QStringLiteral("cannot open /dev/ttyUSB0"));
    EXPECT_TRUE(busy.IsError());
    EXPECT_EQ(ErrorText(busy), QStringLiteral("cannot open /dev/ttyUSB0: Device or resource busy"));
    EXPECT_EQ(ErrorText(CPlatformError(ENOENT, QString())),
              QStringLiteral("No such file or directory"));
    EXPECT_EQ(SystemErrorText(EISDIR), QStringLiteral("Is a directory"));
}

TEST(PlatformErrorValue, ErrorOrHoldsEitherTheValueOrTheError)
{
    CErrorOr<int> value(7);
    ASSERT_FALSE(value.IsError());
    EXPECT_EQ(value.Value(), 7);
    EXPECT_FALSE(value.Error().IsError());

    CErrorOr<int> failed(CPlatformError(EACCES, QStringLiteral("cannot open /y")));
    EXPECT_TRUE(failed.IsError());
    EXPECT_EQ(failed.Error().ErrorNumber(), EACCES);
}

// Appending to a capture file: a missing folder, a folder as the target and
// a second holder are each told apart by the path and the system's reason.
TEST(AppendExclusiveErrors, NameThePathAndTheSystemReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("no-such-folder/cap.txt"));
    CErrorOr<UniqueFd> gone = Platform::OpenAppendExclusive(missing);
    ASSERT_TRUE(gone.IsError());
    EXPECT_EQ(gone.Error().ErrorNumber(), ENOENT);
    EXPECT_EQ(ErrorText(gone.Error()),
              QStringLiteral("cannot open %1: No such file or directory").arg(missing));

    CErrorOr<UniqueFd> folder = Platform::OpenAppendExclusive(dir.path());
    ASSERT_TRUE(folder.IsError());
    EXPECT_EQ(ErrorText(folder.Error()),
              QStringLiteral("cannot open %1: Is a directory").arg(dir.path()));

    const QString path = dir.filePath(QStringLiteral("cap.txt"));
    CErrorOr<UniqueFd> first = Platform::OpenAppendExclusive(path);
    ASSERT_FALSE(first.IsError()) << ErrorText(first.Error()).toStdString();
    EXPECT_TRUE(first.Value().IsValid());
    CErrorOr<UniqueFd> second = Platform::OpenAppendExclusive(path);
    ASSERT_TRUE(second.IsError());
    EXPECT_TRUE(ErrorText(second.Error()).startsWith(QStringLiteral("cannot lock %1: ").arg(path)));
    EXPECT_FALSE(Platform::WriteAll(first.Value().Get(), "abc", 3).IsError());
}

// A FIFO would hold the open until a reader comes and a device takes the
// bytes elsewhere: both are refused at once, with a reader waiting or not.
TEST(AppendExclusiveErrors, FifoAndDeviceAreRefusedWithoutWaiting)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString notRegular = QStringLiteral("cannot open %1: it is not a regular file");

    CErrorOr<UniqueFd> alone = Platform::OpenAppendExclusive(fifo);
    ASSERT_TRUE(alone.IsError());
    EXPECT_EQ(ErrorText(alone.Error()), notRegular.arg(fifo));

    const UniqueFd reader(
        ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(reader.IsValid());
    CErrorOr<UniqueFd> read = Platform::OpenAppendExclusive(fifo);
    ASSERT_TRUE(read.IsError());
    EXPECT_EQ(ErrorText(read.Error()), notRegular.arg(fifo));

    CErrorOr<UniqueFd> device = Platform::OpenAppendExclusive(QStringLiteral("/dev/null"));
    ASSERT_TRUE(device.IsError());
    EXPECT_EQ(CauseText(device.Error()), QStringLiteral("it is not a regular file"));
}

// Reading an outside file whole: only a regular file opens, and it opens
// ready for blocking reads; a FIFO without a writer, an endless device and a
// folder are each refused at once, naming the path.
TEST(RegularFileForReading, OnlyARegularFileOpensAndNothingWaits)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plain = dir.filePath(QStringLiteral("session.trw"));
    {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("abc");
    }
    CErrorOr<UniqueFd> opened = Platform::OpenRegularForReading(QFile::encodeName(plain));
    ASSERT_FALSE(opened.IsError()) << ErrorText(opened.Error()).toStdString();
    EXPECT_EQ(::fcntl(opened.Value().Get(), F_GETFL) & O_NONBLOCK, 0);
    char bytes[4] = {};
    EXPECT_EQ(::read(opened.Value().Get(), bytes, sizeof bytes), 3);

    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString notRegular = QStringLiteral("cannot open %1: it is not a regular file");
    for (const QString& path : {fifo, QStringLiteral("/dev/zero"), dir.path()}) {
        CErrorOr<UniqueFd> refused = Platform::OpenRegularForReading(QFile::encodeName(path));
        ASSERT_TRUE(refused.IsError()) << path.toStdString();
        EXPECT_EQ(ErrorText(refused.Error()), notRegular.arg(path));
    }

    const QString missing = dir.filePath(QStringLiteral("absent.trw"));
    CErrorOr<UniqueFd> gone = Platform::OpenRegularForReading(QFile::encodeName(missing));
    ASSERT_TRUE(gone.IsError());
    EXPECT_EQ(ErrorText(gone.Error()),
              QStringLiteral("cannot open %1: No such file or directory").arg(missing));
}

TEST(AppendExclusiveErrors, WriteToAClosedDescriptorIsReported)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    ::close(fds[1]);
    const CPlatformError error = Platform::WriteAll(fds[1], "x", 1);
    EXPECT_EQ(error.ErrorNumber(), EBADF);
    EXPECT_EQ(ErrorText(error), QStringLiteral("cannot write: Bad file descriptor"));
}

// Probing a serial port names the device and says why it is not free.
class SerialProbe : public ::testing::Test
{
protected:
    void TearDown() override { qunsetenv("TRELLIUM_PORTS"); }
};

TEST_F(SerialProbe, MissingDeviceIsNamed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString device = dir.filePath(QStringLiteral("ttyGone"));
    qputenv("TRELLIUM_PORTS", (QStringLiteral("COM4=") + device).toLocal8Bit());
    const CPlatformError error = PortNames::CanOpen(4);
    EXPECT_EQ(ErrorText(error),
              QStringLiteral("cannot open %1: No such file or directory").arg(device));
}

TEST_F(SerialProbe, PortHeldExclusivelyIsBusyAndAFreeOneOpens)
{
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    qputenv("TRELLIUM_PORTS", QByteArray("COM2=") + name);
    EXPECT_FALSE(PortNames::CanOpen(2).IsError()) << ErrorText(PortNames::CanOpen(2)).toStdString();

    ASSERT_EQ(::ioctl(slave, TIOCEXCL), 0);
    EXPECT_EQ(ErrorText(PortNames::CanOpen(2)),
              QStringLiteral("cannot open %1: Device or resource busy")
                  .arg(QString::fromLocal8Bit(name)));
    ::close(slave);
    ::close(master);
}

} // namespace
