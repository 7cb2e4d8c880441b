#include "platform/FileIo.h"

#include "platform/Io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

CErrorOr<UniqueFd> OpenAppendExclusive(const QString& path)
{
    const QByteArray native = path.toLocal8Bit();
    UniqueFd fd(RetryOnEintr([&native] {
        return ::open(native.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY,
                      0666);
    }));
    if (!fd.IsValid()) {
        const int error = errno;
        return CPlatformError(error, QStringLiteral("cannot open %1").arg(path));
    }
    // flock locks belong to the open file description, so a second open of the
    // same file in this process is refused as well as one from another program.
    if (RetryOnEintr([&fd] { return ::flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0) {
        const int error = errno;
        return CPlatformError(error, QStringLiteral("cannot lock %1").arg(path));
    }
    return fd;
}

CPlatformError WriteAll(int fd, const char* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t done = RetryOnEintr([&] { return ::write(fd, bytes, count); });
        if (done < 0) {
            const int error = errno;
            return CPlatformError(error, QStringLiteral("cannot write"));
        }
        bytes += done;
        count -= static_cast<size_t>(done);
    }
    return {};
}

namespace {

FileStatus FromStat(const struct stat& info)
{
    return {S_ISREG(info.st_mode), static_cast<int64_t>(info.st_size)};
}

} // namespace

CErrorOr<FileStatus> StatusOfPath(const QByteArray& nativePath)
{
    struct stat info = {};
    if (::stat(nativePath.constData(), &info) != 0) {
        const int error = errno;
        return CPlatformError(
            error, QStringLiteral("cannot examine %1").arg(QString::fromLocal8Bit(nativePath)));
    }
    return FromStat(info);
}

CErrorOr<FileStatus> StatusOfFd(int fd)
{
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        return CPlatformError(error, QStringLiteral("cannot examine an open file"));
    }
    return FromStat(info);
}

CErrorOr<UniqueFd> OpenReadNonBlocking(const QByteArray& nativePath)
{
    UniqueFd fd(RetryOnEintr([&nativePath] {
        return ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }));
    if (!fd.IsValid()) {
        const int error = errno;
        return CPlatformError(
            error, QStringLiteral("cannot open %1").arg(QString::fromLocal8Bit(nativePath)));
    }
    return fd;
}

} // namespace Platform
