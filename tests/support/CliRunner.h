#pragma once
// Runs the real trellium-cli, whose path CTest passes in TRELLIUM_CLI; the
// tests that need it are skipped when it is not set.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

struct CliResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_cli = qEnvironmentVariable("TRELLIUM_CLI");
        if (m_cli.isEmpty())
            GTEST_SKIP() << "TRELLIUM_CLI is not set";
    }

    CliResult RunCli(const QStringList& args, const QByteArray& input = {}) const
    {
        QProcess process;
        process.start(m_cli, args);
        EXPECT_TRUE(process.waitForStarted());
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    QString m_cli;
};
