#pragma once
#include "net/NetOwners.h"
#include "send/FuncKeys.h"
#include "session/Capture.h"
#include "session/CaptureFile.h"
#include "session/CommInfo.h"
#include "session/ReceiveRing.h"
#include "session/Transport.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
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
                     public CTCPIPOwner,
                     public CUDPOwner,
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
    const CCommInfo& Info() const { return m_info; }

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
    void OnPortLost(const QString& message);

    // The open transport (m_pComm, m_pClientSocket, m_pTcpServer,
    // m_pUdpServer or the UDP client socket, by connection type), or none,
    // and the same as each kind.
    CTransport* GetTransport() const { return m_pTransport.get(); }
    CTermSocket* ClientSocket() const;
    CTCPIPSvr* TcpServer() const;
    CUDPSvr* UdpServer() const;
    CUdpClient* UdpClient() const;

    // The TCP server connections window (m_pServerDlg), or none; a server
    // made while one is set writes its log lines there too. Not owned.
    void SetServerLogWindow(CServerLogSink* window);
    CServerLogSink* ServerLogWindow() const { return m_pServerLog; }
    // True once sends reach a peer (see CTransport::IsUsable).
    bool IsConnectionUsable() const;

    // 1 sent (or nothing to send for this kind), 0 refused (beep, no echo).
    // The user-interface thread, or a reader thread through an auto response.
    int SendData(const char* bytes, int count);
    int SendChar(uint8_t byte);
    void PressFunctionKey(int key, bool shift, bool ctrl, bool alt);
    void RefreshKeyLabels(bool shift, bool ctrl);
    void SendDataString(const MacroKey& macro);
    // Repeat timer 1400 + slot fired (the timer is already stopped).
    void OnRepeatTimer(int timerId);
    bool IsRepeatTimerActive(int timerId) const;

    // Receive path of serial and TCP server data. Any thread.
    void ReceiveData(const char* bytes, int count);
    // Receive path of TCP client data (capture, hold, ring; no stamp, no match).
    void ReceiveClientBytes(const char* bytes, int count);
    int CopyFromRing(char* dest, int start, int count) const;
    // The whole ring, oldest byte first (the display rebuild of hint 3033).
    QByteArray RingContents() const;
    int RingPos() const;
    int RingCount() const;

    int StartCapture(const QString& fileName);
    void EndCapture();
    bool IsCapturing() const { return m_bCapturing.load(); }

    void SetModemStatus(uint32_t status);
    uint32_t GetModemStatus() const;

    void ToggleHold();
    bool IsHold() const { return m_bHold.load(); }
    bool IsOnline() const { return m_bOnline.load(); }
    void ClearDisplay();

    // --- callback interfaces --------------------------------------------
    void OnTcpData(int serverId, CTcpConnection* connection, const char* bytes, int count) override;
    void OnTcpAccept(int serverId, CTcpConnection* connection) override;
    void OnTcpClose(int serverId, CTcpConnection* connection) override;
    void OnUdpData(int serverId, const char* bytes, int count) override;
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

private:
    void StartRepeatTimer(int timerId, int intervalMs, const CMacroId& macro) override;
    void PublishSettings();
    void OpenConnection();
    void CloseConnection();
    void SendToView(int hint);
    void PostCommand(int id);
    void DeliverNewBytes();
    // Writes to the capture file; a write that fails ends the capture and
    // says so once. Any thread.
    void WriteCapture(const char* bytes, int count);
    void SetTitle(const QString& title);
    bool OnUiThread() const;

    CSessionContext& m_context;
    CCommInfo m_info;
    std::unique_ptr<CTransport> m_pTransport;
    std::string m_portName;
    CReceiveRing m_ring;

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

    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
    CSessionView* m_pView = nullptr;
    CServerLogSink* m_pServerLog = nullptr;
};
