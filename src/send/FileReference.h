#pragma once
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// "*path" data strings: the named file is sent as it is, in 512-byte blocks.

// The most a file reference sends. A larger file sends nothing at all.
constexpr int64_t kMaxFileSendBytes = int64_t{16} * 1024 * 1024;

// A file reference opened for sending, read one block at a time as its
// connection has room. Only regular files are opened, and nothing ever
// waits: a file with nothing more to give ends the send with a problem.
class CFileSource
{
public:
    static constexpr int kBlockSize = 512;

    struct CBlock
    {
        QByteArray bytes; // up to kBlockSize; may be empty at the end
        bool bLast = false;
        QString problem; // why the send ends here (bytes is then empty)
    };

    // Opens the file `pathBytes` names (Latin-1 text as typed, else the file
    // system's own bytes). On failure `problem` says why, naming the file
    // ("Cannot send file /x/y: No such file or directory"), and nothing is
    // returned.
    static std::unique_ptr<CFileSource> Open(const QByteArray& pathBytes, QString& problem);
    ~CFileSource();
    CFileSource(const CFileSource&) = delete;
    CFileSource& operator=(const CFileSource&) = delete;

    // The next block; after one with bLast or a problem, nothing more.
    CBlock Next();
    // The file's size as it was opened (its whole content for files that do
    // not tell their size), and what Next has handed out.
    int64_t Total() const { return m_total; }
    int64_t Done() const { return m_done; }
    const QString& Shown() const { return m_shown; }

private:
    CFileSource(UniqueFd fd, QString shown, int64_t size);
    QString Problem(const QString& reason) const;

    UniqueFd m_fd;
    QString m_shown;
    int64_t m_total = 0;
    int64_t m_done = 0;
    bool m_bGathered = false; // read whole first: m_content holds it
    QByteArray m_content;
    QString m_gatherProblem; // shown after the gathered content went out
    bool m_bEnded = false;
};

// Sends the file `pathBytes` names through `transmit`, one call per block,
// all at once (the companion's encode). Returns what went wrong, naming the
// file, or an empty text. Takes no lock; call it holding none.
QString SendFileReference(const QByteArray& pathBytes,
                          const std::function<void(const char* bytes, int count)>& transmit);
