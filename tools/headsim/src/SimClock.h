#pragma once
#include <cstdint>
#include <mutex>

namespace veldan::headsim {

// The simulated time of the head. Motion, reference runs and camera timing are
// computed from it, never from the wall clock, so that tests can freeze it,
// step it or run it faster than real time.
//
// It follows the platform tick (veldan::platform::GetTickCount64, replaceable with
// veldan::platform::SetTickSource) scaled by a factor; it can be paused and advanced by
// hand. Thread-safe.
class SimClock {
public:
    SimClock();

    // Simulated milliseconds since the clock was created (fractional).
    double NowMs() const;

    // Factor between tick time and simulated time (1 = real time). Must be > 0.
    void SetScale(double scale);
    double Scale() const;

    // A paused clock stands still until Resume or Advance.
    void Pause();
    void Resume();
    bool IsPaused() const;

    // Moves simulated time forward by the given milliseconds (>= 0).
    void Advance(double ms);

private:
    double NowLocked() const;
    void Rebase();  // fold the elapsed tick time into baseMs_

    mutable std::mutex lock_;
    uint64_t baseTick_;
    double baseMs_ = 0.0;
    double scale_ = 1.0;
    bool paused_ = false;
};

}  // namespace veldan::headsim
