#include "session/TrelliumDoc.h"

#include "base/Archive.h"
#include "base/TrelliumIds.h"
#include "display/TimeStamp.h"
#include "net/TCPIPSvr.h"
#include "net/UDPSvr.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "send/DataString.h"
#include "send/FileReference.h"
#include "send/KeyPanes.h"
#include "serial/PortNames.h"
#include "session/SaveTarget.h"
#include "session/ServiceTable.h"
#include "session/SessionContext.h"
#include "session/SessionView.h"
#include "session/TransportKinds.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <algorithm>
#include <cerrno>
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

// A file send keeps this much waiting in its connection's queue: enough to
// keep the line busy, little enough that typed bytes are not stuck behind it.
constexpr size_t kFileQueueTarget = 64 * 1024;
// Blocks a file send hands over per turn of the event loop.
constexpr int kFileBlocksPerTurn = 256;
// A delivery hands the view at most this much; more follows at the next turn.
constexpr size_t kDeliverySlice = 256 * 1024;
// How often a running file send reports its progress.
constexpr qint64 kFileProgressMs = 250;

} // namespace

struct CTrelliumDoc::CFileSend
{
    std::unique_ptr<CFileSource> source;
    MacroKey macro;
    QByteArray waiting; // a block the connection refused as full, sent next
    QElapsedTimer started;
    QElapsedTimer lastReport;
    bool bShowProgress = false;
};

CTrelliumDoc::CTrelliumDoc(CSessionContext& context)
    : m_context(context), m_info(context.ColorRotation()), m_backlog([this] { ScheduleDelivery(); })
{
    m_deliveryTimer.setSingleShot(true);
    connect(&m_deliveryTimer, &QTimer::timeout, this, &CTrelliumDoc::DeliverNewBytes);
    m_funcKeys.SetOwner(this);
    m_funcKeys.SetKeyPanes(&context.KeyPanes());
    m_context.AddSession(this);
    PublishSettings();
}

CTrelliumDoc::~CTrelliumDoc()
{
    m_pFileSend.reset();
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

CClock& CTrelliumDoc::Clock() const
{
    return m_context.Clock();
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
    // A file send ends with its connection, saying how far it came.
    if (m_pFileSend)
        EndFileSend(QStringLiteral("the connection was closed"));
    m_waitingRepeats.clear();
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

CTCPIPSvr* CTrelliumDoc::TcpServer() const
{
    return dynamic_cast<CTCPIPSvr*>(m_pTransport.get());
}

CUDPSvr* CTrelliumDoc::UdpServer() const
{
    return dynamic_cast<CUDPSvr*>(m_pTransport.get());
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

void CTrelliumDoc::OnPortOpened(int portId)
{
    m_context.Ports().SetInUse(portId, true);
    FillPortSelector();
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
        if (m_pFileSend && m_pFileSend->bShowProgress) {
            const CFileSend& send = *m_pFileSend;
            const QString label = send.macro.m_strLabel.isEmpty()
                                      ? KeyName(send.macro)
                                      : QString::fromLatin1(send.macro.m_strLabel);
            title += QStringLiteral("(%1 %2/%3) ")
                         .arg(label)
                         .arg(send.source->Done() - send.waiting.size())
                         .arg(send.source->Total());
        }
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

CWriteResult CTrelliumDoc::Transmit(const char* bytes, int count)
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

void CTrelliumDoc::NoteRefusal(const CWriteResult& result, int count)
{
    // Once per episode: a macro that repeats into a full queue would
    // otherwise raise a message per send.
    if (m_bRefusalTold.exchange(true))
        return;
    const QString connection = ConnectionText();
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

void CTrelliumDoc::Echo(const char* bytes, int count)
{
    if (count <= 0)
        return;
    std::lock_guard lock(m_storeLock);
    m_ring.Append(bytes, count);
    m_backlog.AppendStream(bytes, count, m_context.Clock().TickCount(), m_nStampFormat.load() == 0);
}

int CTrelliumDoc::SendData(const char* bytes, int count)
{
    if (!Transmit(bytes, count).IsSent()) {
        Alerts::Beep();
        return 0;
    }
    if (m_bEchoOn)
        Echo(bytes, count);
    return 1;
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
    if (m_pFileSend && m_pFileSend->macro.Id() == id) {
        EndFileSend(QString());
        return;
    }
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
        StartFileSend(macro);
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
                .arg(KeyName(macro), QString::fromLatin1(macro.m_strLabel)),
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

void CTrelliumDoc::StartFileSend(const MacroKey& macro)
{
    if (m_pFileSend) {
        Alerts::Message(QStringLiteral("%1 is still being sent; press %2 again to stop it.")
                            .arg(m_pFileSend->source->Shown(), KeyName(m_pFileSend->macro)),
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

void CTrelliumDoc::PumpFileSend()
{
    for (int blocks = 0; m_pFileSend; ++blocks) {
        CFileSend& send = *m_pFileSend;
        CTransport* transport = m_pTransport.get();
        if (!transport && TransportKindOf(m_info.m_nConnectionType).bRefusesWithoutTransport) {
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
        if (transport && transport->OutputPending() >= kFileQueueTarget) {
            transport->WantOutputRoom();
            break;
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

void CTrelliumDoc::ReportFileProgress(bool force)
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
        UpdateTitle();
}

void CTrelliumDoc::EndFileSend(const QString& problem)
{
    if (!m_pFileSend)
        return;
    const std::unique_ptr<CFileSend> send = std::move(m_pFileSend);
    const qint64 done = send->source->Done() - send->waiting.size();
    emit FileSendProgress(send->source->Shown(), done, send->source->Total());
    if (send->bShowProgress)
        UpdateTitle();
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

void CTrelliumDoc::OnOutputRoom()
{
    if (m_pFileSend)
        PumpFileSend();
    // Repeats that waited for their previous send to go out fire now.
    std::vector<int> waiting;
    waiting.swap(m_waitingRepeats);
    for (const int timerId : waiting)
        OnRepeatTimer(timerId);
}

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
                .arg(KeyName(macro), QString::fromLatin1(macro.m_strLabel), file, ConnectionText()),
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
                    .arg(KeyName(macro), QString::fromLatin1(macro.m_strLabel), file),
                Alerts::AppTitle(), AlertIcon::Warning);
        return;
    }
    StartFileSend(macro);
}

// --- repeats --------------------------------------------------------------------

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
    const auto macro = m_funcKeys.MacroInSlot(timerId - Ids::TimerRepeatFirst);
    if (!macro)
        return;
    // A repeat whose previous sends still wait in the queue waits for them
    // to drain, rather than piling up behind them or being refused.
    if (m_pTransport && m_pTransport->OutputPending() > CTransport::kOutputLowWater) {
        m_waitingRepeats.push_back(timerId);
        m_pTransport->WantOutputRoom();
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

bool CTrelliumDoc::ReceiveData(const char* bytes, int count)
{
    return Receive(bytes, count, false);
}

void CTrelliumDoc::OnDatagram(const char* bytes, int count)
{
    Receive(bytes, count, true);
}

bool CTrelliumDoc::CanReceive() const
{
    // On hold nothing reaches the backlog, so reading goes on.
    return m_bHold || m_backlog.HasRoom();
}

void CTrelliumDoc::OnDatagramsDropped(uint64_t count)
{
    m_backlog.CountLostDatagrams(count);
}

bool CTrelliumDoc::Store(const char* bytes, int count, uint32_t tick, bool datagram)
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

bool CTrelliumDoc::Receive(const char* bytes, int count, bool datagram)
{
    m_stampText.clear();
    const uint32_t now = m_context.Clock().TickCount();
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
    if (m_bHold || count <= 0)
        return true;

    if (!m_funcKeys.HasAutoResponses())
        return Store(bytes, count, now, datagram);
    // The bytes up to one that completes a pattern reach the ring and the
    // display before its response is sent, and the response goes out before
    // the rest of the block is looked at.
    bool room = true;
    int stored = 0;
    for (int i = 0; i < count; ++i) {
        m_funcKeys.MatchAutoResponse(static_cast<uint8_t>(bytes[i]), [&] {
            room = Store(bytes + stored, i + 1 - stored, now, datagram) && room;
            stored = i + 1;
        });
    }
    return Store(bytes + stored, count - stored, now, datagram) && room;
}

void CTrelliumDoc::ScheduleDelivery()
{
    QMetaObject::invokeMethod(this, &CTrelliumDoc::OnDeliveryDue, Qt::QueuedConnection);
}

void CTrelliumDoc::OnDeliveryDue()
{
    // At most one delivery per display frame while data keeps coming; the
    // first after a quiet spell goes at once.
    const int frameMs = m_context.DeliveryFrameMs();
    if (frameMs > 0 && m_lastDelivery.isValid()) {
        const qint64 since = m_lastDelivery.elapsed();
        if (since < frameMs) {
            if (!m_deliveryTimer.isActive())
                m_deliveryTimer.start(static_cast<int>(frameMs - since));
            return;
        }
    }
    DeliverNewBytes();
}

void CTrelliumDoc::DeliverNewBytes()
{
    m_deliveryTimer.stop();
    m_lastDelivery.start();
    const CDeliveryBacklog::CTaken taken = m_backlog.Take(kDeliverySlice);
    if (m_pView) {
        for (const CDeliveryBacklog::CChunk& chunk : taken.chunks) {
            if (chunk.lostDatagramsBefore > 0)
                m_pView->OnDatagramsLost(chunk.lostDatagramsBefore);
            m_pView->OnNewBytes(chunk.bytes, chunk.lostBefore, chunk.tick);
        }
        if (taken.lostDatagramsAtEnd > 0)
            m_pView->OnDatagramsLost(taken.lostDatagramsAtEnd);
        if (taken.lostAtEnd > 0)
            m_pView->OnNewBytes(QByteArray(), taken.lostAtEnd, m_context.Clock().TickCount());
    }
    if (taken.bResume && m_pTransport)
        m_pTransport->ResumeReading();
    // A flood is shown a slice a turn, so that the window keeps answering.
    if (taken.bMore)
        QMetaObject::invokeMethod(this, &CTrelliumDoc::DeliverNewBytes, Qt::QueuedConnection);
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
