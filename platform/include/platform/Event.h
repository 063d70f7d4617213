#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include "platform/Export.h"

namespace veldan::platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;
constexpr int kWaitTimeout = -1;

// Auto-reset or manual-reset event built on a mutex and condition variable.
// - Set: a manual-reset event stays set until Reset and releases every waiter;
//   an auto-reset event releases one waiter and resets itself (or stays set
//   until a waiter comes).
// - Pulse: on an auto-reset event the same as Set (a waiter re-checks its own
//   condition, so an extra wake-up is harmless while a lost one is not); on a
//   manual-reset event it releases the threads waiting at that moment and
//   leaves the event reset.
class VELDAN_API Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    void Pulse();
    bool IsManualReset() const;
    // True when the event is set, without consuming it.
    bool IsSet() const;

    // Waits until the event is set or the time-out passes; true when it was
    // signalled (an auto-reset event is consumed by the wait).
    bool Wait(uint32_t timeoutMs = kInfinite);

    // Waits until any of the events is set; returns the index of the first set
    // event (consuming it when auto-reset) or kWaitTimeout.
    static int WaitAny(std::span<Event* const> events, uint32_t timeoutMs = kInfinite);
    // Waits until all events are set at once; consumes the auto-reset ones
    // together. False on time-out.
    static bool WaitAll(std::span<Event* const> events, uint32_t timeoutMs = kInfinite);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace veldan::platform
