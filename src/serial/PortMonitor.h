#pragma once
#include <functional>
#include <memory>

// Reports serial devices arriving or leaving, through the event loop of the
// thread that started it (the user-interface thread): `changed` runs once
// for each batch of device events. Stops when destroyed.
class CPortMonitor
{
public:
    // Nothing when hot-plug cannot be watched here (no device manager, no
    // permission for its events); the port list then changes only when it
    // is built again.
    static std::unique_ptr<CPortMonitor> Start(std::function<void()> changed);
    ~CPortMonitor();
    CPortMonitor(const CPortMonitor&) = delete;
    CPortMonitor& operator=(const CPortMonitor&) = delete;

private:
    struct CImpl;
    explicit CPortMonitor(std::unique_ptr<CImpl> impl);
    std::unique_ptr<CImpl> m_impl;
};
