#include "platform/Tty.h"

#include "platform/CustomBaud.h"
#include "platform/UniqueFd.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct CRate
{
    int32_t rate;
    speed_t code;
};

// Rates with a speed code of their own; every other rate goes through
// CustomBaud.
constexpr std::array kStandardRates = {
    CRate{50, B50},           CRate{75, B75},           CRate{110, B110},
    CRate{134, B134},         CRate{150, B150},         CRate{200, B200},
    CRate{300, B300},         CRate{600, B600},         CRate{1200, B1200},
    CRate{1800, B1800},       CRate{2400, B2400},       CRate{4800, B4800},
    CRate{9600, B9600},       CRate{19200, B19200},     CRate{38400, B38400},
    CRate{57600, B57600},     CRate{115200, B115200},   CRate{230400, B230400},
    CRate{460800, B460800},   CRate{500000, B500000},   CRate{576000, B576000},
    CRate{921600, B921600},   CRate{1000000, B1000000}, CRate{1152000, B1152000},
    CRate{1500000, B1500000}, CRate{2000000, B2000000}, CRate{2500000, B2500000},
    CRate{3000000, B3000000}, CRate{3500000, B3500000}, CRate{4000000, B4000000},
};

std::optional<speed_t> StandardCode(int32_t rate)
{
    for (const CRate& r : kStandardRates) {
        if (r.rate == rate)
            return r.code;
    }
    return std::nullopt;
}

// Unix 98 pseudo-terminal slaves (/dev/pts/N) and the legacy BSD ones.
bool IsPseudoTerminalDevice(int fd)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned int majorNumber = major(st.st_rdev);
    return (majorNumber >= 136 && majorNumber <= 143) || majorNumber == 3;
}

bool Watch(int events, int fd, uint32_t mask)
{
    epoll_event event{};
    event.events = mask;
    event.data.fd = fd;
    return ::epoll_ctl(events, EPOLL_CTL_ADD, fd, &event) == 0;
}

CPlatformError Failure(int error, const QString& context)
{
    return CPlatformError(error, context);
}

} // namespace

struct CTtyDevice::CState
{
    UniqueFd fd;
    UniqueFd wake; // eventfd: readable once Interrupt was called
    UniqueFd kick; // eventfd: readable after Kick, until a wait takes it
    // The three above, registered once: a poll() per wait would add and remove
    // three wait-queue entries each time, which is most of a reader's cost at
    // a hundred small writes a second.
    UniqueFd events;
    uint32_t deviceEvents = 0; // what `fd` is registered for now
    termios original{};
    int32_t originalRate = 0; // an arbitrary rate survives only through CustomBaud
};

CErrorOr<std::unique_ptr<CTtyDevice>> CTtyDevice::Open(const QString& path)
{
    const QString context = QStringLiteral("cannot open %1").arg(path);
    const QByteArray native = path.toLocal8Bit();
    auto state = std::make_unique<CState>();
    state->fd.Reset(Platform::RetryOnEintr([&native] {
        return ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }));
    if (!state->fd.IsValid()) {
        const int error = errno;
        return Failure(error, context);
    }
    const int fd = state->fd.Get();
    if (::tcgetattr(fd, &state->original) != 0) {
        const int error = errno;
        return Failure(error, context);
    }
    // Root opens a device that another program holds with TIOCEXCL; ask so
    // that root is refused like everyone else.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        return Failure(EBUSY, context);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        return Failure(error, context);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        return Failure(error, context);
    }
    state->wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    state->kick.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    state->events.Reset(::epoll_create1(EPOLL_CLOEXEC));
    if (!state->wake.IsValid() || !state->kick.IsValid() || !state->events.IsValid() ||
        !Watch(state->events.Get(), state->wake.Get(), EPOLLIN) ||
        !Watch(state->events.Get(), state->kick.Get(), EPOLLIN) ||
        !Watch(state->events.Get(), fd, 0)) {
        const int error = errno;
        ::ioctl(fd, TIOCNXCL);
        return Failure(error, context);
    }
    if (const CErrorOr<int32_t> rate = CustomBaud::GetRate(fd); !rate.IsError())
        state->originalRate = rate.Value();

    termios raw = state->original;
    ::cfmakeraw(&raw);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | IGNPAR | PARMRK);
    raw.c_iflag |= INPCK;
    raw.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    raw.c_cflag |= CLOCAL | CREAD;
    // One byte wakes a read; with O_NONBLOCK an empty queue then reads as
    // EAGAIN, so a read of 0 bytes can only mean the device hung up.
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &raw) != 0) {
        const int error = errno;
        ::tcsetattr(fd, TCSANOW, &state->original);
        ::ioctl(fd, TIOCNXCL);
        return Failure(error, context);
    }
    // No handshake: DTR and RTS stay raised. Devices without modem lines
    // refuse this, which is fine.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &lines);
    ::tcflush(fd, TCIOFLUSH);
    const bool pseudo = IsPseudoTerminalDevice(fd);
    return std::unique_ptr<CTtyDevice>(new CTtyDevice(std::move(state), path, pseudo));
}

CTtyDevice::CTtyDevice(std::unique_ptr<CState> state, QString path, bool pseudoTerminal)
    : m_state(std::move(state)), m_path(std::move(path)), m_bPseudoTerminal(pseudoTerminal)
{
}

CTtyDevice::~CTtyDevice()
{
    const int fd = m_state->fd.Get();
    // Unsent output is dropped rather than waited for, so closing never
    // hangs on a device that does not drain.
    ::tcflush(fd, TCIOFLUSH);
    ::tcsetattr(fd, TCSANOW, &m_state->original);
    const CErrorOr<int32_t> rate = CustomBaud::GetRate(fd);
    if (m_state->originalRate > 0 && !rate.IsError() && rate.Value() != m_state->originalRate)
        CustomBaud::SetRate(fd, m_state->originalRate);
    ::ioctl(fd, TIOCNXCL);
    // Closing the descriptor releases the flock.
}

CPlatformError CTtyDevice::Apply(const CTtyLine& line)
{
    const int fd = m_state->fd.Get();
    // Named as the session's title names them: "cannot set 9600,N,8,1 on /dev/ttyUSB0".
    const QString context = QStringLiteral("cannot set %1,%2,%3,%4 on %5")
                                .arg(line.baud)
                                .arg(QLatin1Char(line.parity))
                                .arg(line.dataBits)
                                .arg(line.stopBits)
                                .arg(m_path);
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        const int error = errno;
        return Failure(error, context);
    }
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (line.dataBits < 5 || line.dataBits > 8 || line.baud <= 0)
        return Failure(EINVAL, context);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    settings.c_cflag |= kSizes[line.dataBits - 5];
    if (line.parity == 'E')
        settings.c_cflag |= PARENB;
    else if (line.parity == 'O')
        settings.c_cflag |= PARENB | PARODD;
    if (line.stopBits == 2)
        settings.c_cflag |= CSTOPB;
    if (m_bPseudoTerminal) {
        // A pseudo-terminal keeps 8 data bits without parity whatever is
        // asked, and the C library calls a request it altered and nothing
        // else changed a failure: ask only what it keeps.
        settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
        settings.c_cflag |= CS8;
    }
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (line.flow == CTtyFlow::RtsCts) {
        settings.c_cflag |= CRTSCTS;
    } else if (line.flow == CTtyFlow::XonXoff) {
        // Our output stops at XOFF from the device and goes on at XON; the
        // driver sends XOFF and XON itself as its input queue fills and drains.
        settings.c_iflag |= IXON | IXOFF;
        settings.c_cc[VSTART] = 0x11;
        settings.c_cc[VSTOP] = 0x13;
    }
    const std::optional<speed_t> code = StandardCode(line.baud);
    if (code) {
        ::cfsetispeed(&settings, *code);
        ::cfsetospeed(&settings, *code);
    }
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        const int error = errno;
        return Failure(error, context);
    }
    if (!code) {
        const CPlatformError custom = CustomBaud::SetRate(fd, line.baud);
        if (custom.IsError())
            return Failure(custom.ErrorNumber(), context);
    }
    return {};
}

CErrorOr<CTtyLine> CTtyDevice::ReadBack() const
{
    const int fd = m_state->fd.Get();
    const QString context = QStringLiteral("cannot read the settings of %1").arg(m_path);
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        const int error = errno;
        return Failure(error, context);
    }
    const CErrorOr<int32_t> rate = CustomBaud::GetRate(fd);
    if (rate.IsError())
        return Failure(rate.Error().ErrorNumber(), context);
    CTtyLine line;
    line.baud = rate.Value();
    switch (settings.c_cflag & CSIZE) {
    case CS5:
        line.dataBits = 5;
        break;
    case CS6:
        line.dataBits = 6;
        break;
    case CS7:
        line.dataBits = 7;
        break;
    default:
        line.dataBits = 8;
        break;
    }
    line.parity = !(settings.c_cflag & PARENB) ? 'N' : (settings.c_cflag & PARODD) ? 'O' : 'E';
    line.stopBits = (settings.c_cflag & CSTOPB) ? 2 : 1;
    if (settings.c_cflag & CRTSCTS)
        line.flow = CTtyFlow::RtsCts;
    else if ((settings.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF))
        line.flow = CTtyFlow::XonXoff;
    return line;
}

CPlatformError CTtyDevice::SetModemControl(bool dtr, bool rts)
{
    const int fd = m_state->fd.Get();
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) != 0) {
        const int error = errno;
        return Failure(error, QStringLiteral("cannot set DTR and RTS on %1").arg(m_path));
    }
    lines = dtr ? (lines | TIOCM_DTR) : (lines & ~TIOCM_DTR);
    lines = rts ? (lines | TIOCM_RTS) : (lines & ~TIOCM_RTS);
    if (::ioctl(fd, TIOCMSET, &lines) != 0) {
        const int error = errno;
        return Failure(error, QStringLiteral("cannot set DTR and RTS on %1").arg(m_path));
    }
    return {};
}

CPlatformError CTtyDevice::SetBreak(bool on)
{
    if (::ioctl(m_state->fd.Get(), on ? TIOCSBRK : TIOCCBRK) != 0) {
        const int error = errno;
        return Failure(error, QStringLiteral("cannot send a break on %1").arg(m_path));
    }
    return {};
}

CErrorOr<std::optional<uint32_t>> CTtyDevice::ModemLines() const
{
    int lines = 0;
    if (::ioctl(m_state->fd.Get(), TIOCMGET, &lines) != 0) {
        const int error = errno;
        if (error == ENOTTY || error == EINVAL)
            return std::optional<uint32_t>();
        return Failure(error, QStringLiteral("cannot read the modem lines of %1").arg(m_path));
    }
    uint32_t word = 0;
    if (lines & TIOCM_CTS)
        word |= ModemLine::Cts;
    if (lines & TIOCM_DSR)
        word |= ModemLine::Dsr;
    if (lines & TIOCM_RNG)
        word |= ModemLine::Ring;
    if (lines & TIOCM_CAR)
        word |= ModemLine::Rlsd;
    return std::optional<uint32_t>(word);
}

std::optional<CTtyErrorCounts> CTtyDevice::ErrorCounts() const
{
    serial_icounter_struct counts{};
    if (::ioctl(m_state->fd.Get(), TIOCGICOUNT, &counts) != 0)
        return std::nullopt;
    CTtyErrorCounts result;
    result.frame = static_cast<uint32_t>(counts.frame);
    result.parity = static_cast<uint32_t>(counts.parity);
    result.overrun = static_cast<uint32_t>(counts.overrun);
    result.bufOverrun = static_cast<uint32_t>(counts.buf_overrun);
    result.breaks = static_cast<uint32_t>(counts.brk);
    return result;
}

Platform::IoResult CTtyDevice::Read(void* buffer, size_t size)
{
    return Platform::ReadNonBlocking(m_state->fd.Get(), buffer, size);
}

Platform::IoResult CTtyDevice::Write(const void* bytes, size_t count)
{
    return Platform::WriteNonBlocking(m_state->fd.Get(), bytes, count);
}

CTtyWait CTtyDevice::WaitReadable(int timeoutMs)
{
    return Wait(POLLIN, timeoutMs);
}

CTtyWait CTtyDevice::WaitWritable(int timeoutMs)
{
    return Wait(POLLOUT, timeoutMs);
}

CTtyWait CTtyDevice::Wait(short events, int timeoutMs)
{
    pollfd fds[2] = {{m_state->wake.Get(), POLLIN, 0}, {m_state->fd.Get(), events, 0}};
    const int ready = Platform::RetryOnEintr([&] { return ::poll(fds, 2, timeoutMs); });
    if (ready < 0)
        return CTtyWait::HungUp; // only EFAULT, EINVAL or ENOMEM: nothing to wait for
    if (fds[0].revents != 0)
        return CTtyWait::Interrupted;
    if (fds[1].revents & events)
        return CTtyWait::Ready;
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
        return CTtyWait::HungUp;
    return CTtyWait::TimedOut;
}

CTtyEvents CTtyDevice::WaitEvents(bool read, bool write, int timeoutMs)
{
    CState& state = *m_state;
    const int device = state.fd.Get();
    CTtyEvents seen;
    const uint32_t wanted = (read ? EPOLLIN : 0u) | (write ? EPOLLOUT : 0u);
    if (wanted != state.deviceEvents) {
        epoll_event change{};
        change.events = wanted;
        change.data.fd = device;
        if (::epoll_ctl(state.events.Get(), EPOLL_CTL_MOD, device, &change) != 0) {
            seen.hungUp = true; // only ENOMEM: nothing to wait for
            return seen;
        }
        state.deviceEvents = wanted;
    }
    std::array<epoll_event, 3> ready{};
    const int count = Platform::RetryOnEintr([&] {
        return ::epoll_wait(state.events.Get(), ready.data(), static_cast<int>(ready.size()),
                            timeoutMs);
    });
    if (count < 0) {
        seen.hungUp = true; // only EFAULT or EINVAL: nothing to wait for
        return seen;
    }
    uint32_t deviceSeen = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = ready[static_cast<size_t>(i)].data.fd;
        if (fd == state.wake.Get()) {
            seen.interrupted = true;
        } else if (fd == state.kick.Get()) {
            uint64_t kicks = 0;
            [[maybe_unused]] const ssize_t got = ::read(fd, &kicks, sizeof kicks);
            seen.kicked = true;
        } else {
            deviceSeen = ready[static_cast<size_t>(i)].events;
        }
    }
    seen.readable = (deviceSeen & EPOLLIN) != 0;
    seen.writable = (deviceSeen & EPOLLOUT) != 0;
    // A hang-up with data still to read is read first: the read then ends.
    seen.hungUp = (deviceSeen & (EPOLLHUP | EPOLLERR)) != 0 && !seen.readable;
    return seen;
}

void CTtyDevice::Kick()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_state->kick.Get(), &one, sizeof one);
}

void CTtyDevice::Interrupt()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_state->wake.Get(), &one, sizeof one);
}
