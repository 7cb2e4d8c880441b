#include "session/TrelliumDoc.h"

#include "display/TimeStamp.h"
#include "net/TCPIPSvr.h"
#include "net/TermSocket.h"
#include "net/UDPSvr.h"
#include "net/UdpClient.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "send/DataString.h"
#include "send/KeyPanes.h"
#include "serial/PortNames.h"
#include "session/Archive.h"
#include "session/SaveTarget.h"
#include "session/ServiceTable.h"
#include "session/SessionContext.h"
#include "session/SessionView.h"
#include "session/TransportKinds.h"
#include "session/TrelliumIds.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <cstdio>

namespace {

// Serial port ids are COM number - 1; the ids from 254 up name the fixed
// entries, so no COM port above COM254 can be stored.
constexpr int kMaxSerialPortId = PortIdTcpClient - 1;

bool IsSerialPortId(int id)
{
    return id >= 0 && id <= kMaxSerialPortId;
}

// "COMn" for a stored id, whatever a file holds (id -1 names COM0).
std::string ComName(int32_t portId)
{
    return "COM" + std::to_string(static_cast<int64_t>(portId) + 1);
}

QString KeyName(const MacroKey& macro)
{
    QString name;
    if (macro.m_bCtrl)
        name += QStringLiteral("Ctrl+");
    if (macro.m_bShift)
        name += QStringLiteral("Shift+");
    return name + QStringLiteral("F%1").arg(macro.m_nKey + 1);
}

} // namespace

CTrelliumDoc::CTrelliumDoc(CSessionContext& context)
    : m_context(context), m_info(context.ColorRotation()), m_ring([this] {
          QMetaObject::invokeMethod(this, &CTrelliumDoc::DeliverNewBytes, Qt::QueuedConnection);
      })
{
    m_funcKeys.SetOwner(this);
    m_funcKeys.SetKeyPanes(&context.KeyPanes());
    m_context.AddSession(this);
    PublishSettings();
}

CTrelliumDoc::~CTrelliumDoc()
{
    if (m_info.m_nConnectionType == ConnMerge)
        m_context.Merge().Unregister();
    if (m_pTransport) {
        m_pTransport->Close();
        m_pTransport.reset();
    }
    m_funcKeys.SetOwner(nullptr);
    m_funcKeys.StopAllRepeats();
    m_context.RemoveSession(this);
}

bool CTrelliumDoc::OnUiThread() const
{
    return QThread::currentThread() == thread();
}

// --- document framework -----------------------------------------------------

bool CTrelliumDoc::OnNewDocument()
{
    SetModifiedFlag(false);
    return InitSession() != 0;
}

bool CTrelliumDoc::OnOpenDocument(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Alerts::Message(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()),
                        Alerts::AppTitle(), AlertIcon::Exclamation);
        return false;
    }
    Load(file);
    m_strPathName = path;
    SetModifiedFlag(false);
    InitSession();
    PostCommand(Ids::CmdRefreshTitle);
    return true;
}

bool CTrelliumDoc::OnSaveDocument(const QString& path)
{
    const QString refused = SaveTargetProblem(path);
    if (!refused.isEmpty()) {
        Alerts::Message(refused, Alerts::AppTitle(), AlertIcon::Exclamation);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        Alerts::Message(QStringLiteral("Cannot save %1: %2").arg(path, file.errorString()),
                        Alerts::AppTitle(), AlertIcon::Exclamation);
        return false;
    }
    // A failed write leaves the old file in place instead of a partial one.
    if (!Save(file)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        Alerts::Message(QStringLiteral("Cannot save %1: %2").arg(path, file.errorString()),
                        Alerts::AppTitle(), AlertIcon::Exclamation);
        return false;
    }
    m_strPathName = path;
    SetModifiedFlag(false);
    PostCommand(Ids::CmdRefreshTitle);
    return true;
}

void CTrelliumDoc::OnCloseDocument()
{
    m_context.Ports().SetInUse(m_info.m_nPortId, false);
    m_funcKeys.StopAllRepeats();
    // Closing is synchronous and bounded: the capture file's lock keeps a
    // reader's write whole, and closing a serial port joins its reader, so
    // nothing needs a pause to settle.
    if (m_bCapturing.exchange(false))
        m_captureFile.Close(); // closing the session writes no end line
    CloseConnection();
}

bool CTrelliumDoc::Serialize(CArchive& ar)
{
    bool ok = true;
    try {
        m_info.Serialize(ar);
        m_funcKeys.Serialize(ar);
        m_capture.Serialize(ar);
    } catch (const CArchiveException&) {
        ok = false;
    }
    if (ar.IsLoading())
        PublishSettings();
    // The failure is consumed: an opened file keeps what was read.
    if (!ok)
        Alerts::Message(QStringLiteral("Serialize Error"), Alerts::AppTitle(),
                        AlertIcon::Exclamation);
    return ok;
}

bool CTrelliumDoc::Load(QIODevice& device)
{
    CArchive ar(&device, CArchive::Mode::Load);
    return Serialize(ar);
}

bool CTrelliumDoc::Save(QIODevice& device)
{
    CArchive ar(&device, CArchive::Mode::Store);
    return Serialize(ar);
}

void CTrelliumDoc::SetPathName(const QString& path)
{
    m_strPathName = path;
}

void CTrelliumDoc::SetModifiedFlag(bool modified)
{
    if (m_bModified == modified)
        return;
    m_bModified = modified;
    emit ModifiedChanged(modified);
}

// --- posting to the view -----------------------------------------------------

void CTrelliumDoc::SendToView(int hint)
{
    if (m_pView)
        m_pView->OnUpdate(hint);
}

void CTrelliumDoc::PostCommand(int id)
{
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            if (m_pView)
                m_pView->OnCommand(id);
        },
        Qt::QueuedConnection);
}

// --- settings -----------------------------------------------------------------

void CTrelliumDoc::PublishSettings()
{
    m_nStampFormat.store(m_info.m_timing.m_nFormat);
    m_nStampMinInterval.store(m_info.m_timing.m_nMinInterval);
    m_bEchoOn.store(m_info.EchoOn());
    m_nConnectionType.store(m_info.m_nConnectionType);
}

// --- session operations -------------------------------------------------------

int CTrelliumDoc::InitSession()
{
    if (m_info.m_nConnectionType == ConnSerial)
        EditInfo()->m_nPortId = ProbeSerialPort(m_info.m_nPortId);
    m_funcKeys.SetOwner(this);
    FillPortSelector();
    ApplyOnlineState();
    return 1;
}

int CTrelliumDoc::ProbeSerialPort(int storedId)
{
    // A stored id comes from a file: one that names no serial port is skipped.
    if (IsSerialPortId(storedId) && !PortNames::CanOpen(storedId + 1).IsError())
        return storedId;
    for (int id = 0; id < 12; ++id) {
        if (!PortNames::CanOpen(id + 1).IsError())
            return id;
    }
    return PortIdNone;
}

void CTrelliumDoc::FillPortSelector()
{
    PostCommand(Ids::CmdRefillPorts);
}

void CTrelliumDoc::ToggleOnline()
{
    m_bOnline = !m_bOnline;
    ApplyOnlineState();
}

void CTrelliumDoc::ApplyOnlineState()
{
    if (m_bOnline) {
        OpenConnection();
        if (m_capture.m_bAutoBegin)
            StartCapture(QString::fromLocal8Bit(m_capture.m_strFileName));
    } else {
        CloseConnection();
    }
    ApplySettings();
    SendToView(Ids::HintSettingsLoaded);
    RefreshKeyLabels(false, false);
}

void CTrelliumDoc::OpenConnection()
{
    m_lastRxTick = m_context.Clock().TickCount();
    const CTransportKind& kind = TransportKindOf(m_info.m_nConnectionType);
    if (m_info.m_nConnectionType == ConnSerial)
        m_portName = ComName(m_info.m_nPortId);
    // A transport left from an earlier attempt (a TCP client whose connection
    // failed) is closed, not left open beside the new one.
    if (m_pTransport) {
        m_pTransport->Close();
        m_pTransport.reset();
    }
    if (kind.make)
        m_pTransport = kind.make(*this);
    COpenResult result;
    if (!m_pTransport) {
        if (kind.createFailure)
            result = COpenResult::Offline(QString::fromLatin1(kind.createFailure),
                                          QStringLiteral("Error"));
    } else {
        result = m_pTransport->Open();
        if (!result.bOnline)
            m_pTransport.reset();
    }
    m_bOnline = result.bOnline;
    // Shown with nothing locked and the state already settled.
    if (!result.strAlert.isEmpty())
        Alerts::Message(result.strAlert,
                        result.strAlertTitle.isEmpty() ? Alerts::AppTitle() : result.strAlertTitle,
                        AlertIcon::Warning);
    SendToView(Ids::HintOnlineSettled);
    UpdateTitle();
}

void CTrelliumDoc::CloseConnection()
{
    if (m_pTransport) {
        m_pTransport->Close();
        m_pTransport.reset();
    }
    m_bOnline = false;
    SendToView(Ids::HintOnlineSettled);
    SendToView(Ids::HintConnectionType);
    {
        std::lock_guard lock(m_lock);
        m_modemStatus = 0;
    }
    SendToView(Ids::HintConnectionStatus);
}

bool CTrelliumDoc::IsConnectionUsable() const
{
    return m_pTransport && m_pTransport->IsUsable();
}

CTermSocket* CTrelliumDoc::ClientSocket() const
{
    return dynamic_cast<CTermSocket*>(m_pTransport.get());
}

CTCPIPSvr* CTrelliumDoc::TcpServer() const
{
    return dynamic_cast<CTCPIPSvr*>(m_pTransport.get());
}

CUDPSvr* CTrelliumDoc::UdpServer() const
{
    return dynamic_cast<CUDPSvr*>(m_pTransport.get());
}

CUdpClient* CTrelliumDoc::UdpClient() const
{
    return dynamic_cast<CUdpClient*>(m_pTransport.get());
}

void CTrelliumDoc::SetServerLogWindow(CServerLogSink* window)
{
    m_pServerLog = window;
    if (CTCPIPSvr* server = TcpServer())
        server->Log().SetWindow(window);
}

int CTrelliumDoc::SelectPort(int id)
{
    {
        auto info = EditInfo();
        info->m_nPortId = id;
        info->m_nConnectionType = PortIdToType(id);
        if (id == PortIdMerge) {
            m_context.ColorRotation().StepBack();
            if (info->m_timing.m_nFormat == 0)
                info->m_timing.m_nFormat = 2;
        }
    }
    SendToView(Ids::HintConnectionType);
    UpdateTitle();
    return id;
}

void CTrelliumDoc::ApplySettings()
{
    // The open serial port takes baud rate and line settings; flow control
    // is never applied.
    QString refused;
    if (m_bOnline && m_pTransport)
        refused = m_pTransport->ApplySettings(m_info);
    PublishSettings();
    UpdateTitle();
    if (!refused.isEmpty())
        Alerts::Message(refused, QStringLiteral("Error"), AlertIcon::Warning);
}

void CTrelliumDoc::OnPortLost(const QString& message)
{
    if (!m_pTransport)
        return;
    m_bOnline = false;
    ApplyOnlineState();
    Alerts::Message(message, QStringLiteral("Error"), AlertIcon::Warning);
}

void CTrelliumDoc::UpdateTitle()
{
    if (!OnUiThread()) {
        QMetaObject::invokeMethod(this, &CTrelliumDoc::UpdateTitle, Qt::QueuedConnection);
        return;
    }
    QString name = m_strPathName.mid(m_strPathName.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.endsWith(QLatin1String(".TRW"), Qt::CaseInsensitive))
        name.chop(4);

    const QString address = QString::fromLatin1(m_info.m_strAddress);
    const QString service = ServiceTable::ServiceName(m_info.m_nNetworkPort);
    QString title;
    switch (m_info.m_nConnectionType) {
    case ConnMerge:
        title = QStringLiteral("Merge ");
        break;
    case ConnTcpServer:
    case ConnUdpServer:
        title = QStringLiteral("%1 %2 Svr: %3 %4 ")
                    .arg(name,
                         m_info.m_nConnectionType == ConnTcpServer ? QStringLiteral("TCP")
                                                                   : QStringLiteral("UDP"),
                         address, service);
        break;
    case ConnTcpClient:
    case ConnUdpClient:
        title = QStringLiteral("%1  %2 %3 ").arg(name, address, service);
        break;
    default: {
        m_portName = ComName(m_info.m_nPortId);
        char stop[32];
        std::snprintf(stop, sizeof stop, "%g", m_info.m_nStopBits / 10.0);
        title = QStringLiteral("%1  %2 - %3,%4,%5,%6 ")
                    .arg(name, QString::fromStdString(m_portName))
                    .arg(m_info.m_nBaudRate)
                    .arg(QChar(QLatin1Char(static_cast<char>(m_info.m_cParity))))
                    .arg(m_info.m_nDataBits)
                    .arg(QLatin1String(stop));
        break;
    }
    }
    if (m_bCapturing)
        title += QStringLiteral("[Capture On] ");
    if (m_bHold)
        title += QStringLiteral("[Hold] ");
    if (m_info.m_nConnectionType != ConnMerge) {
        title += QString::fromLatin1(m_funcKeys.ProgressText());
        if (!m_bOnline)
            title += QStringLiteral("Offline");
    }
    if (m_info.EchoOn())
        title += QStringLiteral(" [Echo]");
    SetTitle(title);
}

void CTrelliumDoc::SetTitle(const QString& title)
{
    if (title == m_strTitle)
        return;
    m_strTitle = title;
    emit TitleChanged(title);
}

// --- sending ------------------------------------------------------------------

int CTrelliumDoc::SendData(const char* bytes, int count)
{
    // The transport stays put while a reader thread can send: a serial port's
    // reader is stopped before its transport is destroyed.
    if (CTransport* transport = m_pTransport.get()) {
        if (transport->Write(bytes, count) == CWriteResult::Refused) {
            Alerts::Beep();
            return 0;
        }
    } else if (TransportKindOf(m_nConnectionType.load()).bRefusesWithoutTransport) {
        Alerts::Beep();
        return 0;
    }
    if (m_bEchoOn)
        m_ring.Append(bytes, count);
    return 1;
}

int CTrelliumDoc::SendChar(uint8_t byte)
{
    const char c = static_cast<char>(byte);
    return SendData(&c, 1);
}

void CTrelliumDoc::PressFunctionKey(int key, bool shift, bool ctrl, bool alt)
{
    const std::optional<MacroKey> macro =
        m_funcKeys.Press(CMacroId::Of(key, shift ? 1 : 0, ctrl ? 1 : 0, alt ? 1 : 0));
    if (macro)
        SendDataString(*macro);
}

void CTrelliumDoc::SendDataString(const MacroKey& macro)
{
    EncodeResult result;
    try {
        result = m_context.Checksum().Encode(
            macro.m_strData, [this](const char* bytes, int count) { SendData(bytes, count); });
    } catch (const CDataStringError&) {
        // No lock is held here: a reader thread carries on while this shows.
        Alerts::Message(
            QStringLiteral("The data of %1 (%2) ends in a lone percent sign, so nothing "
                           "was sent. Write %%%% to send a percent sign.")
                .arg(KeyName(macro), QString::fromLatin1(macro.m_strLabel)),
            Alerts::AppTitle(), AlertIcon::Warning);
        return;
    }
    // A file reference that failed says why (no lock is held here either).
    if (!result.message.isEmpty())
        Alerts::Message(result.message, Alerts::AppTitle(), AlertIcon::Warning);
    if (result.kind == EncodeResult::Kind::FileSent || macro.m_nRepeat == 0)
        return;
    m_funcKeys.RepeatBookkeeping(macro.Id(), this);
    UpdateTitle();
}

void CTrelliumDoc::RefreshKeyLabels(bool shift, bool ctrl)
{
    m_funcKeys.UpdateKeyPanes(m_context.KeyPanes(), shift ? 1 : 0, ctrl ? 1 : 0);
}

void CTrelliumDoc::StartRepeatTimer(int timerId, int intervalMs, const CMacroId& macro)
{
    if (!OnUiThread()) {
        // Timers belong to the user-interface thread; start it there, unless
        // the run was stopped in the meantime.
        QMetaObject::invokeMethod(
            this,
            [this, timerId, intervalMs, macro] {
                const auto held = m_funcKeys.MacroInSlot(timerId - Ids::TimerRepeatFirst);
                if (held && held->Id() == macro)
                    StartRepeatTimer(timerId, intervalMs, macro);
            },
            Qt::QueuedConnection);
        return;
    }
    std::unique_ptr<COneShotTimer>& timer = m_repeatTimers[timerId];
    if (!timer)
        timer = m_context.Clock().MakeTimer([this, timerId] { OnRepeatTimer(timerId); });
    timer->Start(intervalMs);
}

bool CTrelliumDoc::IsRepeatTimerActive(int timerId) const
{
    const auto it = m_repeatTimers.find(timerId);
    return it != m_repeatTimers.end() && it->second->IsActive();
}

void CTrelliumDoc::OnRepeatTimer(int timerId)
{
    if (const auto macro = m_funcKeys.MacroInSlot(timerId - Ids::TimerRepeatFirst))
        SendDataString(*macro);
}

void CTrelliumDoc::StopRepeat(int slot)
{
    if (!OnUiThread()) {
        QMetaObject::invokeMethod(
            this,
            [this, slot] {
                if (!m_funcKeys.MacroInSlot(slot))
                    StopRepeat(slot);
            },
            Qt::QueuedConnection);
        return;
    }
    const auto it = m_repeatTimers.find(Ids::TimerRepeatFirst + slot);
    if (it != m_repeatTimers.end())
        it->second->Stop();
    UpdateTitle();
}

void CTrelliumDoc::SendMacro(const MacroKey& macro)
{
    SendDataString(macro);
}

// --- receiving ------------------------------------------------------------------

void CTrelliumDoc::ReceiveData(const char* bytes, int count)
{
    m_stampText.clear();
    const int format = m_nStampFormat.load();
    if (format != 0) {
        const uint32_t now = m_context.Clock().TickCount();
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
    if (m_bCapturing)
        WriteCapture(bytes, count);
    if (m_bHold || count <= 0)
        return;

    if (!m_funcKeys.HasAutoResponses()) {
        m_ring.Append(bytes, count);
        return;
    }
    // Each byte reaches the ring before the matcher sees it, so a response
    // fired by a byte follows that byte and precedes the rest of the block.
    for (int i = 0; i < count; ++i) {
        m_ring.Append(bytes + i, 1);
        m_funcKeys.MatchAutoResponse(static_cast<uint8_t>(bytes[i]));
    }
}

void CTrelliumDoc::ReceiveClientBytes(const char* bytes, int count)
{
    if (count <= 0)
        return;
    if (m_bCapturing)
        WriteCapture(bytes, count);
    if (!m_bHold)
        m_ring.Append(bytes, count);
}

void CTrelliumDoc::DeliverNewBytes()
{
    const CReceiveRing::CDelivery delivery = m_ring.TakeNew();
    if (m_pView && (!delivery.bytes.isEmpty() || delivery.lost))
        m_pView->OnNewBytes(delivery.bytes, delivery.lost);
}

int CTrelliumDoc::CopyFromRing(char* dest, int start, int count) const
{
    return m_ring.CopyFromRing(dest, start, count);
}

QByteArray CTrelliumDoc::RingContents() const
{
    return m_ring.Contents();
}

int CTrelliumDoc::RingPos() const
{
    return m_ring.Pos();
}

int CTrelliumDoc::RingCount() const
{
    return m_ring.Count();
}

// --- capture ------------------------------------------------------------------

void CTrelliumDoc::WriteCapture(const char* bytes, int count)
{
    const CPlatformError error = m_captureFile.Write(bytes, count);
    // A full disk, a removed file or a lost permission would otherwise lose
    // every byte from here on without a word.
    if (error.IsError() && m_bCapturing.exchange(false)) {
        Alerts::Message(QStringLiteral("Capture stopped: %1").arg(ErrorText(error)),
                        Alerts::AppTitle(), AlertIcon::Warning);
        UpdateTitle();
    }
}

int CTrelliumDoc::StartCapture(const QString& fileName)
{
    // A capture that runs already stays as it is (auto begin on a second
    // going-online would otherwise fight its own open file).
    if (m_bCapturing)
        return 1;
    if (m_captureFile.Open(fileName).IsError())
        return 0;
    if (m_captureFile.Write(CaptureStartLine(QDateTime::currentDateTime())).IsError())
        return 0;
    m_bCapturing = true;
    UpdateTitle();
    return 1;
}

void CTrelliumDoc::EndCapture()
{
    if (!m_bCapturing)
        return;
    m_bCapturing = false;
    m_captureFile.Close(CaptureEndLine(QDateTime::currentDateTime()));
    UpdateTitle();
}

// --- modem status, hold, clear ----------------------------------------------

void CTrelliumDoc::SetModemStatus(uint32_t status)
{
    {
        std::lock_guard lock(m_lock);
        m_modemStatus = status;
    }
    PostCommand(Ids::CmdModemStatus);
}

uint32_t CTrelliumDoc::GetModemStatus() const
{
    std::lock_guard lock(m_lock);
    return m_modemStatus;
}

void CTrelliumDoc::ToggleHold()
{
    m_bHold = !m_bHold;
    UpdateTitle();
}

void CTrelliumDoc::ClearDisplay()
{
    if (m_pView)
        m_pView->ClearDisplay();
}

// --- transport callbacks --------------------------------------------------------

void CTrelliumDoc::OnTcpData(int, CTcpConnection*, const char* bytes, int count)
{
    ReceiveData(bytes, count);
}

void CTrelliumDoc::OnTcpAccept(int, CTcpConnection*)
{
    SendToView(Ids::HintConnectionStatus);
}

void CTrelliumDoc::OnTcpClose(int, CTcpConnection*)
{
    SendToView(Ids::HintConnectionStatus);
}

void CTrelliumDoc::OnUdpData(int, const char* bytes, int count)
{
    m_ring.Append(bytes, count);
}

void CTrelliumDoc::OnClientConnect(int error)
{
    m_bOnline = error == 0;
    SendToView(Ids::HintOnlineSettled);
    SendToView(Ids::HintConnectionType);
    UpdateTitle();
}

void CTrelliumDoc::OnClientClosed()
{
    // The peer went away: the session goes offline rather than stay "Online"
    // while every send is lost. The socket is closed once its own
    // notification is over.
    QMetaObject::invokeMethod(
        this,
        [this, closing = m_pTransport.get()] {
            if (!closing || m_pTransport.get() != closing)
                return;
            CloseConnection();
            UpdateTitle();
        },
        Qt::QueuedConnection);
}

void CTrelliumDoc::ReportSendProblem(const QString& message)
{
    QMetaObject::invokeMethod(
        this, [message] { Alerts::Message(message, Alerts::AppTitle(), AlertIcon::Warning); },
        Qt::QueuedConnection);
}
