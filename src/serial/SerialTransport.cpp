#include "serial/SerialTransport.h"

#include "base/CommInfo.h"
#include "platform/DeviceAdvice.h"
#include "serial/Comm.h"
#include "serial/PortNames.h"
#include "serial/SerialOwner.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <cerrno>

namespace {

CPlatformError ApplyLine(CComm& comm, const CCommInfo& info)
{
    if (CPlatformError error = comm.SetBaudRate(info.m_nBaudRate); error.IsError())
        return error;
    if (CPlatformError error = comm.SetLineControl(static_cast<char>(info.m_cParity),
                                                   info.m_nDataBits, info.m_nStopBits);
        error.IsError())
        return error;
    return comm.SetFlowControl(CSerialTransport::FlowOf(info.m_nFlowControl));
}

bool FlowOfSame(const CCommInfo& a, const CCommInfo& b)
{
    return CSerialTransport::FlowOf(a.m_nFlowControl) == CSerialTransport::FlowOf(b.m_nFlowControl);
}

bool SameLine(const CCommInfo& a, const CCommInfo& b)
{
    return a.m_nBaudRate == b.m_nBaudRate && a.m_cParity == b.m_cParity &&
           a.m_nDataBits == b.m_nDataBits && a.m_nStopBits == b.m_nStopBits && FlowOfSame(a, b);
}

} // namespace

CTtyFlow CSerialTransport::FlowOf(int32_t flowControl)
{
    switch (flowControl) {
    case 1:
        return CTtyFlow::XonXoff;
    case 2: // "DTR": the hardware handshake the drivers offer
    case 3:
        return CTtyFlow::RtsCts;
    default:
        return CTtyFlow::None;
    }
}

QString CSerialTransport::SetLineSignals(bool dtr, bool rts)
{
    if (!m_pComm)
        return QStringLiteral("%1 is not open").arg(m_portName);
    const CPlatformError error = m_pComm->SetModemControl(dtr, rts);
    return error.IsError() ? ErrorText(error) : QString();
}

QString CSerialTransport::SendBreak(int ms, std::function<void()> done)
{
    if (!m_pComm)
        return QStringLiteral("%1 is not open").arg(m_portName);
    if (m_bBreaking)
        return QStringLiteral("a break is being sent on %1 already").arg(m_portName);
    if (const CPlatformError error = m_pComm->SetBreak(true); error.IsError())
        return ErrorText(error);
    m_bBreaking = true;
    // Ended by a timer, so that neither the window nor the reader waits; a
    // port closed meanwhile ended it with its close.
    QTimer::singleShot(std::max(1, ms), QCoreApplication::instance(),
                       [this, alive = m_pAlive, done = std::move(done)] {
                           if (alive->load()) {
                               m_bBreaking = false;
                               if (m_pComm)
                                   m_pComm->SetBreak(false);
                           }
                           if (done)
                               done();
                       });
    return {};
}

CSerialTransport::CSerialTransport(CSerialOwner& owner, CTransportOwner& data,
                                   const CCommInfo& settings)
    : m_owner(owner), m_data(data), m_settings(settings)
{
}

template <typename Fn> void CSerialTransport::Post(Fn call)
{
    if (!m_pAlive)
        return;
    // Posted to the application, not to the transport: the call may close
    // the transport, which must not happen inside its own event. The flag
    // keeps a call from reaching the session after this connection closed.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive = m_pAlive, call = std::move(call)] {
            if (alive->load())
                call();
        },
        Qt::QueuedConnection);
}

CSerialTransport::~CSerialTransport()
{
    Close();
}

COpenResult CSerialTransport::Open()
{
    const QString title = QStringLiteral("Error");
    const CCommInfo& info = m_settings;
    const int portId = info.m_nPortId;
    m_portName = QStringLiteral("COM%1").arg(static_cast<int64_t>(portId) + 1);
    // A session that found no port when it was made has none to open.
    if (portId < 0)
        return COpenResult::Offline(QStringLiteral("Cannot go online: no serial port is present."),
                                    title);
    const QString path = portId < PortIdTcpClient ? PortNames::DevicePath(portId + 1) : QString();
    if (path.isEmpty())
        return COpenResult::Offline(
            QStringLiteral("cannot open %1: no device is present for it").arg(m_portName), title);

    m_devicePath = path;
    CErrorOr<std::unique_ptr<CComm>> comm = CComm::Open(path);
    if (comm.IsError()) {
        // The system's words, and what the user can do about them.
        const QString advice = DeviceAdvice::ForOpenFailure(path, comm.Error().ErrorNumber());
        return COpenResult::Offline(
            ErrorText(comm.Error()) +
                (advice.isEmpty() ? QString() : QStringLiteral("\n\n") + advice),
            title, CauseText(comm.Error()));
    }
    if (const CPlatformError error = ApplyLine(*comm.Value(), info); error.IsError())
        return COpenResult::Offline(ErrorText(error), title);

    m_pAlive = std::make_shared<std::atomic<bool>>(true);
    m_pComm = std::move(comm.Value());
    if (m_pComm->StartThread(*this).IsError()) {
        m_pComm.reset();
        return COpenResult::Offline(QStringLiteral("Error starting comm thread!"), title);
    }
    m_owner.OnPortOpened(portId);
    return COpenResult::Online();
}

void CSerialTransport::Close()
{
    if (m_pAlive)
        m_pAlive->store(false);
    if (m_bBreaking && m_pComm)
        m_pComm->SetBreak(false);
    m_bBreaking = false;
    // Synchronous and bounded: the reader's waits end at once, so the port
    // is free again when this returns, with no pause needed afterwards.
    if (m_pComm)
        m_pComm->Close();
    m_pComm.reset();
}

CWriteResult CSerialTransport::Write(const char* bytes, int count)
{
    if (!m_pComm)
        return CWriteResult::Failed(EBADF);
    return m_pComm->Write(bytes, count);
}

size_t CSerialTransport::OutputPending() const
{
    return m_pComm ? m_pComm->OutputPending() : 0;
}

void CSerialTransport::WantOutputRoom()
{
    if (m_pComm)
        m_pComm->WantOutputRoom();
}

void CSerialTransport::ResumeReading()
{
    if (m_pComm)
        m_pComm->Kick();
}

bool CSerialTransport::IsUsable() const
{
    return m_pComm && m_pComm->IsOpen();
}

QString CSerialTransport::ApplySettings(const CCommInfo& info)
{
    m_settings = info;
    if (!m_pComm)
        return {};
    const CPlatformError error = ApplyLine(*m_pComm, info);
    if (!error.IsError()) {
        m_refused.reset();
        return {};
    }
    if (m_refused && SameLine(*m_refused, info))
        return {};
    m_refused = info;
    return ErrorText(error);
}

bool CSerialTransport::OnCommData(const char* bytes, int count)
{
    return m_data.OnReceive(bytes, count);
}

bool CSerialTransport::CanReceive()
{
    return m_data.CanReceive();
}

void CSerialTransport::OnOutputRoom()
{
    // The owner hears of room on its own thread.
    Post([data = &m_data] { data->OnOutputRoom(); });
}

void CSerialTransport::OnModemStatus(uint32_t status)
{
    m_owner.SetModemStatus(status);
}

void CSerialTransport::OnCommLost(const CPlatformError& why)
{
    const QString message = QStringLiteral("The serial port %1 (%2) is no longer available: %3")
                                .arg(m_portName, m_devicePath, SystemErrorText(why.ErrorNumber()));
    Post([owner = &m_owner, message] { owner->OnPortLost(message); });
}
