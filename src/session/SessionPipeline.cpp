#include "session/SessionPipeline.h"

#include "display/TimeStamp.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "send/FileReference.h"
#include "session/Capture.h"
#include "session/PipelineOwner.h"
#include "session/SessionView.h"
#include "session/TransportKinds.h"

#include <QDateTime>
#include <algorithm>
#include <cerrno>

namespace {

// A file send keeps this much waiting in its connection's queue: enough to
// keep the line busy, little enough that typed bytes are not stuck behind it.
constexpr size_t kFileQueueTarget = 64 * 1024;
// Blocks a file send hands over per turn of the event loop.
constexpr int kFileBlocksPerTurn = 256;
// A delivery hands the view at most this much; more follows at the next turn.
constexpr size_t kDeliverySlice = 128 * 1024;
// How often a running file send reports its progress.
constexpr qint64 kFileProgressMs = 250;

} // namespace

struct CSessionPipeline::CFileSend
{
    std::unique_ptr<CFileSource> source;
    MacroKey macro;
    QByteArray waiting; // a block the connection refused as full, sent next
    QElapsedTimer started;
    QElapsedTimer lastReport;
    bool bShowProgress = false;

    qint64 Done() const { return source->Done() - waiting.size(); }
};

CSessionPipeline::CSessionPipeline(CPipelineOwner& owner, CClock& clock, int deliveryFrameMs)
    : m_owner(owner), m_clock(clock), m_nDeliveryFrameMs(deliveryFrameMs),
      m_backlog([this] { ScheduleDelivery(); })
{
    m_deliveryTimer.setSingleShot(true);
    connect(&m_deliveryTimer, &QTimer::timeout, this, &CSessionPipeline::DeliverNewBytes);
}

CSessionPipeline::~CSessionPipeline()
{
    m_pFileSend.reset();
    if (m_pTransport) {
        m_pTransport->Close();
        m_pTransport.reset();
    }
}

void CSessionPipeline::Publish(const CCommInfo& info)
{
    m_nStampFormat.store(info.m_timing.m_nFormat);
    m_nStampMinInterval.store(info.m_timing.m_nMinInterval);
    m_bEchoOn.store(info.EchoOn());
    m_nConnectionType.store(info.m_nConnectionType);
}

void CSessionPipeline::SetTransport(std::unique_ptr<CTransport> transport)
{
    CloseTransport();
    m_pTransport = std::move(transport);
}

void CSessionPipeline::CloseTransport()
{
    // A file send ends with its connection, saying how far it came.
    if (m_pFileSend)
        EndFileSend(QStringLiteral("the connection was closed"));
    if (m_pTransport) {
        m_pTransport->Close();
        m_pTransport.reset();
    }
}

bool CSessionPipeline::StopFileSendOf(const CMacroId& macro)
{
    if (!m_pFileSend || m_pFileSend->macro.Id() != macro)
        return false;
    EndFileSend(QString());
    return true;
}

QString CSessionPipeline::FileProgressText() const
{
    if (!m_pFileSend || !m_pFileSend->bShowProgress)
        return {};
    const CFileSend& send = *m_pFileSend;
    const QString label = send.macro.m_strLabel.isEmpty()
                              ? MacroKeyName(send.macro)
                              : QString::fromLatin1(send.macro.m_strLabel);
    return QStringLiteral("(%1 %2/%3) ").arg(label).arg(send.Done()).arg(send.source->Total());
}

void CSessionPipeline::AbandonCapture()
{
    if (m_bCapturing.exchange(false))
        m_captureFile.Close(); // closing the session writes no end line
}

CWriteResult CSessionPipeline::Transmit(const char* bytes, int count)
{
    // The transport stays put while a reader thread can send: a serial port's
    // reader is stopped before its transport is destroyed.
    CTransport* transport = m_pTransport.get();
    if (!transport) {
        if (TransportKindOf(m_nConnectionType.load()).bRefusesWithoutTransport)
            return CWriteResult::Failed(ENODEV);
        return CWriteResult::Sent();
    }
    const CWriteResult result = transport->Write(bytes, count);
    if (result.IsSent())
        m_bRefusalTold = false;
    else
        NoteRefusal(result, count);
    return result;
}

void CSessionPipeline::NoteRefusal(const CWriteResult& result, int count)
{
    // Once per episode: a macro that repeats into a full queue would
    // otherwise raise a message per send.
    if (m_bRefusalTold.exchange(true))
        return;
    const QString connection = m_owner.ConnectionText();
    if (result.kind == CWriteResult::Kind::Full) {
        const CTransport* transport = m_pTransport.get();
        ReportSendProblem(
            QStringLiteral("%1 is not taking data: %2 bytes are waiting to be sent, so %3 more "
                           "bytes were not sent.")
                .arg(connection)
                .arg(transport ? static_cast<qulonglong>(transport->OutputPending()) : 0)
                .arg(count));
    } else if (result.error != ENODEV || m_pTransport) {
        ReportSendProblem(QStringLiteral("Sending to %1 failed: %2")
                              .arg(connection, SystemErrorText(result.error)));
    }
}

void CSessionPipeline::Echo(const char* bytes, int count)
{
    if (count <= 0)
        return;
    std::lock_guard lock(m_storeLock);
    m_ring.Append(bytes, count);
    m_backlog.AppendStream(bytes, count, m_clock.TickCount(), m_nStampFormat.load() == 0);
}

int CSessionPipeline::SendData(const char* bytes, int count)
{
    if (!Transmit(bytes, count).IsSent()) {
        Alerts::Beep();
        return 0;
    }
    if (m_bEchoOn)
        Echo(bytes, count);
    return 1;
}

void CSessionPipeline::StartFileSend(const MacroKey& macro)
{
    if (m_pFileSend) {
        Alerts::Message(QStringLiteral("%1 is still being sent; press %2 again to stop it.")
                            .arg(m_pFileSend->source->Shown(), MacroKeyName(m_pFileSend->macro)),
                        Alerts::AppTitle(), AlertIcon::Warning);
        return;
    }
    QString problem;
    std::unique_ptr<CFileSource> source = CFileSource::Open(macro.m_strData.mid(1), problem);
    if (!source) {
        Alerts::Message(problem, Alerts::AppTitle(), AlertIcon::Warning);
        return;
    }
    m_pFileSend = std::make_unique<CFileSend>();
    m_pFileSend->source = std::move(source);
    m_pFileSend->macro = macro;
    m_pFileSend->started.start();
    m_pFileSend->lastReport.start();
    PumpFileSend();
}

void CSessionPipeline::PumpFileSend()
{
    // What may still be queued before the queue is asked again: a server's
    // queue is the least of its clients', a pass over every client.
    size_t allowance = 0;
    for (int blocks = 0; m_pFileSend; ++blocks) {
        CFileSend& send = *m_pFileSend;
        CTransport* transport = m_pTransport.get();
        if (!transport && TransportKindOf(m_nConnectionType.load()).bRefusesWithoutTransport) {
            EndFileSend(QStringLiteral("the session is offline"));
            return;
        }
        // A file sent into a connection that reaches no one would be lost
        // whole while looking sent.
        if (transport && !transport->IsUsable()) {
            EndFileSend(QStringLiteral("the connection reaches no peer"));
            return;
        }
        if (blocks == kFileBlocksPerTurn) {
            // Let the window breathe; the rest follows at the next turn.
            QMetaObject::invokeMethod(
                this,
                [this, source = send.source.get()] {
                    if (m_pFileSend && m_pFileSend->source.get() == source)
                        PumpFileSend();
                },
                Qt::QueuedConnection);
            break;
        }
        if (transport && allowance < static_cast<size_t>(CFileSource::kBlockSize)) {
            const size_t pending = transport->OutputPending();
            if (pending >= kFileQueueTarget) {
                transport->WantOutputRoom();
                break;
            }
            allowance = kFileQueueTarget - pending;
        }
        QString problem;
        bool last = false;
        if (send.waiting.isEmpty()) {
            CFileSource::CBlock block = send.source->Next();
            send.waiting = std::move(block.bytes);
            problem = block.problem;
            last = block.bLast;
        }
        if (!send.waiting.isEmpty()) {
            const CWriteResult result =
                transport ? transport->Write(send.waiting.constData(),
                                             static_cast<int>(send.waiting.size()))
                          : CWriteResult::Sent();
            if (result.kind == CWriteResult::Kind::Full) {
                // Kept and sent first once the connection has room: no block
                // is ever skipped.
                transport->WantOutputRoom();
                break;
            }
            if (result.kind == CWriteResult::Kind::Failed) {
                EndFileSend(SystemErrorText(result.error));
                return;
            }
            if (m_bEchoOn)
                Echo(send.waiting.constData(), static_cast<int>(send.waiting.size()));
            allowance -= std::min(allowance, static_cast<size_t>(send.waiting.size()));
            send.waiting.clear();
        }
        if (!problem.isEmpty()) {
            EndFileSend(problem);
            return;
        }
        if (last && send.waiting.isEmpty()) {
            EndFileSend(QString());
            return;
        }
    }
    ReportFileProgress(false);
}

void CSessionPipeline::ReportFileProgress(bool force)
{
    if (!m_pFileSend)
        return;
    CFileSend& send = *m_pFileSend;
    if (!force && send.lastReport.elapsed() < kFileProgressMs)
        return;
    send.lastReport.start();
    const qint64 done = send.source->Done() - send.waiting.size();
    emit FileSendProgress(send.source->Shown(), done, send.source->Total());
    // A send that ends at once never shows in the title.
    if (!send.bShowProgress && send.started.elapsed() >= kFileProgressMs)
        send.bShowProgress = true;
    if (send.bShowProgress)
        m_owner.UpdateTitle();
}

void CSessionPipeline::EndFileSend(const QString& problem)
{
    if (!m_pFileSend)
        return;
    const std::unique_ptr<CFileSend> send = std::move(m_pFileSend);
    const qint64 done = send->source->Done() - send->waiting.size();
    emit FileSendProgress(send->source->Shown(), done, send->source->Total());
    if (send->bShowProgress)
        m_owner.UpdateTitle();
    if (problem.isEmpty())
        return;
    // A problem the file itself names stands as it is; a connection's is
    // told with how far the send came.
    const QString message = problem.startsWith(QLatin1String("Cannot send file"))
                                ? problem
                                : QStringLiteral("Sending %1 stopped after %2 of %3 bytes: %4")
                                      .arg(send->source->Shown())
                                      .arg(done)
                                      .arg(send->source->Total())
                                      .arg(problem);
    Alerts::Message(message, Alerts::AppTitle(), AlertIcon::Warning);
}

void CSessionPipeline::OnOutputRoom()
{
    if (m_pFileSend)
        PumpFileSend();
    m_owner.OnOutputRoom();
}

bool CSessionPipeline::ReceiveData(const char* bytes, int count)
{
    return Receive(bytes, count, false);
}

void CSessionPipeline::OnDatagram(const char* bytes, int count)
{
    Receive(bytes, count, true);
}

bool CSessionPipeline::CanReceive() const
{
    // On hold nothing reaches the backlog, so reading goes on.
    return m_bHold || m_backlog.HasRoom();
}

void CSessionPipeline::OnDatagramsDropped(uint64_t count)
{
    m_backlog.CountLostDatagrams(count);
}

bool CSessionPipeline::Store(const char* bytes, int count, uint32_t tick, bool datagram)
{
    if (count <= 0)
        return true;
    // The ring and the backlog see the same order when a reader and an echo
    // store at once.
    std::lock_guard lock(m_storeLock);
    m_ring.Append(bytes, count);
    const bool join = m_nStampFormat.load() == 0;
    if (datagram) {
        m_backlog.AppendDatagram(bytes, count, tick, join);
        return true;
    }
    return m_backlog.AppendStream(bytes, count, tick, join);
}

bool CSessionPipeline::Receive(const char* bytes, int count, bool datagram)
{
    // Hold as it stood when the block arrived: a block captured while on
    // hold is never shown, however soon hold is turned off.
    const bool hold = m_bHold.load();
    m_stampText.clear();
    const uint32_t now = m_clock.TickCount();
    const int format = m_nStampFormat.load();
    if (format != 0) {
        const uint32_t gap = now - m_lastRxTick;
        if (TimeStamp::IsDue(gap, m_nStampMinInterval.load())) {
            m_stampText = TimeStamp::Format(format, gap, QDateTime::currentDateTime(),
                                            TimeStamp::Division::Capture);
            if (m_bCapturing) {
                const QByteArray line = m_stampText + "\r\n";
                WriteCapture(line.constData(), static_cast<int>(line.size()));
            }
        }
        m_lastRxTick = now;
    }
    if (m_bCapturing && count > 0)
        WriteCapture(bytes, count);
    if (hold || count <= 0)
        return true;

    if (!m_owner.FuncKeys().HasAutoResponses())
        return Store(bytes, count, now, datagram);
    // The bytes up to one that completes a pattern reach the ring and the
    // display before its response is sent, and the response goes out before
    // the rest of the block is looked at.
    bool room = true;
    int stored = 0;
    for (int i = 0; i < count; ++i) {
        m_owner.FuncKeys().MatchAutoResponse(static_cast<uint8_t>(bytes[i]), [&] {
            room = Store(bytes + stored, i + 1 - stored, now, datagram) && room;
            stored = i + 1;
        });
    }
    return Store(bytes + stored, count - stored, now, datagram) && room;
}

void CSessionPipeline::ScheduleDelivery()
{
    QMetaObject::invokeMethod(this, &CSessionPipeline::OnDeliveryDue, Qt::QueuedConnection);
}

void CSessionPipeline::OnDeliveryDue()
{
    // At most one delivery per display frame while data keeps coming; the
    // first after a quiet spell goes at once, and so does one that frees a
    // full backlog (its source waits for room). A flood already on its way a
    // slice a turn needs no second chain of deliveries beside it.
    if (m_bSliceQueued)
        return;
    const int frameMs = FrameMs();
    if (frameMs > 0 && m_lastDelivery.isValid() && m_backlog.HasRoom()) {
        const qint64 since = m_lastDelivery.elapsed();
        if (since < frameMs) {
            if (!m_deliveryTimer.isActive())
                m_deliveryTimer.start(static_cast<int>(frameMs - since));
            return;
        }
    }
    DeliverNewBytes();
}

void CSessionPipeline::DeliverQueuedSlice()
{
    m_bSliceQueued = false;
    DeliverNewBytes();
}

void CSessionPipeline::DeliverNewBytes()
{
    m_deliveryTimer.stop();
    m_lastDelivery.start();
    // While data keeps coming the view comes back by itself once a frame,
    // so the source's thread need not wake this one for every chunk; a
    // frame that finds nothing ends it, and the next bytes wake the view.
    const bool frames = m_nDeliveryFrameMs > 0;
    const CDeliveryBacklog::CTaken taken = m_backlog.Take(kDeliverySlice, frames);
    const bool found = !taken.chunks.empty() || taken.lostAtEnd > 0 || taken.lostDatagramsAtEnd > 0;
    if (m_owner.View()) {
        for (const CDeliveryBacklog::CChunk& chunk : taken.chunks) {
            if (chunk.lostDatagramsBefore > 0)
                m_owner.View()->OnDatagramsLost(chunk.lostDatagramsBefore);
            m_owner.View()->OnNewBytes(chunk.bytes, chunk.lostBefore, chunk.tick);
        }
        if (taken.lostDatagramsAtEnd > 0)
            m_owner.View()->OnDatagramsLost(taken.lostDatagramsAtEnd);
        if (taken.lostAtEnd > 0)
            m_owner.View()->OnNewBytes(QByteArray(), taken.lostAtEnd, m_clock.TickCount());
    }
    if (taken.bResume && m_pTransport)
        m_pTransport->ResumeReading();
    // A flood is shown a slice a turn, so that the window keeps answering.
    if (taken.bMore) {
        if (!m_bSliceQueued) {
            m_bSliceQueued = true;
            QMetaObject::invokeMethod(this, &CSessionPipeline::DeliverQueuedSlice,
                                      Qt::QueuedConnection);
        }
    } else if (frames && found)
        m_deliveryTimer.start(FrameMs());
}

int CSessionPipeline::FrameMs() const
{
    if (m_nDeliveryFrameMs <= 0 || !m_owner.View())
        return m_nDeliveryFrameMs;
    return std::max(m_nDeliveryFrameMs, m_owner.View()->FrameMs(m_nDeliveryFrameMs));
}

int CSessionPipeline::CopyFromRing(char* dest, int start, int count) const
{
    return m_ring.CopyFromRing(dest, start, count);
}

QByteArray CSessionPipeline::RingContents() const
{
    return m_ring.Contents();
}

int CSessionPipeline::RingPos() const
{
    return m_ring.Pos();
}

int CSessionPipeline::RingCount() const
{
    return m_ring.Count();
}

void CSessionPipeline::WriteCapture(const char* bytes, int count)
{
    const CPlatformError error = m_captureFile.Write(bytes, count);
    // A full disk, a removed file or a lost permission would otherwise lose
    // every byte from here on without a word.
    if (error.IsError() && m_bCapturing.exchange(false)) {
        Alerts::Message(QStringLiteral("Capture stopped: %1").arg(ErrorText(error)),
                        Alerts::AppTitle(), AlertIcon::Warning);
        m_owner.UpdateTitle();
    }
}

int CSessionPipeline::StartCapture(const QString& fileName)
{
    // A capture that runs already stays as it is (auto begin on a second
    // going-online would otherwise fight its own open file).
    if (m_bCapturing)
        return 1;
    m_strCaptureProblem.clear();
    if (const CPlatformError error = m_captureFile.Open(fileName); error.IsError()) {
        m_strCaptureProblem = CauseText(error);
        return 0;
    }
    if (const CPlatformError error =
            m_captureFile.Write(CaptureStartLine(QDateTime::currentDateTime()));
        error.IsError()) {
        m_strCaptureProblem = CauseText(error);
        m_captureFile.Close();
        return 0;
    }
    m_bCapturing = true;
    m_owner.UpdateTitle();
    return 1;
}

void CSessionPipeline::EndCapture()
{
    if (!m_bCapturing)
        return;
    m_bCapturing = false;
    m_captureFile.Close(CaptureEndLine(QDateTime::currentDateTime()));
    m_owner.UpdateTitle();
}

void CSessionPipeline::ReportSendProblem(const QString& message)
{
    QMetaObject::invokeMethod(
        this, [message] { Alerts::Message(message, Alerts::AppTitle(), AlertIcon::Warning); },
        Qt::QueuedConnection);
}
