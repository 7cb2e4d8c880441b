#include "remote/RemoteSerialTransport.h"

#include "net/ComPortControl.h"
#include "net/TermSocket.h"
#include "platform/PlatformError.h"
#include "serial/PortNames.h"
#include "serial/SerialOwner.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <cerrno>

namespace {

using namespace Telnet;
namespace Cpc = ComPortControl;

// Options we take on our side, and those we let the server take.
bool WeWill(uint8_t option)
{
    return option == kOptBinary || option == kOptSuppressGoAhead || option == Cpc::kOption;
}

bool TheyMay(uint8_t option)
{
    return option == kOptBinary || option == kOptSuppressGoAhead;
}

bool SameLine(const CCommInfo& a, const CCommInfo& b)
{
    return a.m_nBaudRate == b.m_nBaudRate && a.m_cParity == b.m_cParity &&
           a.m_nDataBits == b.m_nDataBits && a.m_nStopBits == b.m_nStopBits &&
           Cpc::FlowOf(a.m_nFlowControl) == Cpc::FlowOf(b.m_nFlowControl);
}

} // namespace

CRemoteSerialTransport::CRemoteSerialTransport(CSerialOwner& owner, CTransportOwner& data,
                                               const CCommInfo& settings, QString address,
                                               int timeoutMs)
    : m_owner(owner), m_data(data), m_settings(settings), m_address(std::move(address)),
      m_timeoutMs(timeoutMs)
{
    m_agreementTimer.setSingleShot(true);
    connect(&m_agreementTimer, &QTimer::timeout, this, [this] {
        Fail(QStringLiteral("The remote serial port %1 did not agree to serial port control "
                            "within %2 seconds.")
                 .arg(Where())
                 .arg(m_timeoutMs / 1000.0),
             QStringLiteral("no answer"));
    });
}

CRemoteSerialTransport::~CRemoteSerialTransport()
{
    Close();
}

QString CRemoteSerialTransport::Where() const
{
    return QStringLiteral("COM%1 (%2)").arg(m_settings.m_nPortId + 1).arg(m_address);
}

COpenResult CRemoteSerialTransport::Open()
{
    const QString title = QStringLiteral("Error");
    const std::optional<PortNames::CRemotePort> where = PortNames::ParseRemote(m_address);
    if (!where)
        return COpenResult::Offline(
            QStringLiteral("COM%1 is mapped to \"%2\", which is not a remote port address: "
                           "write it as rfc2217://HOST:PORT.")
                .arg(m_settings.m_nPortId + 1)
                .arg(m_address),
            title, QStringLiteral("malformed address"));
    m_pAlive = std::make_shared<bool>(true);
    CTermSocketOwner& socketOwner = *this;
    CTransportOwner& framed = *this;
    m_pSocket = std::make_unique<CTermSocket>(socketOwner, framed, where->host, where->port);
    if (!m_pSocket->Open().bOnline) {
        // Told as every other failure of the attempt is, so that a session
        // waiting to connect again stays quiet about it.
        Fail(QStringLiteral("Cannot connect to the remote serial port %1.").arg(Where()),
             QStringLiteral("cannot connect"));
        return COpenResult::Online();
    }
    m_agreementTimer.start(m_timeoutMs);
    return COpenResult::Online();
}

void CRemoteSerialTransport::Close()
{
    if (m_pAlive)
        *m_pAlive = false;
    m_agreementTimer.stop();
    if (m_pSocket) {
        if (m_bBreaking && m_bAgreed)
            SendControl(Cpc::Command(Cpc::SetControl, Cpc::BreakOff));
        m_pSocket->Close();
    }
    m_bBreaking = false;
    m_bAgreed = false;
    m_pSocket.reset();
}

void CRemoteSerialTransport::Fail(const QString& message, const QString& reason)
{
    if (m_bFailed)
        return;
    m_bFailed = true;
    m_agreementTimer.stop();
    const bool lost = m_bAgreed;
    // Posted: the owner closes this transport, which must not happen inside
    // the socket's own notification.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive = m_pAlive, owner = &m_owner, message, reason, lost] {
            if (!alive || !*alive)
                return;
            if (lost)
                owner->OnPortLost(message);
            else
                owner->OnPortFailed(message, reason);
        },
        Qt::QueuedConnection);
}

// --- the connection -------------------------------------------------------------

void CRemoteSerialTransport::OnClientConnect(int error)
{
    if (error != 0) {
        Fail(QStringLiteral("Cannot connect to the remote serial port %1: %2")
                 .arg(Where(), SystemErrorText(error)),
             SystemErrorText(error));
        return;
    }
    // Ask for serial port control and an eight-bit path both ways; what the
    // server answers decides.
    QByteArray hello;
    for (const uint8_t option : {Cpc::kOption, kOptBinary, kOptSuppressGoAhead}) {
        if (!m_local[option] && !m_localAsked[option]) {
            m_localAsked[option] = true;
            hello += Negotiation(kWill, option);
        }
    }
    for (const uint8_t option : {kOptBinary, kOptSuppressGoAhead}) {
        if (!m_remote[option] && !m_remoteAsked[option]) {
            m_remoteAsked[option] = true;
            hello += Negotiation(kDo, option);
        }
    }
    SendRaw(hello);
}

void CRemoteSerialTransport::OnClientClosed()
{
    Fail(m_bAgreed ? QStringLiteral("The remote serial port %1 is no longer available: the "
                                    "connection was closed.")
                         .arg(Where())
                   : QStringLiteral("The remote end %1 closed the connection before agreeing to "
                                    "serial port control.")
                         .arg(Where()),
         QStringLiteral("connection closed"));
}

bool CRemoteSerialTransport::OnReceive(const char* bytes, int count)
{
    if (m_bFailed)
        return true; // what follows a failure is not shown
    m_bReceiveFull = false;
    if (!m_decoder.Feed(bytes, count, *this)) {
        Fail(QStringLiteral("The remote end %1 does not speak serial port control over telnet: "
                            "%2.")
                 .arg(Where(), m_decoder.Error()),
             QStringLiteral("not a serial port server"));
        return true;
    }
    return !m_bReceiveFull;
}

bool CRemoteSerialTransport::CanReceive() const
{
    return m_data.CanReceive();
}

void CRemoteSerialTransport::OnData(const char* bytes, int count)
{
    if (!m_data.OnReceive(bytes, count))
        m_bReceiveFull = true;
}

void CRemoteSerialTransport::OnNegotiation(uint8_t verb, uint8_t option)
{
    switch (verb) {
    case kDo:
        if (!WeWill(option)) {
            SendRaw(Negotiation(kWont, option));
        } else if (!m_local[option]) {
            m_local[option] = true;
            if (!m_localAsked[option])
                SendRaw(Negotiation(kWill, option));
            m_localAsked[option] = false;
            if (option == Cpc::kOption)
                Agreed();
        } else {
            m_localAsked[option] = false;
        }
        break;
    case kDont:
        if (m_local[option] || m_localAsked[option]) {
            if (!m_localAsked[option])
                SendRaw(Negotiation(kWont, option));
            m_local[option] = false;
            m_localAsked[option] = false;
        }
        if (option == Cpc::kOption)
            Fail(QStringLiteral("The remote end %1 refuses serial port control.").arg(Where()),
                 QStringLiteral("control refused"));
        break;
    case kWill:
        if (!TheyMay(option)) {
            SendRaw(Negotiation(kDont, option));
        } else if (!m_remote[option]) {
            m_remote[option] = true;
            if (!m_remoteAsked[option])
                SendRaw(Negotiation(kDo, option));
        }
        m_remoteAsked[option] = false;
        break;
    case kWont:
        if (m_remote[option] || m_remoteAsked[option]) {
            if (!m_remoteAsked[option])
                SendRaw(Negotiation(kDont, option));
            m_remote[option] = false;
            m_remoteAsked[option] = false;
        }
        break;
    default:
        break;
    }
    m_decoder.SetPeerBinary(m_remote[kOptBinary]);
}

void CRemoteSerialTransport::Agreed()
{
    if (m_bAgreed || m_bFailed)
        return;
    m_bAgreed = true;
    m_agreementTimer.stop();
    // Every modem-line change is wanted; the line's own state is not shown.
    SendControl(Cpc::Command(Cpc::SetModemStateMask, 0xFF));
    SendLine(true);
    SendSignals();
    m_owner.OnPortOpened(m_settings.m_nPortId);
}

void CRemoteSerialTransport::OnSubnegotiation(uint8_t option, const QByteArray& payload)
{
    if (option != Cpc::kOption)
        return;
    const std::optional<Cpc::CServerMessage> message = Cpc::ParseServerMessage(payload);
    if (!message)
        return;
    if (message->command == Cpc::NotifyModemState) {
        m_owner.SetModemStatus(message->value & 0xF0);
        return;
    }
    // Answers to control commands are not held against anything: servers
    // differ in what they echo there. A server may answer a request with
    // the port's state when it gets to it, which can already be a later
    // request's: only the answer to the latest request is held against it.
    const auto it = m_unanswered.find(message->command);
    if (it == m_unanswered.end() || it->second.outstanding == 0)
        return; // nothing of ours: a server's own report
    CRequest& request = it->second;
    request.outstanding = message->value == request.latest ? 0 : request.outstanding - 1;
    if (request.outstanding > 0 || message->value == request.latest)
        return;
    const uint32_t asked = request.latest;
    const QString disagreement = Cpc::Disagreement(message->command, asked, message->value);
    if (disagreement.isEmpty() || disagreement == m_toldDisagreement)
        return;
    m_toldDisagreement = disagreement;
    m_owner.OnLineNotice(QStringLiteral("%1: %2.").arg(Where(), disagreement));
}

// --- sending ----------------------------------------------------------------------

void CRemoteSerialTransport::SendRaw(const QByteArray& bytes)
{
    if (!m_pSocket || bytes.isEmpty())
        return;
    if (m_controlBacklog.isEmpty()) {
        const CWriteResult result =
            m_pSocket->Write(bytes.constData(), static_cast<int>(bytes.size()));
        if (result.kind != CWriteResult::Kind::Full)
            return;
    }
    // Kept, in order, until the queue has room: a command is never dropped
    // because data filled the queue.
    m_controlBacklog += bytes;
    m_pSocket->WantOutputRoom();
}

void CRemoteSerialTransport::SendControl(const QByteArray& payload)
{
    SendRaw(Subnegotiation(Cpc::kOption, payload));
}

void CRemoteSerialTransport::SendLine(bool force)
{
    if (!m_bAgreed)
        return;
    if (!force && m_sentLine && SameLine(*m_sentLine, m_settings))
        return;
    m_sentLine = m_settings;
    m_toldDisagreement.clear();
    const auto baud = static_cast<uint32_t>(std::max(1, m_settings.m_nBaudRate));
    const auto dataBits = static_cast<uint8_t>(std::clamp(m_settings.m_nDataBits, 5, 8));
    const uint8_t parity = Cpc::ParityOf(static_cast<char>(m_settings.m_cParity));
    for (const auto& [command, value] : {std::pair<uint8_t, uint32_t>{Cpc::SetBaudRate, baud},
                                         {Cpc::SetDataSize, dataBits},
                                         {Cpc::SetParity, parity}}) {
        CRequest& request = m_unanswered[command];
        request.latest = value;
        request.outstanding = std::min(request.outstanding + 1, 64);
    }
    SendControl(Cpc::BaudRate(baud));
    SendControl(Cpc::Command(Cpc::SetDataSize, dataBits));
    SendControl(Cpc::Command(Cpc::SetParity, parity));
    SendControl(Cpc::Command(Cpc::SetStopSize, Cpc::StopSizeOf(m_settings.m_nStopBits)));
    SendControl(Cpc::Command(Cpc::SetControl, Cpc::FlowOf(m_settings.m_nFlowControl)));
}

void CRemoteSerialTransport::SendSignals()
{
    if (!m_bAgreed)
        return;
    SendControl(Cpc::Command(Cpc::SetControl, m_bDtr ? Cpc::DtrOn : Cpc::DtrOff));
    SendControl(Cpc::Command(Cpc::SetControl, m_bRts ? Cpc::RtsOn : Cpc::RtsOff));
}

CWriteResult CRemoteSerialTransport::Write(const char* bytes, int count)
{
    if (!m_pSocket || m_bFailed)
        return CWriteResult::Failed(ENOTCONN);
    if (count <= 0)
        return CWriteResult::Sent();
    if (!m_controlBacklog.isEmpty()) {
        m_bRoomWanted = true;
        return CWriteResult::Full();
    }
    const QByteArray escaped = EscapeData(bytes, count);
    const CWriteResult result =
        m_pSocket->Write(escaped.constData(), static_cast<int>(escaped.size()));
    if (result.kind == CWriteResult::Kind::Full)
        m_bRoomWanted = true;
    return result;
}

size_t CRemoteSerialTransport::OutputPending() const
{
    return (m_pSocket ? m_pSocket->OutputPending() : 0) +
           static_cast<size_t>(m_controlBacklog.size());
}

void CRemoteSerialTransport::WantOutputRoom()
{
    m_bRoomWanted = true;
    if (m_pSocket)
        m_pSocket->WantOutputRoom();
}

void CRemoteSerialTransport::OnOutputRoom()
{
    if (!m_controlBacklog.isEmpty() && m_pSocket) {
        const QByteArray backlog = std::exchange(m_controlBacklog, {});
        const CWriteResult result =
            m_pSocket->Write(backlog.constData(), static_cast<int>(backlog.size()));
        if (result.kind == CWriteResult::Kind::Full) {
            m_controlBacklog = backlog;
            m_pSocket->WantOutputRoom();
            return;
        }
    }
    if (m_bRoomWanted) {
        m_bRoomWanted = false;
        m_data.OnOutputRoom();
    }
}

void CRemoteSerialTransport::ResumeReading()
{
    if (m_pSocket)
        m_pSocket->ResumeReading();
}

// --- line control -------------------------------------------------------------------

QString CRemoteSerialTransport::ApplySettings(const CCommInfo& info)
{
    m_settings = info;
    SendLine(false);
    return {};
}

QString CRemoteSerialTransport::SetLineSignals(bool dtr, bool rts)
{
    if (!m_pSocket)
        return QStringLiteral("%1 is not open").arg(Where());
    const bool changed = dtr != m_bDtr || rts != m_bRts;
    m_bDtr = dtr;
    m_bRts = rts;
    if (changed)
        SendSignals(); // sent with the rest of the line once agreed, otherwise
    return {};
}

QString CRemoteSerialTransport::SendBreak(int ms, std::function<void()> done)
{
    if (!m_pSocket || !m_bAgreed)
        return QStringLiteral("%1 is not connected").arg(Where());
    if (m_bBreaking)
        return QStringLiteral("a break is being sent on %1 already").arg(Where());
    m_bBreaking = true;
    SendControl(Cpc::Command(Cpc::SetControl, Cpc::BreakOn));
    // The caller hears the end even when the connection closed meanwhile
    // (closing ended the break).
    QTimer::singleShot(std::max(1, ms), QCoreApplication::instance(),
                       [this, alive = m_pAlive, done = std::move(done)] {
                           if (alive && *alive) {
                               if (m_bBreaking && m_pSocket)
                                   SendControl(Cpc::Command(Cpc::SetControl, Cpc::BreakOff));
                               m_bBreaking = false;
                           }
                           if (done)
                               done();
                       });
    return {};
}
