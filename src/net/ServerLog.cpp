#include "net/ServerLog.h"

#include "net/NetOwners.h"
#include "platform/PlatformError.h"

#include <ctime>

QString CServerLog::FormatLine(const QString& message)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[128] = {};
    std::strftime(stamp, sizeof stamp, "%x %X", &local);
    return QString::fromLocal8Bit(stamp) + QLatin1Char(' ') + message.left(kMaxMessage) +
           QStringLiteral("\r\n");
}

void CServerLog::Write(const QString& message)
{
    const QString line = FormatLine(message);
    m_lines.push_back(line);
    m_nChars += line.size();
    while (m_nChars > kMaxChars && m_lines.size() > 1) {
        m_nChars -= m_lines.front().size();
        m_lines.pop_front();
    }
    if (m_pWindow)
        m_pWindow->AppendLog(line);
}

void CServerLog::WriteError(const QString& operation, int error)
{
    Write(QStringLiteral("%1 : %2").arg(operation, error ? SystemErrorText(error) : QString()));
}

QString CServerLog::Text() const
{
    QString text;
    text.reserve(m_nChars);
    for (const QString& line : m_lines)
        text += line;
    return text;
}
