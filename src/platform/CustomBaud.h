#pragma once
#include "platform/PlatformError.h"

#include <cstdint>

// Line rates outside the standard table, through the kernel's arbitrary-rate
// interface. Its headers clash with <termios.h>, so they stay in the one file
// behind this header. Any thread; the descriptor must be a terminal.
namespace CustomBaud {

// Sets input and output rate to `rate` bits per second, leaving every other
// setting as it is. The error names nothing: the caller adds the context.
CPlatformError SetRate(int fd, int32_t rate);

// The output rate in force, however it was set (the kernel reports the rate
// itself for standard rates too).
CErrorOr<int32_t> GetRate(int fd);

} // namespace CustomBaud
