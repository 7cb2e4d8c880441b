#pragma once
#include "send/Crc.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <mutex>
#include <stdexcept>

// The data string format of function-key macros: caret and percent escapes,
// checksum tokens ~|CHK-...|~ and "*path" file references (send/FileReference.h).

// A data string that ends in a lone percent sign is refused: nothing is sent.
class CDataStringError : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

// The checksum state that carries from one send to the next, shared by every
// session of the process.
struct ChecksumState
{
    enum Method : int
    {
        None = 0,
        Crc = 1,
        Lrc = 2,
        Sum = 3,
        TwosComplement = 4,
    };
    int method = None;
    uint8_t accumulator = 0;
    CrcModel model;          // width 0 while no model was ever loaded
    char modelName[32] = {}; // "CRC-16/MODBUS"; at most 31 characters
};

// The escape pass. Throws CDataStringError for a trailing percent sign.
QByteArray DecodeDataString(const QByteArray& text);

// One call of the session's transmit operation.
using TransmitFn = std::function<void(const char* bytes, int count)>;

struct EncodeResult
{
    enum class Kind
    {
        Sent,     // the bytes went to `transmit` in one call (possibly empty)
        FileSent, // a "*path" reference: 512-byte blocks went to `transmit`
    };
    Kind kind = Kind::Sent;
    // Why a file reference sent nothing or stopped early, naming the file
    // ("Cannot send file /x/y: No such file or directory"); empty otherwise.
    // The caller shows it.
    QString message;
};

// Turns a data string into transmit calls, updating `state`. Throws
// CDataStringError (before any transmit call) for a refused string.
EncodeResult EncodeDataString(const QByteArray& text, ChecksumState& state,
                              const TransmitFn& transmit);

// The checksum state that every send of one program shares, with the lock
// that serialises the sends that use it (the user-interface thread and serial
// reader threads both send).
class CSharedChecksum
{
public:
    // EncodeDataString on the shared state under its lock. The lock is
    // released before `transmit` is called (one call, as EncodeDataString
    // makes), so a transmit operation may take its own locks freely; a
    // "*path" file reference takes no lock at all.
    EncodeResult Encode(const QByteArray& text, const TransmitFn& transmit);

    // A copy of the state, for tests and diagnostics.
    ChecksumState State() const;

private:
    mutable std::mutex m_lock;
    ChecksumState m_state;
};
