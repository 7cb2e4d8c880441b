#pragma once
#include "base/CommInfo.h"
#include "base/Transport.h"
#include "serial/CommOwner.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CComm;
class CSerialOwner;
class CTransportOwner;
struct CTtyLine;
enum class CTtyFlow;

// The transport of a serial session (connection type 0): the session's COM
// port through the numbering layer, at the session's line settings, with the
// port's reader thread feeding the data owner directly (OnReceive and
// SetModemStatus are safe on that thread).
//
// User-interface thread, except the CCommOwner calls on the reader thread.
// A device that vanishes and room in the output queue are handed to the
// user-interface thread (CSerialOwner::OnPortLost, CTransportOwner::
// OnOutputRoom), never to a later connection of the session: the reader
// never destroys what it runs in.
class CSerialTransport final : public CTransport, private CCommOwner
{
public:
    // `settings` is the session's settings record as it is now.
    CSerialTransport(CSerialOwner& owner, CTransportOwner& data, const CCommInfo& settings);
    ~CSerialTransport() override;
    CSerialTransport(const CSerialTransport&) = delete;
    CSerialTransport& operator=(const CSerialTransport&) = delete;

    // Opens "COM<port id + 1>", applies the session's baud rate and line
    // settings, starts the reader and marks the port in use in the port
    // list. A failure leaves nothing open and says why, naming the device.
    COpenResult Open() override;
    void Close() override;
    // Queued whole or refused whole (see CComm::Write); never waits.
    CWriteResult Write(const char* bytes, int count) override;
    bool IsUsable() const override;
    size_t OutputPending() const override;
    void WantOutputRoom() override;
    void ResumeReading() override;
    // Baud rate, parity, data bits, stop bits and flow control. A refusal is
    // told once per refused combination.
    QString ApplySettings(const CCommInfo& info) override;
    QString SetLineSignals(bool dtr, bool rts) override;
    QString SendBreak(int ms, std::function<void()> done) override;

    // The handshake of a session's flow-control index: "NoFC", "XON", "DTR"
    // (the RTS/CTS handshake: the drivers here offer no DTR/DSR one),
    // "RTS/CTS".
    static CTtyFlow FlowOf(int32_t flowControl);

private:
    bool OnCommData(const char* bytes, int count) override;
    bool CanReceive() override;
    void OnModemStatus(uint32_t status) override;
    void OnOutputRoom() override;
    void OnCommLost(const CPlatformError& why) override;

    // Runs `call` on the user-interface thread unless the transport closed.
    // (A template, so that the call is built inside the posting itself.)
    template <typename Fn> void Post(Fn call);

    CSerialOwner& m_owner;
    CTransportOwner& m_data;
    CCommInfo m_settings;
    std::unique_ptr<CComm> m_pComm;
    QString m_portName;   // "COM5"
    QString m_devicePath; // "/dev/ttyUSB0", or the stable path it was opened by
    // Cleared when the transport closes, so that a loss reported just
    // before never reaches a later connection of the session.
    std::shared_ptr<std::atomic<bool>> m_pAlive;
    std::optional<CCommInfo> m_refused; // settings last refused, told already
    bool m_bBreaking = false;
};
