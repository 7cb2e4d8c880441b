#pragma once
#include <cstdint>

namespace Platform {

// A wrapping 32-bit millisecond counter from the monotonic clock. Differences
// are taken in unsigned arithmetic, so they stay right across the wrap.
// Thread-safe. Code that tests must control takes a CClock instead.
uint32_t GetTickCount();

} // namespace Platform
