#pragma once
#include "platform/PlatformError.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <mutex>

// The capture file of a session. Opening, writing and closing are serialised
// by one lock, so the serial reader thread can write while the
// user-interface thread starts or ends capture. The file is opened for
// appending, created when missing, and held exclusively (a second open of
// the same file, by this process or another, fails). Only a regular file is
// taken: a FIFO or a device is refused at once ("cannot open /tmp/f: it is
// not a regular file"), never waited on.
class CCaptureFile
{
public:
    CCaptureFile() = default;
    ~CCaptureFile() = default;
    CCaptureFile(const CCaptureFile&) = delete;
    CCaptureFile& operator=(const CCaptureFile&) = delete;

    // Opens `path` in place of any file held. A failure, returned with the
    // path named, leaves the file held before untouched.
    CPlatformError Open(const QString& path);
    bool IsOpen() const;
    // Writes when open; does nothing otherwise. A failed write closes the
    // file (nothing more is written after the bytes that were lost) and is
    // returned, naming the file and the cause.
    CPlatformError Write(const QByteArray& bytes);
    CPlatformError Write(const char* bytes, int count);
    // Writes `lastLine` when open and not empty, on a line of its own, then
    // closes.
    void Close(const QByteArray& lastLine = {});

private:
    mutable std::mutex m_mutex;
    UniqueFd m_file;
    QString m_path;
    bool m_bMidLine = false; // the last byte written did not end a line
};
