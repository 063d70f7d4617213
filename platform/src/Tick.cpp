// The monotonic millisecond tick, its replaceable source for tests, and Sleep.
#include "platform/Tick.h"

#include <atomic>
#include <ctime>
#include <thread>

namespace veldan::platform {

namespace {
std::atomic<TickSource> g_tickSource{nullptr};

uint64_t MonotonicMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}
}  // namespace

uint64_t GetTickCount64() {
    TickSource source = g_tickSource.load(std::memory_order_acquire);
    return source ? source() : MonotonicMilliseconds();
}

void SetTickSource(TickSource source) { g_tickSource.store(source, std::memory_order_release); }

void Sleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace veldan::platform
