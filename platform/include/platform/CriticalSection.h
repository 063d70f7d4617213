#pragma once
#include <mutex>
#include "platform/Export.h"

namespace veldan::platform {

// Re-entrant lock with the critical-section operations. It also meets the
// Lockable requirements (lock/unlock/try_lock) for std::lock_guard and
// std::unique_lock.
class VELDAN_API CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }

    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

private:
    std::recursive_mutex mutex_;
};

}  // namespace veldan::platform
