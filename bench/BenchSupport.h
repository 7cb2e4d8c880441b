#pragma once
// Shared by the benchmarks: figures of this process from /proc/self/status,
// and the event loop's longest gap.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <functional>

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

// The longest gap between two turns of the event loop, seen by a 1 ms timer
// from construction on; `tick` (when given) runs at every turn it sees.
struct CLoopProbe
{
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0; // ns
    QTimer timer;
    std::function<void()> tick;

    explicit CLoopProbe(std::function<void()> onTick = {}) : tick(std::move(onTick))
    {
        clock.start();
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
            if (tick)
                tick();
        });
        last = clock.nsecsElapsed();
        timer.start();
    }
    double LongestMs() const { return static_cast<double>(longest) / 1e6; }
};
