#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// Serial port control over telnet (the COM-PORT-OPTION, telnet option 44):
// the commands a client sends to set a remote port's line, and the server's
// answers and notifications. Pure code; the telnet framing is Telnet's.
namespace ComPortControl {

inline constexpr uint8_t kOption = 44;
// A server's answer to a command carries the command's code plus this.
inline constexpr uint8_t kServerOffset = 100;

enum Command : uint8_t
{
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};

// Values of SetControl.
enum Control : uint8_t
{
    FlowNone = 1,
    FlowXonXoff = 2,
    FlowHardware = 3,
    BreakOn = 5,
    BreakOff = 6,
    DtrOn = 8,
    DtrOff = 9,
    RtsOn = 11,
    RtsOff = 12,
};

// Values of SetParity.
enum Parity : uint8_t
{
    ParityNone = 1,
    ParityOdd = 2,
    ParityEven = 3,
    ParityMark = 4,
    ParitySpace = 5,
};

// Values of SetStopSize.
enum StopSize : uint8_t
{
    StopOne = 1,
    StopTwo = 2,
    StopOneAndHalf = 3,
};

// One command as its subnegotiation payload (command code, then value);
// the baud rate goes as four bytes, most significant first.
QByteArray Command(uint8_t command, uint8_t value);
QByteArray BaudRate(uint32_t rate);

// The session's settings in the protocol's terms. The parity letter is
// 'N', 'O', 'E', 'M' or 'S'; the stop-bits code 10, 15 or 20.
uint8_t ParityOf(char parityLetter);
uint8_t StopSizeOf(int stopBitsCode);
// 0 none, 1 "XON", 2 "DTR" and 3 "RTS/CTS" (both the hardware handshake).
uint8_t FlowOf(int32_t flowControl);

// A server's answer or notification, from a subnegotiation's payload.
struct CServerMessage
{
    uint8_t command = 0; // the client's command code it answers (code - 100)
    uint32_t value = 0;  // the baud rate, or the single value byte
};
// Nothing when the payload is not a server message this client reads (a
// client's own command echoed, a short payload).
std::optional<CServerMessage> ParseServerMessage(const QByteArray& payload);

// What a remote port kept instead of what was asked, in plain words, or
// empty when they agree ("the remote port runs at 9600 baud").
QString Disagreement(uint8_t command, uint32_t asked, uint32_t answered);

} // namespace ComPortControl
