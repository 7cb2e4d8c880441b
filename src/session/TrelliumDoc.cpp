#include "session/TrelliumDoc.h"

#include "display/MergeDisplay.h"
#include "display/TimeStamp.h"
#include "platform/Alerts.h"
#include "platform/TickCount.h"
#include "send/DataString.h"
#include "send/KeyPanes.h"
#include "serial/PortNames.h"
#include "session/Archive.h"
#include "session/SaveTarget.h"
#include "session/ServiceTable.h"
#include "session/SessionView.h"
#include "session/TrelliumIds.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The live sessions in creation order; user-interface thread only.
std::vector<CTrelliumDoc*>& SessionList()
{
    static std::vector<CTrelliumDoc*> sessions;
    return sessions;
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

CTrelliumDoc::CTrelliumDoc() : m_ring(std::make_unique<uint8_t[]>(kRingSize))
{
    std::memset(m_ring.get(), 0, kRingSize);
    m_funcKeys.SetOwner(this);
    SessionList().push_back(this);
    PublishSettings();
}

CTrelliumDoc::~CTrelliumDoc()
{
    if (m_info.m_nConnectionType == ConnMerge)
        MergeDisplay::Unregister();
    m_funcKeys.SetOwner(nullptr);
    std::erase(SessionList(), this);
}

std::vector<CTrelliumDoc*> CTrelliumDoc::Sessions()
{
    return SessionList();
}

int CTrelliumDoc::LiveSessionCount()
{
    return static_cast<int>(SessionList().size());
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
    m_funcKeys.StopAllRepeats();
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
        // The failure is consumed: an opened file keeps what was read.
        Alerts::Message(QStringLiteral("Serialize Error"), Alerts::AppTitle(),
                        AlertIcon::Exclamation);
        ok = false;
    }
    if (ar.IsLoading())
        PublishSettings();
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

// --- session operations -------------------------------------------------------

int CTrelliumDoc::InitSession()
{
    if (m_info.m_nConnectionType == ConnSerial)
        m_info.m_nPortId = ProbeSerialPort(m_info.m_nPortId);
    m_funcKeys.SetOwner(this);
    FillPortSelector();
    ApplyOnlineState();
    return 1;
}

int CTrelliumDoc::ProbeSerialPort(int storedId)
{
    if (!PortNames::CanOpen(storedId + 1).IsError())
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
    m_lastRxTick = Platform::GetTickCount();
    switch (m_info.m_nConnectionType) {
    case ConnTcpClient:
    case ConnTcpServer:
    case ConnUdpClient:
    case ConnUdpServer:
    case ConnMerge:
        // No transport of this kind is available: the session stays offline.
        m_bOnline = false;
        SendToView(Ids::HintOnlineSettled);
        UpdateTitle();
        break;
    default:
        OpenSerial();
        break;
    }
}

void CTrelliumDoc::OpenSerial()
{
    m_bOnline = false;
    m_portName = "COM" + std::to_string(m_info.m_nPortId + 1);
    // The serial port object is not part of this build: no port can be
    // created, and the session stays offline.
    Alerts::Message(QStringLiteral("Error creating port object!"), QStringLiteral("Error"),
                    AlertIcon::Warning);
    SendToView(Ids::HintOnlineSettled);
}

void CTrelliumDoc::CloseConnection()
{
    if (m_udpSocket != -1)
        m_udpSocket = -1;
    m_bOnline = false;
    SendToView(Ids::HintOnlineSettled);
    SendToView(Ids::HintConnectionType);
    {
        std::lock_guard lock(m_lock);
        m_modemStatus = 0;
    }
    SendToView(Ids::HintConnectionStatus);
}

int CTrelliumDoc::SelectPort(int id)
{
    m_info.m_nPortId = id;
    m_info.m_nConnectionType = PortIdToType(id);
    if (id == PortIdMerge) {
        ColorSets::StepBack();
        if (m_info.m_timing.m_nFormat == 0)
            m_info.m_timing.m_nFormat = 2;
    }
    PublishSettings();
    SendToView(Ids::HintConnectionType);
    UpdateTitle();
    return id;
}

void CTrelliumDoc::ApplySettings()
{
    // The open serial port takes baud rate and line settings here once the
    // serial transport is present; flow control is never applied.
    PublishSettings();
    UpdateTitle();
}

void CTrelliumDoc::PublishSettings()
{
    m_nStampFormat.store(m_info.m_timing.m_nFormat);
    m_nStampMinInterval.store(m_info.m_timing.m_nMinInterval);
    m_bEchoOn.store(m_info.EchoOn());
    m_nConnectionType.store(m_info.m_nConnectionType);
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
    case ConnSerial: {
        m_portName = "COM" + std::to_string(m_info.m_nPortId + 1);
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
    case ConnTcpServer:
    case ConnUdpServer:
        title = QStringLiteral("%1 %2 Svr: %3 %4 ")
                    .arg(name,
                         m_info.m_nConnectionType == ConnTcpServer ? QStringLiteral("TCP")
                                                                   : QStringLiteral("UDP"),
                         address, service);
        break;
    default:
        title = QStringLiteral("%1  %2 %3 ").arg(name, address, service);
        break;
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
    switch (m_nConnectionType.load()) {
    case ConnTcpServer:
    case ConnTcpClient:
    case ConnUdpClient:
    case ConnUdpServer:
        // Network sends go to the open transport; without one nothing is sent.
        break;
    default:
        // A serial session without an open port refuses the bytes.
        Alerts::Beep();
        return 0;
    }
    if (m_bEchoOn)
        AppendToRing(bytes, count);
    return 1;
}

int CTrelliumDoc::SendChar(uint8_t byte)
{
    const char c = static_cast<char>(byte);
    return SendData(&c, 1);
}

void CTrelliumDoc::PressFunctionKey(int key, bool shift, bool ctrl, bool alt)
{
    auto lock = m_funcKeys.Lock();
    MacroKey* macro = m_funcKeys.FindKey(key, shift ? 1 : 0, ctrl ? 1 : 0, alt ? 1 : 0);
    if (!macro)
        return;
    macro->m_nDone = 0;
    const int slot = m_funcKeys.RunningSlotOf(macro);
    if (slot < 0) {
        SendDataString(macro);
        return;
    }
    m_funcKeys.FreeRunningSlot(slot);
    CKeyPaneTable& panes = CKeyPaneTable::Instance();
    panes.SetRepeating(macro->m_nKey, false);
    panes.Redraw();
}

void CTrelliumDoc::SendDataString(MacroKey* macro)
{
    auto lock = m_funcKeys.Lock();
    const QByteArray data = macro->m_strData;
    EncodeResult result;
    try {
        result = EncodeDataStringShared(
            data, [this](const char* bytes, int count) { SendData(bytes, count); });
    } catch (const CDataStringError&) {
        Alerts::Message(
            QStringLiteral("The data of %1 (%2) ends in a lone percent sign, so nothing "
                           "was sent. Write %%%% to send a percent sign.")
                .arg(KeyName(*macro), QString::fromLatin1(macro->m_strLabel)),
            Alerts::AppTitle(), AlertIcon::Warning);
        return;
    }
    // A file reference that failed says why.
    if (!result.message.isEmpty())
        Alerts::Message(result.message, Alerts::AppTitle(), AlertIcon::Warning);
    if (result.kind == EncodeResult::Kind::FileSent || macro->m_nRepeat == 0)
        return;
    m_funcKeys.RepeatBookkeeping(macro, this);
    UpdateTitle();
}

void CTrelliumDoc::RefreshKeyLabels(bool shift, bool ctrl)
{
    m_funcKeys.UpdateKeyPanes(CKeyPaneTable::Instance(), shift ? 1 : 0, ctrl ? 1 : 0);
}

void CTrelliumDoc::StartRepeatTimer(int timerId, int intervalMs, MacroKey* macro)
{
    if (!OnUiThread()) {
        // Timers belong to the user-interface thread; start it there, unless
        // the run was stopped in the meantime.
        QMetaObject::invokeMethod(
            this,
            [this, timerId, intervalMs, macro] {
                if (m_funcKeys.MacroInSlot(timerId - Ids::TimerRepeatFirst) == macro)
                    StartRepeatTimer(timerId, intervalMs, macro);
            },
            Qt::QueuedConnection);
        return;
    }
    std::unique_ptr<QTimer>& timer = m_repeatTimers[timerId];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer.get(), &QTimer::timeout, this, [this, timerId] { OnRepeatTimer(timerId); });
    }
    timer->start(std::max(0, intervalMs));
}

bool CTrelliumDoc::IsRepeatTimerActive(int timerId) const
{
    const auto it = m_repeatTimers.find(timerId);
    return it != m_repeatTimers.end() && it->second->isActive();
}

void CTrelliumDoc::OnRepeatTimer(int timerId)
{
    auto lock = m_funcKeys.Lock();
    if (MacroKey* macro = m_funcKeys.MacroInSlot(timerId - Ids::TimerRepeatFirst))
        SendDataString(macro);
}

void CTrelliumDoc::StopRepeat(int slot)
{
    const int timerId = Ids::TimerRepeatFirst + slot;
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
    const auto it = m_repeatTimers.find(timerId);
    if (it != m_repeatTimers.end())
        it->second->stop();
    UpdateTitle();
}

void CTrelliumDoc::SendMacro(MacroKey* macro)
{
    SendDataString(macro);
}

// --- receiving ------------------------------------------------------------------

void CTrelliumDoc::ReceiveData(const char* bytes, int count)
{
    m_stampText.clear();
    const int format = m_nStampFormat.load();
    if (format != 0) {
        const uint32_t now = Platform::GetTickCount();
        const uint32_t gap = now - m_lastRxTick;
        if (TimeStamp::IsDue(gap, m_nStampMinInterval.load())) {
            m_stampText = TimeStamp::Format(format, gap, QDateTime::currentDateTime(),
                                            TimeStamp::Division::Capture);
            if (m_bCapturing)
                m_captureFile.Write(m_stampText + "\r\n");
        }
        m_lastRxTick = now;
    }
    if (m_bCapturing)
        m_captureFile.Write(bytes, count);
    if (m_bHold || count <= 0)
        return;

    if (!m_funcKeys.HasAutoResponses()) {
        AppendToRing(bytes, count);
        return;
    }
    // Each byte reaches the ring before the matcher sees it, so a response
    // fired by a byte follows that byte and precedes the rest of the block.
    auto lock = m_funcKeys.Lock();
    for (int i = 0; i < count; ++i) {
        AppendToRing(bytes + i, 1);
        m_funcKeys.MatchAutoResponse(static_cast<uint8_t>(bytes[i]));
    }
}

void CTrelliumDoc::ReceiveClientBytes(const char* bytes, int count)
{
    if (count <= 0)
        return;
    if (m_bCapturing)
        m_captureFile.Write(bytes, count);
    if (!m_bHold)
        AppendToRing(bytes, count);
}

void CTrelliumDoc::AppendToRing(const char* bytes, int count)
{
    if (count <= 0)
        return;
    bool post = false;
    {
        std::lock_guard lock(m_ringLock);
        StoreInRingLocked(bytes, count);
        if (!m_bDeliveryPending) {
            m_bDeliveryPending = true;
            post = true;
        }
    }
    if (post)
        QMetaObject::invokeMethod(this, &CTrelliumDoc::DeliverNewBytes, Qt::QueuedConnection);
}

void CTrelliumDoc::StoreInRingLocked(const char* bytes, int count)
{
    m_ringTotal += static_cast<uint64_t>(count);
    m_ringCount = std::min(m_ringSize, m_ringCount + std::min(count, m_ringSize));
    if (count > m_ringSize) {
        // Only the last ring's length survives; the write position still
        // moves on by the whole count.
        m_ringPos = static_cast<int>((m_ringPos + (count - m_ringSize)) % m_ringSize);
        bytes += count - m_ringSize;
        count = m_ringSize;
    }
    const int first = std::min(count, m_ringSize - m_ringPos);
    std::memcpy(m_ring.get() + m_ringPos, bytes, static_cast<size_t>(first));
    std::memcpy(m_ring.get(), bytes + first, static_cast<size_t>(count - first));
    m_ringPos = (m_ringPos + count) % m_ringSize;
}

void CTrelliumDoc::DeliverNewBytes()
{
    QByteArray bytes;
    uint64_t lost = 0;
    {
        std::lock_guard lock(m_ringLock);
        m_bDeliveryPending = false;
        const uint64_t oldest = m_ringTotal - static_cast<uint64_t>(m_ringCount);
        const uint64_t from = std::max(m_deliveredTotal, oldest);
        lost = from - m_deliveredTotal;
        const int count = static_cast<int>(m_ringTotal - from);
        int start = m_ringPos - count;
        if (start < 0)
            start += m_ringSize;
        bytes.resize(count);
        for (int i = 0, index = start; i < count; ++i, ++index) {
            if (index == m_ringSize)
                index = 0;
            bytes[i] = static_cast<char>(m_ring[index]);
        }
        m_deliveredTotal = m_ringTotal;
    }
    if (m_pView && (!bytes.isEmpty() || lost))
        m_pView->OnNewBytes(bytes, lost);
}

int CTrelliumDoc::CopyFromRing(char* dest, int start, int count) const
{
    std::lock_guard lock(m_ringLock);
    int index = start;
    for (int i = 0; i < count; ++i, ++index) {
        if (index == m_ringSize)
            index = 0;
        dest[i] = static_cast<char>(m_ring[index]);
    }
    return count;
}

QByteArray CTrelliumDoc::RingContents() const
{
    int start = 0;
    int count = 0;
    {
        std::lock_guard lock(m_ringLock);
        count = m_ringCount;
        start = m_ringPos - m_ringCount;
    }
    if (start < 0)
        start += m_ringSize;
    QByteArray bytes(count, Qt::Uninitialized);
    CopyFromRing(bytes.data(), start, count);
    return bytes;
}

int CTrelliumDoc::RingPos() const
{
    std::lock_guard lock(m_ringLock);
    return m_ringPos;
}

int CTrelliumDoc::RingCount() const
{
    std::lock_guard lock(m_ringLock);
    return m_ringCount;
}

// --- capture ------------------------------------------------------------------

int CTrelliumDoc::StartCapture(const QString& fileName)
{
    // A capture that runs already stays as it is (auto begin on a second
    // going-online would otherwise fight its own open file).
    if (m_bCapturing)
        return 1;
    if (m_captureFile.Open(fileName).IsError())
        return 0;
    m_captureFile.Write(CaptureStartLine(QDateTime::currentDateTime()));
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
    AppendToRing(bytes, count);
}
