// "*path" data strings: a regular file goes out in 512-byte blocks; anything
// else sends nothing, returns at once and says why, naming the file.
#include "send/FileReference.h"
#include "send/DataString.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct FileSend
{
    EncodeResult result;
    std::vector<QByteArray> calls;
};

FileSend Encode(const QByteArray& text)
{
    ChecksumState state;
    FileSend send;
    send.result = EncodeDataString(text, state, [&send](const char* data, int count) {
        send.calls.emplace_back(data, count);
    });
    EXPECT_EQ(state.method, ChecksumState::None);
    return send;
}

FileSend EncodeFile(const QString& path)
{
    return Encode("*" + QFile::encodeName(path));
}

QByteArray WriteFile(const QString& path, qsizetype size)
{
    // A token and a trailing percent sign in the content are not read.
    QByteArray content = QByteArray("~|CHK-LRC|~%41%").left(size);
    while (content.size() < size)
        content.append(static_cast<char>(content.size() * 7 + 3));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(content), content.size());
    return content;
}

std::vector<qsizetype> Sizes(const std::vector<QByteArray>& calls)
{
    std::vector<qsizetype> sizes;
    for (const QByteArray& call : calls)
        sizes.push_back(call.size());
    return sizes;
}

QByteArray Joined(const std::vector<QByteArray>& calls)
{
    QByteArray joined;
    for (const QByteArray& call : calls)
        joined += call;
    return joined;
}

struct BlocksCase
{
    qsizetype size;
    std::vector<qsizetype> blocks;
};

class FileBlocks : public ::testing::TestWithParam<BlocksCase>
{
};

// One transmit per block as read; the first short block ends the send, so a
// file of whole blocks ends on an empty read that transmits nothing.
TEST_P(FileBlocks, RegularFileGoesOutInBlocksAsRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("data%"));
    const QByteArray content = WriteFile(path, GetParam().size);
    const FileSend send = EncodeFile(path);
    EXPECT_EQ(send.result.kind, EncodeResult::Kind::FileSent);
    EXPECT_TRUE(send.result.message.isEmpty()) << send.result.message.toStdString();
    EXPECT_EQ(Sizes(send.calls), GetParam().blocks);
    EXPECT_EQ(Joined(send.calls), content);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileBlocks,
                         ::testing::Values(BlocksCase{0, {}}, BlocksCase{11, {11}},
                                           BlocksCase{512, {512}}, BlocksCase{513, {512, 1}},
                                           BlocksCase{1024, {512, 512}},
                                           BlocksCase{1300, {512, 512, 276}}));

TEST(FileNames, LatinOneAndFileSystemBytesBothFindTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("caf\u00E9"));
    WriteFile(path, 3);
    const QByteArray content = QByteArray("~|C");
    EXPECT_EQ(Encode("*" + path.toLatin1()).calls, std::vector<QByteArray>{content});
    EXPECT_EQ(Encode("*" + path.toUtf8()).calls, std::vector<QByteArray>{content});
}

// Each refused target: nothing is sent and the message names the file and
// the reason.
class FileRefused : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    void ExpectRefused(const QString& path, const QString& reason)
    {
        const FileSend send = EncodeFile(path);
        EXPECT_EQ(send.result.kind, EncodeResult::Kind::FileSent);
        EXPECT_TRUE(send.calls.empty()) << path.toStdString();
        EXPECT_EQ(send.result.message, QStringLiteral("Cannot send file %1: %2").arg(path, reason));
    }

    QTemporaryDir m_dir;
};

TEST_F(FileRefused, MissingFolderAndEmptyName)
{
    ExpectRefused(m_dir.filePath(QStringLiteral("missing")),
                  QStringLiteral("No such file or directory"));
    ExpectRefused(m_dir.path(), QStringLiteral("it is not a regular file"));
    ExpectRefused(QString(), QStringLiteral("No such file or directory"));
}

// A FIFO without a writer would block the sending thread for ever; a device
// such as /dev/zero would send for ever.
TEST_F(FileRefused, FifoAndDeviceReturnAtOnce)
{
    const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ExpectRefused(fifo, QStringLiteral("it is not a regular file"));
    ExpectRefused(QStringLiteral("/dev/zero"), QStringLiteral("it is not a regular file"));
}

TEST_F(FileRefused, LargerThanTheBoundSendsNothingAndTheBoundItselfIsSent)
{
    const QString path = m_dir.filePath(QStringLiteral("big"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kMaxFileSendBytes)); // sparse: reads as zeros
    file.close();
    const FileSend whole = EncodeFile(path);
    EXPECT_TRUE(whole.result.message.isEmpty()) << whole.result.message.toStdString();
    EXPECT_EQ(whole.calls.size(), static_cast<size_t>(kMaxFileSendBytes / 512));

    ASSERT_TRUE(file.resize(kMaxFileSendBytes + 1));
    ExpectRefused(path, QStringLiteral("it is larger than 16 MiB"));
}

// Files under /proc report no size: they are read whole (within the bound)
// before anything goes out.
TEST(ProcFiles, SizelessFileIsSentInBlocks)
{
    QFile environ(QStringLiteral("/proc/self/environ"));
    if (!environ.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "no /proc/self/environ";
    const QByteArray content = environ.readAll();
    const FileSend send = EncodeFile(environ.fileName());
    EXPECT_TRUE(send.result.message.isEmpty()) << send.result.message.toStdString();
    EXPECT_EQ(Joined(send.calls), content);
    for (size_t i = 0; i + 1 < send.calls.size(); ++i)
        EXPECT_EQ(send.calls[i].size(), 512);
}

// Reads of this file never end; the bound stops it, and nothing goes out.
TEST(ProcFiles, EndlessSizelessFileIsRefusedWithinTheBound)
{
    const QString path = QStringLiteral("/proc/self/pagemap");
    if (!QFile::exists(path))
        GTEST_SKIP() << "no " << path.toStdString();
    const FileSend send = EncodeFile(path);
    EXPECT_TRUE(send.calls.empty());
    EXPECT_EQ(send.result.message,
              QStringLiteral("Cannot send file %1: it is larger than 16 MiB").arg(path));
}

// The kernel log waits for new lines; a send reads what is there now, if
// anything, and stops with a message instead of waiting.
TEST(ProcFiles, FileThatWouldWaitReturnsAtOnceWithAMessage)
{
    const QByteArray path = "/proc/kmsg";
    const int probe = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0)
        GTEST_SKIP() << "cannot open /proc/kmsg here";
    ::close(probe);
    const FileSend send = Encode("*" + path);
    EXPECT_TRUE(send.result.message.startsWith(QStringLiteral("Cannot send file /proc/kmsg: ")))
        << send.result.message.toStdString();
}

} // namespace
