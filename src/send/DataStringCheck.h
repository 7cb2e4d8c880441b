#pragma once
#include "send/DataString.h"

#include <QByteArray>
#include <QString>

// What the setup dialog tells the user about a data string before it is
// stored: a string the sending engine would refuse (a trailing percent
// sign), a CRC model name that is not in the catalogue, and the bytes it
// sends, computed on a copy of a checksum state so that previewing changes
// nothing. Such strings may still be stored; this only points them out.
struct CDataStringCheck
{
    QString problem; // empty when the string is fine
    QString preview; // the bytes as upper-case hex pairs, or a note for a file
};

// `start` is the checksum state the string would be sent from (a session's
// current one); the default is a fresh state.
CDataStringCheck CheckDataString(const QByteArray& text, const ChecksumState& start = {});
