#pragma once
#include "base/CommInfo.h"
#include "base/Transport.h"
#include "display/DisplaySource.h"
#include "net/NetOwners.h"
#include "send/FuncKeys.h"
#include "serial/SerialOwner.h"
#include "session/Capture.h"
#include "session/PipelineOwner.h"
#include "session/SessionPipeline.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class CArchive;
class COneShotTimer;
class CTCPIPSvr;
class CTermSocket;
class CUDPSvr;
class CUdpClient;
class CSessionContext;
class CSessionView;
class QIODevice;

// A port session: one document per connection. The document holds the
// settings, the macros and the capture record, its file, title and modified
// flag, and the online state; its data pipeline (CSessionPipeline) holds the
// transport, the receive ring and backlog, the capture file and the sends.
//
// Threads: everything runs on the user-interface thread except what a serial
// port's reader thread calls: the pipeline's receive path, SetModemStatus,
// and through an auto response SendMacro / SendData (the pipeline states its
// own contract). The modem status (m_lock) and the macro set each have their
// own lock; none is held while the session sends, shows a message or calls
// the view. What the reader thread reads of the settings is published to the
// pipeline after every change (EditInfo). The view is only ever called on
// the user-interface thread.
class CTrelliumDoc : public QObject,
                     public CDisplaySource,
                     public CPipelineOwner,
                     public CSerialOwner,
                     public CTCPIPOwner,
                     public CFuncKeysOwner,
                     public CTermSocketOwner,
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
    int HistoryLines() const override;

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
    void UpdateTitle() override;
    // The open serial port vanished (unplugged, hung up); its reader has
    // ended. Goes offline as the Online switch does and shows `message`.
    // User-interface thread: the port's reader posts it here.
    void OnPortLost(const QString& message) override;
    void OnPortOpened(int portId) override;
    // A remote port's connection failed before the port was ready: offline
    // with the reason, or quietly waiting again while connecting again.
    void OnPortFailed(const QString& message, const QString& reason) override;
    void OnLineNotice(const QString& message) override;

    // The open transport (m_pComm, m_pClientSocket, m_pTcpServer,
    // m_pUdpServer or the UDP client socket, by connection type), or none,
    // and the same as each kind.
    CTransport* GetTransport() const { return m_pipeline.Transport(); }
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
    // Whether this session's keys (labels and repeat highlights) fill the
    // status bar's panes: only the window's active session's do.
    void ShowKeysInPanes(bool shown);
    // Sends a macro's data string as a person started it (a key, a pane, the
    // companion's --send). A file reference starts a file send.
    void SendDataString(const MacroKey& macro);
    // Whether auto responses of this session may send files. Never stored:
    // only a person gives it (the window asks; the companion has an option).
    void AllowAutoResponseFiles(bool allow)
    {
        m_autoFiles = allow ? Permission::Allowed : Permission::Refused;
    }
    bool IsSendingFile() const { return m_pipeline.IsSendingFile(); }
    // Repeat timer 1400 + slot fired (the timer is already stopped).
    void OnRepeatTimer(int timerId);
    bool IsRepeatTimerActive(int timerId) const;

    // The receive path of every stream source: stamps and capture, hold,
    // ring, backlog and auto responses. False once the backlog is full: the
    // source stops reading until ResumeReading. Any thread.
    bool ReceiveData(const char* bytes, int count) { return m_pipeline.ReceiveData(bytes, count); }
    int CopyFromRing(char* dest, int start, int count) const
    {
        return m_pipeline.CopyFromRing(dest, start, count);
    }
    // The whole ring, oldest byte first (the display rebuild of hint 3033).
    QByteArray RingContents() const override { return m_pipeline.RingContents(); }
    int RingPos() const { return m_pipeline.RingPos(); }
    int RingCount() const { return m_pipeline.RingCount(); }
    // The data pipeline: what every transport hands its bytes to.
    CSessionPipeline& Pipeline() { return m_pipeline; }
    bool CanReceive() const { return m_pipeline.CanReceive(); }
    void OnDatagramsDropped(uint64_t count) { m_pipeline.OnDatagramsDropped(count); }

    // 1 capturing, 0 when the file cannot be opened or written: then
    // CaptureProblem says why in the system's words.
    int StartCapture(const QString& fileName) { return m_pipeline.StartCapture(fileName); }
    const QString& CaptureProblem() const { return m_pipeline.CaptureProblem(); }
    // Why the last connection attempt failed ("Connection refused"), shown
    // in the title while offline; empty when none failed.
    const QString& OfflineReason() const { return m_strOfflineReason; }
    void EndCapture() { m_pipeline.EndCapture(); }
    bool IsCapturing() const { return m_pipeline.IsCapturing(); }

    void SetModemStatus(uint32_t status) override;
    uint32_t GetModemStatus() const;

    void ToggleHold();
    bool IsHold() const { return m_pipeline.IsHold(); }
    bool IsOnline() const { return m_bOnline.load(); }
    void ClearDisplay();
    // DTR and RTS as the session drives them: raised unless the user
    // dropped them, kept across reconnections while the session lives.
    bool Dtr() const { return m_bDtr; }
    bool Rts() const { return m_bRts; }
    // Sets them, on the open line at once; a line that refuses is named in
    // a message.
    void SetLineSignals(bool dtr, bool rts);
    // A break of `ms` milliseconds on the open line; `done` runs when the
    // line is free again (at once when it could not be sent, which a
    // message says). False when no break was sent.
    bool SendBreak(int ms, std::function<void()> done = {});
    // A serial session whose port was lost goes online again by itself once
    // its port is present again (an adapter plugged back in), until the
    // user takes it offline or online by hand.
    void OnPortsRebuilt();
    bool IsAwaitingPort() const { return m_bAwaitingPort; }
    // The session's COM number is mapped to a port on another machine.
    bool IsRemotePort() const;
    // A session without a file named by its connection alone ("COM3",
    // "127.0.0.1 port 23", "TCP server port 5000"), for questions.
    QString UntitledName() const;

    // --- callback interfaces --------------------------------------------
    CSessionView* View() const override { return m_pView; }
    QString ConnectionText() const override;
    CFuncKeys& FuncKeys() override { return m_funcKeys; }
    void OnOutputRoom() override;
    void OnTcpAccept(int serverId, CTcpConnection* connection) override;
    void OnTcpClose(int serverId, CTcpConnection* connection) override;
    void StopRepeat(int slot) override;
    void SendMacro(const MacroKey& macro) override;
    void OnClientConnect(int error) override;
    void OnClientClosed() override;

    CFuncKeys m_funcKeys;
    CCapture m_capture;

signals:
    void TitleChanged(const QString& title);
    void ModifiedChanged(bool modified);
    // The pipeline's file send progress (CSessionPipeline::FileSendProgress).
    void FileSendProgress(const QString& file, qint64 done, qint64 total);

private:
    void StartRepeatTimer(int timerId, int intervalMs, const CMacroId& macro) override;
    void PublishSettings();
    void OpenConnection();
    void CloseConnection();
    // A session waiting for its remote port tries to connect again later.
    void ScheduleRemoteRetry();
    enum class Permission
    {
        Unasked,
        Allowed,
        Refused,
    };

    void SendToView(int hint);
    void PostCommand(int id);
    void AutoResponseFile(const MacroKey& macro);
    void SetTitle(const QString& title);
    bool OnUiThread() const;

    CSessionContext& m_context;
    CCommInfo m_info;
    CSessionPipeline m_pipeline;
    std::string m_portName;
    Permission m_autoFiles = Permission::Unasked;
    bool m_bAskingAutoFiles = false;
    std::vector<int> m_waitingRepeats; // repeat timers waiting for output to drain
    std::atomic<bool> m_bOnline{false};
    bool m_bAwaitingPort = false;
    int m_nRetryGeneration = 0; // a newer retry or a manual switch ends older ones
    bool m_bDtr = true;
    bool m_bRts = true;

    uint32_t m_modemStatus = 0;
    mutable std::mutex m_lock; // guards m_modemStatus

    std::map<int, std::unique_ptr<COneShotTimer>> m_repeatTimers;

    QString m_strOfflineReason;
    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
    CSessionView* m_pView = nullptr;
    CServerLogSink* m_pServerLog = nullptr;
};
