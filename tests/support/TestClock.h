#pragma once
// A clock the test moves by hand: its ticks change only in Set and Advance,
// and its timers fire inside Advance, each at its own due time, in due
// order. Lets repeat, debounce and time-stamp tests run without sleeping.
#include "platform/Clock.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CTestClock final : public CClock
{
public:
    uint32_t TickCount() const override { return static_cast<uint32_t>(m_now.load()); }

    std::unique_ptr<COneShotTimer> MakeTimer(std::function<void()> onTimeout) override
    {
        return std::make_unique<CTimer>(*this, std::move(onTimeout));
    }

    void Set(uint32_t ms) { m_now.store(ms); }

    // Moves time on by `ms`, firing the timers that fall due on the way.
    void Advance(uint32_t ms)
    {
        const uint64_t target = m_now.load() + ms;
        for (;;) {
            CTimer* next = nullptr;
            for (CTimer* timer : m_timers) {
                if (timer->m_bActive && timer->m_due <= target &&
                    (!next || timer->m_due < next->m_due))
                    next = timer;
            }
            if (!next)
                break;
            m_now.store(std::max<uint64_t>(m_now.load(), next->m_due));
            next->m_bActive = false;
            next->m_fire();
        }
        m_now.store(target);
    }

    // Timers waiting to fire.
    int PendingTimers() const
    {
        return static_cast<int>(std::count_if(m_timers.begin(), m_timers.end(),
                                              [](const CTimer* t) { return t->m_bActive; }));
    }

private:
    class CTimer final : public COneShotTimer
    {
    public:
        CTimer(CTestClock& clock, std::function<void()> fire)
            : m_clock(clock), m_fire(std::move(fire))
        {
            m_clock.m_timers.push_back(this);
        }
        ~CTimer() override { std::erase(m_clock.m_timers, this); }
        void Start(int intervalMs) override
        {
            m_due = m_clock.m_now.load() + static_cast<uint64_t>(std::max(0, intervalMs));
            m_bActive = true;
        }
        void Stop() override { m_bActive = false; }
        bool IsActive() const override { return m_bActive; }

        CTestClock& m_clock;
        std::function<void()> m_fire;
        uint64_t m_due = 0;
        bool m_bActive = false;
    };

    std::atomic<uint64_t> m_now{100000};
    std::vector<CTimer*> m_timers;
};
