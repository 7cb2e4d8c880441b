#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// The telnet layer of a connection to a remote serial port: commands and
// option negotiation are taken out of the byte stream, the data's 0xFF
// bytes are escaped and unescaped. Pure code, no sockets.
namespace Telnet {

inline constexpr uint8_t kSe = 240;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kIac = 255;

inline constexpr uint8_t kOptBinary = 0;
inline constexpr uint8_t kOptEcho = 1;
inline constexpr uint8_t kOptSuppressGoAhead = 3;

// A subnegotiation longer than this is not something a serial port server
// sends: the stream is taken as garbage rather than buffered without end.
inline constexpr int kMaxSubnegotiation = 512;

// What the decoder found besides data.
class CSink
{
public:
    virtual void OnData(const char* bytes, int count) = 0;
    // WILL, WONT, DO or DONT for `option`.
    virtual void OnNegotiation(uint8_t verb, uint8_t option) = 0;
    // IAC SB option payload IAC SE, with the payload's doubled 0xFF undone.
    virtual void OnSubnegotiation(uint8_t option, const QByteArray& payload) = 0;

protected:
    ~CSink() = default;
};

// Splits a received stream, in pieces of any size, into data, negotiations
// and subnegotiations. Data arrives at the sink in runs as long as the input
// allows. Stateful across calls, so a command split between two reads is
// whole when it reaches the sink.
class CDecoder
{
public:
    // Returns false, with Error() saying why, at the first thing no telnet
    // peer sends; the stream is not decoded further after that.
    bool Feed(const char* bytes, int count, CSink& sink);
    const QString& Error() const { return m_error; }
    // While the peer does not send in binary, a carriage return comes as
    // CR NUL or CR LF; CR NUL is given to the sink as a lone CR.
    void SetPeerBinary(bool binary) { m_bPeerBinary = binary; }

private:
    enum class State
    {
        Data,
        Iac,         // after IAC
        Verb,        // after IAC WILL/WONT/DO/DONT
        SubOption,   // after IAC SB
        Sub,         // in a subnegotiation's payload
        SubIac,      // after IAC inside the payload
        CarriageRet, // after a CR of a peer not in binary
    };
    bool Fail(const QString& why);

    State m_state = State::Data;
    uint8_t m_verb = 0;
    uint8_t m_subOption = 0;
    QByteArray m_payload;
    QString m_error;
    bool m_bPeerBinary = false;
};

// `count` bytes of data as they go on the wire: each 0xFF doubled.
QByteArray EscapeData(const char* bytes, int count);
// IAC verb option.
QByteArray Negotiation(uint8_t verb, uint8_t option);
// IAC SB option payload IAC SE, with 0xFF in the payload doubled.
QByteArray Subnegotiation(uint8_t option, const QByteArray& payload);

} // namespace Telnet
