#pragma once
#include "base/Transport.h"
#include "serial/CommOwner.h"
#include "session/CommInfo.h"

#include <QString>
#include <atomic>
#include <memory>
#include <optional>

class CComm;
class CTransportOwner;
class CTrelliumDoc;
struct CTtyLine;

// The transport of a serial session (connection type 0): the session's COM
// port through the numbering layer, at the session's line settings, with the
// port's reader thread feeding the session directly (ReceiveData and
// SetModemStatus are safe on that thread).
//
// User-interface thread, except the CCommOwner calls on the reader thread.
// A device that vanishes is handed to the user-interface thread
// (CTrelliumDoc::OnPortLost), which closes the transport there: the reader
// never destroys what it runs in.
class CSerialTransport final : public CTransport, private CCommOwner
{
public:
    explicit CSerialTransport(CTrelliumDoc& doc);
    ~CSerialTransport() override;
    CSerialTransport(const CSerialTransport&) = delete;
    CSerialTransport& operator=(const CSerialTransport&) = delete;

    // The transport table's maker.
    static std::unique_ptr<CTransport> Make(CTrelliumDoc& doc);

    // Opens "COM<port id + 1>", applies the session's baud rate and line
    // settings, starts the reader and marks the port in use in the port
    // list. A failure leaves nothing open and says why, naming the device.
    COpenResult Open() override;
    void Close() override;
    // Queued whole or refused whole (see CComm::Write); never waits.
    CWriteResult Write(const char* bytes, int count) override;
    bool IsUsable() const override;
    size_t OutputRoom() const override;
    size_t OutputPending() const override;
    void WantOutputRoom() override;
    void ResumeReading() override;
    // Baud rate, parity, data bits and stop bits; flow control is never
    // applied. A refusal is told once per refused combination.
    QString ApplySettings(const CCommInfo& info) override;

private:
    bool OnCommData(const char* bytes, int count) override;
    bool CanReceive() override;
    void OnModemStatus(uint32_t status) override;
    void OnOutputRoom() override;
    void OnCommLost(const CPlatformError& why) override;

    CTrelliumDoc& m_doc;
    std::unique_ptr<CComm> m_pComm;
    QString m_portName;   // "COM5"
    QString m_devicePath; // "/dev/ttyUSB0", or the stable path it was opened by
    // Cleared when the transport closes, so that a loss reported just
    // before never reaches a later connection of the session.
    std::shared_ptr<std::atomic<bool>> m_pAlive;
    std::optional<CCommInfo> m_refused; // settings last refused, told already
};
