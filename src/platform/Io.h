#pragma once
#include <cerrno>
#include <cstddef>
#include <sys/types.h>

// System calls wrapped once: EINTR retried, EAGAIN/EWOULDBLOCK read as
// "nothing now" rather than as an error. Any thread.
namespace Platform {

// Calls `call` until it does not fail with EINTR; returns its last result.
// `call` must report failure as -1 with errno set, as system calls do.
template <typename Call> auto RetryOnEintr(Call call) -> decltype(call())
{
    for (;;) {
        const auto result = call();
        if (!(result == -1 && errno == EINTR))
            return result;
    }
}

// The outcome of one non-blocking read or write. Exactly one holds: bytes
// moved (count > 0), nothing now (wouldBlock), a failure (error is the errno),
// or, for a read, the end of the data (count 0 and nothing else set).
struct IoResult
{
    size_t count = 0;
    bool wouldBlock = false;
    int error = 0;

    bool AtEnd() const { return count == 0 && !wouldBlock && error == 0; }
};

// The outcome of a call that returns a count or -1 with errno set.
IoResult IoResultOf(ssize_t done);

// One read(2) / write(2) on a descriptor opened with O_NONBLOCK. A blocking
// descriptor works too but may then wait.
IoResult ReadNonBlocking(int fd, void* buffer, size_t size);
IoResult WriteNonBlocking(int fd, const void* bytes, size_t count);

} // namespace Platform
