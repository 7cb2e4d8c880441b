#include "cli/ExpectRunner.h"

#include "cli/Commands.h"
#include "send/DataString.h"
#include "send/TerminalText.h"

#include <cmath>

namespace {

constexpr double kMaxTimeoutSeconds = 1e9;

// The expectation as typed, with any control character the shell let through
// shown in caret notation (a report must stay valid XML).
QString ExpectName(const QByteArray& typed)
{
    QString name = QString::fromUtf8(typed);
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c < 0x20 || c == 0x7F)
            name.replace(i, 1, QString::fromLatin1(DataStringNotation(QByteArray(1, char(c)))));
    }
    return name;
}

QString Quoted(const QString& text)
{
    return QStringLiteral("\"%1\"").arg(text);
}

} // namespace

bool CExpectRunner::TakesOption(const QString& arg)
{
    return arg == QLatin1String("--expect") || arg == QLatin1String("--timeout") ||
           arg == QLatin1String("--report");
}

QString CExpectRunner::AddOption(const QString& arg, const QByteArray& value, size_t actionsBefore)
{
    if (arg == QLatin1String("--report")) {
        m_report = QString::fromLocal8Bit(value);
        if (m_report.isEmpty())
            return QStringLiteral("run: --report needs a file name");
        return {};
    }
    if (arg == QLatin1String("--timeout")) {
        bool ok = false;
        const double seconds = value.toDouble(&ok);
        const double ms = std::round(seconds * 1000);
        if (!ok || !std::isfinite(seconds) || ms < 1 || seconds > kMaxTimeoutSeconds)
            return QStringLiteral("run: --timeout needs a number of seconds from 0.001 to %1, "
                                  "not '%2'")
                .arg(kMaxTimeoutSeconds, 0, 'f', 0)
                .arg(QString::fromLocal8Bit(value));
        m_timeoutMs = static_cast<int64_t>(ms);
        m_bTimeoutUsed = false;
        return {};
    }

    CExpect expect;
    expect.text = ExpectName(value);
    expect.timeoutMs = m_timeoutMs.value_or(kDefaultTimeoutMs);
    expect.actionsBefore = actionsBefore;
    QByteArray text;
    QString error;
    if (!TerminalBytes(value, text, error))
        return QStringLiteral("run: refused --expect %1: %2").arg(Quoted(expect.text), error);
    // A file reference would read a file where bytes to wait for are meant.
    if (text.startsWith('*'))
        return QStringLiteral("run: --expect %1 names a file; write a leading * as %%2A")
            .arg(Quoted(expect.text));
    // Expectations share one checksum state of their own, in order, as the
    // strings of `encode` do.
    try {
        EncodeDataString(text, m_checksum, [&expect](const char* bytes, int count) {
            expect.bytes.append(bytes, count);
        });
    } catch (const CDataStringError& e) {
        return QStringLiteral("run: refused --expect %1: %2")
            .arg(Quoted(expect.text), QString::fromLatin1(e.what()));
    }
    if (expect.bytes.isEmpty())
        return QStringLiteral("run: --expect %1 stands for no bytes").arg(Quoted(expect.text));
    m_expects.push_back(std::move(expect));
    m_bTimeoutUsed = true;
    return {};
}

QString CExpectRunner::CheckOptions() const
{
    if (!m_bTimeoutUsed)
        return QStringLiteral("run: --timeout sets the time of the --expect options after it, "
                              "and none follows");
    if (!m_report.isEmpty() && m_expects.empty())
        return QStringLiteral("run: --report lists the --expect options, and there are none");
    return {};
}

void CExpectRunner::Start(const QString& suiteName, size_t actionCount, bool waitForSeconds,
                          std::function<void(int)> end)
{
    m_bWaitForSeconds = waitForSeconds;
    m_suite = suiteName;
    m_actionCount = actionCount;
    m_end = std::move(end);
    m_cases.resize(m_expects.size());
    for (size_t i = 0; i < m_expects.size(); ++i)
        m_cases[i].name = QStringLiteral("expect %1").arg(m_expects[i].text);
    StartClock();
}

size_t CExpectRunner::ActionsAllowed(size_t actionCount) const
{
    return m_next < m_expects.size() ? m_expects[m_next].actionsBefore : actionCount;
}

void CExpectRunner::OnActed(size_t acted, bool drained)
{
    // A run without expectations ends as it always did.
    if (!IsScripted() || m_bEnded)
        return;
    m_acted = acted;
    m_bDrained = drained;
    Match();
    EndIfDone();
}

void CExpectRunner::OnBytes(const QByteArray& bytes)
{
    if (m_bEnded)
        return;
    m_stream.Append(bytes);
    Match();
    EndIfDone();
}

void CExpectRunner::OnSecondsPassed()
{
    m_bWaitForSeconds = false;
    EndIfDone();
}

void CExpectRunner::OnInterrupted()
{
    if (m_bEnded)
        return;
    if (m_next < m_expects.size()) {
        Fail(QStringLiteral("interrupted while waiting"));
        return;
    }
    End(0);
}

void CExpectRunner::Match()
{
    // An expectation is looked for once every action before it acted; the
    // bytes that came meanwhile are kept for it.
    while (!m_bEnded && m_next < m_expects.size() && m_acted >= m_expects[m_next].actionsBefore &&
           m_stream.Take(m_expects[m_next].bytes)) {
        CJUnitCase& done = m_cases[m_next];
        done.outcome = CJUnitCase::Outcome::Passed;
        done.seconds = static_cast<double>(m_elapsed.nsecsElapsed()) / 1e9;
        ++m_next;
        StartClock();
    }
}

void CExpectRunner::StartClock()
{
    m_clock.Stop();
    if (m_next >= m_expects.size())
        return;
    m_elapsed.start();
    m_clock.Start(m_expects[m_next].timeoutMs);
}

void CExpectRunner::OnTimeout()
{
    Fail(QStringLiteral("timed out after %1 s")
             .arg(static_cast<double>(m_expects[m_next].timeoutMs) / 1000.0));
}

void CExpectRunner::Fail(const QString& message)
{
    const QByteArray tail = m_stream.Tail();
    CJUnitCase& failed = m_cases[m_next];
    failed.outcome = CJUnitCase::Outcome::Failed;
    failed.seconds = static_cast<double>(m_elapsed.nsecsElapsed()) / 1e9;
    failed.message = message;
    failed.detail = tail.isEmpty()
                        ? QStringLiteral("nothing was received")
                        : QStringLiteral("last bytes received: %1")
                              .arg(Quoted(QString::fromLatin1(DataStringNotation(tail))));
    PrintError(QStringLiteral("run: --expect %1 %2; %3")
                   .arg(Quoted(m_expects[m_next].text), message, failed.detail));
    End(1);
}

void CExpectRunner::EndIfDone()
{
    if (!m_bEnded && m_next == m_expects.size() && m_acted == m_actionCount && m_bDrained &&
        !m_bWaitForSeconds)
        End(0);
}

void CExpectRunner::End(int status)
{
    m_bEnded = true;
    m_clock.Stop();
    if (!m_report.isEmpty()) {
        const QString problem = WriteJUnitReport(m_report, m_suite, m_cases);
        if (!problem.isEmpty()) {
            PrintError(
                QStringLiteral("run: cannot write the report %1: %2").arg(m_report, problem));
            status = 1;
        }
    }
    m_end(status);
}
