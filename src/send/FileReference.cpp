#include "send/FileReference.h"

#include "platform/FileIo.h"
#include "platform/Io.h"

#include <QFile>
#include <algorithm>

namespace {

// Reads of files that do not tell their size. A multiple of 8, because
// /proc/self/pagemap refuses reads of any other length.
constexpr size_t kGatherChunk = 64 * 1024;

QString ProblemWith(const QString& shown, const QString& reason)
{
    return QStringLiteral("Cannot send file %1: %2").arg(shown, reason);
}

QString TooLargeReason()
{
    return QStringLiteral("it is larger than %1 MiB").arg(kMaxFileSendBytes / (1024 * 1024));
}

// A file that would make the reader wait (a live kernel log, say) is read no
// further: a send never waits.
QString NothingMoreReason(int64_t sent)
{
    if (sent == 0)
        return QStringLiteral("it had nothing to read");
    return QStringLiteral("it had nothing more to read after %1 bytes").arg(sent);
}

} // namespace

CFileSource::CFileSource(UniqueFd fd, QString shown, int64_t size)
    : m_fd(std::move(fd)), m_shown(std::move(shown)), m_total(size)
{
}

CFileSource::~CFileSource() = default;

QString CFileSource::Problem(const QString& reason) const
{
    return ProblemWith(m_shown, reason);
}

std::unique_ptr<CFileSource> CFileSource::Open(const QByteArray& pathBytes, QString& problem)
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
    if (status.IsError()) {
        problem = ProblemWith(shown, SystemErrorText(status.Error().ErrorNumber()));
        return nullptr;
    }
    // Devices are refused before they are opened: opening a terminal alone
    // can change its modem lines.
    if (!status.Value().regular) {
        problem = ProblemWith(shown, QStringLiteral("it is not a regular file"));
        return nullptr;
    }
    CErrorOr<UniqueFd> file = Platform::OpenReadNonBlocking(native);
    if (file.IsError()) {
        problem = ProblemWith(shown, SystemErrorText(file.Error().ErrorNumber()));
        return nullptr;
    }
    // The name may have been pointed elsewhere since it was looked at; what
    // counts is the file actually open.
    const CErrorOr<Platform::FileStatus> opened = Platform::StatusOfFd(file.Value().Get());
    if (opened.IsError()) {
        problem = ProblemWith(shown, SystemErrorText(opened.Error().ErrorNumber()));
        return nullptr;
    }
    if (!opened.Value().regular) {
        problem = ProblemWith(shown, QStringLiteral("it is not a regular file"));
        return nullptr;
    }
    if (opened.Value().size > kMaxFileSendBytes) {
        problem = ProblemWith(shown, TooLargeReason());
        return nullptr;
    }
    std::unique_ptr<CFileSource> source(
        new CFileSource(std::move(file.Value()), shown, opened.Value().size));
    if (opened.Value().size > 0)
        return source;

    // A file that reports no size (most of /proc) may hold nothing or endless
    // bytes: it is read whole, up to just past the bound, before any of it
    // goes out, so an oversized one sends nothing.
    source->m_bGathered = true;
    QByteArray& content = source->m_content;
    for (;;) {
        const qsizetype at = content.size();
        if (content.capacity() < at + static_cast<qsizetype>(kGatherChunk))
            content.reserve(std::max(content.capacity() * 2, at + qsizetype{kGatherChunk}));
        content.resize(at + static_cast<qsizetype>(kGatherChunk));
        const Platform::IoResult read =
            Platform::ReadNonBlocking(source->m_fd.Get(), content.data() + at, kGatherChunk);
        content.resize(at + static_cast<qsizetype>(read.count));
        if (read.error != 0) {
            problem = ProblemWith(shown, SystemErrorText(read.error));
            return nullptr;
        }
        if (content.size() > kMaxFileSendBytes) {
            problem = ProblemWith(shown, TooLargeReason());
            return nullptr;
        }
        if (read.wouldBlock) {
            source->m_gatherProblem = ProblemWith(shown, NothingMoreReason(content.size()));
            break;
        }
        if (read.AtEnd())
            break;
    }
    source->m_fd.Reset();
    source->m_total = content.size();
    return source;
}

CFileSource::CBlock CFileSource::Next()
{
    CBlock block;
    if (m_bEnded) {
        block.bLast = true;
        return block;
    }
    if (m_bGathered) {
        // What was read ahead goes out block by block; a reason it stopped
        // short follows the last of it.
        const qsizetype size = m_content.size();
        if (m_done >= size) {
            m_bEnded = true;
            block.problem = m_gatherProblem;
            block.bLast = true;
            return block;
        }
        const qsizetype count = std::min<qsizetype>(kBlockSize, size - m_done);
        block.bytes = m_content.mid(static_cast<qsizetype>(m_done), count);
        m_done += count;
        if (m_done >= size && m_gatherProblem.isEmpty())
            m_bEnded = block.bLast = true;
        return block;
    }
    // A file whose size is known: blocks go out as they are read. The bound
    // still holds if the file grows while it is being sent.
    block.bytes.resize(kBlockSize);
    const Platform::IoResult read =
        Platform::ReadNonBlocking(m_fd.Get(), block.bytes.data(), static_cast<size_t>(kBlockSize));
    block.bytes.resize(static_cast<qsizetype>(read.count));
    m_bEnded = true;
    if (read.error != 0)
        block.problem = Problem(SystemErrorText(read.error));
    else if (read.wouldBlock)
        block.problem = Problem(NothingMoreReason(m_done));
    else if (read.count > 0 && m_done >= kMaxFileSendBytes)
        block.problem = Problem(QStringLiteral("it grew past %1 MiB while being sent")
                                    .arg(kMaxFileSendBytes / (1024 * 1024)));
    else
        m_bEnded = read.count < static_cast<size_t>(kBlockSize);
    if (!block.problem.isEmpty())
        block.bytes.clear();
    m_done += block.bytes.size();
    block.bLast = m_bEnded;
    return block;
}

QString SendFileReference(const QByteArray& pathBytes,
                          const std::function<void(const char* bytes, int count)>& transmit)
{
    QString problem;
    const std::unique_ptr<CFileSource> source = CFileSource::Open(pathBytes, problem);
    if (!source)
        return problem;
    for (;;) {
        const CFileSource::CBlock block = source->Next();
        if (!block.bytes.isEmpty())
            transmit(block.bytes.constData(), static_cast<int>(block.bytes.size()));
        if (!block.problem.isEmpty())
            return block.problem;
        if (block.bLast)
            return {};
    }
}
