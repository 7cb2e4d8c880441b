#pragma once
#include "platform/UniqueFd.h"

#include <QString>
#include <cstddef>

namespace Platform {
// Opens `path` for appending (created with mode 0666 & umask when missing) and
// takes an exclusive lock on it; an invalid fd when either fails.
UniqueFd OpenAppendExclusive(const QString& path);
// Writes all of `bytes`, retrying after EINTR and short writes; false on error.
bool WriteAll(int fd, const char* bytes, size_t count);
} // namespace Platform
