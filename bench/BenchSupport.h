#pragma once
// Shared by the benchmarks: figures of this process from /proc/self/status.
#include <QByteArray>
#include <QFile>
#include <cstring>

// A field of /proc/self/status in MB ("VmRSS:" resident now, "VmHWM:" peak).
inline double StatusMb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                       .trimmed()
                       .split(' ')
                       .first()
                       .toDouble() /
                   1024.0;
    }
    return 0;
}

inline double ResidentMb()
{
    return StatusMb("VmRSS:");
}
