#include "platform/DeviceAdvice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace DeviceAdvice {

namespace {

QString ProcessName(const QString& pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QStringLiteral("a program");
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// A lock file holds its owner's process number as text (or, from older
// programs, as a binary int).
QString LockOwner(const QString& lockPath)
{
    QFile lock(lockPath);
    if (!lock.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = lock.read(64);
    bool ok = false;
    const qlonglong pid = content.trimmed().toLongLong(&ok);
    if (ok && pid > 0)
        return QString::number(pid);
    if (content.size() == sizeof(int)) {
        int binary = 0;
        std::memcpy(&binary, content.constData(), sizeof binary);
        if (binary > 0)
            return QString::number(binary);
    }
    return {};
}

} // namespace

CGroupFacts GroupFactsFor(const QString& path)
{
    CGroupFacts facts;
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return facts;
    if (const group* g = ::getgrgid(st.st_gid))
        facts.deviceGroup = QString::fromLocal8Bit(g->gr_name);
    facts.groupCanUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const uid_t uid = ::geteuid();
    const passwd* user = ::getpwuid(uid);
    if (!user)
        return facts;
    facts.user = QString::fromLocal8Bit(user->pw_name);
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
    if (count > 0 && ::getgroups(count, groups.data()) == count) {
        for (gid_t gid : groups)
            facts.inProcess = facts.inProcess || gid == st.st_gid;
    }
    facts.inProcess = facts.inProcess || ::getegid() == st.st_gid;
    int listed = 64;
    std::vector<gid_t> entry(static_cast<size_t>(listed));
    if (::getgrouplist(user->pw_name, user->pw_gid, entry.data(), &listed) < 0) {
        entry.resize(static_cast<size_t>(listed));
        ::getgrouplist(user->pw_name, user->pw_gid, entry.data(), &listed);
    }
    for (int i = 0; i < listed && i < static_cast<int>(entry.size()); ++i)
        facts.inEntry = facts.inEntry || entry[static_cast<size_t>(i)] == st.st_gid;
    return facts;
}

QString PermissionText(const CGroupFacts& facts)
{
    if (facts.deviceGroup.isEmpty() || !facts.groupCanUse || facts.deviceGroup == facts.user)
        return QStringLiteral("Only the device's owner may use it; ask the machine's "
                              "administrator for access.");
    if (facts.inProcess)
        return {};
    if (facts.inEntry)
        return QStringLiteral("You were added to the group %1 after this login began: log out "
                              "and in again (or start Trellium from \"newgrp %1\").")
            .arg(facts.deviceGroup);
    return QStringLiteral("The device belongs to the group %1, which %2 is not in. Join it with "
                          "\"sudo usermod -aG %1 %2\", then log out and in again.")
        .arg(facts.deviceGroup, facts.user.isEmpty() ? QStringLiteral("you") : facts.user);
}

QStringList Holders(const QString& path)
{
    QStringList holders;
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return holders;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid.isEmpty() || !pid.at(0).isDigit())
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        // Another user's descriptors are not ours to see: skipped quietly.
        for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == target) {
                holders << QStringLiteral("%1 (process %2)").arg(ProcessName(pid), pid);
                break;
            }
        }
    }
    const QString name = QFileInfo(path).fileName();
    for (const QString& folder : {QStringLiteral("/var/lock"), QStringLiteral("/run/lock")}) {
        const QString lock = QStringLiteral("%1/LCK..%2").arg(folder, name);
        const QString pid = LockOwner(lock);
        if (pid.isEmpty())
            continue;
        const QString holder = QStringLiteral("%1 (process %2)").arg(ProcessName(pid), pid);
        if (!holders.contains(holder))
            holders << QStringLiteral("%1, by its lock file %2").arg(holder, lock);
        break;
    }
    return holders;
}

QString ForOpenFailure(const QString& path, int error)
{
    if (error == EACCES || error == EPERM)
        return PermissionText(GroupFactsFor(path));
    if (error == EBUSY) {
        const QStringList holders = Holders(path);
        if (holders.isEmpty())
            return QStringLiteral("Another program holds it; the system does not show which.");
        return QStringLiteral("It is held by %1.").arg(holders.join(QStringLiteral("; ")));
    }
    return {};
}

bool IsForbidden(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 && errno == EACCES;
}

} // namespace DeviceAdvice
