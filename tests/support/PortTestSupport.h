#pragma once
// What the serial and remote-port tests share: a device source that lists no
// hardware (so that only TRELLIUM_PORTS mappings are ports), and data that
// holds every byte value in an order no chunking lines up with.
#include "serial/PortSource.h"

#include <QByteArray>
#include <vector>

class CNoDevices final : public CPortSource
{
public:
    std::vector<PortNames::CSerialDevice> Devices() override { return {}; }
};

inline QByteArray EveryByteValue(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return bytes;
}
