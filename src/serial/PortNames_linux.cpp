#include "serial/PortNames.h"

#include "platform/Io.h"
#include "platform/Profile.h"
#include "platform/UniqueFd.h"

#include <QProcessEnvironment>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace PortNames {
namespace {

QString FromEnvironment(int comNumber)
{
    const QString mapping = qEnvironmentVariable("TRELLIUM_PORTS");
    const QString wanted = QStringLiteral("COM%1").arg(comNumber);
    for (const QString& item : mapping.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq > 0 && item.left(eq).trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return item.mid(eq + 1).trimmed();
    }
    return {};
}

QString FromProfile(int comNumber)
{
    auto profile = Platform::OpenProfile();
    profile->beginGroup(QStringLiteral("Ports"));
    return profile->value(QStringLiteral("COM%1").arg(comNumber)).toString();
}

// The 8250 driver registers ttyS0..ttyS3 whether or not a UART is fitted;
// only a port whose UART type is known has hardware behind it.
bool HasUart(int fd)
{
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0)
        return true; // not an 8250-style driver: trust the open
    return info.type != PORT_UNKNOWN;
}

} // namespace

QString DevicePath(int comNumber)
{
    if (comNumber < 1)
        return {};
    QString path = FromEnvironment(comNumber);
    if (path.isEmpty())
        path = FromProfile(comNumber);
    if (path.isEmpty())
        path = QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
    return path;
}

CPlatformError CanOpen(int comNumber)
{
    const QString path = DevicePath(comNumber);
    if (path.isEmpty())
        return CPlatformError(ENODEV, QStringLiteral("COM%1 has no device").arg(comNumber));
    const QString context = QStringLiteral("cannot open %1").arg(path);
    const QByteArray native = path.toLocal8Bit();
    UniqueFd fd(Platform::RetryOnEintr([&native] {
        return ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }));
    if (!fd.IsValid()) {
        const int error = errno;
        return CPlatformError(error, context);
    }
    int exclusive = 0;
    // A port that another program holds exclusively is not free. The open
    // itself succeeds for root even then, so ask the line discipline.
    if (::ioctl(fd.Get(), TIOCGEXCL, &exclusive) == 0 && exclusive)
        return CPlatformError(EBUSY, context);
    if (path.startsWith(QLatin1String("/dev/ttyS")) && !HasUart(fd.Get()))
        return CPlatformError(ENODEV, context);
    return {};
}

} // namespace PortNames
