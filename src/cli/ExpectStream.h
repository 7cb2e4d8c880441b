#pragma once
#include <QByteArray>

// The received bytes that `run --expect` looks through. Expectations are met
// in order: each is looked for in what arrived after the previous one's match
// (or since the run started), wherever the chunks that carried it were cut.
// Memory stays bounded: bytes that can no longer begin a match are dropped,
// and while no expectation is looked for at most kMaxPending are kept.
class CExpectStream
{
public:
    static constexpr qsizetype kMaxPending = 1024 * 1024;
    static constexpr qsizetype kTailSize = 64;

    void Append(const QByteArray& bytes);
    // Looks for `pattern` (not empty) in what arrived since the last match.
    // On a match the bytes up to its end are consumed and true is returned.
    bool Take(const QByteArray& pattern);
    // The last kTailSize bytes received, for telling what came instead.
    const QByteArray& Tail() const { return m_tail; }

private:
    QByteArray m_pending;
    QByteArray m_tail;
};

// Bytes as a data string would write them, so that they can be read and
// pasted back into --expect: ^@ .. ^_ for control bytes, ^^ and %% for the
// escape characters themselves, %7F .. %FF for the rest.
QByteArray DataStringNotation(const QByteArray& bytes);
