#include "serial/PortNames.h"

#include "platform/Io.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace PortNames {

bool IsPhantomSerial8250(const QString& ttyName)
{
    if (!ttyName.startsWith(QLatin1String("ttyS")))
        return false;
    // The serial core publishes the UART type of each port it registered.
    QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(ttyName));
    if (!type.open(QIODevice::ReadOnly))
        return false; // no such attribute: not a serial-core port, trust it
    return type.readAll().trimmed() == "0";
}

bool IsAccessible(int comNumber)
{
    const QString path = DevicePath(comNumber);
    return !path.isEmpty() && ::access(path.toLocal8Bit().constData(), R_OK | W_OK) == 0;
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
    // A port open in a session of this program holds its lock.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        return CPlatformError(error, context);
    }
    if (IsPhantomSerial8250(QFileInfo(path).canonicalFilePath().section(QLatin1Char('/'), -1)))
        return CPlatformError(ENODEV, context);
    return {};
}

} // namespace PortNames
