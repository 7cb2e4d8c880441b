// `trellium-cli run` on a COM number mapped to a served remote port: line
// control and sends in order, an expectation met by the device's answer,
// and a port that cannot be reached said on standard error.
#include "CliRunner.h"
#include "Ser2net.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QTemporaryDir>
#include <thread>

namespace {

class RunRemote : public CliTest
{
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(server.Error().isEmpty()) << server.Error().toStdString();
        qputenv("TRELLIUM_PORTS", "COM9=" + server.Address());
        CSessionContext context;
        CTrelliumDoc doc(context);
        doc.SelectPort(8); // COM9
        path = dir.filePath(QStringLiteral("remote.trw"));
        ASSERT_TRUE(doc.OnSaveDocument(path));
    }
    void TearDown() override { qunsetenv("TRELLIUM_PORTS"); }

    CSer2net server;
    QTemporaryDir dir;
    QString path;
};

TEST_F(RunRemote, SendsLineControlAndExpectationsReachTheDevice)
{
    // The device answers "pong" once it has heard the whole request.
    std::thread device([this] {
        if (server.Pty().ReadFromMaster(8, 20000) == QByteArray("ping\xFF\r\n", 7) + "!")
            server.Pty().WriteToMaster(QByteArray("pong\xFF\r\n", 7));
    });
    const CliResult run =
        RunCli({QStringLiteral("run"), path, QStringLiteral("--send"), QStringLiteral("ping"),
                QStringLiteral("--dtr"), QStringLiteral("off"), QStringLiteral("--break"),
                QStringLiteral("20"), QStringLiteral("--send"), QStringLiteral("%FF^M^J!"),
                QStringLiteral("--timeout"), QStringLiteral("20"), QStringLiteral("--expect"),
                QStringLiteral("pong%FF^M^J")});
    device.join();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("pong")) << run.out.toStdString();
}

TEST_F(RunRemote, APortNobodyServesIsSaid)
{
    qputenv("TRELLIUM_PORTS", "COM9=rfc2217://127.0.0.1:1");
    const CliResult run =
        RunCli({QStringLiteral("run"), path, QStringLiteral("--seconds"), QStringLiteral("1"),
                QStringLiteral("--send"), QStringLiteral("x")});
    // As for any connection that fails: said, and the run goes on to its end.
    EXPECT_TRUE(run.err.contains("Connection refused")) << run.err.toStdString();
}

} // namespace
