#include "session/CaptureFile.h"

#include "platform/FileIo.h"

CPlatformError CCaptureFile::Open(const QString& path)
{
    CErrorOr<UniqueFd> file = Platform::OpenAppendExclusive(path);
    if (file.IsError())
        return file.Error();
    std::lock_guard lock(m_mutex);
    m_file = std::move(file.Value());
    m_path = path;
    m_bMidLine = false;
    return {};
}

bool CCaptureFile::IsOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_file.IsValid();
}

CPlatformError CCaptureFile::Write(const char* bytes, int count)
{
    if (count <= 0)
        return {};
    std::lock_guard lock(m_mutex);
    if (!m_file.IsValid())
        return {};
    const CPlatformError error =
        Platform::WriteAll(m_file.Get(), bytes, static_cast<size_t>(count));
    if (!error.IsError()) {
        m_bMidLine = bytes[count - 1] != '\n';
        return {};
    }
    m_file.Reset();
    return CPlatformError(error.ErrorNumber(), QStringLiteral("cannot write to %1").arg(m_path));
}

CPlatformError CCaptureFile::Write(const QByteArray& bytes)
{
    return Write(bytes.constData(), static_cast<int>(bytes.size()));
}

void CCaptureFile::Close(const QByteArray& lastLine)
{
    std::lock_guard lock(m_mutex);
    if (m_file.IsValid() && !lastLine.isEmpty()) {
        // The last line stands on a line of its own, after data that did
        // not end one.
        const QByteArray line = m_bMidLine ? "\r\n" + lastLine : lastLine;
        Platform::WriteAll(m_file.Get(), line.constData(), static_cast<size_t>(line.size()));
    }
    m_file.Reset();
}
