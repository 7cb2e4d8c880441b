// The only file that sees the kernel's termios2: <asm/termbits.h> redefines
// what <termios.h> declares, so the two never meet in one translation unit.
#include "platform/CustomBaud.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace CustomBaud {

CPlatformError SetRate(int fd, int32_t rate)
{
    if (rate <= 0)
        return CPlatformError(EINVAL, {});
    struct termios2 settings
    {
    };
    if (::ioctl(fd, TCGETS2, &settings) != 0)
        return CPlatformError(errno, {});
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = static_cast<speed_t>(rate);
    settings.c_ospeed = static_cast<speed_t>(rate);
    if (::ioctl(fd, TCSETS2, &settings) != 0)
        return CPlatformError(errno, {});
    return {};
}

CErrorOr<int32_t> GetRate(int fd)
{
    struct termios2 settings
    {
    };
    if (::ioctl(fd, TCGETS2, &settings) != 0)
        return CPlatformError(errno, {});
    return static_cast<int32_t>(settings.c_ospeed);
}

} // namespace CustomBaud
