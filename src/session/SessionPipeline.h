#pragma once
#include "base/CommInfo.h"
#include "base/Transport.h"
#include "net/NetOwners.h"
#include "platform/Clock.h"
#include "send/FuncKeys.h"
#include "session/CaptureFile.h"
#include "session/DeliveryBacklog.h"
#include "session/ReceiveRing.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class CClock;
class CFileSource;
class CPipelineOwner;

// The data path of one session, the same for every kind of connection: the
// transport it owns, the receive path (stamps and capture, hold, the ring a
// rebuild shows again, the backlog the view takes from, auto-response
// matching) and the send path (whole-or-nothing writes, echo, refusals told
// once per episode, file references pulled block by block as the
// connection has room).
//
// Threads: everything runs on the user-interface thread except what a
// serial port's reader thread calls: OnReceive (ReceiveData), CanReceive,
// and through an auto response SendData. On that path the ring and the
// backlog are appended under one lock, so both see the same order; the
// capture file has its own lock; the settings the reader reads are
// published copies (Publish); no lock is held while the pipeline sends,
// shows a message or calls its owner. The transport is created, replaced
// and destroyed on the user-interface thread only, after its reader ended.
class CSessionPipeline final : public QObject, public CTransportOwner, public CSendProblemSink
{
    Q_OBJECT
public:
    // `owner` and `clock` must outlive the pipeline.
    CSessionPipeline(CPipelineOwner& owner, CClock& clock, int deliveryFrameMs);
    ~CSessionPipeline() override;

    // The settings the receive and send paths read, copied for any thread.
    void Publish(const CCommInfo& info);

    // --- the transport ---------------------------------------------------
    CTransport* Transport() const { return m_pTransport.get(); }
    void SetTransport(std::unique_ptr<CTransport> transport);
    // Ends a file send under way, closes and destroys the transport.
    void CloseTransport();
    // The first time stamp of a new connection measures from now. Call it
    // while no transport runs (no reader thread reads the clock then).
    void RestartReceiveClock() { m_lastRxTick = m_clock.TickCount(); }

    // --- receiving ---------------------------------------------------------
    // The receive path of every stream source. False once the backlog is
    // full: the source stops reading until ResumeReading. Any thread.
    bool ReceiveData(const char* bytes, int count);
    bool OnReceive(const char* bytes, int count) override { return ReceiveData(bytes, count); }
    bool CanReceive() const override;
    void OnDatagram(const char* bytes, int count) override;
    void OnDatagramsDropped(uint64_t count) override;
    void OnOutputRoom() override;

    int CopyFromRing(char* dest, int start, int count) const;
    QByteArray RingContents() const;
    int RingPos() const;
    int RingCount() const;

    void SetHold(bool hold) { m_bHold = hold; }
    bool IsHold() const { return m_bHold.load(); }

    // --- capture ------------------------------------------------------------
    int StartCapture(const QString& fileName);
    void EndCapture();
    // Closes the capture without its end line (the session closes).
    void AbandonCapture();
    bool IsCapturing() const { return m_bCapturing.load(); }
    const QString& CaptureProblem() const { return m_strCaptureProblem; }

    // --- sending --------------------------------------------------------------
    // 1 queued whole (and echoed when echo is on), 0 refused whole (beep;
    // the cause is told once per episode). User-interface thread, or a
    // reader thread through an auto response.
    int SendData(const char* bytes, int count);
    // Starts sending the file a "*path" macro names. User-interface thread.
    void StartFileSend(const MacroKey& macro);
    // Stops the file send of `macro`'s key, when that is the one under way.
    bool StopFileSendOf(const CMacroId& macro);
    bool IsSendingFile() const { return m_pFileSend != nullptr; }
    // "(Label done/total) " while a file send that takes a while runs.
    QString FileProgressText() const;

    void ReportSendProblem(const QString& message) override;

signals:
    // A file send's progress, at most a few times a second and once at its
    // end (`done` == `total` when it went out whole).
    void FileSendProgress(const QString& file, qint64 done, qint64 total);

private:
    struct CFileSend;

    CWriteResult Transmit(const char* bytes, int count);
    void NoteRefusal(const CWriteResult& result, int count);
    void Echo(const char* bytes, int count);
    bool Receive(const char* bytes, int count, bool datagram);
    bool Store(const char* bytes, int count, uint32_t tick, bool datagram);
    void ScheduleDelivery();
    void OnDeliveryDue();
    void DeliverNewBytes();
    void DeliverQueuedSlice();
    // The frame deliveries keep while data keeps coming: the session's, or
    // longer while the view asks for it.
    int FrameMs() const;
    void PumpFileSend();
    void EndFileSend(const QString& problem);
    void ReportFileProgress(bool force);
    void WriteCapture(const char* bytes, int count);

    CPipelineOwner& m_owner;
    CClock& m_clock;
    const int m_nDeliveryFrameMs;
    std::unique_ptr<CTransport> m_pTransport;

    std::mutex m_storeLock; // orders ring and backlog appends together
    CReceiveRing m_ring;
    CDeliveryBacklog m_backlog;
    QTimer m_deliveryTimer;
    QElapsedTimer m_lastDelivery;
    bool m_bSliceQueued = false; // the next slice of a flood is on its way

    CCaptureFile m_captureFile;
    std::atomic<bool> m_bCapturing{false};
    std::atomic<bool> m_bHold{false};
    QString m_strCaptureProblem;

    uint32_t m_lastRxTick = 0; // the receiving thread's
    QByteArray m_stampText;    // the receiving thread's

    // Published copies of the settings a reader thread reads.
    std::atomic<int32_t> m_nStampFormat{0};
    std::atomic<int32_t> m_nStampMinInterval{500};
    std::atomic<bool> m_bEchoOn{false};
    std::atomic<int32_t> m_nConnectionType{ConnTcpClient};

    // Told once per episode: reset when a send goes through again.
    std::atomic<bool> m_bRefusalTold{false};
    std::unique_ptr<CFileSend> m_pFileSend;
};
