#pragma once
#include "platform/PlatformError.h"
#include "platform/UniqueFd.h"

#include <QString>
#include <cstddef>

namespace Platform {
// Opens `path` for appending (created with mode 0666 & umask when missing) and
// takes an exclusive lock on it. On failure nothing stays open and the error
// names the path ("cannot open /x/cap.txt: Permission denied", "cannot lock
// /x/cap.txt: ..." when another holder has it).
CErrorOr<UniqueFd> OpenAppendExclusive(const QString& path);
// Writes all of `bytes` to a blocking descriptor, retrying after EINTR and
// short writes; the error of the write that failed, if one did.
CPlatformError WriteAll(int fd, const char* bytes, size_t count);
} // namespace Platform
