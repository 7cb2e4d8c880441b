#pragma once
#include <QString>

class CCommInfo;

// What a send through a transport came to.
enum class CWriteResult
{
    Sent,    // handed to the connection (or nothing to do for this kind)
    Refused, // the connection did not take every byte: the session beeps and echoes nothing
};

// How an opening attempt ended. A transport never shows anything itself: the
// session shows `alert` (when not empty) after the attempt, with no lock held.
struct COpenResult
{
    bool bOnline = false; // online, or a connection attempt under way
    QString strAlert;
    QString strAlertTitle;

    static COpenResult Online() { return {true, {}, {}}; }
    static COpenResult Offline(const QString& alert = {}, const QString& title = {})
    {
        return {false, alert, title};
    }
};

// One connection of a session: serial port, TCP client, TCP server, UDP
// client or UDP server, each in its own files. The session makes one when it
// goes online and destroys it when it goes offline. Received bytes and state
// changes come back through the owner interfaces the session implements
// (CTCPIPOwner, CUDPOwner, the TCP client's and the serial reader's owners).
//
// User-interface thread only, except what a transport's own reader thread
// does through its owner interface.
class CTransport
{
public:
    virtual ~CTransport() = default;
    virtual COpenResult Open() = 0;
    // Ends the connection; destruction follows.
    virtual void Close() = 0;
    virtual CWriteResult Write(const char* bytes, int count) = 0;
    // True once sends reach a peer: a TCP client once connected, a TCP server
    // once it holds a client, the others once open.
    virtual bool IsUsable() const = 0;
    // The settings changed while open (a serial port takes its line settings).
    // Returns what to tell the user when the connection could not take them
    // (the session shows it with nothing locked); empty when all is well.
    virtual QString ApplySettings(const CCommInfo&) { return {}; }
};
