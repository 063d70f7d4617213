#pragma once
// A tick source that tests move by hand.
#include <atomic>
#include <cstdint>

#include "platform/Tick.h"

namespace veldan::test {

inline std::atomic<uint64_t>& FakeNow() {
    static std::atomic<uint64_t> now{1000};
    return now;
}

inline uint64_t FakeTickSource() { return FakeNow().load(); }

// Installs the fake clock for one test and restores the real one after it.
class ScopedFakeTick {
public:
    explicit ScopedFakeTick(uint64_t start) {
        FakeNow() = start;
        veldan::platform::SetTickSource(&FakeTickSource);
    }
    ~ScopedFakeTick() { veldan::platform::SetTickSource(nullptr); }
    void Set(uint64_t now) { FakeNow() = now; }
    void Advance(uint64_t ms) { FakeNow() += ms; }
};

}  // namespace veldan::test
