#include "serial/Comm.h"

#include "serial/CommOwner.h"

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadsPerWake = 16;

int MsUntil(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<int64_t>(0, left));
}

} // namespace

QString LineMismatch(const CTtyLine& wanted, const CTtyLine& actual, bool pseudoTerminal)
{
    QStringList differences;
    const int64_t off = std::abs(static_cast<int64_t>(actual.baud) - wanted.baud);
    if (off * 50 > wanted.baud)
        differences << QStringLiteral("runs at %1 baud").arg(actual.baud);
    if (!pseudoTerminal && actual.dataBits != wanted.dataBits)
        differences << QStringLiteral("keeps %1 data bits").arg(actual.dataBits);
    if (!pseudoTerminal && actual.parity != wanted.parity)
        differences << QStringLiteral("keeps parity %1").arg(QLatin1Char(actual.parity));
    if (actual.stopBits != wanted.stopBits)
        differences << QStringLiteral("keeps %1 stop bits").arg(actual.stopBits);
    if (actual.flow != wanted.flow)
        differences << (wanted.flow == CTtyFlow::RtsCts
                            ? QStringLiteral("takes no RTS/CTS handshake")
                        : wanted.flow == CTtyFlow::XonXoff ? QStringLiteral("takes no XON/XOFF")
                                                           : QStringLiteral("keeps its handshake"));
    if (differences.isEmpty())
        return {};
    return QStringLiteral("the driver ") + differences.join(QStringLiteral(", "));
}

CErrorOr<std::unique_ptr<CComm>> CComm::Open(const QString& devicePath)
{
    CErrorOr<std::unique_ptr<CTtyDevice>> device = CTtyDevice::Open(devicePath);
    if (device.IsError())
        return device.Error();
    std::unique_ptr<CComm> comm(new CComm(std::move(device.Value()), devicePath));
    if (const CPlatformError error = comm->ApplyLine(CTtyLine{}); error.IsError())
        return error;
    return comm;
}

CComm::CComm(std::unique_ptr<CTtyDevice> device, QString path)
    : m_device(std::move(device)), m_path(std::move(path))
{
}

CComm::~CComm()
{
    Close();
}

CPlatformError CComm::ApplyLine(const CTtyLine& wanted)
{
    if (!m_device)
        return CPlatformError(EBADF, QStringLiteral("%1 is closed").arg(m_path));
    m_line = wanted;
    if (const CPlatformError error = m_device->Apply(wanted); error.IsError())
        return error;
    const CErrorOr<CTtyLine> actual = m_device->ReadBack();
    if (actual.IsError())
        return actual.Error();
    const QString mismatch = LineMismatch(wanted, actual.Value(), m_device->IsPseudoTerminal());
    if (!mismatch.isEmpty())
        return CPlatformError(EINVAL, QStringLiteral("cannot set %1,%2,%3,%4 on %5 (%6)")
                                          .arg(wanted.baud)
                                          .arg(QLatin1Char(wanted.parity))
                                          .arg(wanted.dataBits)
                                          .arg(wanted.stopBits)
                                          .arg(m_path, mismatch));
    return {};
}

CPlatformError CComm::SetBaudRate(int32_t rate)
{
    CTtyLine line = m_line;
    line.baud = rate;
    return ApplyLine(line);
}

CPlatformError CComm::SetLineControl(char parity, int dataBits, int stopBitsCode)
{
    CTtyLine line = m_line;
    line.parity = parity == 'E' || parity == 'O' ? parity : 'N';
    line.dataBits = dataBits;
    line.stopBits = stopBitsCode == 20 ? 2 : 1;
    return ApplyLine(line);
}

CPlatformError CComm::SetFlowControl(CTtyFlow flow)
{
    CTtyLine line = m_line;
    line.flow = flow;
    return ApplyLine(line);
}

CPlatformError CComm::SetModemControl(bool dtr, bool rts)
{
    if (!m_device)
        return CPlatformError(EBADF, QStringLiteral("%1 is closed").arg(m_path));
    return m_device->SetModemControl(dtr, rts);
}

CPlatformError CComm::SetBreak(bool on)
{
    if (!m_device)
        return CPlatformError(EBADF, QStringLiteral("%1 is closed").arg(m_path));
    return m_device->SetBreak(on);
}

CErrorOr<uint32_t> CComm::ReadModemStatus() const
{
    if (!m_device)
        return CPlatformError(EBADF, QStringLiteral("%1 is closed").arg(m_path));
    const CErrorOr<std::optional<uint32_t>> lines = m_device->ModemLines();
    if (lines.IsError())
        return lines.Error();
    return lines.Value().value_or(0);
}

CPlatformError CComm::StartThread(CCommOwner& owner)
{
    if (m_reader.joinable())
        return CPlatformError(EEXIST, QStringLiteral("the reader of %1 runs already").arg(m_path));
    if (!m_device)
        return CPlatformError(EBADF, QStringLiteral("%1 is closed").arg(m_path));
    try {
        m_reader = std::thread([this, &owner] { ReaderLoop(owner); });
    } catch (const std::system_error& error) {
        return CPlatformError(error.code().value(),
                              QStringLiteral("cannot start the reader of %1").arg(m_path));
    }
    return {};
}

CWriteResult CComm::Write(const char* bytes, int count)
{
    if (count <= 0)
        return CWriteResult::Sent();
    std::lock_guard lock(m_outLock);
    if (!m_device)
        return CWriteResult::Failed(EBADF);
    if (m_writeError != 0)
        return CWriteResult::Failed(m_writeError);
    if (!m_output.Fits(static_cast<size_t>(count))) {
        m_bRoomWanted = true;
        return CWriteResult::Full();
    }
    m_output.Append(bytes, static_cast<size_t>(count));
    WriteQueued();
    if (m_writeError != 0)
        return CWriteResult::Failed(m_writeError);
    if (!m_output.IsEmpty() && !m_bOutputWaiting.exchange(true))
        m_device->Kick();
    return CWriteResult::Sent();
}

void CComm::WriteQueued()
{
    while (!m_output.IsEmpty()) {
        const Platform::IoResult result = m_device->Write(m_output.Data(), m_output.Size());
        if (result.count > 0) {
            m_output.Consume(result.count);
            continue;
        }
        if (result.wouldBlock)
            return;
        m_writeError = result.error != 0 ? result.error : EIO;
        m_output.Clear();
        return;
    }
}

size_t CComm::OutputPending() const
{
    std::lock_guard lock(m_outLock);
    return m_output.Size();
}

void CComm::WantOutputRoom()
{
    std::lock_guard lock(m_outLock);
    m_bRoomWanted = true;
    if (m_device && m_output.Size() <= kOutputLowWater)
        m_device->Kick(); // the reader tells the owner on its next turn
}

void CComm::Kick()
{
    if (m_device)
        m_device->Kick();
}

void CComm::DrainOutput(CCommOwner& owner)
{
    bool tell = false;
    {
        std::lock_guard lock(m_outLock);
        WriteQueued();
        m_bOutputWaiting.store(!m_output.IsEmpty());
        if (m_bRoomWanted && (m_output.Size() <= kOutputLowWater || m_writeError != 0)) {
            m_bRoomWanted = false;
            tell = true;
        }
    }
    // Told with nothing locked: the owner may write at once.
    if (tell)
        owner.OnOutputRoom();
}

void CComm::Close()
{
    if (!m_device)
        return;
    m_device->Interrupt();
    if (m_reader.joinable()) {
        if (m_reader.get_id() == std::this_thread::get_id())
            return; // misuse: the reader cannot wait for itself; the owner closes later
        m_reader.join();
    }
    std::lock_guard lock(m_outLock);
    m_output.Clear();
    m_device.reset();
}

void CComm::ReaderLoop(CCommOwner& owner)
{
    CTtyDevice& device = *m_device;
    // A device that cannot report modem lines is asked once and then waits
    // only for data; one that can is sampled every kModemPollMs, and only
    // changes are reported. The kernel's wait for a line change (TIOCMIWAIT)
    // is not used: a thread blocked in it can be woken only by a signal or a
    // line change, so closing could not stop it within a bound.
    const CErrorOr<std::optional<uint32_t>> first = device.ModemLines();
    const bool sampleLines = !first.IsError() && first.Value().has_value();
    uint32_t status = sampleLines ? *first.Value() : 0;
    owner.OnModemStatus(status);
    Clock::time_point nextSample = Clock::now() + std::chrono::milliseconds(kModemPollMs);

    const std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kReadChunk);
    for (;;) {
        // While the owner has no room the device is not read: its own buffer
        // fills and holds the sender back instead of bytes being dropped.
        const bool read = owner.CanReceive();
        const CTtyEvents seen = device.WaitEvents(read, m_bOutputWaiting.load(),
                                                  sampleLines ? MsUntil(nextSample) : -1);
        if (seen.interrupted)
            return;
        if (seen.writable || seen.kicked)
            DrainOutput(owner);
        // While data keeps coming, read on without waiting in between (a
        // flood would otherwise cost a wait per read), but wait again after
        // kReadsPerWake reads so that closing and output are seen.
        for (int reads = 0; seen.readable && reads < kReadsPerWake; ++reads) {
            const Platform::IoResult got = device.Read(buffer.get(), kReadChunk);
            if (got.wouldBlock)
                break;
            if (got.count == 0) {
                // A hung-up terminal reads as 0 bytes; an unplugged adapter as EIO.
                const int error = got.error != 0 ? got.error : ENODEV;
                owner.OnCommLost(
                    CPlatformError(error, QStringLiteral("cannot read %1").arg(m_path)));
                return;
            }
            if (!owner.OnCommData(buffer.get(), static_cast<int>(got.count)))
                break; // the owner is full: wait until it has room
            if (got.count < static_cast<size_t>(kReadChunk))
                break; // the driver's queue is empty for now
        }
        if (seen.hungUp) {
            owner.OnCommLost(CPlatformError(ENODEV, QStringLiteral("%1 hung up").arg(m_path)));
            return;
        }
        if (sampleLines && Clock::now() >= nextSample) {
            const CErrorOr<std::optional<uint32_t>> lines = device.ModemLines();
            if (!lines.IsError() && lines.Value() && *lines.Value() != status) {
                status = *lines.Value();
                owner.OnModemStatus(status);
            }
            nextSample = Clock::now() + std::chrono::milliseconds(kModemPollMs);
        }
    }
}
