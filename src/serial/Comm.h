#pragma once
#include "base/OutputQueue.h"
#include "base/Transport.h"
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
// changes and the loss of the device to an owner (CCommOwner), and drains
// the port's output queue as the device takes it. It knows nothing of the
// session.
//
// Threads: Open, the setters, StartThread, Close and destruction on one
// thread (the user-interface thread); Write, Kick and the output queries on
// any thread (writes are serialised and never wait). Close stops the reader
// within a bounded time: the reader's waits end at once when closing begins.
class CComm
{
public:
    static constexpr int kReadChunk = 64 * 1024;          // bytes per read at most
    static constexpr size_t kOutputCapacity = 256 * 1024; // output waiting at most
    static constexpr size_t kOutputLowWater =
        CTransport::kOutputLowWater;         // OnOutputRoom at or below
    static constexpr int kModemPollMs = 100; // modem lines are sampled this often

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
    // Handshaking as the driver offers it; a driver that keeps another is
    // an error, as for the line settings.
    CPlatformError SetFlowControl(CTtyFlow flow);
    // The settings last asked for.
    const CTtyLine& Line() const { return m_line; }
    // DTR and RTS up or down (both up when the port opens).
    CPlatformError SetModemControl(bool dtr, bool rts);
    // Starts or ends a break.
    CPlatformError SetBreak(bool on);

    // The modem-line word; 0 for a device that cannot report modem lines.
    CErrorOr<uint32_t> ReadModemStatus() const;

    // Starts the reader, which calls `owner` until the port is closed or the
    // device is lost. EEXIST when a reader was started already (it keeps
    // running); the owner must outlive the reader.
    CPlatformError StartThread(CCommOwner& owner);

    // Queues `count` bytes whole, or refuses them whole: Full when the queue
    // lacks room (the owner hears OnOutputRoom once it drained), Failed with
    // the errno once a write to the device failed or the port is closed.
    // What the device takes at once goes out at once; the reader writes the
    // rest as the device takes it. Never waits.
    CWriteResult Write(const char* bytes, int count);
    size_t OutputPending() const;
    // Asks for one OnOutputRoom once the queue is at or below kOutputLowWater.
    void WantOutputRoom();
    // Wakes the reader to look at CanReceive again.
    void Kick();

    // Stops the reader (bounded: no wait outlives this call), restores the
    // device's settings and closes it. Never call it from the reader thread.
    void Close();

private:
    CComm(std::unique_ptr<CTtyDevice> device, QString path);
    CPlatformError ApplyLine(const CTtyLine& wanted);
    void ReaderLoop(CCommOwner& owner);
    // Writes what the device takes now; called with m_outLock held.
    void WriteQueued();
    // The reader's turn at the queue: writes, then tells the owner of room.
    void DrainOutput(CCommOwner& owner);

    std::unique_ptr<CTtyDevice> m_device;
    QString m_path;
    CTtyLine m_line;
    mutable std::mutex m_outLock; // guards the three below
    COutputQueue m_output{kOutputCapacity};
    int m_writeError = 0;
    bool m_bRoomWanted = false;
    std::atomic<bool> m_bOutputWaiting{false};
    std::thread m_reader;
};

// How the settings read back from a device differ from those asked for, in
// plain words ("the driver runs at 9600 baud"), or empty when they agree. A
// rate within 2 % of the one asked for agrees: the driver chose the nearest
// divisor and a UART's framing tolerates that. A pseudo-terminal keeps 8 data
// bits without parity whatever is asked; that is not a difference.
QString LineMismatch(const CTtyLine& wanted, const CTtyLine& actual, bool pseudoTerminal);
