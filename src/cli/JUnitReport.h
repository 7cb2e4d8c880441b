#pragma once
#include <QByteArray>
#include <QString>
#include <vector>

// One expectation of a run as a JUnit test case.
struct CJUnitCase
{
    enum class Outcome
    {
        Passed,
        Failed,  // timed out, or the run was interrupted while it waited
        Skipped, // never looked for: an earlier one failed
    };
    QString name;
    Outcome outcome = Outcome::Skipped;
    double seconds = 0;
    QString message; // why it failed
    QString detail;  // the last bytes received, as a data string
};

// Writes the cases as a JUnit XML report (one <testsuite> in <testsuites>),
// replacing `path` whole or leaving it as it was. Returns an empty string, or
// why the file could not be written.
QString WriteJUnitReport(const QString& path, const QString& suiteName,
                         const std::vector<CJUnitCase>& cases);
