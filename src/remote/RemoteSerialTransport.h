#pragma once
#include "base/CommInfo.h"
#include "base/Transport.h"
#include "net/NetOwners.h"
#include "net/TelnetCodec.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <bitset>
#include <map>
#include <memory>
#include <optional>

class CSerialOwner;
class CTermSocket;

// The transport of a serial session whose COM number is mapped to a serial
// port on another machine ("rfc2217://HOST:PORT"): a TCP connection that
// speaks telnet with serial port control. It behaves as a local port does:
// line settings, flow control, DTR/RTS and break go to the remote port as
// commands, its modem lines come back to the indicators, and data passes
// with telnet's 0xFF escaping undone both ways.
//
// Opening is in the background: Open starts connecting and the session is
// online meanwhile; once the server agrees to serial port control the
// settings go out and the owner hears OnPortOpened. A refusal, garbage, a
// closed connection or no agreement within the timeout ends the attempt
// through OnPortFailed; a connection lost after the agreement is a lost
// port (OnPortLost). User-interface thread only.
class CRemoteSerialTransport final : public QObject,
                                     public CTransport,
                                     private CTermSocketOwner,
                                     private CTransportOwner,
                                     private Telnet::CSink
{
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 10000;

    // `address` is the port's mapping as written ("rfc2217://lab4:2001");
    // a malformed one is refused by Open, named.
    CRemoteSerialTransport(CSerialOwner& owner, CTransportOwner& data, const CCommInfo& settings,
                           QString address, int timeoutMs = kDefaultTimeoutMs);
    ~CRemoteSerialTransport() override;

    COpenResult Open() override;
    void Close() override;
    // Escaped and queued whole, or refused whole.
    CWriteResult Write(const char* bytes, int count) override;
    // Once the server agreed to serial port control.
    bool IsUsable() const override { return m_bAgreed; }
    size_t OutputPending() const override;
    void WantOutputRoom() override;
    void ResumeReading() override;
    QString ApplySettings(const CCommInfo& info) override;
    QString SetLineSignals(bool dtr, bool rts) override;
    QString SendBreak(int ms, std::function<void()> done) override;

private:
    // CTermSocketOwner
    void OnClientConnect(int error) override;
    void OnClientClosed() override;
    // CTransportOwner: what the socket reads, still in telnet's framing.
    bool OnReceive(const char* bytes, int count) override;
    bool CanReceive() const override;
    void OnDatagram(const char*, int) override {}
    void OnDatagramsDropped(uint64_t) override {}
    void OnOutputRoom() override;
    // Telnet::CSink
    void OnData(const char* bytes, int count) override;
    void OnNegotiation(uint8_t verb, uint8_t option) override;
    void OnSubnegotiation(uint8_t option, const QByteArray& payload) override;

    void Agreed();
    // Sends a command of serial port control (its payload).
    void SendControl(const QByteArray& payload);
    // Sends telnet framing that is not data; kept in order when the
    // socket's queue is full.
    void SendRaw(const QByteArray& bytes);
    void SendLine(bool force);
    void SendSignals();
    // Ends the connection with `message`, told once, after the current
    // notification (the owner closes the transport).
    void Fail(const QString& message, const QString& reason);
    QString Where() const;

    CSerialOwner& m_owner;
    CTransportOwner& m_data;
    CCommInfo m_settings;
    QString m_address;
    int m_timeoutMs;
    std::unique_ptr<CTermSocket> m_pSocket;
    Telnet::CDecoder m_decoder;
    QTimer m_agreementTimer;
    // Telnet options in force on our side (WILL) and the server's (DO), and
    // those we asked for and await an answer to.
    std::bitset<256> m_local, m_remote, m_localAsked, m_remoteAsked;
    bool m_bAgreed = false;
    bool m_bFailed = false;
    bool m_bReceiveFull = false;
    bool m_bRoomWanted = false; // the session waits for output room
    QByteArray m_controlBacklog;
    bool m_bDtr = true;
    bool m_bRts = true;
    bool m_bBreaking = false;
    std::optional<CCommInfo> m_sentLine; // the line settings last sent
    QString m_toldDisagreement;          // the last notice given, not repeated
    // Line requests by command: the value last asked for and how many
    // requests still wait for an answer.
    struct CRequest
    {
        uint32_t latest = 0;
        int outstanding = 0;
    };
    std::map<uint8_t, CRequest> m_unanswered;
    std::shared_ptr<bool> m_pAlive;
};
