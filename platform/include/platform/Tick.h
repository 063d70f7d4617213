#pragma once
#include <cstdint>
#include "platform/Export.h"

namespace veldan::platform {

// Process-wide monotonic millisecond counter (CLOCK_MONOTONIC). It is 64 bits
// wide and never wraps, so that "due" comparisons stay correct for the life of
// the process.
VELDAN_API uint64_t GetTickCount64();

// Tests replace the tick source to drive time-dependent logic; nullptr restores
// the monotonic clock. The source must be callable from any thread.
using TickSource = uint64_t (*)();
VELDAN_API void SetTickSource(TickSource source);

// Suspends the calling thread for at least the given milliseconds (real time,
// not the replaceable tick).
VELDAN_API void Sleep(uint32_t milliseconds);

}  // namespace veldan::platform
