#pragma once
// A reader's owner for the serial tests: records what the reader hands over
// and waits on it with a generous deadline.
#include "platform/PlatformError.h"
#include "serial/CommOwner.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

class CRecordingOwner final : public CCommOwner
{
public:
    bool OnCommData(const char* bytes, int count) override
    {
        std::lock_guard lock(m_mutex);
        m_data.append(bytes, count);
        m_largestRead = std::max(m_largestRead, count);
        m_changed.notify_all();
        return !m_bFull.load();
    }
    bool CanReceive() override { return !m_bFull.load(); }
    void OnOutputRoom() override
    {
        std::lock_guard lock(m_mutex);
        ++m_rooms;
        m_changed.notify_all();
    }
    void OnModemStatus(uint32_t status) override
    {
        std::lock_guard lock(m_mutex);
        m_statuses.push_back(status);
        m_changed.notify_all();
    }
    void OnCommLost(const CPlatformError& why) override
    {
        std::lock_guard lock(m_mutex);
        ++m_lost;
        m_lostText = ErrorText(why);
        m_changed.notify_all();
    }

    template <typename Pred> bool WaitFor(Pred done)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return done(*this); });
    }
    QByteArray Data()
    {
        std::lock_guard lock(m_mutex);
        return m_data;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    QByteArray m_data;
    int m_largestRead = 0;
    std::vector<uint32_t> m_statuses;
    int m_lost = 0;
    int m_rooms = 0;
    QString m_lostText;
    std::atomic<bool> m_bFull{false};
};
