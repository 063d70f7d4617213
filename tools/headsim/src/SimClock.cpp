// SimClock: the head's simulated time, scaled from the platform tick, paused
// and advanced on demand.
#include "SimClock.h"

#include "platform/Tick.h"

namespace veldan::headsim {

SimClock::SimClock() : baseTick_(veldan::platform::GetTickCount64()) {}

double SimClock::NowLocked() const {
    if (paused_) return baseMs_;
    uint64_t tick = veldan::platform::GetTickCount64();
    // A replaced tick source may step backwards between tests; never run time
    // backwards because of it.
    double elapsed = tick >= baseTick_ ? static_cast<double>(tick - baseTick_) : 0.0;
    return baseMs_ + elapsed * scale_;
}

void SimClock::Rebase() {
    baseMs_ = NowLocked();
    baseTick_ = veldan::platform::GetTickCount64();
}

double SimClock::NowMs() const {
    std::lock_guard guard(lock_);
    return NowLocked();
}

void SimClock::SetScale(double scale) {
    if (!(scale > 0.0)) return;
    std::lock_guard guard(lock_);
    Rebase();
    scale_ = scale;
}

double SimClock::Scale() const {
    std::lock_guard guard(lock_);
    return scale_;
}

void SimClock::Pause() {
    std::lock_guard guard(lock_);
    Rebase();
    paused_ = true;
}

void SimClock::Resume() {
    std::lock_guard guard(lock_);
    Rebase();
    paused_ = false;
}

bool SimClock::IsPaused() const {
    std::lock_guard guard(lock_);
    return paused_;
}

void SimClock::Advance(double ms) {
    if (!(ms > 0.0)) return;
    std::lock_guard guard(lock_);
    Rebase();
    baseMs_ += ms;
}

}  // namespace veldan::headsim
