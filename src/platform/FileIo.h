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
// /x/cap.txt: ..." when another holder has it). Only a regular file is taken,
// and nothing waits: a FIFO or a device is refused ("cannot open /x/f: it is
// not a regular file") without being opened where it can be told beforehand.
CErrorOr<UniqueFd> OpenAppendExclusive(const QString& path);
// Writes all of `bytes` to a blocking descriptor, retrying after EINTR and
// short writes; the error of the write that failed, if one did.
CPlatformError WriteAll(int fd, const char* bytes, size_t count);

struct FileStatus
{
    bool regular = false; // a plain file, not a folder, FIFO, socket or device
    int64_t size = 0;     // bytes; 0 for most files under /proc whatever they hold
    bool directory = false;
};
// The status of the file `nativePath` names, symbolic links followed.
CErrorOr<FileStatus> StatusOfPath(const QByteArray& nativePath);
// The status of the file open on `fd`.
CErrorOr<FileStatus> StatusOfFd(int fd);

// Opens for reading without ever waiting: a FIFO without a writer opens at
// once, reads report "nothing now" instead of blocking, and a terminal does
// not become the controlling one.
CErrorOr<UniqueFd> OpenReadNonBlocking(const QByteArray& nativePath);

// Opens an outside file that is to be read whole (a session document). A FIFO
// would wait for a writer and a device such as /dev/zero never ends, so the
// open never waits and anything but a regular file is refused ("cannot open
// /tmp/f: it is not a regular file"). The descriptor is blocking again when
// returned; on failure nothing stays open.
CErrorOr<UniqueFd> OpenRegularForReading(const QByteArray& nativePath);
} // namespace Platform
