// Per-thread priority (nice), thread names and the processor count of the
// affinity mask.
#include "platform/Thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace veldan::platform {

namespace {
// Linux applies a nice value per thread when it is set on the thread id.
constexpr int kBelowNormalNice = 5;
constexpr int kNormalNice = 0;

pid_t CurrentThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }
}  // namespace

bool SetCurrentThreadPriority(ThreadPriority priority) {
    const int nice = priority == ThreadPriority::BelowNormal ? kBelowNormalNice : kNormalNice;
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
    if (current == -1 && errno != 0) return false;
    if (current == nice) return true;
    // Raising the priority back (a lower nice value) needs CAP_SYS_NICE or a
    // suitable RLIMIT_NICE; without it the call fails and the thread keeps its
    // lower priority, which is safe.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()), nice) == 0;
}

int CurrentThreadNice() {
    errno = 0;
    const int value = getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
    return (value == -1 && errno != 0) ? 0 : value;
}

void SetCurrentThreadName(const char* name) {
    // The kernel keeps at most 15 characters.
    char shortName[16] = {};
    std::strncpy(shortName, name ? name : "", sizeof shortName - 1);
    pthread_setname_np(pthread_self(), shortName);
}

unsigned ProcessorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<unsigned>(count);
    }
    const unsigned hw = std::thread::hardware_concurrency();
    return hw > 0 ? hw : 1;
}

}  // namespace veldan::platform
