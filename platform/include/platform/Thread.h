#pragma once
#include "platform/Export.h"

namespace veldan {

enum class ThreadPriority {
    Normal,       // realtime queue, bus threads
    BelowNormal,  // worker queue: nice +5 for the calling thread only
};

// Applies the priority to the calling thread. Lowering always works; raising
// back to normal may be refused by the system for an unprivileged user, which
// is not an error (returns false, nothing else changes).
VELDAN_API bool SetCurrentThreadPriority(ThreadPriority priority);

// The calling thread's nice value (0 normal, 5 below normal).
VELDAN_API int CurrentThreadNice();

// Names the calling thread for debuggers and `top -H` (at most 15 characters
// are kept).
VELDAN_API void SetCurrentThreadName(const char* name);

// Number of processors available to this process (at least 1).
VELDAN_API unsigned ProcessorCount();

}  // namespace veldan
