#pragma once
// Helpers shared by the session and send tests: a recording alert handler, a
// recording view, a little-endian byte builder and a test clock.
#include "TestClock.h"
#include "platform/Alerts.h"
#include "session/SessionView.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <vector>

// Readable failure output for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << '"' << b.toStdString() << "\" (" << b.toHex(' ').toStdString() << ')';
}

class CRecordingAlerts final : public CAlertHandler
{
public:
    CRecordingAlerts() { Alerts::SetHandler(this); }
    ~CRecordingAlerts() override { Alerts::SetHandler(nullptr); }
    void Beep() override { ++beeps; }
    void Message(const QString& text, const QString&, AlertIcon) override
    {
        std::lock_guard lock(mutex);
        messages.append(text);
    }
    QStringList Messages()
    {
        std::lock_guard lock(mutex);
        return messages;
    }

    std::atomic<int> beeps{0};
    std::mutex mutex;
    QStringList messages;
};

class CRecordingView final : public CSessionView
{
public:
    void OnUpdate(int hint) override { hints.push_back(hint); }
    void OnNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t) override
    {
        received += bytes;
        lost += lostBytes;
        ++deliveries;
    }
    void OnDatagramsLost(uint64_t count) override { lostDatagrams += count; }
    void OnCommand(int id) override { commands.push_back(id); }
    void ClearDisplay() override { ++clears; }
    int FrameMs(int standard) const override { return frameMs > 0 ? frameMs : standard; }

    int frameMs = 0; // the frame the view asks for; 0 takes the session's
    std::vector<int> hints;
    std::vector<int> commands;
    QByteArray received;
    uint64_t lost = 0;
    uint64_t lostDatagrams = 0;
    int deliveries = 0;
    int clears = 0;
};

// Builds archive bytes by hand, little-endian.
class CBytes
{
public:
    CBytes& U8(uint8_t v)
    {
        m_bytes.append(static_cast<char>(v));
        return *this;
    }
    CBytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    CBytes& I32(int32_t v)
    {
        const auto u = static_cast<uint32_t>(v);
        return U8(u & 0xFF).U8((u >> 8) & 0xFF).U8((u >> 16) & 0xFF).U8(u >> 24);
    }
    // A counted string with a one-byte length.
    CBytes& Str(const QByteArray& s)
    {
        U8(static_cast<uint8_t>(s.size()));
        m_bytes.append(s);
        return *this;
    }
    CBytes& Raw(const QByteArray& s)
    {
        m_bytes.append(s);
        return *this;
    }
    QByteArray Get() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Runs the event loop until `done` or `timeoutMs` passes.
template <typename Pred> bool SpinUntil(Pred done, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline void DrainEvents()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}
