#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

class CCommInfo;

// What a send through a transport came to. A write is taken whole or refused
// whole: nothing of a refused write goes out.
struct CWriteResult
{
    enum class Kind
    {
        Sent,   // queued for the connection (or nothing to do for this kind)
        Full,   // refused: the output queue has no room for all of it now
        Failed, // refused: the connection failed (`error` holds the errno)
    };
    Kind kind = Kind::Sent;
    int error = 0;

    static CWriteResult Sent() { return {Kind::Sent, 0}; }
    static CWriteResult Full() { return {Kind::Full, 0}; }
    static CWriteResult Failed(int error) { return {Kind::Failed, error}; }
    bool IsSent() const { return kind == Kind::Sent; }
};

// How an opening attempt ended. A transport never shows anything itself: the
// session shows `alert` (when not empty) after the attempt, with no lock held.
struct COpenResult
{
    bool bOnline = false; // online, or a connection attempt under way
    QString strAlert;
    QString strAlertTitle;
    QString strReason; // the cause in a few words, for the session's title

    static COpenResult Online() { return {true, {}, {}, {}}; }
    static COpenResult Offline(const QString& alert = {}, const QString& title = {},
                               const QString& reason = {})
    {
        return {false, alert, title, reason};
    }
};

// Where every transport hands what it receives: one path for every kind of
// connection. Implemented by the session.
class CTransportOwner
{
public:
    // Bytes from a stream source (serial port, TCP). False when the session
    // cannot hold more for now: the source stops reading until the session
    // calls its ResumeReading. Any thread (a serial reader calls it).
    virtual bool OnReceive(const char* bytes, int count) = 0;
    // True when a stream source may read now. Any thread.
    virtual bool CanReceive() const = 0;
    // One datagram: shown when there is room, else dropped and counted.
    // User-interface thread.
    virtual void OnDatagram(const char* bytes, int count) = 0;
    // Datagrams the system dropped before we could read them (a full socket
    // buffer), shown as lost. User-interface thread.
    virtual void OnDatagramsDropped(uint64_t count) = 0;
    // Output that waited went out: the queue has room again. User-interface
    // thread; called only after a write was refused as full or a caller
    // asked through WantOutputRoom.
    virtual void OnOutputRoom() = 0;

protected:
    ~CTransportOwner() = default;
};

// One connection of a session: serial port, TCP client, TCP server, UDP
// client or UDP server, each in its own files. The session makes one when it
// goes online and destroys it when it goes offline. Received bytes come back
// through CTransportOwner; state changes through the kind's own owner
// interface.
//
// User-interface thread only, except what a transport's own reader thread
// does through its owner interfaces, and Write, which a serial session may
// also call from its reader thread (auto responses).
class CTransport
{
public:
    virtual ~CTransport() = default;
    virtual COpenResult Open() = 0;
    // Ends the connection; destruction follows.
    virtual void Close() = 0;
    // Queues the bytes whole or refuses them whole; never waits.
    virtual CWriteResult Write(const char* bytes, int count) = 0;
    // True once sends reach a peer: a TCP client once connected, a TCP server
    // once it holds a client, the others once open.
    virtual bool IsUsable() const = 0;
    // Bytes still waiting to go out.
    virtual size_t OutputPending() const { return 0; }
    // Asks for one OnOutputRoom once the waiting output has drained to
    // kOutputLowWater or below.
    virtual void WantOutputRoom() {}
    // Waiting output at or below this counts as room, for every transport.
    static constexpr size_t kOutputLowWater = 16 * 1024;
    // The session has room again after OnReceive said it had none.
    virtual void ResumeReading() {}
    // The settings changed while open (a serial port takes its line settings).
    // Returns what to tell the user when the connection could not take them
    // (the session shows it with nothing locked); empty when all is well.
    virtual QString ApplySettings(const CCommInfo&) { return {}; }
    // Line control of a serial line: DTR and RTS up or down, and a break of
    // `ms` milliseconds (the line is free again when `done` runs, on this
    // thread). Returns what to tell the user when the line refused; other
    // transports have no such lines and say so.
    virtual QString SetLineSignals(bool /*dtr*/, bool /*rts*/)
    {
        return QStringLiteral("this connection has no DTR or RTS line");
    }
    virtual QString SendBreak(int /*ms*/, std::function<void()> /*done*/)
    {
        return QStringLiteral("this connection cannot send a break");
    }
};
