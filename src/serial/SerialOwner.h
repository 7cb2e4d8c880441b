#pragma once
#include <QString>
#include <cstdint>

// What a serial transport tells the session that owns it, besides the bytes
// it receives (CTransportOwner).
class CSerialOwner
{
public:
    // The modem-line word, from the port's reader thread.
    virtual void SetModemStatus(uint32_t status) = 0;
    // The port `portId` is open (user-interface thread).
    virtual void OnPortOpened(int portId) = 0;
    // The open port vanished (unplugged, hung up); its reader has ended.
    // User-interface thread; the owner closes the transport, later than
    // this call.
    virtual void OnPortLost(const QString& message) = 0;

protected:
    ~CSerialOwner() = default;
};
