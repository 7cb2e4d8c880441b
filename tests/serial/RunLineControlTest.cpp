// `trellium-cli run` drives a serial line's DTR, RTS and break in the order
// its options come with the sends, on a pseudo-terminal playing the device.
#include "CliRunner.h"
#include "PtyPair.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QTemporaryDir>

namespace {

class RunLineControl : public CliTest
{
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(pty.IsOpen());
        qputenv("TRELLIUM_PORTS", "COM7=" + pty.SlavePath().toLocal8Bit());
        CSessionContext context;
        CTrelliumDoc doc(context);
        doc.SelectPort(6); // COM7
        path = dir.filePath(QStringLiteral("bench.trw"));
        ASSERT_TRUE(doc.OnSaveDocument(path));
    }
    void TearDown() override { qunsetenv("TRELLIUM_PORTS"); }

    CPtyPair pty;
    QTemporaryDir dir;
    QString path;
};

TEST_F(RunLineControl, LineOptionsActInOrderWithTheSends)
{
    const CliResult run =
        RunCli({QStringLiteral("run"), path, QStringLiteral("--seconds"), QStringLiteral("1"),
                QStringLiteral("--send"), QStringLiteral("one"), QStringLiteral("--break"),
                QStringLiteral("100"), QStringLiteral("--send"), QStringLiteral("two"),
                QStringLiteral("--dtr"), QStringLiteral("off"), QStringLiteral("--send"),
                QStringLiteral("three")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(pty.ReadFromMaster(11), QByteArray("onetwothree"));
    // A pseudo-terminal has no DTR: said by name, and the run goes on.
    EXPECT_TRUE(run.err.contains("cannot set DTR and RTS on " + pty.SlavePath().toLocal8Bit()))
        << run.err.toStdString();
}

TEST_F(RunLineControl, BadLineValuesAreUsageErrors)
{
    for (const QStringList& bad :
         {QStringList{QStringLiteral("--dtr"), QStringLiteral("maybe")},
          QStringList{QStringLiteral("--rts"), QStringLiteral("1")},
          QStringList{QStringLiteral("--break"), QStringLiteral("0")},
          QStringList{QStringLiteral("--break"), QStringLiteral("99999")}}) {
        const CliResult run = RunCli(QStringList{QStringLiteral("run"), path} + bad);
        EXPECT_EQ(run.exitCode, 2) << bad.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

} // namespace
