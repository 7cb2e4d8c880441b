#include "session/TrelliumDoc.h"

#include "base/Archive.h"
#include "base/TrelliumIds.h"
#include "net/TCPIPSvr.h"
#include "net/UDPSvr.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "send/DataString.h"
#include "send/KeyPanes.h"
#include "serial/PortNames.h"
#include "session/SaveTarget.h"
#include "session/ServiceTable.h"
#include "session/SessionContext.h"
#include "session/SessionView.h"
#include "session/TransportKinds.h"

#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <QTimer>
#include <algorithm>
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

} // namespace

CTrelliumDoc::CTrelliumDoc(CSessionContext& context)
    : m_context(context), m_info(context.ColorRotation()),
      m_pipeline(*this, context.Clock(), context.DeliveryFrameMs())
{
    connect(&m_pipeline, &CSessionPipeline::FileSendProgress, this,
            &CTrelliumDoc::FileSendProgress);
    m_funcKeys.SetOwner(this);
    m_funcKeys.SetKeyPanes(&context.KeyPanes());
    m_context.AddSession(this);
    PublishSettings();
}

CTrelliumDoc::~CTrelliumDoc()
{
    if (m_info.m_nConnectionType == ConnMerge)
        m_context.Merge().Unregister();
    m_pipeline.CloseTransport();
    m_funcKeys.SetOwner(nullptr);
    m_funcKeys.StopAllRepeats();
    m_context.RemoveSession(this);
}

CClock& CTrelliumDoc::Clock() const
{
    return m_context.Clock();
}

int CTrelliumDoc::HistoryLines() const
{
    return m_context.HistoryLines();
}

CMergeRegistry& CTrelliumDoc::Merge() const
{
    return m_context.Merge();
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
    m_pipeline.AbandonCapture(); // closing the session writes no end line
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
    m_pipeline.Publish(m_info);
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
    // Chosen from the port list, never by opening ports: opening raises DTR,
    // which resets many development boards. The session's own port stays
    // while it is present and no other session of ours holds it (going
    // online says why if it cannot be opened); otherwise the first of COM1
    // to COM12 that is present, readable and writable and free of our
    // sessions.
    const std::vector<CPortItem>& items = m_context.Ports().Items();
    const auto free = [&items](int id) {
        return std::any_of(items.begin(), items.end(), [id](const CPortItem& item) {
            return item.m_nPortId == id && !item.m_bInUse;
        });
    };
    if (IsSerialPortId(storedId) && free(storedId))
        return storedId;
    for (const CPortItem& item : items) {
        const int id = item.m_nPortId;
        if (id >= 0 && id < 12 && !item.m_bInUse && PortNames::IsAccessible(id + 1))
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
    m_bAwaitingPort = false; // the user decides from now on
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
    m_strOfflineReason.clear();
    const CTransportKind& kind = TransportKindOf(m_info.m_nConnectionType);
    if (m_info.m_nConnectionType == ConnSerial)
        m_portName = ComName(m_info.m_nPortId);
    // A transport left from an earlier attempt (a TCP client whose connection
    // failed) is closed, not left open beside the new one.
    m_pipeline.CloseTransport();
    m_pipeline.RestartReceiveClock();
    std::unique_ptr<CTransport> transport = kind.make ? kind.make(*this) : nullptr;
    COpenResult result;
    if (!transport) {
        if (kind.createFailure)
            result = COpenResult::Offline(QString::fromLatin1(kind.createFailure),
                                          QStringLiteral("Error"));
    } else {
        result = transport->Open();
        // A line the user dropped stays down on the new connection.
        if (result.bOnline && (!m_bDtr || !m_bRts))
            if (const QString refused = transport->SetLineSignals(m_bDtr, m_bRts);
                !refused.isEmpty())
                result.strAlert = refused;
        if (result.bOnline)
            m_pipeline.SetTransport(std::move(transport));
    }
    m_bOnline = result.bOnline;
    m_strOfflineReason = result.strReason;
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
    m_waitingRepeats.clear();
    m_pipeline.CloseTransport();
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
    const CTransport* transport = m_pipeline.Transport();
    return transport && transport->IsUsable();
}

CTCPIPSvr* CTrelliumDoc::TcpServer() const
{
    return dynamic_cast<CTCPIPSvr*>(m_pipeline.Transport());
}

CUDPSvr* CTrelliumDoc::UdpServer() const
{
    return dynamic_cast<CUDPSvr*>(m_pipeline.Transport());
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
    // The open serial port takes baud rate, line settings and flow control.
    QString refused;
    if (m_bOnline && m_pipeline.Transport())
        refused = m_pipeline.Transport()->ApplySettings(m_info);
    PublishSettings();
    UpdateTitle();
    if (!refused.isEmpty())
        Alerts::Message(refused, QStringLiteral("Error"), AlertIcon::Warning);
}

void CTrelliumDoc::OnPortOpened(int portId)
{
    if (m_bAwaitingPort && IsRemotePort()) {
        m_bAwaitingPort = false; // connected again
        m_strOfflineReason.clear();
        UpdateTitle();
    }
    m_context.Ports().SetInUse(portId, true);
    FillPortSelector();
}

void CTrelliumDoc::OnPortLost(const QString& message)
{
    if (!m_pipeline.Transport())
        return;
    m_bOnline = false;
    ApplyOnlineState();
    m_bAwaitingPort = m_info.m_nConnectionType == ConnSerial;
    if (m_bAwaitingPort) {
        m_strOfflineReason = QStringLiteral("waiting for the port");
        UpdateTitle();
        // Nothing announces a remote port's return: it is tried again.
        if (IsRemotePort())
            ScheduleRemoteRetry();
    }
    Alerts::Message(m_bAwaitingPort
                        ? message + QStringLiteral("\nThe session goes online again when the port "
                                                   "comes back.")
                        : message,
                    QStringLiteral("Error"), AlertIcon::Warning);
}

bool CTrelliumDoc::IsRemotePort() const
{
    return m_info.m_nConnectionType == ConnSerial && m_info.m_nPortId >= 0 &&
           PortNames::IsRemote(PortNames::DevicePath(m_info.m_nPortId + 1));
}

void CTrelliumDoc::ScheduleRemoteRetry()
{
    QTimer::singleShot(m_context.RemoteRetryMs(), this, [this, generation = ++m_nRetryGeneration] {
        if (generation != m_nRetryGeneration || !m_bAwaitingPort || m_bOnline)
            return;
        // Online while the attempt is under way; the port's agreement or its
        // failure settles it (OnPortOpened, OnPortFailed).
        m_bOnline = true;
        ApplyOnlineState();
        if (!m_bOnline) {
            m_strOfflineReason = QStringLiteral("waiting for the port");
            UpdateTitle();
            ScheduleRemoteRetry();
        }
    });
}

void CTrelliumDoc::OnPortFailed(const QString& message, const QString& reason)
{
    if (!m_pipeline.Transport())
        return;
    CloseConnection();
    if (m_bAwaitingPort) {
        // One more attempt that found the port still away: no news.
        m_strOfflineReason = QStringLiteral("waiting for the port");
        UpdateTitle();
        ScheduleRemoteRetry();
        return;
    }
    m_strOfflineReason = reason;
    UpdateTitle();
    Alerts::Message(message, QStringLiteral("Error"), AlertIcon::Warning);
}

void CTrelliumDoc::OnLineNotice(const QString& message)
{
    Alerts::Message(message, QStringLiteral("Error"), AlertIcon::Warning);
}

void CTrelliumDoc::OnPortsRebuilt()
{
    if (!m_bAwaitingPort || m_bOnline || m_info.m_nConnectionType != ConnSerial)
        return;
    if (IsRemotePort())
        return; // tried again on its own timer
    if (PortNames::DevicePath(m_info.m_nPortId + 1).isEmpty())
        return; // not back yet
    m_bOnline = true;
    ApplyOnlineState();
    if (m_bOnline)
        m_bAwaitingPort = false;
    else
        m_strOfflineReason = QStringLiteral("waiting for the port");
    UpdateTitle();
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
    if (m_pipeline.IsCapturing())
        title += QStringLiteral("[Capture On] ");
    if (m_pipeline.IsHold())
        title += QStringLiteral("[Hold] ");
    if (m_info.m_nConnectionType != ConnMerge) {
        title += QString::fromLatin1(m_funcKeys.ProgressText());
        title += m_pipeline.FileProgressText();
        if (!m_bOnline) {
            title += QStringLiteral("Offline");
            if (!m_strOfflineReason.isEmpty())
                title += QStringLiteral(" (%1)").arg(m_strOfflineReason);
        }
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
    return m_pipeline.SendData(bytes, count);
}

void CTrelliumDoc::OnOutputRoom()
{
    // Repeats that waited for their previous sends to go out fire now.
    std::vector<int> waiting;
    waiting.swap(m_waitingRepeats);
    for (const int timerId : waiting)
        OnRepeatTimer(timerId);
}

int CTrelliumDoc::SendChar(uint8_t byte)
{
    const char c = static_cast<char>(byte);
    return SendData(&c, 1);
}

void CTrelliumDoc::PressFunctionKey(int key, bool shift, bool ctrl, bool alt)
{
    const CMacroId id = CMacroId::Of(key, shift ? 1 : 0, ctrl ? 1 : 0, alt ? 1 : 0);
    // Pressing the key of a file send under way stops it, as it stops a repeat.
    if (m_pipeline.StopFileSendOf(id))
        return;
    const std::optional<MacroKey> macro = m_funcKeys.Press(id);
    if (macro)
        SendDataString(*macro);
}

void CTrelliumDoc::SendDataString(const MacroKey& macro)
{
    if (macro.m_strData.startsWith('*')) {
        if (!OnUiThread()) {
            QMetaObject::invokeMethod(
                this, [this, macro] { SendDataString(macro); }, Qt::QueuedConnection);
            return;
        }
        m_pipeline.StartFileSend(macro);
        return;
    }
    EncodeResult result;
    try {
        result = m_context.Checksum().Encode(
            macro.m_strData, [this](const char* bytes, int count) { SendData(bytes, count); });
    } catch (const CDataStringError&) {
        // No lock is held here: a reader thread carries on while this shows.
        Alerts::Message(
            QStringLiteral("The data of %1 (%2) ends in a lone percent sign, so nothing "
                           "was sent. Write %%%% to send a percent sign.")
                .arg(MacroKeyName(macro), QString::fromLatin1(macro.m_strLabel)),
            Alerts::AppTitle(), AlertIcon::Warning);
        return;
    }
    if (!result.message.isEmpty())
        Alerts::Message(result.message, Alerts::AppTitle(), AlertIcon::Warning);
    if (macro.m_nRepeat == 0)
        return;
    m_funcKeys.RepeatBookkeeping(macro.Id(), this);
    UpdateTitle();
}

// --- file sends -------------------------------------------------------------------

QString CTrelliumDoc::ConnectionText() const
{
    const QString address = QString::fromLatin1(m_info.m_strAddress);
    switch (m_info.m_nConnectionType) {
    case ConnTcpClient:
    case ConnUdpClient:
        return QStringLiteral("%1 port %2").arg(address).arg(m_info.m_nNetworkPort & 0xFFFF);
    case ConnTcpServer:
        return QStringLiteral("the clients of TCP port %1").arg(m_info.m_nNetworkPort & 0xFFFF);
    case ConnUdpServer:
        return QStringLiteral("UDP port %1").arg(m_info.m_nNetworkPort & 0xFFFF);
    default:
        return QString::fromStdString(ComName(m_info.m_nPortId));
    }
}

void CTrelliumDoc::SetLineSignals(bool dtr, bool rts)
{
    m_bDtr = dtr;
    m_bRts = rts;
    CTransport* transport = m_pipeline.Transport();
    if (!transport)
        return;
    if (const QString refused = transport->SetLineSignals(dtr, rts); !refused.isEmpty())
        Alerts::Message(refused, QStringLiteral("Error"), AlertIcon::Warning);
}

bool CTrelliumDoc::SendBreak(int ms, std::function<void()> done)
{
    CTransport* transport = m_pipeline.Transport();
    const QString refused = transport
                                ? transport->SendBreak(ms, done)
                                : QStringLiteral("The session is offline: no break was sent.");
    if (refused.isEmpty())
        return true;
    Alerts::Message(refused, QStringLiteral("Error"), AlertIcon::Warning);
    if (done)
        done();
    return false;
}

QString CTrelliumDoc::UntitledName() const
{
    const QString address = QString::fromLatin1(m_info.m_strAddress);
    const int port = m_info.m_nNetworkPort & 0xFFFF;
    switch (m_info.m_nConnectionType) {
    case ConnTcpClient:
        return QStringLiteral("%1 port %2").arg(address).arg(port);
    case ConnUdpClient:
        return QStringLiteral("UDP %1 port %2").arg(address).arg(port);
    case ConnTcpServer:
        return QStringLiteral("TCP server port %1").arg(port);
    case ConnUdpServer:
        return QStringLiteral("UDP server port %1").arg(port);
    case ConnMerge:
        return QStringLiteral("Merge");
    default:
        return QString::fromStdString(ComName(m_info.m_nPortId));
    }
}

void CTrelliumDoc::AutoResponseFile(const MacroKey& macro)
{
    // A file goes out on bytes a peer chose only with a person's leave,
    // given for this session while it is open.
    const QString file = QString::fromLatin1(macro.m_strData.mid(1));
    if (m_autoFiles == Permission::Unasked && !m_bAskingAutoFiles) {
        m_bAskingAutoFiles = true;
        const bool allow = Alerts::Ask(
            QStringLiteral("The auto response of %1 (%2) would send the file %3 to %4.\n\n"
                           "Allow auto responses of this session to send files?")
                .arg(MacroKeyName(macro), QString::fromLatin1(macro.m_strLabel), file,
                     ConnectionText()),
            Alerts::AppTitle());
        m_bAskingAutoFiles = false;
        m_autoFiles = allow ? Permission::Allowed : Permission::Refused;
        if (!allow)
            return;
    }
    if (m_autoFiles != Permission::Allowed) {
        if (!m_bAskingAutoFiles)
            Alerts::Message(
                QStringLiteral("The auto response of %1 (%2) did not send the file %3: auto "
                               "responses of this session may not send files.")
                    .arg(MacroKeyName(macro), QString::fromLatin1(macro.m_strLabel), file),
                Alerts::AppTitle(), AlertIcon::Warning);
        return;
    }
    m_pipeline.StartFileSend(macro);
}

// --- repeats --------------------------------------------------------------------

void CTrelliumDoc::ShowKeysInPanes(bool shown)
{
    m_funcKeys.SetKeyPanes(shown ? &m_context.KeyPanes() : nullptr);
    if (shown)
        RefreshKeyLabels(false, false);
}

void CTrelliumDoc::RefreshKeyLabels(bool shift, bool ctrl)
{
    // A session in the background never shows its keys over the active one's.
    if (m_context.ActiveSession() && m_context.ActiveSession() != this)
        return;
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
    const auto macro = m_funcKeys.MacroInSlot(timerId - Ids::TimerRepeatFirst);
    if (!macro)
        return;
    // A repeat whose previous sends still wait in the queue waits for them
    // to drain, rather than piling up behind them or being refused.
    CTransport* transport = m_pipeline.Transport();
    if (transport && transport->OutputPending() > CTransport::kOutputLowWater) {
        m_waitingRepeats.push_back(timerId);
        transport->WantOutputRoom();
        return;
    }
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
    const int timerId = Ids::TimerRepeatFirst + slot;
    std::erase(m_waitingRepeats, timerId);
    const auto it = m_repeatTimers.find(timerId);
    if (it != m_repeatTimers.end())
        it->second->Stop();
    UpdateTitle();
}

void CTrelliumDoc::SendMacro(const MacroKey& macro)
{
    // An auto response: a file goes out only with a person's leave.
    if (macro.m_strData.startsWith('*')) {
        QMetaObject::invokeMethod(
            this, [this, macro] { AutoResponseFile(macro); }, Qt::QueuedConnection);
        return;
    }
    SendDataString(macro);
}

// --- receiving ------------------------------------------------------------------

// --- capture ------------------------------------------------------------------

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
    m_pipeline.SetHold(!m_pipeline.IsHold());
    UpdateTitle();
}

void CTrelliumDoc::ClearDisplay()
{
    if (m_pView)
        m_pView->ClearDisplay();
}

// --- transport callbacks --------------------------------------------------------

void CTrelliumDoc::OnTcpAccept(int, CTcpConnection*)
{
    SendToView(Ids::HintConnectionStatus);
}

void CTrelliumDoc::OnTcpClose(int, CTcpConnection*)
{
    SendToView(Ids::HintConnectionStatus);
}

void CTrelliumDoc::OnClientConnect(int error)
{
    m_bOnline = error == 0;
    m_strOfflineReason = error == 0 ? QString() : SystemErrorText(error);
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
        [this, closing = m_pipeline.Transport()] {
            if (!closing || m_pipeline.Transport() != closing)
                return;
            CloseConnection();
            UpdateTitle();
        },
        Qt::QueuedConnection);
}
