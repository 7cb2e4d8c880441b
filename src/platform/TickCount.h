#pragma once
#include <cstdint>

namespace Platform {

// A wrapping 32-bit millisecond counter from a monotonic clock. Differences are
// taken in unsigned arithmetic, so they stay right across the wrap.
// Thread-safe.
uint32_t GetTickCount();

// Tests replace the clock so that time stamps and repeats need no sleeping.
// Pass nullptr to return to the real clock.
using TickSource = uint32_t (*)();
void SetTickSource(TickSource source);

} // namespace Platform
