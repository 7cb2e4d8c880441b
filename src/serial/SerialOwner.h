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
    // An opening that goes on in the background (a remote port: connecting
    // and agreeing on serial port control) failed: `message` says why in
    // full, `reason` in a few words for the title. User-interface thread;
    // the owner closes the transport, later than this call.
    virtual void OnPortFailed(const QString& message, const QString& reason) = 0;
    // The port kept other line settings than asked, or refused a request;
    // told once per refusal. User-interface thread.
    virtual void OnLineNotice(const QString& message) = 0;

protected:
    ~CSerialOwner() = default;
};
