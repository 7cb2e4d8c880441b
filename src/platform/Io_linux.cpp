#include "platform/Io.h"

#include <unistd.h>

namespace Platform {

IoResult IoResultOf(ssize_t done)
{
    IoResult result;
    if (done >= 0)
        result.count = static_cast<size_t>(done);
    else if (errno == EAGAIN || errno == EWOULDBLOCK)
        result.wouldBlock = true;
    else
        result.error = errno;
    return result;
}

IoResult ReadNonBlocking(int fd, void* buffer, size_t size)
{
    return IoResultOf(RetryOnEintr([&] { return ::read(fd, buffer, size); }));
}

IoResult WriteNonBlocking(int fd, const void* bytes, size_t count)
{
    return IoResultOf(RetryOnEintr([&] { return ::write(fd, bytes, count); }));
}

} // namespace Platform
