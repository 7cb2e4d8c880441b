#pragma once
#include "platform/PlatformError.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace Platform {
// Opens `path` for appending (created with mode 0666 & umask when missing) and
// takes an exclusive lock on it. On failure nothing stays open and the error
// names the path ("cannot open /x/cap.txt: Permission denied", "cannot lock
// /x/cap.txt: ..." when another holder has it).
CErrorOr<UniqueFd> OpenAppendExclusive(const QString& path);
// Writes all of `bytes` to a blocking descriptor, retrying after EINTR and
// short writes; the error of the write that failed, if one did.
CPlatformError WriteAll(int fd, const char* bytes, size_t count);

struct FileStatus
{
    bool regular = false; // a plain file, not a folder, FIFO, socket or device
    int64_t size = 0;     // bytes; 0 for most files under /proc whatever they hold
};
// The status of the file `nativePath` names, symbolic links followed.
CErrorOr<FileStatus> StatusOfPath(const QByteArray& nativePath);
// The status of the file open on `fd`.
CErrorOr<FileStatus> StatusOfFd(int fd);

// Opens for reading without ever waiting: a FIFO without a writer opens at
// once, reads report "nothing now" instead of blocking, and a terminal does
// not become the controlling one.
CErrorOr<UniqueFd> OpenReadNonBlocking(const QByteArray& nativePath);
} // namespace Platform
