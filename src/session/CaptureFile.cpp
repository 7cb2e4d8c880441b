#include "session/CaptureFile.h"

#include "platform/FileIo.h"

CPlatformError CCaptureFile::Open(const QString& path)
{
    CErrorOr<UniqueFd> file = Platform::OpenAppendExclusive(path);
    if (file.IsError())
        return file.Error();
    std::lock_guard lock(m_mutex);
    m_file = std::move(file.Value());
    return {};
}

bool CCaptureFile::IsOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_file.IsValid();
}

void CCaptureFile::Write(const char* bytes, int count)
{
    if (count <= 0)
        return;
    std::lock_guard lock(m_mutex);
    if (m_file.IsValid())
        Platform::WriteAll(m_file.Get(), bytes, static_cast<size_t>(count));
}

void CCaptureFile::Write(const QByteArray& bytes)
{
    Write(bytes.constData(), static_cast<int>(bytes.size()));
}

void CCaptureFile::Close(const QByteArray& lastLine)
{
    std::lock_guard lock(m_mutex);
    if (m_file.IsValid() && !lastLine.isEmpty())
        Platform::WriteAll(m_file.Get(), lastLine.constData(),
                           static_cast<size_t>(lastLine.size()));
    m_file.Reset();
}
