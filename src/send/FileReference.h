#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

// "*path" data strings: the named file is sent as it is, in 512-byte blocks.

// The most a file reference sends. A larger file sends nothing at all.
constexpr int64_t kMaxFileSendBytes = int64_t{16} * 1024 * 1024;

// Sends the file `pathBytes` names (Latin-1 text as typed, else the file
// system's own bytes) through `transmit`, one call per 512-byte block,
// stopping after the first short block. Only regular files are sent, and
// nothing ever waits: a file with nothing to give ends the send.
//
// Returns what went wrong, naming the file ("Cannot send file /x/y: No such
// file or directory"), or an empty text. Takes no lock; call it holding none.
QString SendFileReference(const QByteArray& pathBytes,
                          const std::function<void(const char* bytes, int count)>& transmit);
