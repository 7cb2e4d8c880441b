#pragma once
#include <QStringList>

// The recently used session files: at most 20, newest first, kept in the
// profile section "Recent File List" as values "File1" to "File20".
class CRecentFileList
{
public:
    static constexpr int kSize = 20;

    void ReadList();
    void WriteList() const;
    void Add(const QString& path);
    void Remove(const QString& path);
    const QStringList& Files() const { return m_files; }

private:
    QStringList m_files;
};
