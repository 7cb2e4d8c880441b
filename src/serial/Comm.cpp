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

constexpr int kReadsPerWake = 64;

int MsUntil(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<int64_t>(0, left));
}

// The flags of the counters that moved.
uint32_t ErrorFlags(const CTtyErrorCounts& before, const CTtyErrorCounts& now)
{
    uint32_t flags = 0;
    if (now.bufOverrun != before.bufOverrun)
        flags |= 0x01;
    if (now.overrun != before.overrun)
        flags |= 0x02;
    if (now.parity != before.parity)
        flags |= 0x04;
    if (now.frame != before.frame)
        flags |= 0x08;
    if (now.breaks != before.breaks)
        flags |= 0x10;
    return flags;
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

CPlatformError CComm::SetQueueSizes(int, int)
{
    return {};
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

int CComm::Write(const char* bytes, int count)
{
    if (count <= 0 || !m_device)
        return 0;
    std::lock_guard lock(m_writeLock);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
    int written = 0;
    while (written < count) {
        const Platform::IoResult result =
            m_device->Write(bytes + written, static_cast<size_t>(count - written));
        if (result.count > 0) {
            written += static_cast<int>(result.count);
            continue;
        }
        if (!result.wouldBlock)
            break; // failed: the reader reports a device that is gone
        if (m_device->WaitWritable(MsUntil(deadline)) != CTtyWait::Ready)
            break;
    }
    return written;
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
    m_device.reset();
}

void CComm::SampleLineErrors()
{
    const std::optional<CTtyErrorCounts> counts = m_device->ErrorCounts();
    if (counts && m_lastCounts)
        m_lineErrors.fetch_or(ErrorFlags(*m_lastCounts, *counts));
    m_lastCounts = counts;
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
    SampleLineErrors();
    const bool sampleErrors = m_lastCounts.has_value();
    const bool sample = sampleLines || sampleErrors;
    Clock::time_point nextSample = Clock::now() + std::chrono::milliseconds(kModemPollMs);

    char buffer[kReadChunk];
    for (;;) {
        const CTtyWait wait = device.WaitReadable(sample ? MsUntil(nextSample) : -1);
        if (wait == CTtyWait::Interrupted)
            return;
        if (wait == CTtyWait::HungUp) {
            owner.OnCommLost(CPlatformError(ENODEV, QStringLiteral("%1 hung up").arg(m_path)));
            return;
        }
        // While data keeps coming, read on without waiting in between (a
        // flood would otherwise cost a wait per read), but wait again after
        // kReadsPerWake reads so that closing is seen.
        for (int reads = 0; wait == CTtyWait::Ready && reads < kReadsPerWake; ++reads) {
            const Platform::IoResult read = device.Read(buffer, sizeof buffer);
            if (read.wouldBlock)
                break;
            if (read.count == 0) {
                // A hung-up terminal reads as 0 bytes; an unplugged adapter as EIO.
                const int error = read.error != 0 ? read.error : ENODEV;
                owner.OnCommLost(
                    CPlatformError(error, QStringLiteral("cannot read %1").arg(m_path)));
                return;
            }
            owner.OnCommData(buffer, static_cast<int>(read.count));
            if (read.count < sizeof buffer)
                break; // the driver's queue is empty for now
        }
        if (sample && Clock::now() >= nextSample) {
            if (sampleLines) {
                const CErrorOr<std::optional<uint32_t>> lines = device.ModemLines();
                if (!lines.IsError() && lines.Value() && *lines.Value() != status) {
                    status = *lines.Value();
                    owner.OnModemStatus(status);
                }
            }
            if (sampleErrors)
                SampleLineErrors();
            nextSample = Clock::now() + std::chrono::milliseconds(kModemPollMs);
        }
    }
}
