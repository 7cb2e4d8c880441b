#include "platform/FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Platform {

UniqueFd OpenAppendExclusive(const QString& path)
{
    const QByteArray native = path.toLocal8Bit();
    if (native.isEmpty())
        return {};
    UniqueFd fd(
        ::open(native.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd.IsValid())
        return {};
    // flock locks belong to the open file description, so a second open of the
    // same file in this process is refused as well as one from another program.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return {};
    return fd;
}

bool WriteAll(int fd, const char* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t done = ::write(fd, bytes, count);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += done;
        count -= static_cast<size_t>(done);
    }
    return true;
}

} // namespace Platform
