#pragma once
#include <cstdint>
#include <functional>
#include <memory>

// A one-shot timer made by a CClock. Starting it again replaces the pending
// shot. The callback runs on the thread that owns the clock's timers (the
// user-interface thread in the program), never inside Start or Stop.
class COneShotTimer
{
public:
    virtual ~COneShotTimer() = default;
    virtual void Start(int intervalMs) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};

// Where a session, a window or the companion reads the time and gets its
// timers: the system's monotonic clock and Qt timers in the program, a clock
// moved by hand in tests (so repeats, debounces and time stamps need no
// sleeping). Passed in, never reached as a global.
class CClock
{
public:
    virtual ~CClock() = default;
    // A wrapping 32-bit millisecond count; differences are taken in unsigned
    // arithmetic. Any thread may call.
    virtual uint32_t TickCount() const = 0;
    // User-interface thread only.
    virtual std::unique_ptr<COneShotTimer> MakeTimer(std::function<void()> onTimeout) = 0;
};
