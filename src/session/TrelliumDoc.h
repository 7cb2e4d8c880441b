#pragma once
#include "base/CommInfo.h"
#include "base/Transport.h"
#include "display/DisplaySource.h"
#include "net/NetOwners.h"
#include "send/FuncKeys.h"
#include "serial/SerialOwner.h"
#include "session/Capture.h"
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
#include <map>
#include <memory>
#include <mutex>
#include <string>

class CArchive;
class CFileSource;
class COneShotTimer;
class CTCPIPSvr;
class CTermSocket;
class CUDPSvr;
class CUdpClient;
class CSessionContext;
class CSessionView;
class QIODevice;

// A port session: one document per connection. It owns the settings, the
// macros, the capture record and file, the 4096-byte receive ring and at most
// one transport, and is the hub through which every byte passes.
//
// Threads: everything runs on the user-interface thread except what a serial
// port's reader thread calls: ReceiveData, SetModemStatus, and through an
// auto response SendMacro / SendData. The reader thread owns m_lastRxTick and
// m_stampText while the port is open (the user-interface thread sets
// m_lastRxTick only before the thread starts). The ring, the capture file, the
// modem status (m_lock) and the macro set each have their own lock; none is
// held while the session sends, shows a message or calls the view. What the
// reader thread reads of the settings is published by the session after
// every change (EditInfo). The view is only ever called on the user-interface
// thread.
class CTrelliumDoc : public QObject,
                     public CDisplaySource,
                     public CTransportOwner,
                     public CSerialOwner,
                     public CTCPIPOwner,
                     public CFuncKeysOwner,
                     public CTermSocketOwner,
                     public CSendProblemSink,
                     private CRepeatTimerHost
{
    Q_OBJECT
public:
    static constexpr int kRingSize = CReceiveRing::kSize;

    // `context` is shared by the sessions of one program and must outlive
    // the session.
    explicit CTrelliumDoc(CSessionContext& context);
    ~CTrelliumDoc() override;
    CTrelliumDoc(const CTrelliumDoc&) = delete;
    CTrelliumDoc& operator=(const CTrelliumDoc&) = delete;

    CSessionContext& Context() const { return m_context; }

    // --- document framework ---------------------------------------------
    bool OnNewDocument();
    // Reads the file (a damaged file shows "Serialize Error" and keeps what
    // was read), then InitSession. False only when the file cannot be opened.
    bool OnOpenDocument(const QString& path);
    // Writes the file safely (the old file stays when writing fails).
    bool OnSaveDocument(const QString& path);
    void OnCloseDocument();
    // Reads or writes the three blocks. Returns false after an archive failure,
    // which it has already reported as "Serialize Error".
    bool Serialize(CArchive& ar);
    // Reads a session file from `device` without starting the session (the
    // companion's show and resave); false after "Serialize Error".
    bool Load(QIODevice& device);
    bool Save(QIODevice& device);

    QString GetPathName() const { return m_strPathName; }
    void SetPathName(const QString& path);
    QString GetTitle() const { return m_strTitle; }
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true);

    void SetView(CSessionView* view) { m_pView = view; }
    CSessionView* GetView() const { return m_pView; }

    // --- the settings record ---------------------------------------------
    const CCommInfo& Info() const override { return m_info; }
    CClock& Clock() const override;
    CMergeRegistry& Merge() const override;

    // A change of the settings record: the session publishes what the reader
    // thread reads when the edit ends. Changing the settings never marks the
    // document modified; the dialogs that do so call SetModifiedFlag.
    //     doc.EditInfo()->m_nDisplayMode = 2;
    class CInfoEdit
    {
    public:
        CInfoEdit(const CInfoEdit&) = delete;
        CInfoEdit& operator=(const CInfoEdit&) = delete;
        ~CInfoEdit() { m_doc.PublishSettings(); }
        CCommInfo* operator->() const { return &m_doc.m_info; }
        CCommInfo& operator*() const { return m_doc.m_info; }

    private:
        friend class CTrelliumDoc;
        explicit CInfoEdit(CTrelliumDoc& doc) : m_doc(doc) {}
        CTrelliumDoc& m_doc;
    };
    CInfoEdit EditInfo() { return CInfoEdit(*this); }

    // --- session operations ---------------------------------------------
    int InitSession();
    int ProbeSerialPort(int storedId);
    void FillPortSelector();
    void ToggleOnline();
    void ApplyOnlineState();
    int SelectPort(int id);
    void ApplySettings();
    void UpdateTitle();
    // The open serial port vanished (unplugged, hung up); its reader has
    // ended. Goes offline as the Online switch does and shows `message`.
    // User-interface thread: the port's reader posts it here.
    void OnPortLost(const QString& message) override;
    void OnPortOpened(int portId) override;

    // The open transport (m_pComm, m_pClientSocket, m_pTcpServer,
    // m_pUdpServer or the UDP client socket, by connection type), or none,
    // and the same as each kind.
    CTransport* GetTransport() const { return m_pTransport.get(); }
    CTCPIPSvr* TcpServer() const;
    CUDPSvr* UdpServer() const;

    // The TCP server connections window (m_pServerDlg), or none; a server
    // made while one is set writes its log lines there too. Not owned.
    void SetServerLogWindow(CServerLogSink* window);
    CServerLogSink* ServerLogWindow() const { return m_pServerLog; }
    // True once sends reach a peer (see CTransport::IsUsable).
    bool IsConnectionUsable() const;

    // 1 queued whole for the connection (or nothing to send for this kind),
    // 0 refused whole (beep, no echo; the cause is told once). The
    // user-interface thread, or a reader thread through an auto response.
    int SendData(const char* bytes, int count);
    int SendChar(uint8_t byte);
    void PressFunctionKey(int key, bool shift, bool ctrl, bool alt);
    void RefreshKeyLabels(bool shift, bool ctrl);
    // Sends a macro's data string as a person started it (a key, a pane, the
    // companion's --send). A file reference starts a file send.
    void SendDataString(const MacroKey& macro);
    // Whether auto responses of this session may send files. Never stored:
    // only a person gives it (the window asks; the companion has an option).
    void AllowAutoResponseFiles(bool allow)
    {
        m_autoFiles = allow ? Permission::Allowed : Permission::Refused;
    }
    // The file send under way: its text ("/x/y"), bytes done and total.
    bool IsSendingFile() const { return m_pFileSend != nullptr; }
    // Repeat timer 1400 + slot fired (the timer is already stopped).
    void OnRepeatTimer(int timerId);
    bool IsRepeatTimerActive(int timerId) const;

    // The receive path of every stream source: stamps and capture, hold,
    // ring, backlog and auto responses. False once the backlog is full: the
    // source stops reading until ResumeReading. Any thread.
    bool ReceiveData(const char* bytes, int count);
    int CopyFromRing(char* dest, int start, int count) const;
    // The whole ring, oldest byte first (the display rebuild of hint 3033).
    QByteArray RingContents() const override;
    int RingPos() const;
    int RingCount() const;

    // 1 capturing, 0 when the file cannot be opened or written: then
    // CaptureProblem says why in the system's words.
    int StartCapture(const QString& fileName);
    const QString& CaptureProblem() const { return m_strCaptureProblem; }
    // Why the last connection attempt failed ("Connection refused"), shown
    // in the title while offline; empty when none failed.
    const QString& OfflineReason() const { return m_strOfflineReason; }
    void EndCapture();
    bool IsCapturing() const { return m_bCapturing.load(); }

    void SetModemStatus(uint32_t status) override;
    uint32_t GetModemStatus() const;

    void ToggleHold();
    bool IsHold() const { return m_bHold.load(); }
    bool IsOnline() const { return m_bOnline.load(); }
    void ClearDisplay();

    // --- callback interfaces --------------------------------------------
    bool OnReceive(const char* bytes, int count) override { return ReceiveData(bytes, count); }
    bool CanReceive() const override;
    void OnDatagram(const char* bytes, int count) override;
    void OnDatagramsDropped(uint64_t count) override;
    void OnOutputRoom() override;
    void OnTcpAccept(int serverId, CTcpConnection* connection) override;
    void OnTcpClose(int serverId, CTcpConnection* connection) override;
    void StopRepeat(int slot) override;
    void SendMacro(const MacroKey& macro) override;
    void OnClientConnect(int error) override;
    void OnClientClosed() override;
    // Shown once the current send is over (never inside it).
    void ReportSendProblem(const QString& message) override;

    CFuncKeys m_funcKeys;
    CCapture m_capture;

signals:
    void TitleChanged(const QString& title);
    void ModifiedChanged(bool modified);
    // A file send's progress, at most a few times a second and once at its
    // end (`done` == `total` when it went out whole).
    void FileSendProgress(const QString& file, qint64 done, qint64 total);

private:
    void StartRepeatTimer(int timerId, int intervalMs, const CMacroId& macro) override;
    void PublishSettings();
    void OpenConnection();
    void CloseConnection();
    enum class Permission
    {
        Unasked,
        Allowed,
        Refused,
    };
    struct CFileSend;

    void SendToView(int hint);
    void PostCommand(int id);
    bool Receive(const char* bytes, int count, bool datagram);
    bool Store(const char* bytes, int count, uint32_t tick, bool datagram);
    void Echo(const char* bytes, int count);
    void ScheduleDelivery();
    void OnDeliveryDue();
    void DeliverNewBytes();
    CWriteResult Transmit(const char* bytes, int count);
    void NoteRefusal(const CWriteResult& result, int count);
    void StartFileSend(const MacroKey& macro);
    void PumpFileSend();
    void EndFileSend(const QString& problem);
    void ReportFileProgress(bool force);
    void AutoResponseFile(const MacroKey& macro);
    QString ConnectionText() const;
    // Writes to the capture file; a write that fails ends the capture and
    // says so once. Any thread.
    void WriteCapture(const char* bytes, int count);
    void SetTitle(const QString& title);
    bool OnUiThread() const;

    CSessionContext& m_context;
    CCommInfo m_info;
    std::unique_ptr<CTransport> m_pTransport;
    std::string m_portName;
    std::mutex m_storeLock; // orders ring and backlog appends together
    CReceiveRing m_ring;
    CDeliveryBacklog m_backlog;
    QTimer m_deliveryTimer;
    QElapsedTimer m_lastDelivery;
    // Told once per episode: reset when a send goes through again.
    std::atomic<bool> m_bRefusalTold{false};
    std::unique_ptr<CFileSend> m_pFileSend;
    Permission m_autoFiles = Permission::Unasked;
    bool m_bAskingAutoFiles = false;
    std::vector<int> m_waitingRepeats; // repeat timers waiting for output to drain

    CCaptureFile m_captureFile;
    std::atomic<bool> m_bCapturing{false};
    std::atomic<bool> m_bHold{false};
    std::atomic<bool> m_bOnline{false};

    uint32_t m_modemStatus = 0;
    mutable std::mutex m_lock; // guards m_modemStatus

    uint32_t m_lastRxTick = 0; // reader thread while open
    QByteArray m_stampText;    // reader thread while open

    // Published copies of m_info fields that a reader thread reads.
    std::atomic<int32_t> m_nStampFormat{0};
    std::atomic<int32_t> m_nStampMinInterval{500};
    std::atomic<bool> m_bEchoOn{false};
    std::atomic<int32_t> m_nConnectionType{ConnTcpClient};

    std::map<int, std::unique_ptr<COneShotTimer>> m_repeatTimers;

    QString m_strCaptureProblem;
    QString m_strOfflineReason;
    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
    CSessionView* m_pView = nullptr;
    CServerLogSink* m_pServerLog = nullptr;
};
