#pragma once
#include "platform/Io.h"
#include "platform/PlatformError.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

// Handshaking on a serial line.
enum class CTtyFlow
{
    None,
    XonXoff, // software, both ways: XON 0x11, XOFF 0x13
    RtsCts,  // hardware: the driver's RTS/CTS handshake
};

// A serial line's settings as the program speaks of them.
struct CTtyLine
{
    int32_t baud = 9600;
    int dataBits = 8;  // 5 to 8
    char parity = 'N'; // 'N', 'E' or 'O'
    int stopBits = 1;  // 1 or 2
    CTtyFlow flow = CTtyFlow::None;
    bool operator==(const CTtyLine&) const = default;
};

// The modem-line bits of a session's status word.
namespace ModemLine {
inline constexpr uint32_t Cts = 0x10;
inline constexpr uint32_t Dsr = 0x20;
inline constexpr uint32_t Ring = 0x40;
inline constexpr uint32_t Rlsd = 0x80; // carrier detect
} // namespace ModemLine

// Error counters of a line since its driver started counting.
struct CTtyErrorCounts
{
    uint32_t frame = 0;
    uint32_t parity = 0;
    uint32_t overrun = 0;    // the UART lost bytes
    uint32_t bufOverrun = 0; // the driver's buffer lost bytes
    uint32_t breaks = 0;
};

// What a combined wait (CTtyDevice::WaitEvents) saw.
struct CTtyEvents
{
    bool interrupted = false; // Interrupt was called
    bool hungUp = false;      // the device is gone
    bool readable = false;
    bool writable = false;
    bool kicked = false; // Kick was called since the last wait
};

enum class CTtyWait
{
    Ready,       // readable (WaitReadable) or writable (WaitWritable)
    Interrupted, // Interrupt was called
    TimedOut,
    HungUp, // the device is gone or the other end of a pseudo-terminal closed
};

// An open terminal device (serial port, USB adapter, pseudo-terminal). Opened
// exclusively and in raw mode; the settings it had are restored on
// destruction. Reads, writes and waits never block beyond what the caller
// asks; a wait also ends when another thread calls Interrupt.
//
// Threads: Apply, ReadBack and destruction on one thread; Read, Wait* and
// ModemLines on one thread (the reader); Write on either, one at a time;
// Interrupt from any thread.
class CTtyDevice
{
public:
    // Opens `path` for reading and writing without becoming its controlling
    // terminal, refuses it when another holder has it exclusively, then takes
    // it exclusively (TIOCEXCL and an flock) and puts it in raw mode: no echo,
    // no translation, no flow control, parity checking on, receiver on, modem
    // control lines ignored, DTR and RTS raised, both queues emptied. Nothing
    // stays open on failure; the error names the device ("cannot open
    // /dev/ttyUSB0: Device or resource busy").
    static CErrorOr<std::unique_ptr<CTtyDevice>> Open(const QString& path);
    ~CTtyDevice();
    CTtyDevice(const CTtyDevice&) = delete;
    CTtyDevice& operator=(const CTtyDevice&) = delete;

    const QString& Path() const { return m_path; }
    // A pseudo-terminal has no line: its driver keeps 8 data bits without
    // parity whatever is asked, and it has no modem lines.
    bool IsPseudoTerminal() const { return m_bPseudoTerminal; }

    // Applies the rate, data bits, parity and stop bits. The driver may keep
    // something else without failing the call: read back to see.
    CPlatformError Apply(const CTtyLine& line);
    CErrorOr<CTtyLine> ReadBack() const;

    // The modem lines as ModemLine bits; nothing when the device cannot report
    // them (ENOTTY or EINVAL: pseudo-terminals, socat links, some adapters).
    CErrorOr<std::optional<uint32_t>> ModemLines() const;
    // Nothing when the driver keeps no counters.
    std::optional<CTtyErrorCounts> ErrorCounts() const;
    // Raises or drops DTR and RTS. ENOTTY or EINVAL from a device without
    // modem lines (pseudo-terminals). Under the RTS/CTS handshake the driver
    // drives RTS itself.
    CPlatformError SetModemControl(bool dtr, bool rts);
    // Starts or ends a break on the line. A device without one (a
    // pseudo-terminal) takes the call and sends nothing.
    CPlatformError SetBreak(bool on);

    Platform::IoResult Read(void* buffer, size_t size);
    Platform::IoResult Write(const void* bytes, size_t count);
    // -1 waits until ready, hung up or interrupted.
    CTtyWait WaitReadable(int timeoutMs);
    CTtyWait WaitWritable(int timeoutMs);
    // Waits for what is asked (either may be off) or a Kick, up to
    // `timeoutMs` (-1: no limit). A kick is taken by the wait that sees it.
    // One thread waits at a time (the reader's).
    CTtyEvents WaitEvents(bool read, bool write, int timeoutMs);
    // Ends every wait, now and later, with Interrupted. Any thread.
    void Interrupt();
    // Ends the current or next WaitEvents once (new output to write, room to
    // read again). Any thread.
    void Kick();

private:
    struct CState;
    explicit CTtyDevice(std::unique_ptr<CState> state, QString path, bool pseudoTerminal);
    CTtyWait Wait(short events, int timeoutMs);

    std::unique_ptr<CState> m_state;
    QString m_path;
    bool m_bPseudoTerminal = false;
};
