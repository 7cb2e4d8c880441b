#pragma once
#include "platform/Clock.h"

// The real clock: GetTickCount and single-shot precise Qt timers on the
// thread that makes them.
class CSystemClock final : public CClock
{
public:
    uint32_t TickCount() const override;
    std::unique_ptr<COneShotTimer> MakeTimer(std::function<void()> onTimeout) override;

    // The one real clock of the process (it holds no state of its own).
    static CSystemClock& Instance();
};
