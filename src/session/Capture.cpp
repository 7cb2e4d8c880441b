#include "session/Capture.h"

#include "base/Archive.h"

#include <QDateTime>

void CCapture::Serialize(CArchive& ar)
{
    Exchange(ar, m_bAutoBegin);
    Exchange(ar, m_strFileName);
}

namespace {
QByteArray LocalStamp(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
}
} // namespace

QByteArray CaptureStartLine(const QDateTime& when)
{
    return "** Trellium Capture " + LocalStamp(when) + "\r\n";
}

QByteArray CaptureEndLine(const QDateTime& when)
{
    return "** Trellium Capture " + LocalStamp(when) + " Ended\r\n";
}
