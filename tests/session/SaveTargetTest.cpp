// Saving a session over something that is not a regular file refuses and
// leaves it as it was; a symbolic link to a regular file is saved through.
#include "CliRunner.h"
#include "SessionTestSupport.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

struct stat StatOf(const QString& path)
{
    struct stat info = {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info;
}

QString Refusal(const QString& path)
{
    return QStringLiteral("Cannot save %1: it is not a regular file").arg(path);
}

class SaveTarget : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    CRecordingAlerts m_alerts;
    QTemporaryDir m_dir;
};

TEST_F(SaveTarget, FifoIsRefusedAndStaysAFifo)
{
    const QString fifo = Path("session.trw");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    CSessionContext context;
    CTrelliumDoc doc(context);
    doc.SetModifiedFlag(true);
    EXPECT_FALSE(doc.OnSaveDocument(fifo));
    EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
    EXPECT_EQ(m_alerts.Messages(), QStringList{Refusal(fifo)});
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.GetPathName().isEmpty());
}

TEST_F(SaveTarget, DeviceNodeIsRefusedAndStaysADevice)
{
    const QString node = Path("null.trw");
    if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
    CSessionContext context;
    CTrelliumDoc doc(context);
    EXPECT_FALSE(doc.OnSaveDocument(node));
    const struct stat after = StatOf(node);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, makedev(1, 3));
    EXPECT_EQ(m_alerts.Messages(), QStringList{Refusal(node)});
}

TEST_F(SaveTarget, SymbolicLinkToARegularFileIsSavedThrough)
{
    const QString target = Path("real.trw");
    const QString link = Path("link.trw");
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    ASSERT_TRUE(QFile::link(target, link));

    CSessionContext context;
    CTrelliumDoc doc(context);
    doc.EditInfo()->m_strAddress = "10.1.2.3";
    ASSERT_TRUE(doc.OnSaveDocument(link));
    EXPECT_TRUE(m_alerts.Messages().isEmpty())
        << m_alerts.Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    CTrelliumDoc reread(context);
    ASSERT_TRUE(reread.Load(saved));
    EXPECT_EQ(reread.Info().m_strAddress, QByteArray("10.1.2.3"));
}

class ResaveTarget : public CliTest
{
};

TEST_F(ResaveTarget, FifoIsRefusedWithExitOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString in = dir.filePath(QStringLiteral("in.trw"));
    {
        CSessionContext context;
        CTrelliumDoc doc(context);
        ASSERT_TRUE(doc.OnSaveDocument(in));
    }
    const QString fifo = dir.filePath(QStringLiteral("out.trw"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const CliResult r = RunCli({QStringLiteral("resave"), in, fifo});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.toStdString(), "trellium-cli: " + Refusal(fifo).toStdString() + "\n");
    EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
}

} // namespace
