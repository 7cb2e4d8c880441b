#include "platform/FileIo.h"

#include "platform/Io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

CPlatformError NotRegular(const QString& path)
{
    return CPlatformError(EINVAL, QStringLiteral("cannot open %1").arg(path),
                          QStringLiteral("it is not a regular file"));
}

// The file open on `fd`, opened without waiting, is kept only when it is a
// regular file; it is then made blocking for the reads and writes to come.
// The name may have been pointed elsewhere since it was looked at: what
// counts is the file actually open.
CPlatformError KeepOnlyRegular(int fd, const QString& path)
{
    const CErrorOr<FileStatus> status = StatusOfFd(fd);
    if (status.IsError())
        return CPlatformError(status.Error().ErrorNumber(),
                              QStringLiteral("cannot examine %1").arg(path));
    if (!status.Value().regular)
        return NotRegular(path);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        return CPlatformError(error, QStringLiteral("cannot open %1").arg(path));
    }
    return {};
}

} // namespace

CErrorOr<UniqueFd> OpenAppendExclusive(const QString& path)
{
    const QByteArray native = path.toLocal8Bit();
    // Told beforehand, a FIFO or a device is never opened: opening a FIFO to
    // write waits for a reader, and opening a terminal changes its modem lines.
    // A folder is left to the open, whose own reason says so.
    const CErrorOr<FileStatus> before = StatusOfPath(native);
    if (!before.IsError() && !before.Value().regular && !before.Value().directory)
        return NotRegular(path);
    UniqueFd fd(RetryOnEintr([&native] {
        return ::open(native.constData(),
                      O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    }));
    if (!fd.IsValid()) {
        const int error = errno;
        return CPlatformError(error, QStringLiteral("cannot open %1").arg(path));
    }
    if (const CPlatformError refused = KeepOnlyRegular(fd.Get(), path); refused.IsError())
        return refused;
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
    return {S_ISREG(info.st_mode), static_cast<int64_t>(info.st_size), S_ISDIR(info.st_mode)};
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

CErrorOr<UniqueFd> OpenRegularForReading(const QByteArray& nativePath)
{
    CErrorOr<UniqueFd> fd = OpenReadNonBlocking(nativePath);
    if (fd.IsError())
        return fd;
    const CPlatformError refused =
        KeepOnlyRegular(fd.Value().Get(), QString::fromLocal8Bit(nativePath));
    if (refused.IsError())
        return refused;
    return fd;
}

} // namespace Platform
