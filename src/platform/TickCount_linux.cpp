#include "platform/TickCount.h"

#include <atomic>
#include <time.h>

namespace Platform {
namespace {
std::atomic<TickSource> g_source{nullptr};

uint32_t MonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}
} // namespace

uint32_t GetTickCount()
{
    if (TickSource source = g_source.load(std::memory_order_acquire))
        return source();
    return MonotonicMs();
}

void SetTickSource(TickSource source)
{
    g_source.store(source, std::memory_order_release);
}

} // namespace Platform
