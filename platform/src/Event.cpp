// Event: auto- and manual-reset events on a mutex and condition variable, with
// WaitAny and WaitAll.
#include "platform/Event.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace veldan::platform {

namespace {

using Clock = std::chrono::steady_clock;

// A thread waiting on several events at once. Each event it waits on keeps a
// pointer to it and wakes it on every Set or Pulse; the waiter then re-checks
// all its events under their locks.
struct MultiWaiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool signalled = false;

    void Wake() {
        std::lock_guard lock(mutex);
        signalled = true;
        cv.notify_all();
    }
};

std::optional<Clock::time_point> Deadline(uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

struct Event::Impl {
    const bool manualReset;
    mutable std::mutex mutex;
    std::condition_variable cv;
    bool set;
    // Counts pulses of a manual-reset event so that the threads waiting at the
    // moment of a pulse are released even though the event is reset again.
    uint64_t pulses = 0;
    std::vector<MultiWaiter*> multiWaiters;

    Impl(bool manual, bool initiallySet) : manualReset(manual), set(initiallySet) {}

    // Called with the mutex held.
    void WakeAll() {
        cv.notify_all();
        for (MultiWaiter* waiter : multiWaiters) waiter->Wake();
    }
    void Consume() {
        if (!manualReset) set = false;
    }
};

Event::Event(bool manualReset, bool initiallySet) : impl_(std::make_unique<Impl>(manualReset, initiallySet)) {}

Event::~Event() = default;

void Event::Set() {
    std::lock_guard lock(impl_->mutex);
    impl_->set = true;
    // Every waiter is woken (also for an auto-reset event): the first to take
    // the lock consumes the event, the others find it reset and wait again.
    // Waking one waiter only could lose the wake-up when that waiter is just
    // leaving on its time-out.
    impl_->WakeAll();
}

void Event::Reset() {
    std::lock_guard lock(impl_->mutex);
    impl_->set = false;
}

void Event::Pulse() {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->manualReset) {
        // An auto-reset pulse is a set: a wake-up that finds no waiter stays
        // pending instead of being lost.
        impl_->set = true;
    } else {
        ++impl_->pulses;
        impl_->set = false;
    }
    impl_->WakeAll();
}

bool Event::IsManualReset() const { return impl_->manualReset; }

bool Event::IsSet() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->set;
}

bool Event::Wait(uint32_t timeoutMs) {
    Impl& d = *impl_;
    std::unique_lock lock(d.mutex);
    const uint64_t pulses = d.pulses;
    auto ready = [&] { return d.set || d.pulses != pulses; };
    const auto deadline = Deadline(timeoutMs);
    if (deadline) {
        if (!d.cv.wait_until(lock, *deadline, ready)) return false;
    } else {
        d.cv.wait(lock, ready);
    }
    if (d.set) d.Consume();
    return true;
}

namespace {

// Locks the mutexes of several events in address order (so that two
// multi-waits over the same events cannot deadlock), skipping duplicates.
class EventsLock {
public:
    explicit EventsLock(std::vector<Event::Impl*> impls) : impls_(std::move(impls)) {
        std::sort(impls_.begin(), impls_.end());
        impls_.erase(std::unique(impls_.begin(), impls_.end()), impls_.end());
        for (Event::Impl* impl : impls_) impl->mutex.lock();
    }
    ~EventsLock() {
        for (auto it = impls_.rbegin(); it != impls_.rend(); ++it) (*it)->mutex.unlock();
    }
    EventsLock(const EventsLock&) = delete;
    EventsLock& operator=(const EventsLock&) = delete;

    void Register(MultiWaiter* waiter) {
        for (Event::Impl* impl : impls_) impl->multiWaiters.push_back(waiter);
    }
    void Unregister(MultiWaiter* waiter) {
        for (Event::Impl* impl : impls_) std::erase(impl->multiWaiters, waiter);
    }

private:
    std::vector<Event::Impl*> impls_;
};

// The common loop of WaitAny and WaitAll. "check" runs with every event locked
// and returns true when the wait is satisfied (having consumed what it takes).
template <typename Check>
bool WaitMany(std::vector<Event::Impl*> impls, uint32_t timeoutMs, Check check) {
    const auto deadline = Deadline(timeoutMs);
    MultiWaiter waiter;
    bool registered = false;
    for (;;) {
        {
            std::lock_guard wl(waiter.mutex);
            waiter.signalled = false;
        }
        {
            EventsLock locked(impls);
            if (check()) {
                if (registered) locked.Unregister(&waiter);
                return true;
            }
            if (!registered) {
                locked.Register(&waiter);
                registered = true;
            }
        }
        std::unique_lock wl(waiter.mutex);
        bool timedOut = false;
        if (deadline) {
            timedOut = !waiter.cv.wait_until(wl, *deadline, [&] { return waiter.signalled; });
        } else {
            waiter.cv.wait(wl, [&] { return waiter.signalled; });
        }
        wl.unlock();
        if (timedOut) {
            // One last look: an event set right at the deadline still counts.
            EventsLock locked(impls);
            const bool satisfied = check();
            locked.Unregister(&waiter);
            return satisfied;
        }
    }
}

}  // namespace

int Event::WaitAny(std::span<Event* const> events, uint32_t timeoutMs) {
    if (events.empty()) return kWaitTimeout;
    std::vector<Impl*> impls;
    for (Event* event : events) impls.push_back(event->impl_.get());
    // Pulse counts at the start of the wait: a pulse of a manual-reset event
    // during the wait releases it like a set.
    std::vector<uint64_t> pulses(impls.size());
    {
        EventsLock locked(impls);
        for (size_t i = 0; i < impls.size(); ++i) pulses[i] = impls[i]->pulses;
    }
    int result = kWaitTimeout;
    WaitMany(impls, timeoutMs, [&] {
        for (size_t i = 0; i < impls.size(); ++i) {
            if (impls[i]->set || impls[i]->pulses != pulses[i]) {
                if (impls[i]->set) impls[i]->Consume();
                result = static_cast<int>(i);
                return true;
            }
        }
        return false;
    });
    return result;
}

bool Event::WaitAll(std::span<Event* const> events, uint32_t timeoutMs) {
    if (events.empty()) return true;
    std::vector<Impl*> impls;
    for (Event* event : events) impls.push_back(event->impl_.get());
    return WaitMany(impls, timeoutMs, [&] {
        for (Impl* impl : impls)
            if (!impl->set) return false;
        for (Impl* impl : impls) impl->Consume();
        return true;
    });
}

}  // namespace veldan::platform
