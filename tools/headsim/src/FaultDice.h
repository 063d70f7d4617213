#pragma once
#include <cstdint>
#include <mutex>
#include <random>

namespace veldan::headsim {

// Seeded random source for the injected faults, so that a test that sets a
// seed sees the same noise every run. Thread-safe.
class FaultDice {
public:
    explicit FaultDice(uint64_t seed = 1) : engine_(seed) {}
    void Seed(uint64_t seed) {
        std::lock_guard guard(lock_);
        engine_.seed(seed);
    }
    // True with probability p (0 never, 1 always).
    bool Chance(double p) {
        if (p <= 0.0) return false;
        if (p >= 1.0) return true;
        std::lock_guard guard(lock_);
        return std::uniform_real_distribution<double>(0.0, 1.0)(engine_) < p;
    }
    uint8_t Byte() {
        std::lock_guard guard(lock_);
        return static_cast<uint8_t>(engine_() & 0xFF);
    }

private:
    std::mutex lock_;
    std::mt19937_64 engine_;
};

}  // namespace veldan::headsim
