#pragma once
#include "net/NetOwners.h"
#include "send/FuncKeys.h"
#include "session/Capture.h"
#include "session/CaptureFile.h"
#include "session/CommInfo.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class CSessionView;
class QIODevice;
class QTimer;

// A port session: one document per connection. It owns the settings, the
// macros, the capture record and file, the 4096-byte receive ring and the
// transport, and is the hub through which every byte passes.
//
// Threads: everything runs on the user-interface thread except ReceiveData
// and SetModemStatus, which a serial reader thread calls. The ring, the
// capture file, the modem status and the macro set each have their own lock;
// the view is only ever called on the user-interface thread.
class CTrelliumDoc : public QObject,
                     public CTCPIPOwner,
                     public CUDPOwner,
                     public CFuncKeysOwner,
                     private CRepeatTimerHost
{
    Q_OBJECT
public:
    static constexpr int kRingSize = 4096;

    CTrelliumDoc();
    ~CTrelliumDoc() override;
    CTrelliumDoc(const CTrelliumDoc&) = delete;
    CTrelliumDoc& operator=(const CTrelliumDoc&) = delete;

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
    bool Serialize(class CArchive& ar);
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

    // --- session operations ---------------------------------------------
    int InitSession();
    int ProbeSerialPort(int storedId);
    void FillPortSelector();
    void ToggleOnline();
    void ApplyOnlineState();
    int SelectPort(int id);
    void ApplySettings();
    void UpdateTitle();

    int SendData(const char* bytes, int count);
    int SendChar(uint8_t byte);
    void PressFunctionKey(int key, bool shift, bool ctrl, bool alt);
    void RefreshKeyLabels(bool shift, bool ctrl);
    void SendDataString(MacroKey* macro);
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

    // The settings a reader thread reads (time stamps, echo) are published
    // from m_info after every change made on the user-interface thread.
    void PublishSettings();

    // --- callback interfaces --------------------------------------------
    void OnTcpData(int serverId, CTcpConnection* connection, const char* bytes, int count) override;
    void OnTcpAccept(int serverId, CTcpConnection* connection) override;
    void OnTcpClose(int serverId, CTcpConnection* connection) override;
    void OnUdpData(int serverId, const char* bytes, int count) override;
    void StopRepeat(int slot) override;
    void SendMacro(MacroKey* macro) override;

    // --- process-wide ---------------------------------------------------
    // Live sessions in creation order (the workspace order).
    static std::vector<CTrelliumDoc*> Sessions();
    static int LiveSessionCount();

    CFuncKeys m_funcKeys;
    CCapture m_capture;
    CCommInfo m_info;

signals:
    void TitleChanged(const QString& title);
    void ModifiedChanged(bool modified);

private:
    void StartRepeatTimer(int timerId, int intervalMs, MacroKey* macro) override;
    void OpenConnection();
    void CloseConnection();
    void OpenSerial();
    void SendToView(int hint);
    void PostCommand(int id);
    // Appends to the ring and schedules one coalesced notification.
    void AppendToRing(const char* bytes, int count);
    void StoreInRingLocked(const char* bytes, int count);
    void DeliverNewBytes();
    void SetTitle(const QString& title);
    bool OnUiThread() const;

    std::string m_portName;
    int m_ringSize = kRingSize;
    int m_ringPos = 0;
    int m_ringCount = 0;
    std::unique_ptr<uint8_t[]> m_ring;
    uint64_t m_ringTotal = 0;      // bytes ever stored
    uint64_t m_deliveredTotal = 0; // bytes handed to the view
    bool m_bDeliveryPending = false;
    mutable std::mutex m_ringLock;

    CCaptureFile m_captureFile;
    std::atomic<bool> m_bCapturing{false};
    std::atomic<bool> m_bHold{false};
    std::atomic<bool> m_bOnline{false};

    uint32_t m_modemStatus = 0;
    mutable std::mutex m_lock; // guards m_modemStatus

    int m_udpSocket = -1;
    uint32_t m_lastRxTick = 0;
    QByteArray m_stampText;

    // Published copies of m_info fields that the reader thread reads.
    std::atomic<int32_t> m_nStampFormat{0};
    std::atomic<int32_t> m_nStampMinInterval{500};
    std::atomic<bool> m_bEchoOn{false};
    std::atomic<int32_t> m_nConnectionType{ConnTcpClient};

    std::map<int, std::unique_ptr<QTimer>> m_repeatTimers;

    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
    CSessionView* m_pView = nullptr;
};
