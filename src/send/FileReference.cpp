#include "send/FileReference.h"

#include "platform/FileIo.h"
#include "platform/Io.h"

#include <QFile>
#include <algorithm>

namespace {

using Transmit = std::function<void(const char* bytes, int count)>;

constexpr size_t kBlockSize = 512;
// Reads of files that do not tell their size. A multiple of 8, because
// /proc/self/pagemap refuses reads of any other length.
constexpr size_t kGatherChunk = 64 * 1024;

QString Problem(const QString& shown, const QString& reason)
{
    return QStringLiteral("Cannot send file %1: %2").arg(shown, reason);
}

QString TooLarge(const QString& shown)
{
    return Problem(
        shown, QStringLiteral("it is larger than %1 MiB").arg(kMaxFileSendBytes / (1024 * 1024)));
}

// A file that would make the reader wait (a live kernel log, say) is read no
// further: a send never waits.
QString NothingMore(const QString& shown, int64_t sent)
{
    if (sent == 0)
        return Problem(shown, QStringLiteral("it had nothing to read"));
    return Problem(shown, QStringLiteral("it had nothing more to read after %1 bytes").arg(sent));
}

// A file whose size is known: blocks go out as they are read, as they always
// have. The bound still holds if the file grows while it is being sent.
QString SendAsRead(int fd, const QString& shown, const Transmit& transmit)
{
    char block[kBlockSize];
    int64_t sent = 0;
    for (;;) {
        const Platform::IoResult read = Platform::ReadNonBlocking(fd, block, sizeof block);
        if (read.error != 0)
            return Problem(shown, SystemErrorText(read.error));
        if (read.wouldBlock)
            return NothingMore(shown, sent);
        if (read.count > 0 && sent >= kMaxFileSendBytes)
            return Problem(shown, QStringLiteral("it grew past %1 MiB while being sent")
                                      .arg(kMaxFileSendBytes / (1024 * 1024)));
        if (read.count > 0)
            transmit(block, static_cast<int>(read.count));
        sent += static_cast<int64_t>(read.count);
        if (read.count < kBlockSize)
            return {};
    }
}

// A file that reports no size (most of /proc) may hold nothing or endless
// bytes: it is read whole, up to just past the bound, before any of it goes
// out, so an oversized one sends nothing.
QString SendGathered(int fd, const QString& shown, const Transmit& transmit)
{
    QByteArray content;
    bool wouldBlock = false;
    for (;;) {
        const qsizetype at = content.size();
        if (content.capacity() < at + static_cast<qsizetype>(kGatherChunk))
            content.reserve(std::max(content.capacity() * 2, at + qsizetype{kGatherChunk}));
        content.resize(at + static_cast<qsizetype>(kGatherChunk));
        const Platform::IoResult read =
            Platform::ReadNonBlocking(fd, content.data() + at, kGatherChunk);
        content.resize(at + static_cast<qsizetype>(read.count));
        if (read.error != 0)
            return Problem(shown, SystemErrorText(read.error));
        if (content.size() > kMaxFileSendBytes)
            return TooLarge(shown);
        if (read.wouldBlock) {
            wouldBlock = true;
            break;
        }
        if (read.AtEnd())
            break;
    }
    for (qsizetype at = 0; at < content.size(); at += kBlockSize) {
        const qsizetype count = std::min(qsizetype{kBlockSize}, content.size() - at);
        transmit(content.constData() + at, static_cast<int>(count));
    }
    return wouldBlock ? NothingMore(shown, content.size()) : QString();
}

} // namespace

QString SendFileReference(const QByteArray& pathBytes, const Transmit& transmit)
{
    // The path names the file as Latin-1 text (as it is typed and shown) or
    // as the file system's own bytes.
    QString shown = QString::fromLatin1(pathBytes);
    QByteArray native = QFile::encodeName(shown);
    CErrorOr<Platform::FileStatus> status = Platform::StatusOfPath(native);
    if (status.IsError() && native != pathBytes) {
        CErrorOr<Platform::FileStatus> asLocal = Platform::StatusOfPath(pathBytes);
        if (!asLocal.IsError()) {
            native = pathBytes;
            shown = QFile::decodeName(pathBytes);
            status = asLocal;
        }
    }
    if (status.IsError())
        return Problem(shown, SystemErrorText(status.Error().ErrorNumber()));
    // Devices are refused before they are opened: opening a terminal alone
    // can change its modem lines.
    if (!status.Value().regular)
        return Problem(shown, QStringLiteral("it is not a regular file"));

    CErrorOr<UniqueFd> file = Platform::OpenReadNonBlocking(native);
    if (file.IsError())
        return Problem(shown, SystemErrorText(file.Error().ErrorNumber()));
    // The name may have been pointed elsewhere since it was looked at; what
    // counts is the file actually open.
    const CErrorOr<Platform::FileStatus> opened = Platform::StatusOfFd(file.Value().Get());
    if (opened.IsError())
        return Problem(shown, SystemErrorText(opened.Error().ErrorNumber()));
    if (!opened.Value().regular)
        return Problem(shown, QStringLiteral("it is not a regular file"));
    if (opened.Value().size > kMaxFileSendBytes)
        return TooLarge(shown);
    if (opened.Value().size > 0)
        return SendAsRead(file.Value().Get(), shown, transmit);
    return SendGathered(file.Value().Get(), shown, transmit);
}
