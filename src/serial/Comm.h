#pragma once
#include "platform/PlatformError.h"
#include "platform/Tty.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class CCommOwner;

// The serial port of a session: one open terminal device with its line
// settings and one reader thread that hands received bytes, modem-line
// changes and the loss of the device to an owner (CCommOwner). It knows
// nothing of the session.
//
// Threads: Open, the setters, StartThread, Close and destruction on one
// thread (the user-interface thread); Write on that thread or from the
// owner's callbacks on the reader thread (writes are serialised). Close stops
// the reader within a bounded time: the reader's waits end at once when
// closing begins, and a write in progress returns its short count.
class CComm
{
public:
    static constexpr int kReadChunk = 1024;      // bytes per read at most
    static constexpr int kWriteTimeoutMs = 1000; // a write returns by then
    static constexpr int kModemPollMs = 100;     // modem lines are sampled this often

    // Opens the device exclusively in raw mode at 9600,N,8,1 (see
    // CTtyDevice::Open). The error names the device.
    static CErrorOr<std::unique_ptr<CComm>> Open(const QString& devicePath);
    ~CComm();
    CComm(const CComm&) = delete;
    CComm& operator=(const CComm&) = delete;

    const QString& DevicePath() const { return m_path; }
    bool IsOpen() const { return m_device != nullptr; }

    // Any rate the driver accepts. The settings are read back after every
    // change: a driver that keeps something else is an error, and the port
    // keeps running with what the driver chose.
    CPlatformError SetBaudRate(int32_t rate);
    // Parity 'E' even, 'O' odd, any other letter none (parity checking is on
    // in every case); 5 to 8 data bits; stop-bits code 20 gives two stop
    // bits, every other code (15, one and a half, included) one.
    CPlatformError SetLineControl(char parity, int dataBits, int stopBitsCode);
    // Linux sizes a tty's queues itself (4 KiB line discipline buffer and the
    // driver's own FIFO); there is nothing to set, so this always succeeds.
    CPlatformError SetQueueSizes(int inputBytes, int outputBytes);
    // The settings last asked for.
    const CTtyLine& Line() const { return m_line; }

    // The modem-line word; 0 for a device that cannot report modem lines.
    CErrorOr<uint32_t> ReadModemStatus() const;
    // Line errors (framing, parity, overruns, breaks) the reader has seen
    // since the last call, as flags: 0x01 buffer overrun, 0x02 UART overrun,
    // 0x04 parity, 0x08 framing, 0x10 break. Reading clears them. Any thread.
    uint32_t TakeLineErrors() { return m_lineErrors.exchange(0); }

    // Starts the reader, which calls `owner` until the port is closed or the
    // device is lost. EEXIST when a reader was started already (it keeps
    // running); the owner must outlive the reader.
    CPlatformError StartThread(CCommOwner& owner);

    // Writes `count` bytes; returns how many were written, fewer when the
    // device did not take them within kWriteTimeoutMs, failed, or closing
    // began. 0 once closed.
    int Write(const char* bytes, int count);

    // Stops the reader (bounded: no wait outlives this call), restores the
    // device's settings and closes it. Never call it from the reader thread.
    void Close();

private:
    CComm(std::unique_ptr<CTtyDevice> device, QString path);
    CPlatformError ApplyLine(const CTtyLine& wanted);
    void ReaderLoop(CCommOwner& owner);
    void SampleLineErrors();

    std::unique_ptr<CTtyDevice> m_device;
    QString m_path;
    CTtyLine m_line;
    std::mutex m_writeLock; // one write at a time
    std::atomic<uint32_t> m_lineErrors{0};
    std::optional<CTtyErrorCounts> m_lastCounts; // reader thread
    std::thread m_reader;
};

// How the settings read back from a device differ from those asked for, in
// plain words ("the driver runs at 9600 baud"), or empty when they agree. A
// rate within 2 % of the one asked for agrees: the driver chose the nearest
// divisor and a UART's framing tolerates that. A pseudo-terminal keeps 8 data
// bits without parity whatever is asked; that is not a difference.
QString LineMismatch(const CTtyLine& wanted, const CTtyLine& actual, bool pseudoTerminal);
