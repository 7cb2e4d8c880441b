#pragma once
#include <functional>
#include <memory>

class CClock;
class COneShotTimer;
class CPortList;
class CPortMonitor;

// Keeps the port list current: device changes start a one-shot timer of
// kDebounceMs (timer 3048); changes while it is pending are absorbed; when it
// fires the list is enumerated once and `rebuilt` runs (the window then sends
// command 3002). User-interface thread only.
class CPortWatcher
{
public:
    static constexpr int kDebounceMs = 2000;

    // `clock` and `list` are not owned and must outlive the watcher.
    CPortWatcher(CClock& clock, CPortList& list, std::function<void()> rebuilt);
    ~CPortWatcher();
    CPortWatcher(const CPortWatcher&) = delete;
    CPortWatcher& operator=(const CPortWatcher&) = delete;

    // Listens to the system's device events (CPortMonitor). False when they
    // cannot be watched here; PortsChanged still works.
    bool WatchDevices();

    // Serial devices changed (command 3047).
    void PortsChanged();
    bool IsPending() const;

private:
    void Rebuild();

    CPortList& m_list;
    std::function<void()> m_rebuilt;
    std::unique_ptr<COneShotTimer> m_timer;
    std::unique_ptr<CPortMonitor> m_monitor;
};
