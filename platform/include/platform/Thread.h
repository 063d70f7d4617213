#pragma once
#include "platform/Export.h"

namespace veldan::platform {

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

// Preferred processor of the calling thread. The scheduler places threads
// well by itself and no hard affinity is wanted, so this only records the
// wish: it does nothing and succeeds.
inline bool SetCurrentThreadIdealProcessor(unsigned /*processor*/) { return true; }

// Number of processors available to this process (at least 1).
VELDAN_API unsigned ProcessorCount();

}  // namespace veldan::platform
