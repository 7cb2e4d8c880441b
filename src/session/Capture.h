#pragma once
#include <QByteArray>
#include <cstdint>

class CArchive;

// Capture options of a session: start capturing to m_strFileName whenever
// the session goes online when m_bAutoBegin is set.
class CCapture
{
public:
    // The last block of a session file: auto begin (32-bit), file name.
    void Serialize(CArchive& ar);

    int32_t m_bAutoBegin = 0;
    QByteArray m_strFileName;
};

// The capture file's start and end lines for the local time `when`.
QByteArray CaptureStartLine(const class QDateTime& when);
QByteArray CaptureEndLine(const class QDateTime& when);
