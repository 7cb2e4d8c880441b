#pragma once
#include <QString>
#include <deque>

class CServerLogSink;

// A TCP server's event log: time-stamped lines ("%x %X" in the user's
// locale, then the message cut at 255 characters, then CR LF). The text is
// bounded: once it passes about 1 MB the oldest lines go, so a server that
// runs for weeks or sees a thousand clients come and go keeps a flat memory.
// Every line also goes to the log window while one is set. User-interface
// thread only.
class CServerLog
{
public:
    static constexpr qsizetype kMaxChars = 1 << 20;
    static constexpr qsizetype kMaxMessage = 255;

    void SetWindow(CServerLogSink* window) { m_pWindow = window; }
    CServerLogSink* Window() const { return m_pWindow; }

    void Write(const QString& message);
    // "%s : %s" of the operation and the system's text for the error.
    void WriteError(const QString& operation, int error);

    // The lines kept, oldest first, joined.
    QString Text() const;
    qsizetype CharCount() const { return m_nChars; }
    size_t LineCount() const { return m_lines.size(); }

    // The line for `message` at the current local time.
    static QString FormatLine(const QString& message);

private:
    std::deque<QString> m_lines;
    qsizetype m_nChars = 0;
    CServerLogSink* m_pWindow = nullptr;
};
