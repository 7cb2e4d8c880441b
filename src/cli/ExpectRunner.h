#pragma once
#include "cli/ExpectStream.h"
#include "cli/JUnitReport.h"
#include "cli/RunDeadline.h"
#include "send/DataString.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The scripted part of `trellium-cli run`: --expect, --timeout and --report.
// The run's --send and --press options (its actions) and the expectations act
// in command-line order: an action waits until every expectation before it
// was met. Each expectation has its time (--timeout, 10 s unless given),
// counted from when the one before it was met, or from the start of the run
// for the first, so that a send waiting for its connection counts too. The
// run ends with status 0 once everything acted (and --seconds, when given,
// has passed), or with 1 as soon as an expectation timed out.
// User-interface thread only.
class CExpectRunner
{
public:
    static constexpr int64_t kDefaultTimeoutMs = 10000;

    // --- the command line ---------------------------------------------------
    // Whether `arg` is one of this runner's options (each takes a value).
    static bool TakesOption(const QString& arg);
    // Takes one option with its value; `actionsBefore` is how many --send and
    // --press options came before it. Returns a usage error, or an empty text.
    QString AddOption(const QString& arg, const QByteArray& value, size_t actionsBefore);
    // After the last option: a usage error for options that would do nothing.
    QString CheckOptions() const;
    // True when the run has expectations: it then ends by itself.
    bool IsScripted() const { return !m_expects.empty(); }

    // --- the run --------------------------------------------------------------
    // Starts the first expectation's clock. `end` is called once, with the
    // run's exit status, after the report was written. With `waitForSeconds`
    // the run also waits for OnSecondsPassed before it ends well.
    void Start(const QString& suiteName, size_t actionCount, bool waitForSeconds,
               std::function<void(int)> end);
    // How many of the actions may have acted by now.
    size_t ActionsAllowed(size_t actionCount) const;
    // `acted` actions acted so far; `drained` when what they sent went out.
    void OnActed(size_t acted, bool drained);
    void OnBytes(const QByteArray& bytes);
    // --seconds passed: the run may end once everything acted.
    void OnSecondsPassed();
    // A termination signal: ends the run now.
    void OnInterrupted();

private:
    struct CExpect
    {
        QString text;     // as given, for messages and the report
        QByteArray bytes; // what is looked for
        int64_t timeoutMs = kDefaultTimeoutMs;
        size_t actionsBefore = 0;
    };

    void Match();
    void StartClock();
    void OnTimeout();
    void Fail(const QString& message);
    void EndIfDone();
    void End(int status);

    std::vector<CExpect> m_expects;
    std::vector<CJUnitCase> m_cases;
    std::optional<int64_t> m_timeoutMs; // the last --timeout
    bool m_bTimeoutUsed = true;         // by an --expect after it
    QString m_report;
    ChecksumState m_checksum;
    QString m_suite;

    std::function<void(int)> m_end;
    CExpectStream m_stream;
    CRunDeadline m_clock{[this] { OnTimeout(); }};
    QElapsedTimer m_elapsed;
    size_t m_next = 0; // the expectation looked for
    size_t m_actionCount = 0;
    size_t m_acted = 0;
    bool m_bDrained = true;
    bool m_bWaitForSeconds = false;
    bool m_bEnded = false;
};
