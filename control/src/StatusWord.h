#pragma once
// The status word of a handle: two 32-bit halves changed bit by bit, with a
// WM_APP+10 posted to the main window at every change.
#include <atomic>
#include <cstdint>

#include "platform/Window.h"

namespace veldan::control {

inline constexpr uint32_t kHighReady = 0x20000000u;
inline constexpr uint32_t kHighBusy = 0x40000000u;
inline constexpr uint32_t kHighFailed = 0x80000000u;
inline constexpr uint32_t kLowLoading = 0x00000001u;
inline constexpr uint32_t kLowConfigured = 0x00000010u;
inline constexpr uint32_t kLowRunning = 0x00000100u;
inline constexpr uint32_t kLowPaused = 0x00001000u;

inline constexpr platform::UINT kStatusMessage = platform::WM_APP + 10;

class StatusBits {
public:
    explicit StatusBits(const std::atomic<platform::HWND>& mainWindow) : mainWindow_(mainWindow) {}

    uint64_t Value() const { return (static_cast<uint64_t>(high_.load()) << 32) | low_.load(); }
    bool HasHigh(uint32_t bits) const { return (high_.load() & bits) != 0; }
    bool HasLow(uint32_t bits) const { return (low_.load() & bits) != 0; }

    void SetHigh(uint32_t bits) { Changed(high_.fetch_or(bits), bits, true); }
    void ClearHigh(uint32_t bits) { Changed(high_.fetch_and(~bits), bits, false); }
    void SetLow(uint32_t bits) { Changed(low_.fetch_or(bits), bits, true); }
    void ClearLow(uint32_t bits) { Changed(low_.fetch_and(~bits), bits, false); }
    // Clears both halves.
    void ClearAll() {
        const bool changed = (high_.exchange(0) | low_.exchange(0)) != 0;
        if (changed) Post();
    }
    // Sets busy when it is clear, as one step, so that two callers can never
    // both start an operation; false when busy was already set.
    bool TryClaimBusy() {
        uint32_t old = high_.fetch_or(kHighBusy);
        if (old & kHighBusy) return false;
        Post();
        return true;
    }

private:
    // Posts only when the word really changed.
    void Changed(uint32_t old, uint32_t bits, bool set) {
        const bool changed = set ? (old & bits) != bits : (old & bits) != 0;
        if (changed) Post();
    }
    void Post() {
        if (platform::HWND w = mainWindow_.load()) platform::PostMessage(w, kStatusMessage, 0, 0);
    }

    const std::atomic<platform::HWND>& mainWindow_;
    std::atomic<uint32_t> high_{0};
    std::atomic<uint32_t> low_{0};
};

}  // namespace veldan::control
