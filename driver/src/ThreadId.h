#pragma once
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace veldan::driver {

// Identity of the calling thread (never 0), as the driver records it in its
// "thread identity" fields.
inline uint32_t CurrentThreadId() {
    uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
    return id ? id : 1u;
}

}  // namespace veldan::driver
