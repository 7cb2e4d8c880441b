// trellium-cli run as a scripted device test: --expect against a loopback
// peer that plays the device, met across chunks, timed out, interrupted, a
// --send that waits for the expectation before it, and the JUnit report read
// back as a CI system reads it.
#include "CliRunner.h"
#include "NetTestSupport.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <csignal>

namespace {

// One <testcase> of a report.
struct CReportCase
{
    QString name;
    double seconds = -1;
    QString outcome = QStringLiteral("passed"); // or failure, skipped
    QString message;
    QString detail;
};

// Reads a JUnit report; fails the test when it is not well-formed or the
// counts of its suite disagree with its cases.
std::vector<CReportCase> ReadReport(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QXmlStreamReader xml(&file);
    std::vector<CReportCase> cases;
    int tests = -1;
    int failures = -1;
    int skipped = -1;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto attribute = [&xml](const char* name) {
            return xml.attributes().value(QLatin1String(name)).toString();
        };
        if (xml.name() == QLatin1String("testsuite")) {
            tests = attribute("tests").toInt();
            failures = attribute("failures").toInt();
            skipped = attribute("skipped").toInt();
        } else if (xml.name() == QLatin1String("testcase")) {
            bool ok = false;
            CReportCase c;
            c.name = attribute("name");
            c.seconds = attribute("time").toDouble(&ok);
            cases.push_back(c);
            EXPECT_TRUE(ok);
        } else if (xml.name() == QLatin1String("failure")) {
            cases.back().outcome = QStringLiteral("failure");
            cases.back().message = attribute("message");
            cases.back().detail = xml.readElementText();
        } else if (xml.name() == QLatin1String("skipped")) {
            cases.back().outcome = QStringLiteral("skipped");
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(tests, static_cast<int>(cases.size()));
    EXPECT_EQ(failures, std::count_if(cases.begin(), cases.end(), [](const CReportCase& c) {
                  return c.outcome == QLatin1String("failure");
              }));
    EXPECT_EQ(skipped, std::count_if(cases.begin(), cases.end(), [](const CReportCase& c) {
                  return c.outcome == QLatin1String("skipped");
              }));
    return cases;
}

class CliExpect : public CliTest
{
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        m_listener = ListenOnLoopback(m_port);
        CSessionContext context;
        CTrelliumDoc doc(context);
        doc.SelectPort(PortIdTcpClient);
        doc.EditInfo()->m_nNetworkPort = m_port;
        doc.EditInfo()->m_strAddress = "127.0.0.1";
        m_session = m_dir.filePath(QStringLiteral("device.trw"));
        ASSERT_TRUE(doc.OnSaveDocument(m_session));
        m_report = m_dir.filePath(QStringLiteral("report.xml"));
    }

    // Starts a run of the session and takes its connection as the device.
    void Start(const QStringList& options)
    {
        m_process.start(m_cli, QStringList{QStringLiteral("run"), m_session} + options);
        ASSERT_TRUE(m_process.waitForStarted());
        m_device = AcceptOne(m_listener.Get());
        ASSERT_TRUE(m_device.IsValid());
    }
    // The device sends `bytes` and waits until the run has printed them, so
    // that the next bytes come in a chunk of their own.
    void Say(const QByteArray& bytes, const QByteArray& printed)
    {
        SendAll(m_device.Get(), bytes);
        ASSERT_TRUE(SpinUntil([&] { return Out().endsWith(printed); })) << Out().constData();
    }
    int Finished()
    {
        EXPECT_TRUE(m_process.waitForFinished(10000));
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QByteArray Out() { return m_out += m_process.readAllStandardOutput(); }
    QByteArray Err() { return m_err += m_process.readAllStandardError(); }

    QTemporaryDir m_dir;
    uint16_t m_port = 0;
    UniqueFd m_listener;
    UniqueFd m_device;
    QString m_session;
    QString m_report;
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

TEST_F(CliExpect, SendsWaitForTheirExpectationsWhichMatchAcrossChunks)
{
    // DONE with its SUM checksum byte: 44+4F+4E+45 = 0x126, so '&'.
    Start({QStringLiteral("--expect"), QStringLiteral("READY^M^J"), QStringLiteral("--send"),
           QStringLiteral("GO^M"), QStringLiteral("--expect"),
           QStringLiteral("~|CHK-SUM|~DONE~|CHK-OUT|~"), QStringLiteral("--report"), m_report});

    // Half of the first expectation: the send still waits.
    Say("boot\r\nREADY\r", "boot[CR][LF]READY[CR]");
    char early = 0;
    EXPECT_FALSE(
        SpinUntil([&] { return Platform::Receive(m_device.Get(), &early, 1).count > 0; }, 200));
    // The rest of it, in a chunk of its own, lets the send go.
    Say("\n", "[LF]");
    EXPECT_EQ(ReceiveBytes(m_device.Get(), 3), QByteArray("GO\r"));
    // The second expectation split three ways; its checksum byte last.
    Say("DO", "DO");
    Say("NE", "NE");
    ASSERT_EQ(m_process.state(), QProcess::Running);
    SendAll(m_device.Get(), "&");
    EXPECT_EQ(Finished(), 0) << Err().constData();
    EXPECT_EQ(Out(), QByteArray("boot[CR][LF]READY[CR][LF]DONE&"));
    EXPECT_EQ(Err(), QByteArray());

    const std::vector<CReportCase> cases = ReadReport(m_report);
    ASSERT_EQ(cases.size(), 2u);
    EXPECT_EQ(cases[0].name, QStringLiteral("expect READY^M^J"));
    EXPECT_EQ(cases[1].name, QStringLiteral("expect ~|CHK-SUM|~DONE~|CHK-OUT|~"));
    for (const CReportCase& c : cases) {
        EXPECT_EQ(c.outcome, QStringLiteral("passed"));
        EXPECT_GE(c.seconds, 0);
        EXPECT_LT(c.seconds, 10);
    }
}

TEST_F(CliExpect, ATimeoutFailsTheRunNamingItAndWhatCameInstead)
{
    Start({QStringLiteral("--expect"), QStringLiteral("OK"), QStringLiteral("--timeout"),
           QStringLiteral("0.3"), QStringLiteral("--expect"), QStringLiteral("NEVER"),
           QStringLiteral("--send"), QStringLiteral("late"), QStringLiteral("--expect"),
           QStringLiteral("AFTER"), QStringLiteral("--report"), m_report});
    SendAll(m_device.Get(), "OK then 100% ^\xff\r\n");
    EXPECT_EQ(Finished(), 1);
    EXPECT_EQ(Err(), QByteArray("trellium-cli: run: --expect \"NEVER\" timed out after 0.3 s; last "
                                "bytes received: \"OK then 100%% ^^%FF^M^J\"\n"));
    // The send after the failed expectation never went.
    char byte = 0;
    EXPECT_EQ(Platform::Receive(m_device.Get(), &byte, 1).count, 0u);

    const std::vector<CReportCase> cases = ReadReport(m_report);
    ASSERT_EQ(cases.size(), 3u);
    EXPECT_EQ(cases[0].outcome, QStringLiteral("passed"));
    EXPECT_EQ(cases[1].outcome, QStringLiteral("failure"));
    EXPECT_EQ(cases[1].message, QStringLiteral("timed out after 0.3 s"));
    EXPECT_EQ(cases[1].detail, QStringLiteral("last bytes received: \"OK then 100%% ^^%FF^M^J\""));
    EXPECT_GE(cases[1].seconds, 0.3);
    EXPECT_EQ(cases[2].outcome, QStringLiteral("skipped"));
}

TEST_F(CliExpect, AnInterruptedWaitFailsTheRun)
{
    Start({QStringLiteral("--expect"), QStringLiteral("prompt>"), QStringLiteral("--report"),
           m_report});
    Say("no prompt yet", "no prompt yet");
    ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
    EXPECT_EQ(Finished(), 1);
    EXPECT_TRUE(Err().contains("--expect \"prompt>\" interrupted while waiting; last bytes "
                               "received: \"no prompt yet\""))
        << Err().constData();
    const std::vector<CReportCase> cases = ReadReport(m_report);
    ASSERT_EQ(cases.size(), 1u);
    EXPECT_EQ(cases[0].outcome, QStringLiteral("failure"));
}

TEST_F(CliExpect, UsageErrorsAreRefusedBeforeTheRun)
{
    const QString x = QStringLiteral("x.trw");
    const QString expect = QStringLiteral("--expect");
    const std::vector<std::pair<QStringList, const char*>> refused = {
        {{x, expect, QString()}, "stands for no bytes"},
        {{x, expect, QStringLiteral("50%")}, "refused --expect \"50%\""},
        {{x, expect, QStringLiteral("*/etc/passwd")}, "names a file"},
        {{x, QStringLiteral("--timeout"), QStringLiteral("0"), expect, QStringLiteral("a")},
         "--timeout needs"},
        {{x, QStringLiteral("--timeout"), QStringLiteral("nan"), expect, QStringLiteral("a")},
         "--timeout needs"},
        {{x, expect, QStringLiteral("a"), QStringLiteral("--timeout"), QStringLiteral("5")},
         "none follows"},
        {{x, QStringLiteral("--report"), QStringLiteral("r.xml")}, "there are none"},
        {{x, expect}, "--expect needs a value"},
    };
    for (const auto& [args, why] : refused) {
        const CliResult run = RunCli(QStringList{QStringLiteral("run")} + args);
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(why)) << run.err.constData();
    }
}

} // namespace
