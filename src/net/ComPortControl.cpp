#include "net/ComPortControl.h"

namespace ComPortControl {

QByteArray Command(uint8_t command, uint8_t value)
{
    const char payload[] = {static_cast<char>(command), static_cast<char>(value)};
    return QByteArray(payload, sizeof payload);
}

QByteArray BaudRate(uint32_t rate)
{
    const char payload[] = {static_cast<char>(SetBaudRate), static_cast<char>(rate >> 24),
                            static_cast<char>(rate >> 16), static_cast<char>(rate >> 8),
                            static_cast<char>(rate)};
    return QByteArray(payload, sizeof payload);
}

uint8_t ParityOf(char parityLetter)
{
    switch (parityLetter) {
    case 'O':
        return ParityOdd;
    case 'E':
        return ParityEven;
    case 'M':
        return ParityMark;
    case 'S':
        return ParitySpace;
    default:
        return ParityNone;
    }
}

uint8_t StopSizeOf(int stopBitsCode)
{
    switch (stopBitsCode) {
    case 20:
        return StopTwo;
    case 15:
        return StopOneAndHalf;
    default:
        return StopOne;
    }
}

uint8_t FlowOf(int32_t flowControl)
{
    switch (flowControl) {
    case 1:
        return FlowXonXoff;
    case 2:
    case 3:
        return FlowHardware;
    default:
        return FlowNone;
    }
}

std::optional<CServerMessage> ParseServerMessage(const QByteArray& payload)
{
    if (payload.size() < 2)
        return std::nullopt;
    const auto code = static_cast<uint8_t>(payload[0]);
    if (code <= kServerOffset || code > kServerOffset + PurgeData)
        return std::nullopt;
    CServerMessage message;
    message.command = static_cast<uint8_t>(code - kServerOffset);
    if (message.command == SetBaudRate) {
        if (payload.size() < 5)
            return std::nullopt;
        for (int i = 1; i <= 4; ++i)
            message.value = (message.value << 8) | static_cast<uint8_t>(payload[i]);
    } else {
        message.value = static_cast<uint8_t>(payload[1]);
    }
    return message;
}

QString Disagreement(uint8_t command, uint32_t asked, uint32_t answered)
{
    if (asked == answered)
        return {};
    switch (command) {
    case SetBaudRate:
        return QStringLiteral("the remote port runs at %1 baud").arg(answered);
    case SetDataSize:
        return QStringLiteral("the remote port keeps %1 data bits").arg(answered);
    case SetParity: {
        static const char* const kNames[] = {"?", "no", "odd", "even", "mark", "space"};
        const char* name = answered < 6 ? kNames[answered] : "unknown";
        return QStringLiteral("the remote port keeps %1 parity").arg(QLatin1String(name));
    }
    case SetStopSize:
        return QStringLiteral("the remote port keeps %1 stop bits")
            .arg(answered == StopTwo          ? QStringLiteral("2")
                 : answered == StopOneAndHalf ? QStringLiteral("1.5")
                                              : QStringLiteral("1"));
    default:
        return {};
    }
}

} // namespace ComPortControl
