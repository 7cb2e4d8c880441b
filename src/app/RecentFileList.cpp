#include "app/RecentFileList.h"

#include "platform/Profile.h"

#include <QFileInfo>

namespace {
const QString kSection = QStringLiteral("Recent File List");
QString Key(int i)
{
    return QStringLiteral("File%1").arg(i + 1);
}
} // namespace

void CRecentFileList::ReadList()
{
    auto profile = Platform::OpenProfile();
    profile->beginGroup(kSection);
    m_files.clear();
    for (int i = 0; i < kSize; ++i) {
        const QString path = profile->value(Key(i)).toString();
        if (!path.isEmpty() && !m_files.contains(path))
            m_files.append(path);
    }
}

void CRecentFileList::WriteList() const
{
    auto profile = Platform::OpenProfile();
    profile->beginGroup(kSection);
    for (int i = 0; i < kSize; ++i) {
        if (i < m_files.size())
            profile->setValue(Key(i), m_files.at(i));
        else
            profile->remove(Key(i));
    }
}

void CRecentFileList::Add(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    m_files.removeAll(full);
    m_files.prepend(full);
    while (m_files.size() > kSize)
        m_files.removeLast();
    WriteList();
}

void CRecentFileList::Remove(const QString& path)
{
    m_files.removeAll(path);
    WriteList();
}
