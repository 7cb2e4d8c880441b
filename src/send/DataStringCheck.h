#pragma once
#include <QByteArray>
#include <QString>

// What the setup dialog tells the user about a data string before it is
// stored: a string the sending engine would refuse (a trailing percent
// sign), a CRC model name that is not in the catalogue, and the bytes it
// sends, computed with a checksum state of its own so that previewing
// changes nothing. Such strings may still be stored; this only points them out.
struct CDataStringCheck
{
    QString problem; // empty when the string is fine
    QString preview; // the bytes as upper-case hex pairs, or a note for a file
};

CDataStringCheck CheckDataString(const QByteArray& text);
